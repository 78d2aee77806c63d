// The Windows installer under Wine, the whole round in order: a silent
// install (files, shortcut, list entry), the installed copy and a copy
// without uninstall.exe against the fake WebView2 runtime, an installer that
// meets a copy that will not end, an update over the running installed copy
// (which the new copy then reports), and the uninstaller. The update installs a build whose harvel.exe carries
// a marker after its image, so that the replacement shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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

// The program a shortcut starts, as the shell reads it.
std::optional<std::wstring> shortcut_target(const fs::path& link) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<std::wstring> target;
  IShellLinkW* shell_link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shell_link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
          SUCCEEDED(shell_link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) {
        target = path;
      }
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
  ASSERT_TRUE(fs::exists(settings->path())) << "the data folder went too";
  const Json saved = Json::parse(read_text(settings->path()), nullptr, false);
  EXPECT_EQ(saved.value("onboarded", false), true);
}

}  // namespace
}  // namespace harvel
