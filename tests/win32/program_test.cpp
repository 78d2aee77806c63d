// harvel.exe without the WebView2 runtime, and the runtime check it makes.
// Wine has no WebView2 runtime, so the program shows its missing-runtime
// box; the test answers it. On Yes the link goes through the prefix's real rundll32 and
// url.dll to the https handler, which the test replaces by its helper for
// the while. (Wine resets SystemRoot in every new process, and it ignores
// MB_TOPMOST, so neither can be checked here.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/webview2_runtime_client.h"
#include "platform/win32/win32_webview2.h"
#include "support/test_app.h"
#include "win32/desktop.h"

namespace harvel {
namespace {

using namespace win32test;

const std::wstring kMissingRuntimeText =
    L"WebView2 topilmadi\n"
    L"\n"
    L"Harvel oynasi Microsoft WebView2 komponentini talab qiladi. Uni o\u2018rnatib, Harvel\u2019ni qayta oching.\n"
    L"\n"
    L"1. Havola orqali WebView2 Runtime\u2019ni yuklab oling\n"
    L"2. Bir marta o\u2018rnating\n"
    L"3. Harvel\u2019ni qayta oching\n"
    L"\n"
    L"https://developer.microsoft.com/microsoft-edge/webview2/\n"
    L"Internet faqat shu yuklash uchun kerak.\n"
    L"\n"
    L"O\u2018rnatish havolasi ochilsinmi?\n"
    L"Ha \u2014 havolani ochish, Yo\u2018q \u2014 chiqish.";

// The prefix's https handler, replaced by the test helper for the life of
// the object.
class HttpsHandlerOverride {
 public:
  HttpsHandlerOverride() {
    wchar_t buffer[1024];
    DWORD size = sizeof(buffer);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
      return;
    }
    old_ = buffer;
    set(L"\"" + helper_exe() + L"\" \"%1\"");
  }
  ~HttpsHandlerOverride() {
    if (old_) set(*old_);
  }
  HttpsHandlerOverride(const HttpsHandlerOverride&) = delete;
  HttpsHandlerOverride& operator=(const HttpsHandlerOverride&) = delete;
  bool active() const { return old_.has_value(); }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Classes\\https\\shell\\open\\command";
  static void set(const std::wstring& command) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, nullptr, REG_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  }
  std::optional<std::wstring> old_;
};

class MissingRuntime : public ::testing::TestWithParam<int> {};

TEST_P(MissingRuntime, BoxThenExitZero) {
  ASSERT_FALSE(win32::installed_webview2_runtime().has_value()) << "a runtime is registered in the prefix";
  const int button = GetParam();
  testing::TempDir dir;
  const std::filesystem::path opened = dir.path() / "opened.bin";
  HttpsHandlerOverride browser;
  ASSERT_TRUE(browser.active());
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"record");
  ScopedEnv target(L"HARVEL_TEST_FILE", opened.wstring());

  Child program(windows_path(HARVEL_EXE), {L"--hidden"});
  ASSERT_TRUE(program.started());
  BoxAnswerer answerer(button, program.pid());
  answerer.join();
  ASSERT_TRUE(answerer.found) << "no message box";
  EXPECT_EQ(answerer.caption, L"Harvel");
  EXPECT_EQ(answerer.text, kMissingRuntimeText);
  EXPECT_TRUE(answerer.has_icon);
  EXPECT_TRUE(answerer.yes_no);
  EXPECT_EQ(program.wait(), 0u);

  if (button == IDYES) {
    ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(opened); }, kEventWait)) << "no browser started";
    EXPECT_EQ(read_recorded_args(opened),
              std::vector<std::string>{"https://developer.microsoft.com/microsoft-edge/webview2/"});
  } else {
    pump_for(300ms);
    EXPECT_FALSE(std::filesystem::exists(opened));
  }
}

INSTANTIATE_TEST_SUITE_P(Harvel, MissingRuntime, ::testing::Values(IDYES, IDNO),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == IDYES ? "Yes" : "No");
                         });

TEST(WebView2Check, LoaderAnswers) {
  const std::wstring stub = windows_path(HARVEL_WEBVIEW2_STUB);
  {
    ScopedEnv version(L"HARVEL_STUB_WEBVIEW2_VERSION", L"120.0.2210.91");
    EXPECT_EQ(win32::webview2_loader_version(stub.c_str()), L"120.0.2210.91");
  }
  {
    ScopedEnv version(L"HARVEL_STUB_WEBVIEW2_VERSION", std::nullopt);
    EXPECT_EQ(win32::webview2_loader_version(stub.c_str()), std::nullopt) << "a failing query means no runtime";
  }
  EXPECT_EQ(win32::webview2_loader_version(L"C:\\no\\such\\WebView2Loader.dll"), std::nullopt);
  // A DLL without the export.
  EXPECT_EQ(win32::webview2_loader_version(L"kernel32.dll"), std::nullopt);
  EXPECT_EQ(win32::webview2_runtime_version(), std::nullopt) << "no loader beside the tests, none registered";
}

// The per-user runtime keys, removed with the object: the state key as the
// runtime's updater writes it (32-bit view) and the client key.
class RuntimeKeys {
 public:
  ~RuntimeKeys() {
    RegDeleteKeyExW(HKEY_CURRENT_USER, win32::kWebView2ClientStateKey, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_CURRENT_USER, win32::kWebView2ClientKey, 0, 0);
  }
  void set(const wchar_t* subkey, REGSAM view, const wchar_t* name, const std::optional<std::wstring>& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create the key";
      return;
    }
    if (value) {
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                     static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key, name);
    }
    RegCloseKey(key);
  }
};

TEST(WebView2Check, ClientLibraryIsLookedForWhereTheRegistryNamesIt) {
  const std::wstring version = win32::widen(HARVEL_FAKE_WEBVIEW2_VERSION);
  const std::wstring application = windows_path(HARVEL_FAKE_WEBVIEW2_DIR);
  const std::wstring library = application + L"\\" + version + L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
  struct Case {
    const char* name;
    std::optional<std::wstring> in_use;    // the state key's "EBWebView"
    std::optional<std::wstring> location;  // the client key's "location"
    std::optional<std::wstring> found;
  };
  const Case cases[] = {
      {"the version folder in use", application + L"\\" + version + L"\\", std::nullopt, library},
      {"a stale one, then the application folder", L"C:\\no\\such\\120.0.0.1", application, library},
      {"the application folder alone", std::nullopt, application + L"\\", library},
      // The default per-user folder of the prefix holds no runtime.
      {"neither", std::nullopt, std::nullopt, std::nullopt},
  };
  const win32::WebView2Install install{version, win32::kWebView2ClientKey, true};
  RuntimeKeys keys;
  for (const Case& c : cases) {
    keys.set(win32::kWebView2ClientStateKey, KEY_WOW64_32KEY, L"EBWebView", c.in_use);
    keys.set(win32::kWebView2ClientKey, 0, L"location", c.location);
    EXPECT_EQ(win32::runtime_client_library(install), c.found) << c.name;
  }
}

}  // namespace
}  // namespace harvel
