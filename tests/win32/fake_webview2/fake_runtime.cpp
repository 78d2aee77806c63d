// A fake WebView2 runtime for the tests: the client library of an installed
// runtime (EmbeddedBrowserWebView.dll with its environment export),
// implementing the interfaces of our own declarations. It records what the
// host does, one JSON object a line, in the file HARVEL_FAKE_WEBVIEW2_LOG
// names, and it plays the page:
//
// - Navigate raises navigation-starting, then fetches the document through
//   web-resource-requested; an HTML document is "created" (the scripts added
//   so far run, recorded as {"e":"document"}), then the scripts and style
//   sheets it names are fetched the same way.
// - A test drives the page through WM_COPYDATA to the view's child window
//   (class HarvelFakeWebView), with a UTF-8 JSON command: {"do":"message",
//   "json":...} posts a web message from the page, {"do":"navigate","uri"}
//   starts a navigation from the page, {"do":"request","uri"} fetches a file,
//   {"do":"newwindow","uri"} asks for a window, {"do":"download","uri",
//   "path"} starts a download the runtime would save at "path".
//
// Everything happens on the thread that created the environment, as with
// the real runtime; completions arrive through that thread's message loop.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/webview2_api.h"
#include "platform/win32/win32_com.h"

namespace {

using namespace harvel::win32::wv2;
using harvel::win32::Com;
using Json = nlohmann::json;

constexpr wchar_t kVersion[] = L"120.0.2210.91";
constexpr wchar_t kViewClass[] = L"HarvelFakeWebView";
constexpr wchar_t kTaskClass[] = L"HarvelFakeWebViewTasks";
constexpr UINT kRunTasks = WM_APP + 7;

std::string narrow(const wchar_t* w) {
  if (!w || !*w) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

LPWSTR co_text(const std::wstring& s) {
  auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
  if (out) std::copy(s.c_str(), s.c_str() + s.size() + 1, out);
  return out;
}

HRESULT give_text(LPWSTR* out, const std::wstring& s) {
  if (!out) return E_POINTER;
  *out = co_text(s);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Hands out an interface with a reference of the caller's own.
template <typename I, typename T>
HRESULT give(I** out, T* object) {
  if (!out) return E_POINTER;
  *out = object;
  if (object) object->AddRef();
  return S_OK;
}

void record(const Json& line) {
  static std::mutex mutex;
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableW(L"HARVEL_FAKE_WEBVIEW2_LOG", path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return;
  Json stamped = line;
  stamped["ms"] = GetTickCount64();
  const std::string text = stamped.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  std::lock_guard lock(mutex);
  if (FILE* f = _wfopen(path, L"ab")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

// ---- Work for later on the caller's thread ------------------------------------------

std::deque<std::function<void()>>& tasks() {
  static std::deque<std::function<void()>> queue;
  return queue;
}

LRESULT CALLBACK task_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // One task a message: work queued meanwhile waits its turn behind the
  // thread's other messages, as the runtime's completions do.
  if (message == kRunTasks) {
    if (!tasks().empty()) {
      std::function<void()> task = std::move(tasks().front());
      tasks().pop_front();
      task();
    }
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void later(std::function<void()> task) {
  static HWND window = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = task_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kTaskClass;
    RegisterClassW(&wc);
    return CreateWindowExW(0, kTaskClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }();
  tasks().push_back(std::move(task));
  PostMessageW(window, kRunTasks, 0, 0);
}

// ---- A base for the objects -------------------------------------------------------------

template <typename I>
class Object : public I {
 public:
  virtual ~Object() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || offers(riid)) {
      *out = static_cast<I*>(this);
      this->AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual bool offers(REFIID riid) const = 0;

 private:
  ULONG refs_ = 1;
};

template <typename T>
Com<T> hold(T* p) {
  if (p) p->AddRef();
  return Com<T>::adopt(p);
}

#define NOT_IMPLEMENTED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }

// Handlers of one event, by token.
template <typename H>
class Handlers {
 public:
  HRESULT add(H* handler, EventRegistrationToken* token) {
    if (!handler || !token) return E_INVALIDARG;
    token->value = ++next_;
    list_.emplace_back(token->value, hold(handler));
    return S_OK;
  }
  HRESULT remove(EventRegistrationToken token) {
    std::erase_if(list_, [&](const auto& e) { return e.first == token.value; });
    return S_OK;
  }
  template <typename... A>
  void raise(A... args) {
    const auto copy = list_;
    for (const auto& [token, handler] : copy) handler->Invoke(args...);
  }

 private:
  int64_t next_ = 0;
  std::vector<std::pair<int64_t, Com<H>>> list_;
};

// ---- Event arguments ----------------------------------------------------------------------

class MessageArgs final : public Object<ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  MessageArgs(std::wstring source, std::wstring json) : source_(std::move(source)), json_(std::move(json)) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* v) override { return give_text(v, source_); }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* v) override { return give_text(v, json_); }
  NOT_IMPLEMENTED(TryGetWebMessageAsString, LPWSTR*)

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2WebMessageReceivedEventArgs); }

 private:
  std::wstring source_;
  std::wstring json_;
};

class NavigationArgs final : public Object<ICoreWebView2NavigationStartingEventArgs> {
 public:
  explicit NavigationArgs(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* v) override { return give_text(v, uri_); }
  NOT_IMPLEMENTED(get_IsUserInitiated, BOOL*)
  NOT_IMPLEMENTED(get_IsRedirected, BOOL*)
  NOT_IMPLEMENTED(get_RequestHeaders, IUnknown**)
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* v) override {
    if (v) *v = cancel_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL v) override {
    cancel_ = v;
    return S_OK;
  }
  NOT_IMPLEMENTED(get_NavigationId, UINT64*)
  bool cancelled() const { return cancel_; }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2NavigationStartingEventArgs); }

 private:
  std::wstring uri_;
  BOOL cancel_ = FALSE;
};

class NewWindowArgs final : public Object<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  explicit NewWindowArgs(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* v) override { return give_text(v, uri_); }
  HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* w) override {
    new_window_ = w != nullptr;
    return S_OK;
  }
  NOT_IMPLEMENTED(get_NewWindow, ICoreWebView2**)
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL v) override {
    handled_ = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* v) override {
    if (v) *v = handled_;
    return S_OK;
  }
  NOT_IMPLEMENTED(get_IsUserInitiated, BOOL*)
  NOT_IMPLEMENTED(GetDeferral, IUnknown**)
  NOT_IMPLEMENTED(get_WindowFeatures, IUnknown**)
  bool handled() const { return handled_; }
  bool new_window() const { return new_window_; }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2NewWindowRequestedEventArgs); }

 private:
  std::wstring uri_;
  BOOL handled_ = FALSE;
  bool new_window_ = false;
};

class Request final : public Object<ICoreWebView2WebResourceRequest> {
 public:
  explicit Request(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* v) override { return give_text(v, uri_); }
  NOT_IMPLEMENTED(put_Uri, LPCWSTR)
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* v) override { return give_text(v, L"GET"); }
  NOT_IMPLEMENTED(put_Method, LPCWSTR)
  NOT_IMPLEMENTED(get_Content, IStream**)
  NOT_IMPLEMENTED(put_Content, IStream*)
  NOT_IMPLEMENTED(get_Headers, IUnknown**)

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2WebResourceRequest); }

 private:
  std::wstring uri_;
};

class Response final : public Object<ICoreWebView2WebResourceResponse> {
 public:
  Response(IStream* content, int status, std::wstring reason, std::wstring headers)
      : content_(hold(content)), status_(status), reason_(std::move(reason)), headers_(std::move(headers)) {}
  HRESULT STDMETHODCALLTYPE get_Content(IStream** v) override { return give(v, content_.get()); }
  NOT_IMPLEMENTED(put_Content, IStream*)
  NOT_IMPLEMENTED(get_Headers, IUnknown**)
  HRESULT STDMETHODCALLTYPE get_StatusCode(int* v) override {
    if (v) *v = status_;
    return S_OK;
  }
  NOT_IMPLEMENTED(put_StatusCode, int)
  HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* v) override { return give_text(v, reason_); }
  NOT_IMPLEMENTED(put_ReasonPhrase, LPCWSTR)

  int status() const { return status_; }
  const std::wstring& reason() const { return reason_; }
  const std::wstring& headers() const { return headers_; }
  std::string body() const {
    std::string out;
    if (!content_) return out;
    LARGE_INTEGER zero{};
    content_->Seek(zero, STREAM_SEEK_SET, nullptr);
    char buffer[16384];
    ULONG n = 0;
    while (SUCCEEDED(content_->Read(buffer, sizeof buffer, &n)) && n > 0) out.append(buffer, n);
    return out;
  }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2WebResourceResponse); }

 private:
  Com<IStream> content_;
  int status_;
  std::wstring reason_;
  std::wstring headers_;
};

class ResourceArgs final : public Object<ICoreWebView2WebResourceRequestedEventArgs> {
 public:
  explicit ResourceArgs(std::wstring uri) : request_(Com<Request>::adopt(new Request(std::move(uri)))) {}
  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** v) override {
    return give(v, request_.get());
  }
  HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** v) override {
    return give(v, response_.get());
  }
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* r) override {
    response_ = hold(static_cast<Response*>(r));
    return S_OK;
  }
  NOT_IMPLEMENTED(GetDeferral, IUnknown**)
  HRESULT STDMETHODCALLTYPE get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* v) override {
    if (v) *v = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL;
    return S_OK;
  }
  Response* response() const { return response_.get(); }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2WebResourceRequestedEventArgs); }

 private:
  Com<Request> request_;
  Com<Response> response_;
};

class DownloadOperation final : public Object<ICoreWebView2DownloadOperation> {
 public:
  explicit DownloadOperation(std::wstring uri) : uri_(std::move(uri)) {}
  NOT_IMPLEMENTED(add_BytesReceivedChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_BytesReceivedChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(add_EstimatedEndTimeChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_EstimatedEndTimeChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(add_StateChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_StateChanged, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* v) override { return give_text(v, uri_); }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2DownloadOperation); }

 private:
  std::wstring uri_;
};

class DownloadArgs final : public Object<ICoreWebView2DownloadStartingEventArgs> {
 public:
  DownloadArgs(std::wstring uri, std::wstring path)
      : operation_(Com<DownloadOperation>::adopt(new DownloadOperation(std::move(uri)))), path_(std::move(path)) {}
  HRESULT STDMETHODCALLTYPE get_DownloadOperation(ICoreWebView2DownloadOperation** v) override {
    return give(v, operation_.get());
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* v) override {
    if (v) *v = cancel_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL v) override {
    cancel_ = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* v) override { return give_text(v, path_); }
  HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR v) override {
    path_ = v ? v : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* v) override {
    if (v) *v = handled_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL v) override {
    handled_ = v;
    return S_OK;
  }
  NOT_IMPLEMENTED(GetDeferral, IUnknown**)
  bool cancelled() const { return cancel_; }
  const std::wstring& path() const { return path_; }

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2DownloadStartingEventArgs); }

 private:
  Com<DownloadOperation> operation_;
  std::wstring path_;
  BOOL cancel_ = FALSE;
  BOOL handled_ = FALSE;
};

// ---- Settings ------------------------------------------------------------------------------

#define SETTING(name)                                                                       \
  HRESULT STDMETHODCALLTYPE get_##name(BOOL* v) override {                                  \
    if (v) *v = name##_;                                                                    \
    return S_OK;                                                                            \
  }                                                                                         \
  HRESULT STDMETHODCALLTYPE put_##name(BOOL v) override {                                   \
    name##_ = v;                                                                            \
    record({{"e", "setting"}, {"window", label_}, {"name", #name}, {"value", v != FALSE}}); \
    return S_OK;                                                                            \
  }                                                                                         \
  BOOL name##_ = TRUE;

class Settings final : public Object<ICoreWebView2Settings> {
 public:
  explicit Settings(std::string label) : label_(std::move(label)) {}
  SETTING(IsScriptEnabled)
  SETTING(IsWebMessageEnabled)
  SETTING(AreDefaultScriptDialogsEnabled)
  SETTING(IsStatusBarEnabled)
  SETTING(AreDevToolsEnabled)
  SETTING(AreDefaultContextMenusEnabled)
  SETTING(AreHostObjectsAllowed)
  SETTING(IsZoomControlEnabled)
  SETTING(IsBuiltInErrorPageEnabled)

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2Settings); }

 private:
  std::string label_;
};

// ---- The view -------------------------------------------------------------------------------

class View final : public Object<ICoreWebView2_4> {
 public:
  View(HWND child, std::string label)
      : child_(child), label_(std::move(label)), settings_(Com<Settings>::adopt(new Settings(label_))) {}

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** v) override { return give(v, settings_.get()); }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* v) override { return give_text(v, source_); }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    if (!uri) return E_INVALIDARG;
    const std::wstring target = uri;
    Com<View> self = hold(this);
    later([self, target] { self->load(target, "host"); });
    return S_OK;
  }
  NOT_IMPLEMENTED(NavigateToString, LPCWSTR)
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* h,
                                                   EventRegistrationToken* t) override {
    return navigation_.add(h, t);
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken t) override {
    return navigation_.remove(t);
  }
  NOT_IMPLEMENTED(add_ContentLoading, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_ContentLoading, EventRegistrationToken)
  NOT_IMPLEMENTED(add_SourceChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_SourceChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(add_HistoryChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_HistoryChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(add_NavigationCompleted, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_NavigationCompleted, EventRegistrationToken)
  NOT_IMPLEMENTED(add_FrameNavigationStarting, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_FrameNavigationStarting, EventRegistrationToken)
  NOT_IMPLEMENTED(add_FrameNavigationCompleted, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_FrameNavigationCompleted, EventRegistrationToken)
  NOT_IMPLEMENTED(add_ScriptDialogOpening, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_ScriptDialogOpening, EventRegistrationToken)
  NOT_IMPLEMENTED(add_PermissionRequested, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_PermissionRequested, EventRegistrationToken)
  NOT_IMPLEMENTED(add_ProcessFailed, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_ProcessFailed, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    if (!script) return E_INVALIDARG;
    scripts_.push_back(script);
    const std::wstring id = std::to_wstring(scripts_.size());
    record({{"e", "script"}, {"window", label_}, {"index", scripts_.size()}, {"text", narrow(script)}});
    Com<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler> done = hold(handler);
    if (done) later([done, id] { done->Invoke(S_OK, id.c_str()); });
    return S_OK;
  }
  NOT_IMPLEMENTED(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  NOT_IMPLEMENTED(ExecuteScript, LPCWSTR, IUnknown*)
  NOT_IMPLEMENTED(CapturePreview, int, IStream*, IUnknown*)
  NOT_IMPLEMENTED(Reload)
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    const std::string text = narrow(json);
    // The runtime takes only valid JSON.
    if (!Json::accept(text)) {
      record({{"e", "post-refused"}, {"window", label_}, {"json", text}});
      return E_INVALIDARG;
    }
    record({{"e", "post"}, {"window", label_}, {"json", text}});
    return S_OK;
  }
  NOT_IMPLEMENTED(PostWebMessageAsString, LPCWSTR)
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h,
                                                   EventRegistrationToken* t) override {
    return messages_.add(h, t);
  }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken t) override { return messages_.remove(t); }
  NOT_IMPLEMENTED(CallDevToolsProtocolMethod, LPCWSTR, LPCWSTR, IUnknown*)
  NOT_IMPLEMENTED(get_BrowserProcessId, UINT32*)
  NOT_IMPLEMENTED(get_CanGoBack, BOOL*)
  NOT_IMPLEMENTED(get_CanGoForward, BOOL*)
  NOT_IMPLEMENTED(GoBack)
  NOT_IMPLEMENTED(GoForward)
  NOT_IMPLEMENTED(GetDevToolsProtocolEventReceiver, LPCWSTR, IUnknown**)
  NOT_IMPLEMENTED(Stop)
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h,
                                                   EventRegistrationToken* t) override {
    return new_windows_.add(h, t);
  }
  HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken t) override {
    return new_windows_.remove(t);
  }
  NOT_IMPLEMENTED(add_DocumentTitleChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_DocumentTitleChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(get_DocumentTitle, LPWSTR*)
  NOT_IMPLEMENTED(AddHostObjectToScript, LPCWSTR, VARIANT*)
  NOT_IMPLEMENTED(RemoveHostObjectFromScript, LPCWSTR)
  NOT_IMPLEMENTED(OpenDevToolsWindow)
  NOT_IMPLEMENTED(add_ContainsFullScreenElementChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_ContainsFullScreenElementChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(get_ContainsFullScreenElement, BOOL*)
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* h,
                                                     EventRegistrationToken* t) override {
    return resources_.add(h, t);
  }
  HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken t) override {
    return resources_.remove(t);
  }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    if (!uri) return E_INVALIDARG;
    filters_.push_back(uri);
    record({{"e", "filter"}, {"window", label_}, {"uri", narrow(uri)}});
    return S_OK;
  }
  NOT_IMPLEMENTED(RemoveWebResourceRequestedFilter, LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT)
  NOT_IMPLEMENTED(add_WindowCloseRequested, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_WindowCloseRequested, EventRegistrationToken)

  // ICoreWebView2_2 and _3: nothing the host calls.
  NOT_IMPLEMENTED(add_WebResourceResponseReceived, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_WebResourceResponseReceived, EventRegistrationToken)
  NOT_IMPLEMENTED(NavigateWithWebResourceRequest, ICoreWebView2WebResourceRequest*)
  NOT_IMPLEMENTED(add_DOMContentLoaded, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_DOMContentLoaded, EventRegistrationToken)
  NOT_IMPLEMENTED(get_CookieManager, IUnknown**)
  NOT_IMPLEMENTED(get_Environment, ICoreWebView2Environment**)
  NOT_IMPLEMENTED(TrySuspend, IUnknown*)
  NOT_IMPLEMENTED(Resume)
  NOT_IMPLEMENTED(get_IsSuspended, BOOL*)
  NOT_IMPLEMENTED(SetVirtualHostNameToFolderMapping, LPCWSTR, LPCWSTR, int)
  NOT_IMPLEMENTED(ClearVirtualHostNameToFolderMapping, LPCWSTR)

  // ICoreWebView2_4
  NOT_IMPLEMENTED(add_FrameCreated, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_FrameCreated, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* h,
                                                 EventRegistrationToken* t) override {
    return downloads_.add(h, t);
  }
  HRESULT STDMETHODCALLTYPE remove_DownloadStarting(EventRegistrationToken t) override { return downloads_.remove(t); }

  // What a test asks of the page (WM_COPYDATA to the view's window).
  void command(const Json& c) {
    const std::string what = c.value("do", "");
    const std::wstring uri = widen(c.value("uri", ""));
    if (what == "message") {
      Com<MessageArgs> args = Com<MessageArgs>::adopt(new MessageArgs(source_, widen(c.value("json", ""))));
      messages_.raise(static_cast<ICoreWebView2*>(this), args.get());
    } else if (what == "navigate") {
      load(uri, "page");
    } else if (what == "request") {
      request(uri);
    } else if (what == "newwindow") {
      Com<NewWindowArgs> args = Com<NewWindowArgs>::adopt(new NewWindowArgs(uri));
      new_windows_.raise(static_cast<ICoreWebView2*>(this), args.get());
      record({{"e", "newwindow"},
              {"window", label_},
              {"uri", narrow(uri.c_str())},
              {"handled", args->handled()},
              {"new_window", args->new_window()}});
    } else if (what == "download") {
      Com<DownloadArgs> args = Com<DownloadArgs>::adopt(new DownloadArgs(uri, widen(c.value("path", ""))));
      downloads_.raise(static_cast<ICoreWebView2*>(this), args.get());
      record({{"e", "download"},
              {"window", label_},
              {"uri", narrow(uri.c_str())},
              {"cancel", args->cancelled()},
              {"path", narrow(args->path().c_str())}});
    }
  }

  void closed() { child_ = nullptr; }
  const std::string& label() const { return label_; }

 protected:
  bool offers(REFIID r) const override {
    return IsEqualIID(r, IID_ICoreWebView2) || IsEqualIID(r, IID_ICoreWebView2_2) ||
           IsEqualIID(r, IID_ICoreWebView2_3) || IsEqualIID(r, IID_ICoreWebView2_4);
  }

 private:
  bool filtered(const std::wstring& uri) const {
    for (const std::wstring& f : filters_) {
      if (!f.empty() && f.back() == L'*' ? uri.compare(0, f.size() - 1, f, 0, f.size() - 1) == 0 : uri == f) {
        return true;
      }
    }
    return false;
  }

  // Fetches one address as the page would; the body when it was served.
  std::optional<std::string> request(const std::wstring& uri);

  void load(const std::wstring& uri, const char* by) {
    Com<NavigationArgs> args = Com<NavigationArgs>::adopt(new NavigationArgs(uri));
    navigation_.raise(static_cast<ICoreWebView2*>(this), args.get());
    record({{"e", "navigate"},
            {"window", label_},
            {"uri", narrow(uri.c_str())},
            {"by", by},
            {"cancelled", args->cancelled()}});
    if (args->cancelled()) return;
    source_ = uri;
    const std::optional<std::string> body = request(uri);
    if (!body || body->find("<html") == std::string::npos) return;
    // The document exists: the scripts added so far run, in their order,
    // before any script of the page.
    record({{"e", "document"}, {"window", label_}, {"uri", narrow(uri.c_str())}, {"scripts", scripts_.size()}});
    const std::wstring base = uri.substr(0, uri.find_last_of(L'/') + 1);
    for (const char* attribute : {"src=\"./", "href=\"./"}) {
      for (std::size_t at = body->find(attribute); at != std::string::npos; at = body->find(attribute, at + 1)) {
        const std::size_t start = at + std::char_traits<char>::length(attribute);
        const std::size_t end = body->find('"', start);
        if (end != std::string::npos) request(base + widen(body->substr(start, end - start)));
      }
    }
  }

  HWND child_;
  std::string label_;
  Com<Settings> settings_;
  std::wstring source_;
  std::vector<std::wstring> scripts_;
  std::vector<std::wstring> filters_;
  Handlers<ICoreWebView2NavigationStartingEventHandler> navigation_;
  Handlers<ICoreWebView2WebMessageReceivedEventHandler> messages_;
  Handlers<ICoreWebView2NewWindowRequestedEventHandler> new_windows_;
  Handlers<ICoreWebView2WebResourceRequestedEventHandler> resources_;
  Handlers<ICoreWebView2DownloadStartingEventHandler> downloads_;
};

std::optional<std::string> View::request(const std::wstring& uri) {
  if (!filtered(uri)) {
    record({{"e", "resource"}, {"window", label_}, {"uri", narrow(uri.c_str())}, {"served", false}});
    return std::nullopt;
  }
  Com<ResourceArgs> args = Com<ResourceArgs>::adopt(new ResourceArgs(uri));
  resources_.raise(static_cast<ICoreWebView2*>(this), args.get());
  Response* r = args->response();
  if (!r) {
    record({{"e", "resource"}, {"window", label_}, {"uri", narrow(uri.c_str())}, {"served", false}});
    return std::nullopt;
  }
  std::string body = r->body();
  record({{"e", "resource"},
          {"window", label_},
          {"uri", narrow(uri.c_str())},
          {"served", true},
          {"status", r->status()},
          {"reason", narrow(r->reason().c_str())},
          {"headers", narrow(r->headers().c_str())},
          {"length", body.size()}});
  if (r->status() != 200) return std::nullopt;
  return body;
}

LRESULT CALLBACK view_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* view = reinterpret_cast<View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_COPYDATA && view) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    if (!data || !data->lpData) return FALSE;
    const Json c = Json::parse(std::string(static_cast<const char*>(data->lpData), data->cbData), nullptr, false);
    if (!c.is_object()) return FALSE;
    Com<View> keep = hold(view);
    keep->command(c);
    return TRUE;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// ---- The controller ----------------------------------------------------------------------------

class Controller final : public Object<ICoreWebView2Controller2> {
 public:
  Controller(HWND parent, HWND child, Com<View> view) : parent_(parent), child_(child), view_(std::move(view)) {}

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* v) override {
    if (v) *v = visible_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL v) override {
    visible_ = v;
    if (child_) ShowWindow(child_, v ? SW_SHOWNA : SW_HIDE);
    record({{"e", "visible"}, {"window", view_->label()}, {"value", v != FALSE}});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* v) override {
    if (v) *v = bounds_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
    bounds_ = r;
    if (child_) {
      SetWindowPos(child_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
  }
  NOT_IMPLEMENTED(get_ZoomFactor, double*)
  NOT_IMPLEMENTED(put_ZoomFactor, double)
  NOT_IMPLEMENTED(add_ZoomFactorChanged, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_ZoomFactorChanged, EventRegistrationToken)
  NOT_IMPLEMENTED(SetBoundsAndZoomFactor, RECT, double)
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    if (child_) SetFocus(child_);
    return S_OK;
  }
  NOT_IMPLEMENTED(add_MoveFocusRequested, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_MoveFocusRequested, EventRegistrationToken)
  NOT_IMPLEMENTED(add_GotFocus, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_GotFocus, EventRegistrationToken)
  NOT_IMPLEMENTED(add_LostFocus, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_LostFocus, EventRegistrationToken)
  NOT_IMPLEMENTED(add_AcceleratorKeyPressed, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_AcceleratorKeyPressed, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* v) override {
    if (v) *v = parent_;
    return S_OK;
  }
  NOT_IMPLEMENTED(put_ParentWindow, HWND)
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close() override {
    if (!child_) return S_OK;
    record({{"e", "close"}, {"window", view_->label()}});
    SetWindowLongPtrW(child_, GWLP_USERDATA, 0);
    if (IsWindow(child_)) DestroyWindow(child_);
    child_ = nullptr;
    view_->closed();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** v) override { return give(v, view_.get()); }
  HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* v) override {
    if (v) *v = background_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR c) override {
    background_ = c;
    record({{"e", "background"}, {"window", view_->label()}, {"argb", {c.A, c.R, c.G, c.B}}});
    return S_OK;
  }

 protected:
  bool offers(REFIID r) const override {
    return IsEqualIID(r, IID_ICoreWebView2Controller) || IsEqualIID(r, IID_ICoreWebView2Controller2);
  }

 private:
  HWND parent_;
  HWND child_;
  Com<View> view_;
  BOOL visible_ = TRUE;
  RECT bounds_{};
  COREWEBVIEW2_COLOR background_{255, 255, 255, 255};
};

// ---- The environment -----------------------------------------------------------------------------

std::string window_label(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropW(hwnd, L"HarvelWindowLabel")));
  wchar_t name[256] = {};
  if (atom) GlobalGetAtomNameW(atom, name, 256);
  return narrow(name);
}

class Environment final : public Object<ICoreWebView2Environment> {
 public:
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (!handler) return E_INVALIDARG;
    static const ATOM cls = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = view_proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kViewClass;
      return RegisterClassW(&wc);
    }();
    (void)cls;
    if (!IsWindow(parent)) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    HWND child = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 1, 1, parent,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    const std::string label = window_label(parent);
    Com<View> view = Com<View>::adopt(new View(child, label));
    SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view.get()));
    Com<Controller> controller = Com<Controller>::adopt(new Controller(parent, child, view));
    record({{"e", "controller"}, {"window", label}});
    Com<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> done = hold(handler);
    later([done, controller] { done->Invoke(S_OK, controller.get()); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                                                      ICoreWebView2WebResourceResponse** out) override {
    if (!out) return E_POINTER;
    *out = new Response(content, status, reason ? reason : L"", headers ? headers : L"");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* v) override { return give_text(v, kVersion); }
  NOT_IMPLEMENTED(add_NewBrowserVersionAvailable, IUnknown*, EventRegistrationToken*)
  NOT_IMPLEMENTED(remove_NewBrowserVersionAvailable, EventRegistrationToken)

 protected:
  bool offers(REFIID r) const override { return IsEqualIID(r, IID_ICoreWebView2Environment); }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    CreateWebViewEnvironmentWithOptionsInternal(bool check_running_instance, int runtime_type, PCWSTR user_data_folder,
                                                IUnknown* options,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (!handler) return E_POINTER;
  record({{"e", "environment"},
          {"check_running_instance", check_running_instance},
          {"runtime_type", runtime_type},
          {"user_data_folder", narrow(user_data_folder)},
          {"options", options != nullptr}});
  Com<Environment> environment = Com<Environment>::adopt(new Environment);
  Com<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> done = hold(handler);
  later([done, environment] { done->Invoke(S_OK, environment.get()); });
  return S_OK;
}
