// Helpers of the Win32 tests: message pumping with a bound, a top-level
// window with an EDIT box that has the focus, typing with SendInput as a user
// would, child processes and environment variables.
//
// Include after the program's headers: <windows.h> defines macros over names
// that platform/os.h uses.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"
#include "support/key_script.h"

#include <windows.h>

namespace harvel::win32test {

using namespace std::chrono_literals;

// Runs this thread's messages for a while.
inline void pump_for(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    std::this_thread::sleep_for(2ms);
  } while (std::chrono::steady_clock::now() < end);
}

// How long a test waits for an event it needs: enough for a cold start
// (a fresh Wine prefix) on a machine whose every core is busy. Only a failing
// test waits that long.
inline constexpr std::chrono::milliseconds kEventWait = std::chrono::seconds(60);

// Runs this thread's messages until `done` holds, at most `timeout`.
inline bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = kEventWait) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    pump_for(5ms);
  }
  return true;
}

// Waits (without pumping) until `done` holds, at most `timeout`.
inline bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = kEventWait) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// A top-level window holding one EDIT box with the keyboard focus.
class TextWindow {
 public:
  explicit TextWindow(DWORD edit_style = 0) {
    static const ATOM cls = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"HarvelTestWindow";
      return RegisterClassW(&wc);
    }();
    (void)cls;
    top_ = CreateWindowExW(0, L"HarvelTestWindow", L"Harvel test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 480, 240,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | edit_style, 10, 10,
                            440, 160, top_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(top_);
    SetFocus(edit_);
    pump_until([this] { return GetForegroundWindow() == top_ && GetFocus() == edit_; });
  }
  ~TextWindow() {
    if (top_) DestroyWindow(top_);
    pump_for(10ms);
  }
  TextWindow(const TextWindow&) = delete;
  TextWindow& operator=(const TextWindow&) = delete;

  bool ready() const { return top_ && edit_ && GetForegroundWindow() == top_ && GetFocus() == edit_; }
  HWND edit() const { return edit_; }

  std::wstring text() const {
    const int n = GetWindowTextLengthW(edit_);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(edit_, s.data(), n + 1)));
    return s;
  }

  // Pumps until the text is `expected` (at most kEventWait), then a little longer
  // so that a late change would show; returns the final text.
  std::wstring settled_text(const std::wstring& expected) const {
    pump_until([&] { return text() == expected; });
    pump_for(60ms);
    return text();
  }

 private:
  HWND top_ = nullptr;
  HWND edit_ = nullptr;
};

// One key event as the keyboard sends it; dwExtraInfo `extra`.
inline void send_key(WORD vk, bool up, ULONG_PTR extra = 0) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  const bool extended = vk == VK_RMENU || vk == VK_RCONTROL || (vk >= VK_PRIOR && vk <= VK_DOWN) ||
                        vk == VK_INSERT || vk == VK_DELETE;
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  in.ki.dwExtraInfo = extra;
  SendInput(1, &in, sizeof(INPUT));
}

struct Stroke {
  WORD vk = 0;
  bool up = false;
};

// Key events from a line of words: "+NAME" presses a key, "-NAME" releases
// it, "NAME" taps it (names as in the key-event scripts: S, RMENU, OEM_4,
// RETURN), and 'text' types each character with the US layout, with Shift
// for capitals.
inline std::vector<Stroke> parse_strokes(std::string_view line) {
  std::vector<Stroke> out;
  std::istringstream words{std::string(line)};
  std::string w;
  auto vk_of = [](std::string_view name) {
    const auto vk = testing::vk_from_name(name);
    if (!vk) throw std::runtime_error("unknown key " + std::string(name));
    return static_cast<WORD>(*vk);
  };
  while (words >> w) {
    if (w.size() >= 2 && w.front() == '\'' && w.back() == '\'') {
      for (wchar_t c : win32::widen(w.substr(1, w.size() - 2))) {
        const SHORT scan = VkKeyScanW(c);
        if (scan == -1) throw std::runtime_error("no key types " + w);
        const WORD vk = LOBYTE(scan);
        const bool shift = (HIBYTE(scan) & 1) != 0;
        if (shift) out.push_back({VK_LSHIFT, false});
        out.push_back({vk, false});
        out.push_back({vk, true});
        if (shift) out.push_back({VK_LSHIFT, true});
      }
    } else if (w.front() == '+' || w.front() == '-') {
      out.push_back({vk_of(w.substr(1)), w.front() == '-'});
    } else {
      const WORD vk = vk_of(w);
      out.push_back({vk, false});
      out.push_back({vk, true});
    }
  }
  return out;
}

// Types the line one event at a time, letting the hook and the box work
// between events as they would between a user's keystrokes.
inline void type_keys(std::string_view line, ULONG_PTR extra = 0) {
  for (const Stroke& s : parse_strokes(line)) {
    send_key(s.vk, s.up, extra);
    pump_for(8ms);
  }
}

// A Windows path for a Unix one built into the tests ("Z:/..." -> "Z:\...").
inline std::wstring windows_path(std::string_view path) {
  std::wstring w = win32::widen(path);
  for (wchar_t& c : w) {
    if (c == L'/') c = L'\\';
  }
  return w;
}

// Sets an environment variable for the life of the object (none: removed).
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, std::optional<std::wstring> value) : name_(name) {
    old_ = win32::environment_variable(name);
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

// A started child process; waited for (bounded) and closed with the object.
class Child {
 public:
  Child(const std::wstring& program, const std::vector<std::wstring>& args) {
    std::wstring line = win32::build_command_line(program, args);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info_)) {
      CloseHandle(info_.hThread);
      info_.hThread = nullptr;
    } else {
      info_ = {};
    }
  }
  ~Child() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD pid() const { return info_.dwProcessId; }
  // Ends it at once (exit code 99).
  void terminate() {
    if (info_.hProcess) TerminateProcess(info_.hProcess, 99);
  }
  // The exit code, or none when it has not ended within `timeout`.
  std::optional<DWORD> wait(std::chrono::milliseconds timeout = 10000ms) {
    if (!info_.hProcess) return std::nullopt;
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
      return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_{};
};

inline std::wstring helper_exe() { return windows_path(HARVEL_TEST_HELPER_EXE); }

// The NUL-ended items the helper's "record" mode writes; none until the file exists.
inline std::optional<std::vector<std::string>> read_recorded_args(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t end = data.find('\0', start);
    if (end == std::string::npos) break;
    args.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// Answers the next message box of this process with `button`, from a thread
// of its own; records its caption and text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(int button, DWORD pid = GetCurrentProcessId())
      : thread_([this, button, pid] {
          HWND box = nullptr;
          wait_until([&] { return (box = find_box(pid)) != nullptr; });
          if (!box) return;
          caption = window_text(box);
          text = window_text(GetDlgItem(box, 0xFFFF));  // the box's static text
          has_icon = shows_icon(box);
          yes_no = GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDOK) &&
                   !GetDlgItem(box, IDCANCEL);
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
          found = true;
        }) {}
  ~BoxAnswerer() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

  bool found = false;
  std::wstring caption;
  std::wstring text;
  bool has_icon = false;
  bool yes_no = false;

  static std::wstring window_text(HWND w) {
    wchar_t buffer[2048];
    const int n = GetWindowTextW(w, buffer, 2048);
    return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  }

 private:
  // A static control of the box shows an icon.
  static bool shows_icon(HWND box) {
    bool found = false;
    EnumChildWindows(
        box,
        [](HWND w, LPARAM p) -> BOOL {
          wchar_t cls[16];
          if (GetClassNameW(w, cls, 16) && CompareStringOrdinal(cls, -1, L"Static", -1, TRUE) == CSTR_EQUAL &&
              (GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageW(w, STM_GETICON, 0, 0)) {
            *reinterpret_cast<bool*>(p) = true;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static HWND find_box(DWORD pid) {
    struct Search {
      DWORD pid;
      HWND found;
    } search{pid, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          wchar_t cls[16];
          if (owner == s->pid && GetClassNameW(w, cls, 16) && std::wstring_view(cls) == L"#32770" &&
              IsWindowVisible(w)) {
            s->found = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  std::thread thread_;
};

}  // namespace harvel::win32test
