// The tray pop-up window "popup": its hide step and its height.
#pragma once

#include <atomic>
#include <cstdint>

namespace harvel {

class App;

inline constexpr double kPopupDefaultHeight = 300.0;
inline constexpr double kPopupMinHeight = 120.0;
inline constexpr double kPopupMaxHeight = 640.0;

// 1 while the pop-up is shown.
std::atomic<uint8_t>& popup_shown();

// Thread body: hides the window "popup" when it exists (it is never
// destroyed). `focus_lost` tells a hide caused by losing the focus from an
// explicit close.
void hide_popup_window(App& app, bool focus_lost);
// Starts a thread running hide_popup_window and returns at once.
void spawn_hide_popup(App& app, bool focus_lost);
// An explicit close: spawn_hide_popup with false.
void close_popup(App& app);

// Body of "popup_fit": stores the reported content height (logical pixels),
// limited to 120..640, and 300 when it is not finite.
void fit_popup(App& app, double height);
// The stored pop-up height.
double popup_height();

}  // namespace harvel
