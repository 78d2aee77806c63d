// Set-up and its files under a user profile whose name is not ASCII, with
// the real folders and file writes: every path the system names is used as
// the system named it, not as the ANSI code page would read it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/setup_fixture.h"
#include "core/file_io.h"
#include "online/updater.h"
#include "platform/win32/win32_shell.h"
#include "win32/desktop.h"

#include <windows.h>

namespace harvel {
namespace {

namespace fs = std::filesystem;
using testing::read_bytes;
using testing::write_bytes;
using win32test::ScopedEnv;

// A value of the user's shell folders, put back as it was with the object.
// The known folders are read from there (Wine takes no note of APPDATA).
class ScopedShellFolder {
 public:
  ScopedShellFolder(const wchar_t* name, const std::wstring& path) : name_(name) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &size) ==
        ERROR_SUCCESS) {
      old_.resize(size);
      had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, old_.data(), &size) ==
             ERROR_SUCCESS;
      old_.resize(size);
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_EXPAND_SZ, path.c_str(),
                    static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  ~ScopedShellFolder() {
    if (had_) {
      RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name_, type_, old_.data(), static_cast<DWORD>(old_.size()));
    } else {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, name_);
    }
  }
  ScopedShellFolder(const ScopedShellFolder&) = delete;
  ScopedShellFolder& operator=(const ScopedShellFolder&) = delete;

 private:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const wchar_t* name_;
  DWORD type_ = REG_EXPAND_SZ;
  std::vector<unsigned char> old_;
  bool had_ = false;
};

TEST(Win32ProfilePaths, SettingsAdsCacheAndPendingRecordUnderANonAsciiProfile) {
  testing::SetupWorld s;
  // "Пользователь Oʻtkir": Cyrillic, and the Uzbek modifier letter turned comma.
  const fs::path profile =
      s.w.t.dir.path() / L"\u041f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044c O\u02bbtkir";
  const fs::path roaming = profile / L"AppData" / L"Roaming";
  const fs::path temp = profile / L"AppData" / L"Local" / L"Temp";
  fs::create_directories(roaming);
  fs::create_directories(temp);
  // The known folder follows the profile; the temporary folder is TMP's.
  ScopedEnv user(L"USERPROFILE", profile.wstring());
  ScopedEnv app_data(L"APPDATA", roaming.wstring());
  ScopedShellFolder shell_folder(L"AppData", roaming.wstring());
  ScopedEnv tmp(L"TMP", temp.wstring());
  ScopedEnv temp_env(L"TEMP", temp.wstring());
  win32::Win32Folders folders;
  win32::Win32Files files;
  os::Platform p = os::platform();
  p.folders = &folders;
  p.files = &files;
  os::install_platform(p);
  const auto named = folders.roaming_app_data();
  ASSERT_TRUE(named);
  ASSERT_EQ(path_from_utf8(*named), roaming);

  const fs::path data = roaming / L"uz.harvel.desktop";
  write_bytes(data / L"settings.json", R"({"mode":"zero"})");
  write_bytes(data / L"ads-cache.json", R"({"fetchedAt":5,"body":"{}","hidden":false})");
  write_bytes(data / L"pending-update.txt", "0.1.7");
  s.setup();

  EXPECT_EQ(s.w.ctx().settings_path, data / L"settings.json");
  EXPECT_EQ(s.w.ctx().settings.copy().mode, kModeZero);
  EXPECT_TRUE(s.w.ctx().ads.copy()) << "the cache beside the settings";
  EXPECT_FALSE(fs::exists(data / L"pending-update.txt")) << "read and deleted";

  s.change();
  EXPECT_EQ(load_settings(data / L"settings.json").theme, "dark");
  write_ads_cache_file(ads_cache_file_path(s.w.ctx().settings_path), Cache{7, "{}", true});
  EXPECT_EQ(load_ads_cache(data / L"ads-cache.json")->fetched_at, 7u);
  ASSERT_EQ(pending_update_file_path(s.w.app()), data / L"pending-update.txt");
  ASSERT_TRUE(harvel::files().create_flushed(pending_update_file_path(s.w.app()), "0.2.0"));
  EXPECT_EQ(read_bytes(data / L"pending-update.txt"), "0.2.0");
  EXPECT_EQ(installer_path("0.2.0"), temp / L"Harvel-Setup-0.2.0.exe");
  // Nothing went to a folder of another name beside the profile.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(s.w.t.dir.path())) entries += e.path().filename() != L"program";
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace harvel
