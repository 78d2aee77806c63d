#include "platform/win32/win32_web_windows.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <type_traits>

#include "app/downloads.h"
#include "app/navigation.h"
#include "app/web_assets.h"
#include "app/web_bridge.h"
#include "app/window_styles.h"
#include "platform/win32/webview2_api.h"
#include "platform/win32/win32_app.h"
#include "platform/win32/win32_com.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_webview2.h"
#include "platform/win32/win32_window.h"

namespace harvel::win32 {

using namespace wv2;

// One window and its view.
struct HostWindow {
  Win32WebWindows* owner = nullptr;
  std::string label;
  os::WindowSpec spec;
  HWND hwnd = nullptr;
  ATOM label_atom = 0;
  Com<ICoreWebView2Controller> controller;
  Com<ICoreWebView2> view;
  int scripts_left = 0;
  bool retried = false;

  intptr_t handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam);
  void fit_view();
  void focus_view();
};

// The one environment all views share, created with the first window.
struct EnvironmentState {
  enum class Phase { None, Creating, Ready } phase = Phase::None;
  Com<ICoreWebView2Environment> environment;
  std::vector<std::weak_ptr<HostWindow>> waiting;
};

namespace {

using Weak = std::weak_ptr<HostWindow>;

int pixels(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::round(v);
  return static_cast<int>(std::clamp(r, static_cast<double>(INT_MIN / 2), static_cast<double>(INT_MAX / 2)));
}

double scale_of(HWND hwnd) { return window_dpi(hwnd) / 96.0; }

std::string page_url(const std::string& url) {
  if (url.find("://") != std::string::npos) return url;
  std::string_view rest = url;
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  return "https://harvel.localhost/" + std::string(rest);
}

// Where the views keep their profile: the local (not roaming) application
// data, since caches have no business following the user around.
std::wstring user_data_folder() {
  PWSTR path = nullptr;
  std::wstring base;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path && *path) {
    base = std::wstring(path) + L"\\uz.harvel.desktop";
  }
  CoTaskMemFree(path);
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    base = std::wstring(temp, n > 0 && n <= MAX_PATH ? n : 0) + L"Harvel";
  }
  return base + L"\\WebView2";
}

// The difference between the window's outer size and its client area.
SIZE frame_extra(HWND hwnd) {
  RECT window{};
  RECT client{};
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  return {(window.right - window.left) - client.right, (window.bottom - window.top) - client.bottom};
}

void set_client_size(HWND hwnd, int width, int height) {
  const SIZE extra = frame_extra(hwnd);
  SetWindowPos(hwnd, nullptr, 0, 0, std::max(1, width) + extra.cx, std::max(1, height) + extra.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A logical point on the desktop in physical pixels: scaled by the monitor
// whose logical area holds it (the primary monitor's when none does).
POINT physical_point(double x, double y) {
  const std::vector<os::MonitorInfo> all = Win32Monitors().monitors();
  double scale = 1.0;
  for (const os::MonitorInfo& m : all) {
    if (m.primary) scale = m.scale_factor;
  }
  for (const os::MonitorInfo& m : all) {
    const double s = m.scale_factor > 0 ? m.scale_factor : 1.0;
    const double left = m.rect.x / s;
    const double top = m.rect.y / s;
    if (x >= left && y >= top && x < left + m.rect.width / s && y < top + m.rect.height / s) {
      scale = s;
      break;
    }
  }
  return {pixels(x * scale), pixels(y * scale)};
}

bool register_window_class() {
  static const bool registered = [] {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = owner_window_proc<HostWindow>;
    wc.hInstance = instance;
    wc.lpszClassName = kWebWindowClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The program's icon is resource 1; without it the system's default.
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

std::string header_block(const AssetResponse& r) {
  std::string out;
  for (const auto& [name, value] : r.headers) out += name + ": " + value + "\r\n";
  return out;
}

// One call of a page, answered once from any thread. A call dropped without
// an answer is failed, so the page's promise always settles.
struct PendingReply {
  Win32WebWindows* owner;
  Weak window;
  std::string id;
  std::atomic<bool> answered{false};

  static void send(Win32WebWindows* owner, const Weak& window, const std::string& message);
  ~PendingReply() {
    if (!answered)
      send(owner, window, bridge_reply_message(id, os::CommandResult::error("the command was not answered")));
  }
};

}  // namespace

// ---- The window procedure ------------------------------------------------------

void HostWindow::fit_view() {
  if (!controller) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  controller->put_Bounds(client);
}

void HostWindow::focus_view() {
  if (controller) controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

intptr_t HostWindow::handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case WM_NCCALCSIZE:
      // A frameless window that can be resized keeps its sizing frame on
      // the left, right and bottom (drawn invisibly by the system) and loses
      // the top one: the page draws its own title bar there. Maximised, the
      // frame lies beyond the monitor on every side, the top included.
      // The proposed rectangle comes first in both forms of the message.
      if (spec.frameless && spec.resizable) {
        auto* proposed = reinterpret_cast<RECT*>(lparam);
        const RECT before = *proposed;
        DefWindowProcW(hwnd, WM_NCCALCSIZE, wparam, lparam);
        proposed->top = before.top + (IsZoomed(hwnd) ? proposed->left - before.left : 0);
        return 0;
      }
      break;
    case WM_GETMINMAXINFO:
      if (spec.min_width || spec.min_height) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        const double s = scale_of(hwnd);
        const SIZE extra = frame_extra(hwnd);
        if (spec.min_width) info->ptMinTrackSize.x = pixels(*spec.min_width * s) + extra.cx;
        if (spec.min_height) info->ptMinTrackSize.y = pixels(*spec.min_height * s) + extra.cy;
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      const auto* r = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SIZE:
      fit_view();
      return 0;
    case WM_MOVE:
      if (controller) controller->NotifyParentWindowPositionChanged();
      return 0;
    case WM_ACTIVATE: {
      const bool active = LOWORD(wparam) != WA_INACTIVE;
      if (active) focus_view();
      Win32WebWindows* o = owner;
      const std::string l = label;
      o->handle_focus(l, active);  // may destroy this window
      return 0;
    }
    case WM_SETFOCUS:
      focus_view();
      return 0;
    case WM_MOUSEACTIVATE:
      if (!spec.focus) return MA_NOACTIVATE;
      break;
    case WM_ERASEBKGND:
      // Until the view paints: white as the view's own default, nothing at
      // all where the window is to be see-through.
      if (!spec.transparent) {
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
      return 1;
    case WM_CLOSE: {
      Win32WebWindows* o = owner;
      const std::string l = label;
      o->handle_close_request(l);
      return 0;
    }
    case WM_DESTROY: {
      Win32WebWindows* o = owner;
      const std::string l = label;
      o->handle_destroyed(l);  // frees this object
      return 0;
    }
    default:
      break;
  }
  return -1;
}

namespace {

void PendingReply::send(Win32WebWindows* owner, const Weak& window, const std::string& message) {
  auto deliver = [window, message] {
    const std::shared_ptr<HostWindow> w = window.lock();
    if (w && w->view) w->view->PostWebMessageAsJson(widen(message).c_str());
  };
  if (owner->app().on_window_thread()) {
    deliver();
  } else {
    owner->app().post(deliver);
  }
}

}  // namespace

// ---- Win32WebWindows ------------------------------------------------------------

Win32WebWindows::Win32WebWindows(Win32Application& app) : app_(app), environment_(new EnvironmentState) {
  // The views live in the loop thread's single-threaded apartment.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

Win32WebWindows::~Win32WebWindows() = default;

template <typename Fn>
auto Win32WebWindows::on_loop(Fn&& fn) -> decltype(fn()) {
  using R = decltype(fn());
  if constexpr (std::is_void_v<R>) {
    app_.call_on_window_thread(fn);
  } else {
    R result{};
    app_.call_on_window_thread([&] { result = fn(); });
    return result;
  }
}

std::shared_ptr<HostWindow> Win32WebWindows::find(std::string_view label) {
  const auto it = windows_.find(label);
  return it == windows_.end() ? nullptr : it->second;
}

bool Win32WebWindows::create(const os::WindowSpec& spec) {
  return on_loop([&] {
    if (spec.label.empty() || find(spec.label) || !register_window_class()) return false;
    auto w = std::make_shared<HostWindow>();
    w->owner = this;
    w->label = spec.label;
    w->spec = spec;
    const WindowStyle style = window_style_for(spec);
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    if (spec.x && spec.y) {
      const POINT at = physical_point(*spec.x, *spec.y);
      x = at.x;
      y = at.y;
    }
    HWND hwnd = CreateWindowExW(style.ex_style, kWebWindowClass, widen(spec.title).c_str(), style.style, x, y,
                                std::max(1, pixels(spec.width)), std::max(1, pixels(spec.height)), nullptr, nullptr,
                                GetModuleHandleW(nullptr), w.get());
    if (!hwnd) return false;
    w->hwnd = hwnd;
    windows_.emplace(spec.label, w);
    w->label_atom = GlobalAddAtomW(widen(spec.label).c_str());
    if (w->label_atom) SetPropW(hwnd, kWindowLabelProperty, reinterpret_cast<HANDLE>(uintptr_t{w->label_atom}));

    // Sizes are logical: scaled by the DPI of the monitor the window is on.
    const double s = scale_of(hwnd);
    set_client_size(hwnd, pixels(spec.width * s), pixels(spec.height * s));
    if (spec.center && !(spec.x && spec.y)) {
      MONITORINFO info{};
      info.cbSize = sizeof(info);
      RECT r{};
      GetWindowRect(hwnd, &r);
      if (GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info)) {
        const RECT& work = info.rcWork;
        const int cx = work.left + ((work.right - work.left) - (r.right - r.left)) / 2;
        const int cy = work.top + ((work.bottom - work.top) - (r.bottom - r.top)) / 2;
        SetWindowPos(hwnd, nullptr, std::max<int>(work.left, cx), std::max<int>(work.top, cy), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
    }
    if (spec.visible) ShowWindow(hwnd, spec.focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    start_view(w);
    return true;
  });
}

// ---- The environment and the views ------------------------------------------------

void Win32WebWindows::start_view(const std::shared_ptr<HostWindow>& w) {
  EnvironmentState& e = *environment_;
  if (e.phase == EnvironmentState::Phase::Ready) {
    create_controller(w);
    return;
  }
  e.waiting.push_back(w);
  if (e.phase == EnvironmentState::Phase::Creating) return;
  e.phase = EnvironmentState::Phase::Creating;
  auto handler =
      Callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT, ICoreWebView2Environment*>::make(
          IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
          [this](HRESULT hr, ICoreWebView2Environment* env) {
            environment_ready(hr, env);
            return S_OK;
          });
  const HRESULT hr = create_webview2_environment(user_data_folder(), handler.get());
  if (FAILED(hr)) environment_ready(hr, nullptr);
}

void Win32WebWindows::environment_ready(long result, void* environment) {
  EnvironmentState& e = *environment_;
  std::vector<Weak> waiting = std::move(e.waiting);
  e.waiting.clear();
  if (FAILED(result) || !environment) {
    // Nothing to show in: the windows stay empty, and the next window tries
    // again.
    e.phase = EnvironmentState::Phase::None;
    return;
  }
  auto* env = static_cast<ICoreWebView2Environment*>(environment);
  env->AddRef();
  e.environment = Com<ICoreWebView2Environment>::adopt(env);
  e.phase = EnvironmentState::Phase::Ready;
  for (const Weak& weak : waiting) {
    if (const auto w = weak.lock()) create_controller(w);
  }
}

void Win32WebWindows::create_controller(const std::shared_ptr<HostWindow>& w) {
  const Weak weak = w;
  auto handler =
      Callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT, ICoreWebView2Controller*>::make(
          IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
          [this, weak](HRESULT hr, ICoreWebView2Controller* c) {
            if (const auto live = weak.lock()) {
              controller_ready(live, hr, c);
            } else if (c) {
              c->Close();
            }
            return S_OK;
          });
  const HRESULT hr = environment_->environment->CreateCoreWebView2Controller(w->hwnd, handler.get());
  if (FAILED(hr)) controller_ready(w, hr, nullptr);
}

void Win32WebWindows::controller_ready(const std::shared_ptr<HostWindow>& w, long result, void* created) {
  if (FAILED(result) || !created) {
    // The runtime may have been updated under us: once, from a new
    // environment (a clash of environment options would fail again).
    if (!w->retried && result != HRESULT_FROM_WIN32(ERROR_INVALID_STATE) && w->hwnd) {
      w->retried = true;
      environment_->environment.reset();
      environment_->phase = EnvironmentState::Phase::None;
      start_view(w);
    }
    return;
  }
  auto* controller = static_cast<ICoreWebView2Controller*>(created);
  controller->AddRef();
  w->controller = Com<ICoreWebView2Controller>::adopt(controller);
  if (FAILED(controller->get_CoreWebView2(w->view.put())) || !w->view) {
    controller->Close();
    w->controller.reset();
    return;
  }
  ICoreWebView2* view = w->view.get();
  Com<ICoreWebView2Settings> settings;
  if (SUCCEEDED(view->get_Settings(settings.put())) && settings) {
    settings->put_IsWebMessageEnabled(TRUE);
    settings->put_AreHostObjectsAllowed(FALSE);
    settings->put_AreDevToolsEnabled(FALSE);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
  }
  if (w->spec.transparent) {
    if (auto c2 = w->controller.as<ICoreWebView2Controller2>(IID_ICoreWebView2Controller2)) {
      c2->put_DefaultBackgroundColor(COREWEBVIEW2_COLOR{0, 0, 0, 0});
    }
  }
  w->fit_view();
  controller->put_IsVisible(IsWindowVisible(w->hwnd) ? TRUE : FALSE);

  const Weak weak = w;
  EventRegistrationToken token{};
  view->add_WebMessageReceived(
      Callback<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*>::
          make(IID_ICoreWebView2WebMessageReceivedEventHandler,
               [this, weak](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
                 const auto live = weak.lock();
                 if (!live || !args) return S_OK;
                 // Only the application's own pages speak to the program.
                 CoText source;
                 if (FAILED(args->get_Source(source.put())) || !is_app_navigation_url(narrow(source.get()))) {
                   return S_OK;
                 }
                 CoText json;
                 if (SUCCEEDED(args->get_WebMessageAsJson(json.put()))) handle_message(live, narrow(json.get()));
                 return S_OK;
               })
              .get(),
      &token);
  view->add_NavigationStarting(
      Callback<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
               ICoreWebView2NavigationStartingEventArgs*>::make(IID_ICoreWebView2NavigationStartingEventHandler,
                                                                [](ICoreWebView2*,
                                                                   ICoreWebView2NavigationStartingEventArgs* args) {
                                                                  CoText uri;
                                                                  if (args &&
                                                                      (FAILED(args->get_Uri(uri.put())) ||
                                                                       !is_app_navigation_url(narrow(uri.get())))) {
                                                                    args->put_Cancel(TRUE);
                                                                  }
                                                                  return S_OK;
                                                                })
          .get(),
      &token);
  // Pages never open windows of their own: window.open answers null.
  view->add_NewWindowRequested(
      Callback<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
               ICoreWebView2NewWindowRequestedEventArgs*>::make(IID_ICoreWebView2NewWindowRequestedEventHandler,
                                                                [](ICoreWebView2*,
                                                                   ICoreWebView2NewWindowRequestedEventArgs* args) {
                                                                  if (args) args->put_Handled(TRUE);
                                                                  return S_OK;
                                                                })
          .get(),
      &token);
  view->add_WebResourceRequested(
      Callback<ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*,
               ICoreWebView2WebResourceRequestedEventArgs*>::
          make(IID_ICoreWebView2WebResourceRequestedEventHandler,
               [this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
                 Com<ICoreWebView2WebResourceRequest> request;
                 CoText uri;
                 if (!args || !environment_->environment || FAILED(args->get_Request(request.put())) || !request ||
                     FAILED(request->get_Uri(uri.put()))) {
                   return S_OK;
                 }
                 const AssetResponse r = serve_app_asset(narrow(uri.get()));
                 Com<IStream> stream = Com<IStream>::adopt(
                     SHCreateMemStream(reinterpret_cast<const BYTE*>(r.body.data()), static_cast<UINT>(r.body.size())));
                 Com<ICoreWebView2WebResourceResponse> response;
                 if (stream && SUCCEEDED(environment_->environment->CreateWebResourceResponse(
                                   stream.get(), r.status, widen(r.reason).c_str(), widen(header_block(r)).c_str(),
                                   response.put()))) {
                   args->put_Response(response.get());
                 }
                 return S_OK;
               })
              .get(),
      &token);
  for (const wchar_t* filter : {L"https://harvel.localhost/*", L"http://harvel.localhost/*"}) {
    view->AddWebResourceRequestedFilter(filter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  }
  if (auto view4 = w->view.as<ICoreWebView2_4>(IID_ICoreWebView2_4)) {
    view4->add_DownloadStarting(
        Callback<ICoreWebView2DownloadStartingEventHandler, ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs*>::
            make(IID_ICoreWebView2DownloadStartingEventHandler,
                 [](ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
                   if (!args) return S_OK;
                   Com<ICoreWebView2DownloadOperation> operation;
                   CoText uri;
                   if (FAILED(args->get_DownloadOperation(operation.put())) || !operation ||
                       FAILED(operation->get_Uri(uri.put())) || !is_app_download_url(narrow(uri.get()))) {
                     args->put_Cancel(TRUE);
                     return S_OK;
                   }
                   // The runtime proposes the page's name in its download
                   // folder; the saved file keeps that name and never
                   // replaces another file.
                   CoText proposed;
                   if (FAILED(args->get_ResultFilePath(proposed.put()))) return S_OK;
                   const std::wstring path = proposed.get();
                   const std::size_t slash = path.find_last_of(L"\\/");
                   if (slash == std::wstring::npos) return S_OK;
                   const std::wstring folder = path.substr(0, slash + 1);
                   const std::optional<std::string> name = free_download_name(
                       safe_download_name(narrow(path.substr(slash + 1))), [&](const std::string& candidate) {
                         return GetFileAttributesW((folder + widen(candidate)).c_str()) != INVALID_FILE_ATTRIBUTES;
                       });
                   if (!name) {
                     args->put_Cancel(TRUE);
                     return S_OK;
                   }
                   args->put_ResultFilePath((folder + widen(*name)).c_str());
                   return S_OK;
                 })
                .get(),
        &token);
  }

  // The bridge first, then the window's own start script; the page is
  // loaded once both are in place, so both run before the page's scripts.
  std::vector<std::string> scripts{bridge_script(w->label, BridgeTransport::WebView2)};
  if (!w->spec.start_script.empty()) scripts.push_back(w->spec.start_script);
  w->scripts_left = static_cast<int>(scripts.size());
  auto script_added = [weak](HRESULT, LPCWSTR) {
    const auto live = weak.lock();
    if (live && live->view && --live->scripts_left == 0) live->view->Navigate(widen(page_url(live->spec.url)).c_str());
    return S_OK;
  };
  for (const std::string& script : scripts) {
    auto done = Callback<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, HRESULT, LPCWSTR>::make(
        IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, script_added);
    if (FAILED(view->AddScriptToExecuteOnDocumentCreated(widen(script).c_str(), done.get())))
      script_added(E_FAIL, nullptr);
  }
}

// ---- The bridge -------------------------------------------------------------------

void Win32WebWindows::post_message(HostWindow& w, const std::string& json) {
  if (w.view) w.view->PostWebMessageAsJson(widen(json).c_str());
}

void Win32WebWindows::handle_message(const std::shared_ptr<HostWindow>& w, const std::string& message_json) {
  const std::optional<BridgeCall> call = parse_bridge_call(message_json);
  if (!call) return;  // no id: nothing to answer
  auto state = std::make_shared<PendingReply>();
  state->owner = this;
  state->window = w;
  state->id = call->id;
  os::CommandReply reply = [state](os::CommandResult result) {
    if (state->answered.exchange(true)) return;  // answered once only
    PendingReply::send(state->owner, state->window, bridge_reply_message(state->id, result));
  };
  if (call->cmd.empty()) {
    reply(os::CommandResult::error("malformed command call"));
    return;
  }
  if (answer_window_call(*this, app_, w->label, call->cmd, reply)) return;
  const os::CommandHandler handler = command_handler_;
  if (handler && handler(w->label, call->cmd, call->args, reply)) return;
  reply(os::CommandResult::error("command " + call->cmd + " not found"));
}

void Win32WebWindows::emit_to(std::string_view label, std::string_view event, std::string_view payload_json) {
  const std::string message = bridge_event_message(event, payload_json);
  on_loop([&] {
    if (const auto w = find(label)) post_message(*w, message);
  });
}

void Win32WebWindows::emit_all(std::string_view event, std::string_view payload_json) {
  const std::string message = bridge_event_message(event, payload_json);
  on_loop([&] {
    for (auto& [label, w] : windows_) post_message(*w, message);
  });
}

// ---- Window operations --------------------------------------------------------------

bool Win32WebWindows::exists(std::string_view label) {
  return on_loop([&] { return find(label) != nullptr; });
}

void Win32WebWindows::destroy(std::string_view label) {
  on_loop([&] {
    if (const auto w = find(label)) DestroyWindow(w->hwnd);
  });
}

void Win32WebWindows::show(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (!w) return;
    ShowWindow(w->hwnd, w->spec.focus ? SW_SHOW : SW_SHOWNOACTIVATE);
    if (w->controller) w->controller->put_IsVisible(TRUE);
  });
}

void Win32WebWindows::hide(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (!w) return;
    ShowWindow(w->hwnd, SW_HIDE);
    if (w->controller) w->controller->put_IsVisible(FALSE);
  });
}

bool Win32WebWindows::is_visible(std::string_view label) {
  return on_loop([&] {
    const auto w = find(label);
    return w && IsWindowVisible(w->hwnd);
  });
}

void Win32WebWindows::set_focus(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (!w) return;
    if (IsIconic(w->hwnd)) ShowWindow(w->hwnd, SW_RESTORE);
    SetForegroundWindow(w->hwnd);
    w->focus_view();
  });
}

void Win32WebWindows::unminimize(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (w && IsIconic(w->hwnd)) ShowWindow(w->hwnd, SW_RESTORE);
  });
}

void Win32WebWindows::set_size(std::string_view label, double width, double height, os::Units units) {
  on_loop([&] {
    const auto w = find(label);
    if (!w) return;
    const double s = units == os::Units::Logical ? scale_of(w->hwnd) : 1.0;
    set_client_size(w->hwnd, pixels(width * s), pixels(height * s));
  });
}

void Win32WebWindows::set_position(std::string_view label, double x, double y, os::Units units) {
  on_loop([&] {
    const auto w = find(label);
    if (!w) return;
    const POINT at = units == os::Units::Logical ? physical_point(x, y) : POINT{pixels(x), pixels(y)};
    SetWindowPos(w->hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  });
}

void Win32WebWindows::minimize(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (w && can_minimize(w->spec)) ShowWindow(w->hwnd, SW_MINIMIZE);
  });
}

void Win32WebWindows::toggle_maximize(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    if (w && can_maximize(w->spec)) ShowWindow(w->hwnd, IsZoomed(w->hwnd) ? SW_RESTORE : SW_MAXIMIZE);
  });
}

bool Win32WebWindows::is_maximized(std::string_view label) {
  return on_loop([&] {
    const auto w = find(label);
    return w && IsZoomed(w->hwnd);
  });
}

void Win32WebWindows::close(std::string_view label) {
  on_loop([&] {
    if (find(label)) handle_close_request(std::string(label));
  });
}

void Win32WebWindows::start_dragging(std::string_view label) {
  on_loop([&] {
    const auto w = find(label);
    // Only while the button that began the drag on the page is still held.
    if (!w || !(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    ReleaseCapture();
    PostMessageW(w->hwnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y));
  });
}

void Win32WebWindows::set_event_handler(os::WindowEventHandler handler) {
  on_loop([&] { event_handler_ = std::move(handler); });
}

void Win32WebWindows::set_command_handler(os::CommandHandler handler) {
  on_loop([&] { command_handler_ = std::move(handler); });
}

// ---- Window events (loop thread) ------------------------------------------------------

void Win32WebWindows::handle_close_request(const std::string& label) {
  os::WindowEvent event{os::WindowEventKind::CloseRequested};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
  if (event.prevent_close) return;
  // The handler may have destroyed the window itself.
  if (const auto w = find(label)) DestroyWindow(w->hwnd);
}

void Win32WebWindows::handle_destroyed(const std::string& label) {
  const std::shared_ptr<HostWindow> w = find(label);
  if (!w) return;
  // No more messages reach the object.
  SetWindowLongPtrW(w->hwnd, GWLP_USERDATA, 0);
  if (w->controller) w->controller->Close();
  w->view.reset();
  w->controller.reset();
  RemovePropW(w->hwnd, kWindowLabelProperty);
  if (w->label_atom) GlobalDeleteAtom(w->label_atom);
  w->hwnd = nullptr;
  windows_.erase(label);
  os::WindowEvent event{os::WindowEventKind::Destroyed};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
  // The last window closed ends the program (the program never refuses
  // that exit).
  if (windows_.empty()) app_.exit(0);
}

void Win32WebWindows::handle_focus(const std::string& label, bool focused) {
  os::WindowEvent event{focused ? os::WindowEventKind::Focused : os::WindowEventKind::Unfocused};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
}

}  // namespace harvel::win32
