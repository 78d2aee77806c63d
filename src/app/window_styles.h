// How a window spec becomes a Windows window: the style and extended style
// bits (Windows numbers, so the mapping is tested on every target).
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace harvel {

inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsClipChildren = 0x02000000;
inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsSysMenu = 0x00080000;
inline constexpr uint32_t kWsThickFrame = 0x00040000;
inline constexpr uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr uint32_t kWsMaximizeBox = 0x00010000;

inline constexpr uint32_t kWsExTopmost = 0x00000008;
inline constexpr uint32_t kWsExToolWindow = 0x00000080;
inline constexpr uint32_t kWsExNoRedirectionBitmap = 0x00200000;
inline constexpr uint32_t kWsExNoActivate = 0x08000000;

struct WindowStyle {
  uint32_t style = 0;
  uint32_t ex_style = 0;
  bool operator==(const WindowStyle&) const = default;
};

// Frameless: a pop-up window without caption or border; a resizable one
// keeps its sizing frame, which the host takes out of sight. Resizable: a
// sizing frame; maximisable only when resizable too. Skip task bar: a tool
// window. Always on top: topmost. No focus: never activated by a click or
// by showing (only set_focus activates it). Transparent: no redirection
// bitmap, so the web view's clear background shows what lies behind.
WindowStyle window_style_for(const os::WindowSpec& spec);

// Whether the title bar's calls apply to the window.
inline bool can_minimize(const os::WindowSpec& spec) { return spec.minimizable; }
inline bool can_maximize(const os::WindowSpec& spec) { return spec.maximizable && spec.resizable; }

}  // namespace harvel
