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
    ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(opened); }, 10s)) << "no browser started";
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

}  // namespace
}  // namespace harvel
