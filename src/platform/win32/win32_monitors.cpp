#include "platform/win32/win32_monitors.h"

#include <windows.h>

#include "platform/win32/win32_system_call.h"

namespace harvel::win32 {

namespace {

using DpiContext = HANDLE;
const DpiContext kPerMonitorV2 = reinterpret_cast<DpiContext>(static_cast<intptr_t>(-4));
constexpr int kProcessPerMonitorDpiAware = 2;
constexpr int kMdtEffectiveDpi = 0;

UINT monitor_dpi(HMONITOR monitor) {
  static const auto get_dpi =
      system_call<HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*)>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0;
  UINT y = 0;
  if (get_dpi && SUCCEEDED(get_dpi(monitor, kMdtEffectiveDpi, &x, &y)) && x > 0) return x;
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

os::Rect to_rect(const RECT& r) {
  return {r.left, r.top, static_cast<uint32_t>(r.right > r.left ? r.right - r.left : 0),
          static_cast<uint32_t>(r.bottom > r.top ? r.bottom - r.top : 0)};
}

BOOL CALLBACK collect(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info)) {
    auto* out = reinterpret_cast<std::vector<os::MonitorInfo>*>(param);
    out->push_back({to_rect(info.rcMonitor), to_rect(info.rcWork), monitor_dpi(monitor) / 96.0,
                    (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

}  // namespace

void enable_per_monitor_dpi() {
  if (const auto set_context = system_call<BOOL(WINAPI*)(DpiContext)>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set_context(kPerMonitorV2) || GetLastError() == ERROR_ACCESS_DENIED) return;  // denied: already set
  }
  if (const auto set_awareness = system_call<HRESULT(WINAPI*)(int)>(L"shcore.dll", "SetProcessDpiAwareness")) {
    const HRESULT hr = set_awareness(kProcessPerMonitorDpiAware);
    if (SUCCEEDED(hr) || hr == E_ACCESSDENIED) return;
  }
  SetProcessDPIAware();
}

unsigned window_dpi(void* hwnd) {
  static const auto get_dpi = system_call<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
  if (get_dpi) {
    if (const UINT dpi = get_dpi(static_cast<HWND>(hwnd))) return dpi;
  }
  return monitor_dpi(MonitorFromWindow(static_cast<HWND>(hwnd), MONITOR_DEFAULTTONEAREST));
}

std::vector<os::MonitorInfo> Win32Monitors::monitors() {
  std::vector<os::MonitorInfo> out;
  EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&out));
  return out;
}

std::optional<os::MonitorInfo> Win32Monitors::primary_monitor() {
  const std::vector<os::MonitorInfo> all = monitors();
  for (const os::MonitorInfo& m : all) {
    if (m.primary) return m;
  }
  if (!all.empty()) return all.front();
  return std::nullopt;
}

}  // namespace harvel::win32
