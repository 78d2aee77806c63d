// The Windows installer under Wine, the whole round in order: a silent
// install (files, shortcut, list entry), the installed copy and a copy
// without uninstall.exe against the fake WebView2 runtime, an installer that
// meets a copy that will not end, an update over the running installed copy
// (which the new copy then reports), and the uninstaller; then the pages of
// an installation and a removal made by hand, whose texts are checked and
// pictured (build/windows/screenshots), the reinstalled copy putting back
// its start with Windows. The update installs a build whose harvel.exe
// carries a marker after its image, so that the replacement shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/test_app.h"
#include "win32/desktop.h"
#include "win32/program_pages.h"

#include <objidl.h>
#include <shobjidl.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace harvel {
namespace {

using namespace win32test;
using Json = nlohmann::json;

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harvel";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kMarker = HARVEL_INSTALLER_MARKER;

fs::path install_dir() { return known_folder(FOLDERID_LocalAppData) / "Programs" / "Harvel"; }
fs::path installed_program() { return install_dir() / "harvel.exe"; }
fs::path uninstaller() { return install_dir() / "uninstall.exe"; }
fs::path shortcut() { return known_folder(FOLDERID_Programs) / "Harvel.lnk"; }
fs::path pending_update() { return roaming_folder() / "pending-update.txt"; }

bool same_path(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::optional<std::wstring> registry_text(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[2048];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer);
}

std::optional<DWORD> registry_number(const wchar_t* key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

bool registry_key_exists(const wchar_t* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// The program a shortcut starts, as the shell reads it: from the link's item
// list, whose names are Unicode. (Its path field is the ANSI one, which
// holds "?" for every letter of a Cyrillic profile name.)
std::optional<std::wstring> shortcut_target(const fs::path& link) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<std::wstring> target;
  IShellLinkW* shell_link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shell_link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      PIDLIST_ABSOLUTE items = nullptr;
      wchar_t path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) && SUCCEEDED(shell_link->GetIDList(&items)) && items &&
          SHGetPathFromIDListW(items, path)) {
        target = path;
      }
      CoTaskMemFree(items);
      file->Release();
    }
    shell_link->Release();
  }
  CoUninitialize();
  return target;
}

std::string file_tail(const fs::path& p, std::size_t n) {
  const std::string bytes = read_text(p);
  return bytes.size() < n ? bytes : bytes.substr(bytes.size() - n);
}

bool has_marker(const fs::path& program) { return file_tail(program, kMarker.size()) == kMarker; }

// The sizes of the first icon group of a program.
std::set<int> icon_sizes(const fs::path& program) {
  std::set<int> sizes;
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return sizes;
  LPWSTR first = nullptr;
  EnumResourceNamesW(
      module, RT_GROUP_ICON,
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
        *reinterpret_cast<LPWSTR*>(out) = name;
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(&first));
  HRSRC found = first ? FindResourceW(module, first, RT_GROUP_ICON) : nullptr;
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* group = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  // A 6-byte header with the count last, then 14 bytes per image, its width
  // first (0 meaning 256).
  if (group && SizeofResource(module, found) >= 6) {
    const unsigned count = group[4] | (group[5] << 8);
    for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= SizeofResource(module, found); ++i) {
      sizes.insert(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
    }
  }
  FreeLibrary(module);
  return sizes;
}

// A text of a program's version resource, in its first language.
std::string version_text(const fs::path& program, const std::wstring& name) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  std::string block(size, '\0');
  if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, block.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4) {
    return {};
  }
  wchar_t key[64];
  swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  wchar_t* value = nullptr;
  UINT chars = 0;
  if (!VerQueryValueW(block.data(), (key + name).c_str(), reinterpret_cast<void**>(&value), &chars) || chars == 0) {
    return {};
  }
  return win32::narrow(std::wstring(value, wcsnlen(value, chars)));
}

// The running program's process: its single-instance window's owner.
DWORD running_program_pid() {
  HWND window = program_app_window();
  DWORD pid = 0;
  if (window) GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::wstring process_image(HANDLE process) {
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
}

// Asks a running copy to end as the installer does, and waits for it.
void close_running_program() {
  HWND window = program_app_window();
  if (!window) return;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  if (process) {
    if (WaitForSingleObject(process, 15000) != WAIT_OBJECT_0) TerminateProcess(process, 99);
    CloseHandle(process);
  }
}

// What an earlier, broken run may have left in the prefix.
void remove_installation() {
  close_running_program();
  std::error_code ec;
  fs::remove(pending_update(), ec);
  fs::remove_all(install_dir(), ec);
  fs::remove(shortcut(), ec);
  RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  const auto run = registry_text(kRunKey, L"Harvel");
  if (run && run->find(install_dir().wstring()) != std::wstring::npos) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Harvel");
  }
}

// ---- the wizard's pages, driven as a user would ----

// The visible installer or uninstaller window of any process (the
// uninstaller runs from a copy of itself); null when none.
HWND find_wizard() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        wchar_t cls[16] = {};
        if (IsWindowVisible(w) && GetClassNameW(w, cls, 16) && std::wstring_view(cls) == L"#32770" &&
            GetDlgItem(w, IDOK) && FindWindowExW(w, nullptr, L"#32770", nullptr)) {
          *reinterpret_cast<HWND*>(p) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring text_of(HWND w) {
  wchar_t buffer[2048] = {};
  const int n = GetWindowTextW(w, buffer, 2048);
  return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// What a page shows: the header (Modern UI's title and subtitle), and every
// visible text of the window and of its page.
struct ShownPage {
  std::wstring caption;
  std::wstring title;
  std::wstring subtitle;
  std::vector<std::wstring> texts;
};

// The branding line (NSIS's, and Modern UI's over it), which NSIS pads with
// a blank of its own.
bool is_branding(HWND w) { return GetDlgCtrlID(w) == 1028 || GetDlgCtrlID(w) == 1256; }

ShownPage shown_page(HWND wizard) {
  ShownPage page{text_of(wizard), text_of(GetDlgItem(wizard, 1037)), text_of(GetDlgItem(wizard, 1038)), {}};
  EnumChildWindows(
      wizard,
      [](HWND w, LPARAM p) -> BOOL {
        const std::wstring text = text_of(w);
        // A picture's static holds its resource id (U+FFFF and a number) as its text.
        if (IsWindowVisible(w) && !text.empty() && text[0] != 0xFFFF && !is_branding(w)) {
          reinterpret_cast<ShownPage*>(p)->texts.push_back(text);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&page));
  return page;
}

bool shows(const ShownPage& page, const std::wstring& text) {
  return std::find(page.texts.begin(), page.texts.end(), text) != page.texts.end();
}

// The window as the screen shows it, as a PNG file in the run's screenshots folder.
void save_screenshot(HWND w, const std::string& name) {
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);  // painted by now
  RECT r{};
  ASSERT_TRUE(GetWindowRect(w, &r));
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint8_t> rgba;
  if (memory && bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
      const auto* bgra = static_cast<const uint8_t*>(bits);
      rgba.resize(static_cast<std::size_t>(width) * height * 4);
      for (std::size_t k = 0; k < rgba.size(); k += 4) {
        rgba[k] = bgra[k + 2];
        rgba[k + 1] = bgra[k + 1];
        rgba[k + 2] = bgra[k];
        rgba[k + 3] = 255;
      }
    }
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  ASSERT_FALSE(rgba.empty()) << "no picture of " << name;
  std::string png;
  stbi_write_png_to_func(
      [](void* out, void* data, int size) { static_cast<std::string*>(out)->append(static_cast<char*>(data), size); },
      &png, width, height, 4, rgba.data(), width * 4);
  const fs::path folder = windows_path(HARVEL_SCREENSHOTS_DIR);
  fs::create_directories(folder);
  write_text(folder / (name + ".png"), png);
}

// Waits for the page whose header title (or, on the finish page, one of
// whose texts) is `marker` and whose button IDOK reads `button`, and saves
// its picture under `name`.
std::optional<ShownPage> wait_page(const std::wstring& marker, const std::wstring& button, const std::string& name) {
  HWND wizard = nullptr;
  std::optional<ShownPage> page;
  auto found = [&] {
    return page && (page->title == marker || shows(*page, marker)) &&
           text_of(GetDlgItem(wizard, IDOK)) == button && IsWindowEnabled(GetDlgItem(wizard, IDOK));
  };
  wait_until(
      [&] {
        wizard = find_wizard();
        page = wizard ? std::optional(shown_page(wizard)) : std::nullopt;
        return found();
      },
      30s);
  if (!found()) {
    std::string seen;
    if (page) {
      seen = "caption \"" + win32::narrow(page->caption) + "\", title \"" + win32::narrow(page->title) + "\", button \"" +
             win32::narrow(text_of(GetDlgItem(wizard, IDOK))) + "\"";
      for (const std::wstring& t : page->texts) seen += ", \"" + win32::narrow(t) + "\"";
    }
    ADD_FAILURE() << "no page " << win32::narrow(marker) << " (" << name << "); shown: " << seen;
    return std::nullopt;
  }
  save_screenshot(wizard, name);
  return page;
}

// Presses a button of the wizard (IDOK: Next, Install, Finish, Close).
void press(int button) {
  HWND wizard = find_wizard();
  ASSERT_NE(wizard, nullptr);
  PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(wizard, button)));
}

// Our texts only: the stock translation writes every o‘ and ’ as "'", and
// no text, the caption least of all, ends in a blank.
void expect_our_texts(const ShownPage& page, const std::wstring& caption) {
  EXPECT_EQ(page.caption, caption);
  for (const std::wstring& text : page.texts) {
    EXPECT_EQ(text.find(L'\''), std::wstring::npos) << win32::narrow(text);
    EXPECT_FALSE(text.ends_with(L' ')) << win32::narrow(text);
  }
}

// The progress page once it is done: its header, the log's last line, and
// the button that goes on.
void expect_progress_done(const std::wstring& title, const std::wstring& subtitle, const std::wstring& button,
                          const std::wstring& caption, const std::string& name) {
  const auto done = wait_page(title, button, name);
  ASSERT_TRUE(done);
  expect_our_texts(*done, caption);
  EXPECT_EQ(done->subtitle, subtitle);
  EXPECT_TRUE(shows(*done, L"Tayyor"));
}

class InstallerRound : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    remove_installation();
    dir = new testing::TempDir;
    registration = new RuntimeRegistration;
    settings = new SettingsFile(R"({"onboarded": true})");
  }
  static void TearDownTestSuite() {
    remove_installation();
    if (updated) CloseHandle(updated);
    delete installed;
    delete settings;
    delete registration;
    delete dir;
  }

  void SetUp() override { ASSERT_TRUE(registration->ok()); }

  static fs::path log(const std::string& name) { return dir->path() / (name + ".log"); }

  static inline testing::TempDir* dir = nullptr;
  static inline RuntimeRegistration* registration = nullptr;
  static inline SettingsFile* settings = nullptr;
  static inline Child* installed = nullptr;  // the installed copy, started by the tests
  static inline HANDLE updated = nullptr;    // the copy the update started
};

TEST_F(InstallerRound, ASilentInstallWritesTheProgramTheShortcutAndTheListEntry) {
  Child setup(windows_path(HARVEL_INSTALLER_EXE), {L"/S"});
  ASSERT_TRUE(setup.started());
  ASSERT_EQ(setup.wait(60s), 0u);

  ASSERT_TRUE(fs::exists(installed_program()));
  ASSERT_TRUE(fs::exists(uninstaller()));
  EXPECT_FALSE(fs::exists(install_dir() / "harvel.exe.new"));
  EXPECT_LT(fs::file_size(installed_program()), fs::file_size(windows_path(HARVEL_EXE))) << "the stripped program";
  EXPECT_FALSE(has_marker(installed_program()));
  const auto target = shortcut_target(shortcut());
  ASSERT_TRUE(target) << "no shortcut in the user's Programs folder";
  EXPECT_TRUE(same_path(*target, installed_program().wstring())) << win32::narrow(*target);
  EXPECT_EQ(running_program_pid(), 0u) << "started without /R";

  const std::wstring folder = install_dir().wstring();
  const std::wstring quoted = L"\"" + uninstaller().wstring() + L"\"";
  for (const auto& [name, value] : std::vector<std::pair<const wchar_t*, std::wstring>>{
           {L"DisplayName", L"Harvel"},
           {L"DisplayVersion", win32::widen(HARVEL_VERSION)},
           {L"Publisher", L"Harvel"},
           {L"DisplayIcon", installed_program().wstring() + L",0"},
           {L"UninstallString", quoted},
           {L"QuietUninstallString", quoted + L" /S"},
           {L"InstallLocation", folder},
       }) {
    const auto text = registry_text(kUninstallKey, name);
    ASSERT_TRUE(text) << win32::narrow(name);
    EXPECT_TRUE(same_path(*text, value)) << win32::narrow(name) << ": " << win32::narrow(*text);
  }
  EXPECT_EQ(registry_number(kUninstallKey, L"NoModify"), 1u);
  EXPECT_EQ(registry_number(kUninstallKey, L"NoRepair"), 1u);
  const auto size_kb = registry_number(kUninstallKey, L"EstimatedSize");
  ASSERT_TRUE(size_kb);
  const auto files_kb = (fs::file_size(installed_program()) + fs::file_size(uninstaller())) / 1024;
  EXPECT_GE(*size_kb + 2, files_kb);
  EXPECT_LE(*size_kb, files_kb + 2);
}

TEST_F(InstallerRound, TheInstallerAndItsUninstallerCarryTheIconAndTheVersion) {
  const std::set<int> program_icon{16, 20, 24, 32, 40, 48, 64, 128, 256};
  for (const fs::path& program : {fs::path(windows_path(HARVEL_INSTALLER_EXE)), uninstaller()}) {
    SCOPED_TRACE(program.string());
    EXPECT_EQ(icon_sizes(program), program_icon);
    EXPECT_EQ(version_text(program, L"ProductName"), "Harvel");
    EXPECT_EQ(version_text(program, L"ProductVersion"), HARVEL_VERSION);
    EXPECT_EQ(version_text(program, L"FileVersion"), HARVEL_VERSION);
  }
}

TEST_F(InstallerRound, ACopyWithoutTheUninstallerIsPortableAndEndsOnACloseRequest) {
  const fs::path copy = dir->path() / "harvel.exe";
  fs::copy_file(installed_program(), copy);
  ScopedEnv to(L"HARVEL_FAKE_WEBVIEW2_LOG", log("portable").wstring());
  Child portable(copy.wstring(), {L"--hidden"});
  ASSERT_TRUE(portable.started());
  const auto snapshot = ProgramPages(log("portable"), portable.pid()).snapshot("main", "p:1");
  ASSERT_TRUE(snapshot) << "no snapshot";
  EXPECT_EQ((*snapshot)["update"]["portable"], true);

  ASSERT_EQ(running_program_pid(), portable.pid());
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutW(program_app_window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
  EXPECT_EQ(portable.wait(15s), 0u) << "a close request ends the program as its tray's \"Chiqish\" does";
}

TEST_F(InstallerRound, ACopyThatDoesNotEndStopsTheInstallerBeforeItWrites) {
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"deaf");
  ScopedEnv id(L"HARVEL_TEST_ID", L"uz.harvel.desktop");
  Child deaf(helper_exe(), {});
  ASSERT_TRUE(deaf.started());
  ASSERT_TRUE(wait_until([&] { return running_program_pid() == deaf.pid(); }, kEventWait));
  const auto before = fs::file_size(installed_program());

  Child setup(windows_path(HARVEL_MARKED_INSTALLER_EXE), {L"/UPDATE", L"/S", L"/R"});
  ASSERT_TRUE(setup.started());
  EXPECT_EQ(setup.wait(60s), 2u) << "the installer gives up";
  EXPECT_FALSE(deaf.wait(0ms)) << "nothing ended the copy";
  EXPECT_FALSE(has_marker(installed_program()));
  EXPECT_EQ(fs::file_size(installed_program()), before);
  EXPECT_FALSE(fs::exists(install_dir() / "harvel.exe.new"));
  EXPECT_EQ(running_program_pid(), deaf.pid()) << "no new copy started";
  deaf.terminate();
  EXPECT_EQ(deaf.wait(5s), 99u);
}

TEST_F(InstallerRound, TheInstalledCopyIsNotPortable) {
  ScopedEnv to(L"HARVEL_FAKE_WEBVIEW2_LOG", log("installed").wstring());
  installed = new Child(installed_program().wstring(), {L"--hidden"});
  ASSERT_TRUE(installed->started());
  const ProgramPages pages(log("installed"), installed->pid());
  const auto snapshot = pages.snapshot("main", "i:1");
  ASSERT_TRUE(snapshot) << "no snapshot";
  EXPECT_EQ((*snapshot)["update"]["portable"], false);

  // Start with Windows, for the uninstaller to remove.
  ASSERT_TRUE(pages.call("main", "i:2", "settings_patch", {{"patch", {{"startup", true}}}}));
  ASSERT_TRUE(pages.answer("main", "i:2"));
  const auto run = registry_text(kRunKey, L"Harvel");
  ASSERT_TRUE(run);
  EXPECT_TRUE(same_path(*run, L"\"" + installed_program().wstring() + L"\" --hidden")) << win32::narrow(*run);
}

TEST_F(InstallerRound, AnUpdateOverTheRunningCopyReplacesItAndStartsTheNewOne) {
  ASSERT_TRUE(installed && running_program_pid() == installed->pid()) << "the installed copy is not running";
  // As the updater leaves it before it starts the installer.
  write_text(pending_update(), HARVEL_VERSION);
  ScopedEnv to(L"HARVEL_FAKE_WEBVIEW2_LOG", log("updated").wstring());
  Child setup(windows_path(HARVEL_MARKED_INSTALLER_EXE), {L"/UPDATE", L"/S", L"/R"});
  ASSERT_TRUE(setup.started());
  EXPECT_EQ(setup.wait(60s), 0u);
  EXPECT_EQ(installed->wait(5s), 0u) << "the old copy ended by itself";
  EXPECT_TRUE(has_marker(installed_program())) << "harvel.exe was not replaced";
  EXPECT_FALSE(fs::exists(install_dir() / "harvel.exe.new"));
  EXPECT_TRUE(fs::exists(uninstaller()));

  ASSERT_TRUE(wait_until([&] { return running_program_pid() != 0; }, kEventWait)) << "no new copy started";
  const DWORD pid = running_program_pid();
  EXPECT_NE(pid, installed->pid());
  updated = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  ASSERT_NE(updated, nullptr);
  EXPECT_TRUE(same_path(process_image(updated), installed_program().wstring()))
      << win32::narrow(process_image(updated));
  const ProgramPages pages(log("updated"), pid);
  const auto snapshot = pages.snapshot("main", "u:1");
  ASSERT_TRUE(snapshot) << "no snapshot from the new copy";
  EXPECT_EQ((*snapshot)["update"]["portable"], false);
  EXPECT_EQ((*snapshot)["version"], HARVEL_VERSION);
  // The new copy reports the update it finds recorded.
  EXPECT_TRUE(wait_until([] { return !fs::exists(pending_update()); }, kEventWait));
  EXPECT_TRUE(pages.wait_record([](const Json& r) {
    return r["e"] == "script" && r["window"] == "toast" &&
           r["text"].get<std::string>().find("Yangilanish o\u2018rnatildi") != std::string::npos;
  }, 20s)) << "no notice of the installed update";
}

TEST_F(InstallerRound, TheUninstallerRemovesWhatWasInstalledAndLeavesTheSettings) {
  ASSERT_TRUE(fs::exists(uninstaller()));
  // What the web views' runtime keeps: their profile, a cache.
  const fs::path local_data = known_folder(FOLDERID_LocalAppData) / "uz.harvel.desktop";
  write_text(local_data / "WebView2" / "EBWebView" / "Default" / "Cache" / "data_0", "cache");
  Child uninstall(uninstaller().wstring(), {L"/S"});
  ASSERT_TRUE(uninstall.started());
  EXPECT_EQ(uninstall.wait(30s), 0u);
  // The uninstaller goes on from a copy of itself in the temporary folder.
  EXPECT_TRUE(wait_until([] { return !registry_key_exists(kUninstallKey); }, kEventWait)) << "the list entry stays";

  if (updated) {
    EXPECT_EQ(WaitForSingleObject(updated, 0), WAIT_OBJECT_0) << "the running copy was not closed";
    DWORD code = 1;
    GetExitCodeProcess(updated, &code);
    EXPECT_EQ(code, 0u);
  }
  EXPECT_FALSE(fs::exists(install_dir()));
  EXPECT_FALSE(fs::exists(shortcut()));
  EXPECT_FALSE(registry_text(kRunKey, L"Harvel")) << "the start-with-Windows value stays";
  EXPECT_FALSE(fs::exists(local_data)) << "the web views' profile stays";
  ASSERT_TRUE(fs::exists(settings->path())) << "the data folder went too";
  const Json saved = Json::parse(read_text(settings->path()), nullptr, false);
  EXPECT_EQ(saved.value("onboarded", false), true);
}

// Installed again by hand: every page in our words, and the copy the finish
// page starts puts back the start with Windows its settings still ask for.
TEST_F(InstallerRound, AnInstallationByHandSpeaksOurUzbekAndBringsBackStartWithWindows) {
  ASSERT_FALSE(registry_text(kRunKey, L"Harvel"));
  ASSERT_EQ(Json::parse(read_text(settings->path()), nullptr, false).value("startup", false), true)
      << "the settings kept from the copy installed before";
  ScopedEnv to(L"HARVEL_FAKE_WEBVIEW2_LOG", log("reinstalled").wstring());
  Child setup(windows_path(HARVEL_INSTALLER_EXE), {});
  ASSERT_TRUE(setup.started());
  const std::wstring caption = L"Harvel o\u2018rnatuvchisi";

  const auto folder = wait_page(L"O\u2018rnatish joyi", L"&O\u2018rnatish", "installer-1-folder");
  ASSERT_TRUE(folder);
  expect_our_texts(*folder, caption);
  EXPECT_EQ(folder->subtitle, L"Harvel qaysi papkaga o\u2018rnatilishini tanlang.");
  for (const wchar_t* text :
       {L"Harvel quyidagi papkaga o\u2018rnatiladi. Boshqa papkani \u201cTanlash\u201d tugmasi bilan tanlash mumkin. "
        L"O\u2018rnatish uchun \u201cO\u2018rnatish\u201d tugmasini bosing.",
        L"O\u2018rnatish papkasi", L"&Tanlash\u2026", L"&O\u2018rnatish", L"Bekor qilish"}) {
    EXPECT_TRUE(shows(*folder, text)) << win32::narrow(text);
  }
  press(IDOK);

  expect_progress_done(L"O\u2018rnatish tugadi", L"Harvel o\u2018rnatildi.", L"&Keyingi >", caption,
                       "installer-2-progress");
  press(IDOK);

  const auto finish = wait_page(L"Harvel o\u2018rnatildi", L"&Tayyor", "installer-3-finish");
  ASSERT_TRUE(finish);
  expect_our_texts(*finish, caption);
  for (const wchar_t* text : {L"Harvel kompyuteringizga o\u2018rnatildi.\r\n\r\nO\u2018rnatuvchini yopish uchun "
                              L"\u201cTayyor\u201d tugmasini bosing.",
                              L"Harvel\u2019ni ishga tushirish"}) {
    EXPECT_TRUE(shows(*finish, text)) << win32::narrow(text);
  }
  press(IDOK);  // Harvel’ni ishga tushirish is ticked
  EXPECT_EQ(setup.wait(30s), 0u);

  const std::wstring ours = L"\"" + installed_program().wstring() + L"\" --hidden";
  EXPECT_TRUE(wait_until(
      [&] {
        const auto run = registry_text(kRunKey, L"Harvel");
        return run && same_path(*run, ours);
      },
      30s))
      << "no start with Windows for the reinstalled copy";
}

TEST_F(InstallerRound, ARemovalByHandSpeaksOurUzbek) {
  ASSERT_TRUE(fs::exists(uninstaller()));
  Child uninstall(uninstaller().wstring(), {});
  ASSERT_TRUE(uninstall.started());
  const std::wstring caption = L"Harvel\u2019ni o\u2018chirish";

  const auto confirm = wait_page(caption, L"O\u2018&chirish", "uninstaller-1-confirm");
  ASSERT_TRUE(confirm);
  expect_our_texts(*confirm, caption);
  EXPECT_EQ(confirm->subtitle, L"Harvel kompyuteringizdan o\u2018chiriladi.");
  for (const wchar_t* text : {L"Harvel quyidagi papkadan o\u2018chiriladi. Sozlamalaringiz saqlanib qoladi. "
                              L"O\u2018chirish uchun \u201cO\u2018chirish\u201d tugmasini bosing.",
                              L"Papka:", L"Bekor qilish"}) {
    EXPECT_TRUE(shows(*confirm, text)) << win32::narrow(text);
  }
  press(IDOK);

  expect_progress_done(L"O\u2018chirish tugadi", L"Harvel o\u2018chirildi.", L"&Yopish", caption,
                       "uninstaller-2-progress");
  press(IDOK);

  EXPECT_TRUE(wait_until([] { return !find_wizard(); }, 30s));
  EXPECT_TRUE(wait_until([] { return !registry_key_exists(kUninstallKey); }, 30s)) << "the list entry stays";
  EXPECT_FALSE(fs::exists(installed_program()));
  EXPECT_FALSE(registry_text(kRunKey, L"Harvel"));
}

}  // namespace
}  // namespace harvel
