// The Windows shell services on the real system: command-line quoting read
// back by the system's own parser, a detached process and the arguments it
// received, the Run value, the browser command and the folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/services.h"
#include "platform/win32/win32_keyboard.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_shell.h"
#include "support/test_app.h"
#include "win32/desktop.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

namespace harvel {
namespace {

using namespace win32test;
using win32::widen;

// Arguments that need each of the quoting rules.
const std::vector<std::wstring> kAwkwardArgs = {
    L"plain",
    L"two words",
    L"",
    L"quote\"inside",
    L"\"",
    L"trailing\\",
    L"trailing space\\",
    L"back\\\\slashes\\\\\"then quote",
    L"C:\\Program Files\\",
    L"tab\there",
    L"line\nbreak",
    L"\\\\server\\share",
    L"url.dll,FileProtocolHandler",
    L"https://example.uz/a b?q=\"x\"&r=1",
    L"ş ç ö ğ \u2018 \u2019",
};

TEST(Win32Shell, QuotedArgumentsReadBackByTheSystemParser) {
  const std::wstring line = win32::build_command_line(L"C:\\Program Files\\Harvel\\harvel.exe", kAwkwardArgs);
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
  ASSERT_NE(argv, nullptr);
  std::vector<std::wstring> parsed(argv, argv + count);
  LocalFree(argv);
  ASSERT_EQ(parsed.size(), kAwkwardArgs.size() + 1) << win32::narrow(line);
  EXPECT_EQ(parsed[0], L"C:\\Program Files\\Harvel\\harvel.exe");
  for (std::size_t i = 0; i < kAwkwardArgs.size(); ++i) {
    EXPECT_EQ(parsed[i + 1], kAwkwardArgs[i]) << "argument " << i;
  }
}

TEST(Win32Shell, DetachedProcessGetsItsArgumentsWhole) {
  testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "args.bin";
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"record");
  ScopedEnv target(L"HARVEL_TEST_FILE", file.wstring());
  std::vector<std::string> args;
  for (const std::wstring& a : kAwkwardArgs) args.push_back(win32::narrow(a));

  win32::Win32Shell shell;
  shell.spawn_detached_process({win32::narrow(helper_exe()), args});
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(file); }, kEventWait));
  EXPECT_EQ(read_recorded_args(file), args);
}

// A verified installer cannot be swapped between its check and its start:
// while held no one may write, rename or delete it, and the held file is
// what starts.
TEST(Win32Shell, AHeldProgramCannotBeSwappedBeforeItStarts) {
  testing::TempDir dir;
  const std::filesystem::path program = dir.path() / L"Harvel-Setup-0.2.0.exe";
  std::filesystem::copy_file(helper_exe(), program);
  const std::filesystem::path file = dir.path() / "args.bin";
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"record");
  ScopedEnv target(L"HARVEL_TEST_FILE", file.wstring());

  win32::Win32Shell shell;
  std::unique_ptr<os::HeldProgram> held = shell.hold_program(win32::narrow(program.wstring()));
  ASSERT_TRUE(held);
  std::vector<uint8_t> head(2);
  ASSERT_EQ(held->read(head), std::optional<std::size_t>(2));
  EXPECT_EQ(head, (std::vector<uint8_t>{'M', 'Z'}));

  HANDLE writer = CreateFileW(program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "written while held";
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileW(program.c_str())) << "deleted while held";
  const std::filesystem::path other = dir.path() / L"other.exe";
  { std::ofstream(other, std::ios::binary) << "not a program"; }
  EXPECT_FALSE(MoveFileExW(other.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING)) << "replaced while held";
  EXPECT_FALSE(MoveFileExW(program.c_str(), (dir.path() / L"moved.exe").c_str(), 0)) << "renamed while held";

  shell.spawn_held_program(std::move(held), {"/UPDATE", "/S", "/R"});
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(file); }, kEventWait));
  EXPECT_EQ(read_recorded_args(file), (std::vector<std::string>{"/UPDATE", "/S", "/R"}));
  EXPECT_FALSE(shell.hold_program(win32::narrow((dir.path() / L"missing.exe").wstring())));
}

// What the helper found of HARVEL_TEST_HANDLE in a detached child.
std::string handle_in_child(HANDLE h) {
  testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "handle.txt";
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"handle");
  ScopedEnv target(L"HARVEL_TEST_FILE", file.wstring());
  ScopedEnv value(L"HARVEL_TEST_HANDLE", std::to_wstring(reinterpret_cast<uintptr_t>(h)));
  win32::Win32Shell shell;
  shell.spawn_detached_process({win32::narrow(helper_exe()), {}});
  if (!wait_until([&] { return std::filesystem::exists(file); }, kEventWait)) return "no answer";
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Win32Shell, DetachedProcessInheritsNoOtherHandle) {
  // An inheritable handle of this process, as a file opened by the C runtime
  // is; the semaphore's count tells it from any handle of the child's own.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE semaphore = CreateSemaphoreW(&inheritable, 3, 10, nullptr);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(handle_in_child(semaphore), "closed") << "the child holds the parent's handle";
  CloseHandle(semaphore);
}

TEST(Win32Shell, MissingProgramIsSilent) {
  win32::Win32Shell shell;
  shell.spawn_detached_process({"C:\\no\\such\\program.exe", {"x"}});
}

TEST(Win32Shell, BrowserCommand) {
  struct Case {
    std::optional<std::wstring> system_root;
    std::string program;
  };
  const Case cases[] = {
      {L"D:\\Win", "D:\\Win\\System32\\rundll32.exe"},
      {std::nullopt, "C:\\Windows\\System32\\rundll32.exe"},
      {L"", "C:\\Windows\\System32\\rundll32.exe"},
  };
  win32::Win32Shell shell;
  for (const Case& c : cases) {
    ScopedEnv root(L"SystemRoot", c.system_root);
    const os::CommandLine command = shell.browser_command("https://harvel.uz/a b");
    EXPECT_EQ(command.program, c.program);
    EXPECT_EQ(command.args, (std::vector<std::string>{"url.dll,FileProtocolHandler", "https://harvel.uz/a b"}));
  }
}

// Reads the Run value: its type, size and text; none when it is missing.
struct RunValue {
  DWORD type = 0;
  DWORD bytes = 0;
  std::wstring text;
};
std::optional<RunValue> read_run_value() {
  const std::wstring key(win32::kRunKey);
  const std::wstring name(win32::kRunValue);
  RunValue v;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &v.type, nullptr,
                   &v.bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring buffer(v.bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = v.bytes;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, nullptr, buffer.data(),
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  v.text = buffer.c_str();
  return v;
}

// The prefix runs what the Run key names at its next start: never leave it.
struct RunValueCleanup {
  ~RunValueCleanup() {
    const std::wstring key(win32::kRunKey);
    const std::wstring name(win32::kRunValue);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str());
  }
};

TEST(Win32Shell, RunValueWrittenAndDeleted) {
  RunValueCleanup cleanup;
  win32::install_win32_platform();
  const auto exe = win32::module_path();
  ASSERT_TRUE(exe);

  set_autostart(true);
  auto value = read_run_value();
  ASSERT_TRUE(value);
  const std::wstring expected = L"\"" + *exe + L"\" --hidden";
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value->text, expected);
  EXPECT_EQ(value->bytes, 2 * (expected.size() + 1));
  EXPECT_TRUE(os::platform().shell->autostart_entry_is(autostart_command_text(win32::narrow(*exe))));

  // A path with blanks stays one quoted part, apart from the flag.
  os::platform().shell->write_autostart_entry(autostart_command_text("C:\\Program Files\\Harvel\\harvel.exe"));
  value = read_run_value();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->text, L"\"C:\\Program Files\\Harvel\\harvel.exe\" --hidden");
  EXPECT_FALSE(os::platform().shell->autostart_entry_is(autostart_command_text(win32::narrow(*exe))));

  set_autostart(false);
  EXPECT_FALSE(read_run_value());
  EXPECT_FALSE(os::platform().shell->autostart_entry_is(autostart_command_text(win32::narrow(*exe))));
  set_autostart(false);  // nothing to delete: silent
  EXPECT_FALSE(read_run_value());
  os::install_platform(os::Platform{});
}

TEST(Win32Shell, ExecutablePathAndFolders) {
  win32::Win32Shell shell;
  const auto path = shell.executable_path();
  ASSERT_TRUE(path);
  EXPECT_TRUE(std::filesystem::exists(widen(*path)));
  EXPECT_EQ(std::filesystem::path(widen(*path)).filename(), L"win32_tests.exe");

  win32::Win32Folders folders;
  const auto app_data = folders.roaming_app_data();
  ASSERT_TRUE(app_data);
  EXPECT_TRUE(std::filesystem::is_directory(widen(*app_data)));
  const std::string temp = folders.temp_dir().value_or("");
  EXPECT_TRUE(std::filesystem::is_directory(widen(temp)));
  EXPECT_NE(temp.back(), '\\');
}

// Whether the folder's access list, as the system reads it back, lets
// everyone write.
bool everyone_may_write(const std::wstring& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    found |= IsWellKnownSid(&allowed->SidStart, WinWorldSid) && (allowed->Mask & FILE_ADD_FILE);
  }
  LocalFree(descriptor);
  return found;
}

TEST(Win32Folders, PrivateFoldersAreThisUsersAlone) {
  testing::TempDir dir;
  win32::Win32Folders folders;
  const std::string base = win32::narrow(dir.path().wstring());
  const std::string made = base + "\\made";
  EXPECT_TRUE(folders.claim_private_folder(made));
  EXPECT_TRUE(std::filesystem::is_directory(widen(made)));
  EXPECT_TRUE(folders.claim_private_folder(made)) << "ours, a second time";

  // A folder everyone may write to is not taken.
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                   nullptr));
  SECURITY_ATTRIBUTES anyone{sizeof anyone, open, FALSE};
  ASSERT_TRUE(CreateDirectoryW(widen(base + "\\open").c_str(), &anyone));
  LocalFree(open);
  // Wine keeps no access lists of its own (it answers from the Unix mode):
  // there the folder reads as this user's, and only Windows can show this.
  if (everyone_may_write(widen(base + "\\open"))) {
    EXPECT_FALSE(folders.claim_private_folder(base + "\\open"));
  }
  { std::ofstream(std::filesystem::path(widen(base + "\\file"))) << "x"; }
  EXPECT_FALSE(folders.claim_private_folder(base + "\\file"));

  const auto fresh = folders.make_private_folder(base, "Harvel-");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->rfind(base + "\\Harvel-", 0), 0u) << *fresh;
  EXPECT_TRUE(std::filesystem::is_directory(widen(*fresh)));
  EXPECT_TRUE(folders.claim_private_folder(*fresh));
  EXPECT_NE(folders.make_private_folder(base, "Harvel-"), fresh);
  EXPECT_FALSE(folders.make_private_folder(base + "\\missing", "Harvel-"));
}

TEST(Win32Files, NewFilesRenamesAndSecondNames) {
  testing::TempDir dir;
  win32::Win32Files files;
  const std::filesystem::path target = dir.path() / L"\u015fart.json";
  const std::filesystem::path temp = dir.path() / L"\u015fart.json.tmp";
  const auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  { std::ofstream(target, std::ios::binary) << "an older and longer text"; }
  ASSERT_TRUE(files.create_flushed(temp, "new"));
  EXPECT_FALSE(files.create_flushed(temp, "newer")) << "a file already there is never opened";
  EXPECT_EQ(read(temp), "new");
  ASSERT_TRUE(files.rename_flushed(temp, target));  // over the existing file
  EXPECT_EQ(read(target), "new");
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_FALSE(files.rename_flushed(temp, target)) << "nothing to rename";

  const std::filesystem::path second = dir.path() / L"\u015fart.json.bad";
  ASSERT_TRUE(files.link_flushed(target, second));
  EXPECT_EQ(read(second), "new");
  EXPECT_FALSE(files.link_flushed(target, second)) << "never over a file";

  EXPECT_FALSE(files.create_flushed(dir.path() / L"missing" / L"a.json", "x"));
  std::filesystem::create_directory(dir.path() / L"folder");
  EXPECT_FALSE(files.create_flushed(dir.path() / L"folder", "x"));
}

TEST(Win32Keyboard, LocaleLanguageName) {
  win32::Win32Keyboard keyboard;
  const auto name = keyboard.locale_language_name(0x0409);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->substr(0, 7), u"English");
  EXPECT_EQ(name->find(u'\0'), std::u16string::npos);
}

}  // namespace
}  // namespace harvel
