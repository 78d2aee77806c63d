#include "platform/win32/win32_shell.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/win32/win32_text.h"

namespace harvel::win32 {

std::wstring quote_argument(std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) return std::wstring(arg);
  std::wstring out = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      // Doubled so that the closing quote stays a quote.
      out.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    out.push_back(arg[i]);
  }
  out.push_back(L'"');
  return out;
}

std::wstring build_command_line(std::wstring_view program, const std::vector<std::wstring>& args) {
  std::wstring line = L"\"";
  line += program;
  line += L'"';
  for (const std::wstring& arg : args) {
    line += L' ';
    line += quote_argument(arg);
  }
  return line;
}

std::optional<std::wstring> module_path() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    // Truncated: try again with room to spare (long paths reach 32,767 units).
    if (buffer.size() >= 65536) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> command_line_arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 0; i < count; ++i) args.push_back(narrow(argv[i]));
  LocalFree(argv);
  return args;
}

std::optional<std::wstring> environment_variable(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return std::nullopt;
    if (n < value.size()) {
      value.resize(n);
      break;
    }
    value.resize(n);  // n counts the terminating NUL here
  }
  // Text that is not valid UTF-16 cannot be used as a path either.
  if (widen(narrow(value)) != value) return std::nullopt;
  return value;
}

namespace {

// CreateProcessW of `program` with `command` without waiting for it.
void start_detached(const std::string& command_program, const std::vector<std::string>& command_args) {
  const std::wstring program = widen(command_program);
  std::vector<std::wstring> args;
  args.reserve(command_args.size());
  for (const std::string& a : command_args) args.push_back(widen(a));
  std::wstring line = build_command_line(program, args);

  // The child gets this process's standard handles: inheritable copies,
  // closed again once the child has its own.
  HANDLE self = GetCurrentProcess();
  HANDLE std_handles[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                           GetStdHandle(STD_ERROR_HANDLE)};
  HANDLE copies[3] = {nullptr, nullptr, nullptr};
  std::vector<HANDLE> inherited;
  for (int i = 0; i < 3; ++i) {
    if (std_handles[i] && std_handles[i] != INVALID_HANDLE_VALUE) {
      if (DuplicateHandle(self, std_handles[i], self, &copies[i], 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        inherited.push_back(copies[i]);
      } else {
        copies[i] = nullptr;
      }
    }
  }
  // Only those copies: any other inheritable handle of this process (files
  // the C runtime opens are) would otherwise stay open in the child for as
  // long as it runs.
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<unsigned char> list_memory(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
  bool list_ready = false;
  if (!inherited.empty() && list_size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
    list_ready = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                           inherited.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
    if (!list_ready) DeleteProcThreadAttributeList(list);
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = copies[0];
  startup.StartupInfo.hStdOutput = copies[1];
  startup.StartupInfo.hStdError = copies[2];
  if (list_ready) startup.lpAttributeList = list;
  const DWORD flags = CREATE_NO_WINDOW | (list_ready ? EXTENDED_STARTUPINFO_PRESENT : 0);
  PROCESS_INFORMATION process{};
  // Without the list nothing is handed on, rather than every inheritable handle.
  if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, list_ready ? TRUE : FALSE, flags, nullptr,
                     nullptr, &startup.StartupInfo, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (list_ready) DeleteProcThreadAttributeList(list);
  for (HANDLE h : copies) {
    if (h) CloseHandle(h);
  }
}

class Win32HeldProgram final : public os::HeldProgram {
 public:
  Win32HeldProgram(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~Win32HeldProgram() override { CloseHandle(file_); }
  Win32HeldProgram(const Win32HeldProgram&) = delete;
  Win32HeldProgram& operator=(const Win32HeldProgram&) = delete;
  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 20));
    if (!ReadFile(file_, buffer.data(), want, &n, nullptr)) return std::nullopt;
    return n;
  }
  const std::string& path() const { return path_; }

 private:
  HANDLE file_;
  std::string path_;
};

}  // namespace

void Win32Shell::spawn_detached_process(const os::CommandLine& command) {
  start_detached(command.program, command.args);
}

std::unique_ptr<os::HeldProgram> Win32Shell::hold_program(const std::string& path) {
  // The loader's own open (read and execute, sharing reading and deleting)
  // agrees with this one; writers, renames and deletes do not.
  HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32HeldProgram>(file, path);
}

void Win32Shell::spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) {
  const auto* held = dynamic_cast<const Win32HeldProgram*>(program.get());
  if (!held) return;
  // Started by the name of the held file, which cannot be another file while
  // the hold lasts; it ends when `program` goes, after the start.
  start_detached(held->path(), args);
}

void Win32Shell::write_autostart_entry(std::string_view command_text) {
  const std::wstring data = widen(command_text);
  const std::wstring key(kRunKey);
  const std::wstring value(kRunValue);
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), REG_SZ, data.c_str(),
                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void Win32Shell::remove_autostart_entry() {
  const std::wstring key(kRunKey);
  const std::wstring value(kRunValue);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str());
}

bool Win32Shell::autostart_entry_is(std::string_view command_text) {
  const std::wstring key(kRunKey);
  const std::wstring value(kRunValue);
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  data.resize(wcsnlen(data.c_str(), data.size()));
  return data == widen(command_text);
}

void Win32Shell::enter_background_priority() { SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN); }

void Win32Shell::name_current_thread(std::string_view name) {
  // SetThreadDescription came with Windows 10 1607: looked up, not linked.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set_description = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set_description == nullptr) return;
  const std::wstring wide = widen(name);
  set_description(GetCurrentThread(), wide.c_str());
}

std::optional<std::string> Win32Shell::executable_path() {
  const auto path = module_path();
  if (!path) return std::nullopt;
  return narrow(*path);
}

os::CommandLine Win32Shell::browser_command(std::string_view url) {
  const std::wstring root = environment_variable(L"SystemRoot").value_or(L"C:\\Windows");
  return os::CommandLine{narrow(root + L"\\System32\\rundll32.exe"), {"url.dll,FileProtocolHandler", std::string(url)}};
}

std::optional<std::string> Win32Folders::roaming_app_data() {
  PWSTR path = nullptr;
  std::optional<std::string> result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path && *path) {
    // A name that is not valid UTF-16 could not be named again from text:
    // the temporary folder is used instead.
    if (const std::wstring wide(path); widen(narrow(wide)) == wide) result = narrow(wide);
  }
  CoTaskMemFree(path);
  return result;
}

std::optional<std::string> Win32Folders::temp_dir() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  // No guess in its place: the Windows folder's Temp is open to every user.
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  if (n > 3 && buffer[n - 1] == L'\\') --n;  // keep "C:\" whole
  return narrow(std::wstring_view(buffer, n));
}

}  // namespace harvel::win32

namespace harvel::win32 {

bool Win32Files::create_flushed(const std::filesystem::path& path, std::string_view bytes) {
  // CREATE_NEW fails on any entry already there, a link included, so nothing
  // planted is written through.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), piece, &written, nullptr) && written > 0;
    if (ok) bytes.remove_prefix(written);
  }
  if (ok) ok = FlushFileBuffers(file) != FALSE;
  if (!CloseHandle(file)) ok = false;
  return ok;
}

bool Win32Files::rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32Files::link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return true;
  // FAT and some network shares have no hard links: a copy, never over a file.
  return GetLastError() != ERROR_ALREADY_EXISTS && CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

}  // namespace harvel::win32
