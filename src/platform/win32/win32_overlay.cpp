#include "platform/win32/win32_overlay.h"

#include <objbase.h>

#include <cstring>

#include "platform/win32/win32_system_call.h"
#include "platform/win32/win32_text.h"

namespace harvel::win32 {

namespace {

constexpr wchar_t kUnderlineClass[] = L"HarvelCheckUnder";
constexpr wchar_t kPopupClass[] = L"HarvelCheckPop";

// DPI awareness contexts are handles with fixed values.
using DpiContext = HANDLE;
const DpiContext kPerMonitorV2 = reinterpret_cast<DpiContext>(static_cast<intptr_t>(-4));
const DpiContext kPerMonitor = reinterpret_cast<DpiContext>(static_cast<intptr_t>(-3));
constexpr int kAwarenessUnaware = 0;
constexpr int kMdtEffectiveDpi = 0;

thread_local HWND t_underline = nullptr;
thread_local HWND t_popup = nullptr;
thread_local os::OverlayEvents* t_events = nullptr;
thread_local int t_dpi_level = 0;

HWND to_hwnd(os::WindowHandle w) { return reinterpret_cast<HWND>(w); }

// The per-monitor DPI calls appeared in later versions of Windows (and Wine
// lacks some): each is looked up once and may be absent.
struct DpiCalls {
  DpiContext(WINAPI* set_thread_context)(DpiContext) = nullptr;
  DpiContext(WINAPI* window_context)(HWND) = nullptr;
  int(WINAPI* awareness_of)(DpiContext) = nullptr;
  BOOL(WINAPI* logical_to_physical)(HWND, POINT*) = nullptr;
  HRESULT(WINAPI* monitor_dpi)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

const DpiCalls& dpi_calls() {
  static const DpiCalls calls = [] {
    DpiCalls c;
    c.set_thread_context = system_call<decltype(c.set_thread_context)>(L"user32.dll", "SetThreadDpiAwarenessContext");
    c.window_context = system_call<decltype(c.window_context)>(L"user32.dll", "GetWindowDpiAwarenessContext");
    c.awareness_of = system_call<decltype(c.awareness_of)>(L"user32.dll", "GetAwarenessFromDpiAwarenessContext");
    c.logical_to_physical =
        system_call<decltype(c.logical_to_physical)>(L"user32.dll", "LogicalToPhysicalPointForPerMonitorDPI");
    c.monitor_dpi = system_call<decltype(c.monitor_dpi)>(L"shcore.dll", "GetDpiForMonitor");
    return c;
  }();
  return calls;
}

COLORREF colour(const os::Rgb& c) { return RGB(c.r, c.g, c.b); }
RECT to_rect(const os::Box& b) { return RECT{b.left, b.top, b.right, b.bottom}; }

void paint_popup(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client{};
  GetClientRect(hwnd, &client);
  const std::vector<os::PaintOp> ops =
      t_events ? t_events->popup_paint({client.left, client.top, client.right, client.bottom})
               : std::vector<os::PaintOp>{};
  if (dc && !ops.empty()) {
    SetBkMode(dc, TRANSPARENT);
    for (const os::PaintOp& op : ops) {
      RECT r = to_rect(op.rect);
      switch (op.kind) {
        case os::PaintOp::Kind::Fill: {
          HBRUSH brush = CreateSolidBrush(colour(op.colour));
          FillRect(dc, &r, brush);
          DeleteObject(brush);
          break;
        }
        case os::PaintOp::Kind::FrameRoundRect: {
          HRGN region = CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, op.corner, op.corner);
          HBRUSH brush = CreateSolidBrush(colour(op.colour));
          if (region) FrameRgn(dc, region, brush, 1, 1);
          DeleteObject(brush);
          if (region) DeleteObject(region);
          break;
        }
        case os::PaintOp::Kind::Text: {
          HFONT font = create_overlay_font(op.font);
          HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
          SetTextColor(dc, colour(op.colour));
          draw_text_utf8(dc, op.text, r, op.format);
          if (old) SelectObject(dc, old);
          if (font) DeleteObject(font);
          break;
        }
      }
    }
  }
  EndPaint(hwnd, &ps);
}

ATOM register_class(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = 0;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = name;
  return RegisterClassExW(&wc);  // a failure shows as a failed window creation
}

HWND create_overlay_window(DWORD ex_style, const wchar_t* class_name) {
  return CreateWindowExW(ex_style, class_name, nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

HWND overlay_underline_hwnd() { return t_underline; }
HWND overlay_popup_hwnd() { return t_popup; }
int overlay_thread_dpi_level() { return t_dpi_level; }

LRESULT CALLBACK checker_underline_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_NCHITTEST: return HTTRANSPARENT;  // the mouse goes to the window below
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK checker_popup_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;  // never take the focus from the program typed in
    case WM_PAINT:
      paint_popup(hwnd);
      return 0;
    case WM_LBUTTONUP:
      if (t_events) {
        t_events->popup_click({static_cast<int16_t>(LOWORD(lp)), static_cast<int16_t>(HIWORD(lp))});
      }
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

HFONT create_overlay_font(const os::OverlayFont& f) {
  return CreateFontW(f.height, 0, 0, 0, f.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void draw_text_utf8(HDC dc, std::string_view text, RECT rect, UINT format) {
  std::wstring w = widen(text);
  DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &rect, format);
}

// ---- caret, font and widths ----

std::optional<os::CaretInfo> Win32Caret::foreground_caret() {
  GUITHREADINFO gi{};
  gi.cbSize = sizeof(gi);
  if (!GetGUIThreadInfo(0, &gi)) return std::nullopt;
  os::CaretInfo c;
  c.caret = reinterpret_cast<os::WindowHandle>(gi.hwndCaret);
  c.focus = reinterpret_cast<os::WindowHandle>(gi.hwndFocus);
  c.rect = {gi.rcCaret.left, gi.rcCaret.top, gi.rcCaret.right, gi.rcCaret.bottom};
  return c;
}

std::optional<os::Point> Win32Caret::client_to_screen(os::WindowHandle window, os::Point p) {
  POINT pt{p.x, p.y};
  if (!ClientToScreen(to_hwnd(window), &pt)) return std::nullopt;
  return os::Point{pt.x, pt.y};
}

bool Win32Caret::window_dpi_unaware(os::WindowHandle window) {
  const DpiCalls& c = dpi_calls();
  if (!c.window_context || !c.awareness_of) return false;
  DpiContext ctx = c.window_context(to_hwnd(window));
  return ctx && c.awareness_of(ctx) == kAwarenessUnaware;
}

os::Point Win32Caret::logical_to_physical(os::WindowHandle window, os::Point p) {
  const DpiCalls& c = dpi_calls();
  POINT pt{p.x, p.y};
  if (c.logical_to_physical && c.logical_to_physical(to_hwnd(window), &pt)) return {pt.x, pt.y};
  return p;
}

uintptr_t Win32Caret::window_font(os::WindowHandle window, uint32_t timeout_ms) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(to_hwnd(window), WM_GETFONT, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, timeout_ms, &result)) {
    return 0;
  }
  return static_cast<uintptr_t>(result);
}

std::optional<std::vector<int32_t>> Win32Caret::text_widths(os::WindowHandle window, uintptr_t font,
                                                            std::span<const std::u16string> texts) {
  HWND hwnd = to_hwnd(window);
  HDC dc = GetDC(hwnd);
  if (!dc) return std::nullopt;
  // GDI handles belong to the process that made them: another program's font
  // cannot be selected here, and the context's own font would measure wrong.
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
  if (!old || old == HGDI_ERROR) {
    ReleaseDC(hwnd, dc);
    return std::nullopt;
  }
  std::vector<int32_t> widths;
  for (const std::u16string& t : texts) {
    SIZE size{};
    if (t.empty() ||
        !GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(t.data()), static_cast<int>(t.size()), &size)) {
      widths.push_back(0);
    } else {
      widths.push_back(size.cx);
    }
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return widths;
}

// ---- overlay windows ----

void Win32OverlayWindows::prepare_thread() {
  const DpiCalls& c = dpi_calls();
  t_dpi_level = 0;
  if (c.set_thread_context) {
    // Per-monitor v2 where the system has it; per-monitor otherwise.
    if (c.set_thread_context(kPerMonitorV2)) {
      t_dpi_level = 2;
    } else if (c.set_thread_context(kPerMonitor)) {
      t_dpi_level = 1;
    }
  }
  (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

bool Win32OverlayWindows::create_windows(os::OverlayEvents* events) {
  t_events = events;
  register_class(kUnderlineClass, checker_underline_window_proc);
  register_class(kPopupClass, checker_popup_window_proc);
  HWND under = create_overlay_window(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT |
                                         WS_EX_TOPMOST,
                                     kUnderlineClass);
  HWND popup = create_overlay_window(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kPopupClass);
  if (!under || !popup) {
    if (under) DestroyWindow(under);
    if (popup) DestroyWindow(popup);
    return false;
  }
  t_underline = under;
  t_popup = popup;
  return true;
}

void Win32OverlayWindows::hide_windows() {
  if (!t_underline) return;
  ShowWindow(t_underline, SW_HIDE);
  ShowWindow(t_popup, SW_HIDE);
}

void Win32OverlayWindows::pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool Win32OverlayWindows::left_button_down() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

os::Point Win32OverlayWindows::cursor_position() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

std::optional<os::Box> Win32OverlayWindows::popup_rect() {
  RECT r{};
  if (!t_popup || !GetWindowRect(t_popup, &r)) return std::nullopt;
  return os::Box{r.left, r.top, r.right, r.bottom};
}

std::optional<uint32_t> Win32OverlayWindows::monitor_dpi(const os::Box& nearby) {
  const DpiCalls& c = dpi_calls();
  if (!c.monitor_dpi) return std::nullopt;
  const RECT r = to_rect(nearby);
  HMONITOR m = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST);
  UINT x = 0;
  UINT y = 0;
  if (!m || FAILED(c.monitor_dpi(m, kMdtEffectiveDpi, &x, &y))) return std::nullopt;
  return x;
}

std::optional<os::Box> Win32OverlayWindows::work_area(const os::Box& nearby) {
  const RECT r = to_rect(nearby);
  HMONITOR m = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!m || !GetMonitorInfoW(m, &info)) return std::nullopt;
  return os::Box{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

void Win32OverlayWindows::show_underline(os::Point at, int32_t width, int32_t height,
                                         std::span<const uint32_t> pixels) {
  if (!t_underline || width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return;
  }
  HDC screen = GetDC(nullptr);
  if (!screen) return;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = memory ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return;
  }
  std::memcpy(bits, pixels.data(), pixels.size_bytes());
  HGDIOBJ old = SelectObject(memory, bitmap);
  SetWindowPos(t_underline, HWND_TOPMOST, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  POINT dest{at.x, at.y};
  SIZE size{width, height};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(t_underline, screen, &dest, &size, memory, &source, 0, &blend, ULW_ALPHA);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void Win32OverlayWindows::show_popup(const os::PopupPlacement& p) {
  if (!t_popup) return;
  HRGN region = p.shape == os::PopupPlacement::Shape::Ellipse
                    ? CreateEllipticRgn(0, 0, p.width + 1, p.height + 1)
                    : CreateRoundRectRgn(0, 0, p.width + 1, p.height + 1, p.corner, p.corner);
  // The window owns the region once it is set.
  if (region && !SetWindowRgn(t_popup, region, TRUE)) DeleteObject(region);
  SetWindowPos(t_popup, HWND_TOPMOST, p.x, p.y, p.width, p.height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(t_popup, nullptr, TRUE);
}

void Win32OverlayWindows::sleep(std::chrono::milliseconds duration) { Sleep(static_cast<DWORD>(duration.count())); }

}  // namespace harvel::win32
