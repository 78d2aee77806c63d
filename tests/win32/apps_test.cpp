// The application lists on the real system: the PE header check on the
// programs this build makes, on Wine's own and on damaged copies; names and
// icons from version resources and the shell; the window list; the
// applications folder (which Wine cannot enumerate) and the open-file dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_apps.h"
#include "platform/win32/win32_platform.h"
#include "shell/app_info.h"
#include "shell/app_lists.h"
#include "support/test_app.h"
#include "win32/desktop.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace harvel {
namespace {

using namespace win32test;
namespace fs = std::filesystem;

std::string path_of(const char* built) { return win32::narrow(windows_path(built)); }

const std::string kNotepad = "C:\\windows\\system32\\notepad.exe";

std::vector<uint8_t> read_all(const std::string& path) {
  std::ifstream in(fs::path(win32::widen(path)), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class Win32AppsTest : public ::testing::Test {
 protected:
  Win32AppsTest() { win32::install_win32_platform(); }
  testing::TestApp t;
};

// ---- PE header check --------------------------------------------------------------

TEST_F(Win32AppsTest, UserGuiExeOnRealPrograms) {
  struct Case {
    std::string path;
    bool gui;
  };
  const Case cases[] = {
      {path_of(HARVEL_EXE), true},                  // our GUI program
      {path_of(HARVEL_VERSIONED_APP_EXE), true},    // a GUI program with resources
      {path_of(HARVEL_TEST_HELPER_EXE), false},     // a console program
      {path_of(HARVEL_WEBVIEW2_STUB), false},       // a DLL of the console subsystem
      {kNotepad, false},                            // part of Windows
      {"C:\\WINDOWS\\System32\\NOTEPAD.EXE", false},
      {path_of(HARVEL_TEST_DATA_DIR), false},       // a folder
      {"C:\\no\\such\\program.exe", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_user_gui_exe(c.path), c.gui) << c.path;

  // Wine's notepad is a GUI program by its header; only its folder rules it out.
  std::vector<uint8_t> head = read_all(kNotepad);
  ASSERT_GE(head.size(), 64u);
  const std::size_t read = std::min(head.size(), kPeHeadBytes);
  head.resize(kPeHeadBytes);
  EXPECT_TRUE(is_gui_pe_image(head, read));
}

TEST_F(Win32AppsTest, DamagedCopiesOfAGuiProgramAreRefused) {
  testing::TempDir dir;
  const std::vector<uint8_t> exe = read_all(path_of(HARVEL_EXE));
  ASSERT_GT(exe.size(), 4096u);
  const uint32_t e = exe[60] | (exe[61] << 8) | (exe[62] << 16) | (uint32_t{exe[63]} << 24);
  ASSERT_LT(e + 94, 4096u);
  auto write = [&](const std::string& name, std::vector<uint8_t> bytes) {
    const fs::path p = dir.path() / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return win32::narrow(p.wstring());
  };
  auto cut = [&](std::size_t n) { return std::vector<uint8_t>(exe.begin(), exe.begin() + static_cast<long>(n)); };
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    bool gui;
  };
  std::vector<uint8_t> far_offset = cut(4096);
  far_offset[60] = 0xF0;
  far_offset[61] = 0xFF;
  far_offset[62] = 0xFF;
  far_offset[63] = 0xFF;
  std::vector<uint8_t> console = exe;
  console[e + 92] = 3;
  std::vector<uint8_t> garbage(8192);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>((i * 7919) >> 3);
  const std::vector<Case> cases = {
      {"empty.exe", {}, false},
      {"mz.exe", cut(2), false},
      {"dos-header-short.exe", cut(63), false},
      {"dos-header.exe", cut(64), false},
      {"one-short.exe", cut(e + 93), false},
      {"just-enough.exe", cut(e + 94), true},
      {"head-only.exe", cut(4096), true},
      {"offset-near-4g.exe", far_offset, false},
      {"console.exe", console, false},
      {"garbage.exe", garbage, false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_user_gui_exe(write(c.name, c.bytes)), c.gui) << c.name;
}

TEST_F(Win32AppsTest, FileOpenForWritingIsStillRead) {
  testing::TempDir dir;
  const fs::path p = dir.path() / "busy.exe";
  const std::vector<uint8_t> exe = read_all(path_of(HARVEL_EXE));
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(exe.data()), 4096);
  HANDLE writer = CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(is_user_gui_exe(win32::narrow(p.wstring())));
  CloseHandle(writer);
}

// ---- names and icons ---------------------------------------------------------------

struct Png {
  int width = 0;
  int height = 0;
  int channels = 0;
};

std::optional<Png> decode(const std::string& url) {
  const std::string prefix = "data:image/png;base64,";
  if (!url.starts_with(prefix)) return std::nullopt;
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : std::string_view(url).substr(prefix.size())) {
    if (c == '=') break;
    acc = (acc << 6) | static_cast<uint32_t>(alphabet.find(c));
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  Png png;
  stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                                      &png.width, &png.height, &png.channels, 0);
  if (px == nullptr) return std::nullopt;
  stbi_image_free(px);
  return png;
}

TEST_F(Win32AppsTest, NotepadHasAnIconButNoVersionName) {
  const FriendlyName found = exe_friendly_name(kNotepad);
  EXPECT_EQ(found.name, std::nullopt);
  ASSERT_TRUE(found.icon.has_value());
  const std::optional<Png> png = decode(*found.icon);
  ASSERT_TRUE(png.has_value());
  EXPECT_EQ(png->width, 32);
  EXPECT_EQ(png->height, 32);
  EXPECT_EQ(png->channels, 4);
}

TEST_F(Win32AppsTest, VersionNameFromTheResourceOfABuiltProgram) {
  // The 041904e3 table of the Translation entry: a blank FileDescription,
  // then the ProductName, trimmed.
  EXPECT_EQ(version_resource_name(path_of(HARVEL_VERSIONED_APP_EXE)), "Sinov dasturi");
  EXPECT_EQ(version_resource_name(path_of(HARVEL_EXE)), "Harvel");  // its FileDescription
  EXPECT_EQ(version_resource_name("C:\\no\\such\\program.exe"), std::nullopt);
  const FriendlyName found = exe_friendly_name(path_of(HARVEL_VERSIONED_APP_EXE));
  EXPECT_EQ(found.name, "Sinov dasturi");
  EXPECT_TRUE(found.icon.has_value()) << "the shell's icon for a program without its own";
}

TEST_F(Win32AppsTest, ExpandEnvVarsUsesTheSystem) {
  ScopedEnv app(L"HARVEL_APP_DIR", L"D:\\Ilovalar");
  EXPECT_EQ(expand_env_vars("%HARVEL_APP_DIR%\\a.exe"), "D:\\Ilovalar\\a.exe");
  EXPECT_EQ(expand_env_vars("%HARVEL_UNSET_VAR%\\a.exe"), "%HARVEL_UNSET_VAR%\\a.exe");
  ScopedEnv big(L"HARVEL_BIG", std::wstring(1100, L'x'));
  EXPECT_EQ(expand_env_vars("%HARVEL_BIG%"), "%HARVEL_BIG%") << "longer than the buffer: unchanged";
  EXPECT_EQ(text::utf8_lower(expand_env_vars("%SystemRoot%")), "c:\\windows");
}

// ---- windows, the applications folder, the dialog ----------------------------------

HWND make_window(const wchar_t* title, DWORD ex_style, bool visible) {
  return CreateWindowExW(ex_style, L"STATIC", title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10, 10, 200,
                         100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST_F(Win32AppsTest, TopLevelWindowsWithTheirStylesAndProcess) {
  HWND normal = make_window(L"Oddiy", 0, true);
  HWND tool = make_window(L"Asbob", WS_EX_TOOLWINDOW, true);
  HWND hidden = make_window(L"Yashirin", 0, false);
  HWND untitled = make_window(L"", 0, true);
  pump_for(50ms);
  win32::Win32Apps apps;
  int seen = 0;
  for (const os::TopLevelWindow& w : apps.top_level_windows()) {
    const HWND h = reinterpret_cast<HWND>(w.window);
    if (h != normal && h != tool && h != hidden && h != untitled) continue;
    ++seen;
    EXPECT_EQ(w.pid, GetCurrentProcessId());
    EXPECT_EQ(w.visible, h != hidden);
    EXPECT_EQ((w.ex_style & 0x80) != 0, h == tool);
    EXPECT_EQ(w.title_length, h == untitled ? 0 : GetWindowTextLengthW(h));
  }
  EXPECT_EQ(seen, 4);

  // This program shows a normal window: it is listed once, by its file name.
  const std::vector<AppInfo> list = list_running_apps_blocking(t.ctx().settings.copy());
  int mine = 0;
  for (const AppInfo& a : list) mine += a.exe == "win32_tests.exe" ? 1 : 0;
  EXPECT_EQ(mine, 1);
  for (HWND h : {normal, tool, hidden, untitled}) DestroyWindow(h);
}

TEST_F(Win32AppsTest, ApplicationsFolderIsReadWithoutFailing) {
  // Wine has no applications folder to enumerate: the list is empty there.
  win32::Win32Apps apps;
  const std::vector<os::ShellAppItem> items = apps.applications_folder_items();
  const std::vector<AppInfo> list = list_installed_apps_blocking(t.ctx().settings.copy());
  EXPECT_LE(list.size(), items.size());
  for (const AppInfo& a : list) EXPECT_TRUE(a.exe.ends_with(".exe")) << a.exe;
}

// Answers the open-file dialog of this process, with a file name or
// cancelled, until the caller says the dialog has returned. No time limit: the
// first dialog of a fresh prefix can take many seconds on a loaded machine, and
// an answer that came before the dialog was ready is given again.
void answer_dialog(std::atomic<bool>& done, std::wstring file) {
  std::chrono::steady_clock::time_point answered{};
  while (!done) {
    std::this_thread::sleep_for(20ms);
    HWND dialog = FindWindowW(L"#32770", nullptr);
    if (dialog == nullptr) continue;
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    if (pid != GetCurrentProcessId()) continue;
    const auto now = std::chrono::steady_clock::now();
    if (now - answered < 2s) continue;
    answered = now;
    if (file.empty()) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
      // The name box: a combo box in the Explorer-style dialog, an edit box
      // in the old one.
      if (!SetDlgItemTextW(dialog, 0x47C, file.c_str())) SetDlgItemTextW(dialog, 0x480, file.c_str());
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  }
}

TEST_F(Win32AppsTest, OpenFileDialogAnswersTheChosenProgramOrNull) {
  std::atomic<bool> done{false};
  std::thread cancel(answer_dialog, std::ref(done), std::wstring());
  EXPECT_EQ(pick_exe_file_blocking(), std::nullopt);
  done = true;
  cancel.join();

  done = false;
  const std::wstring chosen = windows_path(HARVEL_VERSIONED_APP_EXE);
  std::thread choose(answer_dialog, std::ref(done), chosen);
  const std::optional<AppInfo> picked = pick_exe_file_blocking();
  done = true;
  choose.join();
  ASSERT_TRUE(picked.has_value());
  EXPECT_EQ(picked->exe, "win32_versioned_app.exe");
  EXPECT_EQ(picked->name, "Win32_versioned_app");
  EXPECT_EQ(picked->mode, std::nullopt);
  EXPECT_EQ(picked->icon, std::nullopt);
}

}  // namespace
}  // namespace harvel
