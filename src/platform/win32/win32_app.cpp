#include "platform/win32/win32_app.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <thread>
#include <vector>

#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window.h"

namespace harvel::win32 {

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kWindowClass[] = L"HarvelAppWindow";
constexpr UINT kTaskMessage = WM_APP + 1;
constexpr UINT kExitMessage = WM_APP + 2;
// dwData of the second start's WM_COPYDATA ("HRV1").
constexpr ULONG_PTR kSecondStartTag = 0x48525631;
constexpr UINT kHotkeyModifierMask = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
constexpr int kLastHotkeyId = 0xBFFF;  // the ids an application may use
constexpr auto kWindowThreadWait = 5s;
constexpr auto kFirstCopyWindowWait = 3s;
constexpr UINT kSecondStartSendTimeoutMs = 5000;

HWND to_hwnd(os::WindowHandle w) { return reinterpret_cast<HWND>(w); }

bool register_window_class() { return register_owner_window_class<Win32Application>(kWindowClass); }

// The working folder, then each argument, each ended by a NUL.
std::wstring encode_second_start(const std::wstring& cwd, const std::vector<std::string>& args) {
  std::wstring data = cwd;
  data.push_back(L'\0');
  for (const std::string& a : args) {
    data += widen(a);
    data.push_back(L'\0');
  }
  return data;
}

std::optional<std::pair<std::string, std::vector<std::string>>> decode_second_start(std::wstring_view data) {
  if (data.empty() || data.back() != L'\0') return std::nullopt;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t end = data.find(L'\0', start);
    parts.push_back(narrow(data.substr(start, end - start)));
    start = end + 1;
  }
  std::string cwd = std::move(parts.front());
  parts.erase(parts.begin());
  return std::pair{std::move(cwd), std::move(parts)};
}

std::wstring current_directory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring dir(n, L'\0');
  const DWORD written = GetCurrentDirectoryW(n, dir.data());
  dir.resize(written < n ? written : 0);
  return dir;
}

// Whether process `pid` runs as the same user as this one.
bool runs_as_this_user(DWORD pid) {
  const auto user_of = [](HANDLE process) {
    std::vector<unsigned char> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
      const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
      sid.assign(static_cast<unsigned char*>(user), static_cast<unsigned char*>(user) + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
  };
  HANDLE other = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!other) return false;
  const std::vector<unsigned char> theirs = user_of(other);
  CloseHandle(other);
  const std::vector<unsigned char> mine = user_of(GetCurrentProcess());
  return !mine.empty() && theirs == mine;
}

// Finds the first copy's window and hands it this start's folder and
// arguments. The first copy may still be naming its window: look for a while.
// A window of that name in another user's process is not ours and is told
// nothing.
void notify_first_copy(const std::wstring& identifier, const std::vector<std::string>& args, HWND own) {
  HWND target = nullptr;
  DWORD pid = 0;
  const auto deadline = std::chrono::steady_clock::now() + kFirstCopyWindowWait;
  for (;;) {
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kWindowClass, identifier.c_str())) != nullptr;) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner != 0 && owner != GetCurrentProcessId() && runs_as_this_user(owner)) {
        target = w;
        pid = owner;
        break;
      }
    }
    if (target || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(50ms);
  }
  if (!target) return;
  // The first copy shows its window in answer: let it take the foreground.
  if (pid) AllowSetForegroundWindow(pid);
  std::wstring payload = encode_second_start(current_directory(), args);
  COPYDATASTRUCT data{};
  data.dwData = kSecondStartTag;
  data.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
  data.lpData = payload.data();
  DWORD_PTR result = 0;
  SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(own), reinterpret_cast<LPARAM>(&data),
                      SMTO_ABORTIFHUNG, kSecondStartSendTimeoutMs, &result);
}

// A new process with this one's executable, command line and folder.
void start_copy_of_this_program() {
  const auto program = module_path();
  if (!program) return;
  std::wstring line = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(program->c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace

Win32Application::Win32Application() {
  thread_id_ = GetCurrentThreadId();
  if (!register_window_class()) return;
  HWND hwnd = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              this);
  if (!hwnd) return;
  // A second start of lower integrity must still reach this window.
  ChangeWindowMessageFilterEx(hwnd, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
  window_ = reinterpret_cast<os::WindowHandle>(hwnd);
}

Win32Application::~Win32Application() {
  release_instance();
  if (!window_) return;
  HWND hwnd = to_hwnd(window_);
  // Shortcuts and the window belong to the creating thread; the system frees
  // them with that thread in any case.
  if (GetCurrentThreadId() == thread_id_) {
    {
      std::lock_guard lock(hotkeys_mutex_);
      for (const auto& [key, id] : hotkey_ids_) UnregisterHotKey(hwnd, id);
      hotkey_ids_.clear();
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  } else {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
}

// ---- event loop --------------------------------------------------------------

void Win32Application::post(std::function<void()> task) {
  if (!task) return;
  {
    std::lock_guard lock(tasks_mutex_);
    tasks_.push_back(std::move(task));
  }
  // Should this wake-up be lost (a full queue), the task runs with the next.
  if (window_) PostMessageW(to_hwnd(window_), kTaskMessage, 0, 0);
}

void Win32Application::run_tasks() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(tasks_mutex_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) {
    // Nothing may unwind through the system's message dispatch.
    try {
      task();
    } catch (...) {
    }
  }
}

int Win32Application::run(std::function<void()> on_exit) {
  // The window's messages arrive only on the thread that created it.
  if (!window_ || GetCurrentThreadId() != thread_id_) return 1;
  int code = 0;
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      code = 1;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (on_exit) on_exit();
  // Nothing takes calls from other threads any more.
  loop_ended_ = true;
  if (restart_requested_.exchange(false)) {
    // The new copy must find the single-instance claim free.
    release_instance();
    start_copy_of_this_program();
  }
  return code;
}

bool Win32Application::exit(int code) {
  if (!window_) return false;
  return PostMessageW(to_hwnd(window_), kExitMessage, static_cast<WPARAM>(code), 0) != 0;
}

void Win32Application::restart() {
  restart_requested_ = true;
  if (!exit(0)) restart_requested_ = false;
}

bool Win32Application::on_window_thread() const { return GetCurrentThreadId() == thread_id_; }

bool Win32Application::call_on_window_thread(const std::function<void()>& fn) {
  if (GetCurrentThreadId() == thread_id_) {
    fn();
    return true;
  }
  if (!window_ || loop_ended_) return false;
  // The caller may give up waiting: the call then never runs, and a call
  // that has begun is waited for (the lock).
  struct Call {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;
  };
  auto call = std::make_shared<Call>();
  post([call, &fn] {
    std::lock_guard lock(call->mutex);
    if (call->cancelled) return;
    fn();
    call->done = true;
    call->cv.notify_all();
  });
  std::unique_lock lock(call->mutex);
  if (call->cv.wait_for(lock, kWindowThreadWait, [&] { return call->done; })) return true;
  call->cancelled = true;
  return false;
}

intptr_t Win32Application::handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case kTaskMessage:
      run_tasks();
      return 0;
    case kExitMessage:
      PostQuitMessage(static_cast<int>(wparam));
      return 0;
    case WM_CLOSE: {
      std::function<void()> handler;
      {
        std::lock_guard lock(instance_mutex_);
        handler = on_close_request_;
      }
      if (handler) {
        handler();
      } else {
        exit(0);
      }
      return 0;
    }
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (!data || data->dwData != kSecondStartTag || !data->lpData) return FALSE;
      receive_second_start(data->lpData, data->cbData);
      return TRUE;
    }
    case WM_HOTKEY: {
      std::optional<os::Hotkey> pressed;
      std::function<void(const os::Hotkey&)> handler;
      {
        std::lock_guard lock(hotkeys_mutex_);
        for (const auto& [key, id] : hotkey_ids_) {
          if (static_cast<uintptr_t>(id) == wparam) pressed = os::Hotkey{key.first, key.second};
        }
        handler = on_press_;
      }
      if (pressed && handler) handler(*pressed);
      return 0;
    }
    default:
      return -1;  // not ours: the default procedure
  }
}

// ---- single instance -----------------------------------------------------------

namespace {

// The claim lives in the user's own local application data, where no other
// user may make files: a named object of the session could be taken first
// by another user's process, which would keep every start of ours out.
std::optional<std::wstring> instance_lock_path(const std::wstring& identifier) {
  PWSTR base = nullptr;
  std::optional<std::wstring> path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base)) && base && *base) {
    const std::wstring folder = std::wstring(base) + L"\\" + identifier;
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
      path = folder + L"\\instance.lock";
    }
  }
  CoTaskMemFree(base);
  return path;
}

}  // namespace

bool Win32Application::acquire(std::string_view identifier, std::vector<std::string> args,
                               os::SecondStartHandler on_second_start) {
  const std::wstring id = widen(identifier);
  const std::optional<std::wstring> lock_path = instance_lock_path(id);
  // Without the folder there is nothing to claim: this copy runs.
  if (!lock_path) return true;
  // Open without sharing for as long as this copy runs: a later open fails
  // with a sharing violation until this process ends (a crash included).
  HANDLE lock = CreateFileW(lock_path->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (lock != INVALID_HANDLE_VALUE) {
    {
      std::lock_guard guard(instance_mutex_);
      if (instance_handle_) CloseHandle(instance_handle_);
      instance_handle_ = lock;
      on_second_start_ = std::move(on_second_start);
    }
    // Named only now, with the handler in place, so a later copy finds it.
    if (window_) call_on_window_thread([&] { SetWindowTextW(to_hwnd(window_), id.c_str()); });
    return true;
  }
  // Held: a copy of this user is running. Any other failure leaves nothing
  // to tell, so this copy runs.
  if (GetLastError() != ERROR_SHARING_VIOLATION) return true;
  notify_first_copy(id, args, to_hwnd(window_));
  return false;
}

void Win32Application::release_instance() {
  HANDLE lock = nullptr;
  {
    std::lock_guard guard(instance_mutex_);
    lock = std::exchange(instance_handle_, nullptr);
  }
  if (!lock) return;
  // Unnamed first, so that no later copy sends its start to this window.
  if (window_) {
    HWND hwnd = to_hwnd(window_);
    if (GetCurrentThreadId() == thread_id_) {
      SetWindowTextW(hwnd, L"");
    } else {
      post([hwnd] { SetWindowTextW(hwnd, L""); });
    }
  }
  CloseHandle(lock);
}

void Win32Application::set_close_request_handler(std::function<void()> handler) {
  std::lock_guard lock(instance_mutex_);
  on_close_request_ = std::move(handler);
}

void Win32Application::receive_second_start(const void* data, std::size_t bytes) {
  auto decoded =
      decode_second_start(std::wstring_view(static_cast<const wchar_t*>(data), bytes / sizeof(wchar_t)));
  if (!decoded) return;
  // Answered at once; the handler runs as a task of its own, so the second
  // copy is not kept waiting while it works.
  post([this, start = std::move(*decoded)]() mutable {
    os::SecondStartHandler handler;
    {
      std::lock_guard lock(instance_mutex_);
      handler = on_second_start_;
    }
    if (handler) handler(std::move(start.second), std::move(start.first));
  });
}

// ---- global shortcut -------------------------------------------------------------

bool Win32Application::register_hotkey(const os::Hotkey& hotkey) {
  if (!window_) return false;
  const std::pair key{hotkey.modifiers & kHotkeyModifierMask, hotkey.vk};
  bool ok = false;
  call_on_window_thread([&] {
    std::lock_guard lock(hotkeys_mutex_);
    if (hotkey_ids_.contains(key)) {
      ok = true;
      return;
    }
    const int id = next_hotkey_id_;
    next_hotkey_id_ = next_hotkey_id_ >= kLastHotkeyId ? 1 : next_hotkey_id_ + 1;
    if (RegisterHotKey(to_hwnd(window_), id, key.first | MOD_NOREPEAT, key.second)) {
      hotkey_ids_[key] = id;
      ok = true;
    }
  });
  return ok;
}

bool Win32Application::unregister_hotkey(const os::Hotkey& hotkey) {
  if (!window_) return false;
  const std::pair key{hotkey.modifiers & kHotkeyModifierMask, hotkey.vk};
  bool ok = false;
  call_on_window_thread([&] {
    std::lock_guard lock(hotkeys_mutex_);
    const auto it = hotkey_ids_.find(key);
    if (it == hotkey_ids_.end()) return;
    ok = UnregisterHotKey(to_hwnd(window_), it->second) != 0;
    hotkey_ids_.erase(it);
  });
  return ok;
}

void Win32Application::unregister_all() {
  if (!window_) return;
  call_on_window_thread([&] {
    std::lock_guard lock(hotkeys_mutex_);
    for (const auto& [key, id] : hotkey_ids_) UnregisterHotKey(to_hwnd(window_), id);
    hotkey_ids_.clear();
  });
}

bool Win32Application::is_registered(const os::Hotkey& hotkey) {
  std::lock_guard lock(hotkeys_mutex_);
  return hotkey_ids_.contains({hotkey.modifiers & kHotkeyModifierMask, hotkey.vk});
}

void Win32Application::set_press_handler(std::function<void(const os::Hotkey&)> handler) {
  std::lock_guard lock(hotkeys_mutex_);
  on_press_ = std::move(handler);
}

}  // namespace harvel::win32
