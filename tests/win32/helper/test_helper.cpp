// A stand-in program the Win32 tests start, told what to do by environment
// variables (its arguments are not its own: it also stands in for rundll32).
//
//   HARVEL_TEST_HELPER=record   writes the arguments it was given (without
//                               the program), each ended by a NUL, as UTF-8
//                               to HARVEL_TEST_FILE
//   HARVEL_TEST_HELPER=second   claims the single instance HARVEL_TEST_ID with
//                               its arguments; exits 0 when a copy was
//                               already running, 1 when it became the first
//   HARVEL_TEST_HELPER=handle   writes "open" or "closed" to HARVEL_TEST_FILE:
//                               whether the handle value HARVEL_TEST_HANDLE
//                               (decimal) names, in this process, a semaphore
//                               with the count 3 (the test's)
//   HARVEL_TEST_HELPER=restart  appends "<n> <claimed|refused> <args joined by |>"
//                               to HARVEL_TEST_FILE; the first start then
//                               restarts itself through the event loop
//   HARVEL_TEST_HELPER=deaf     claims the single instance HARVEL_TEST_ID as
//                               the program does, ignores close requests and
//                               runs until it is ended
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/win32_app.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"

// After the program's headers: its names must not meet the SDK's macros.
#include <windows.h>

namespace {

using harvel::win32::environment_variable;
using harvel::win32::narrow;

std::vector<std::string> own_arguments() {
  std::vector<std::string> args = harvel::win32::command_line_arguments();
  if (!args.empty()) args.erase(args.begin());
  return args;
}

int record(const std::filesystem::path& file) {
  std::string data;
  for (const std::string& a : own_arguments()) {
    data += a;
    data.push_back('\0');
  }
  // Written beside and renamed, so the test never reads half a file.
  std::filesystem::path part = file;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary);
    out << data;
  }
  std::error_code ec;
  std::filesystem::rename(part, file, ec);
  return ec ? 2 : 0;
}

int handle(const std::filesystem::path& file, const std::wstring& value) {
  const auto h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(value.c_str(), nullptr, 10)));
  LONG count = 0;
  const bool open = ReleaseSemaphore(h, 1, &count) != FALSE && count == 3;
  std::filesystem::path part = file;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary);
    out << (open ? "open" : "closed");
  }
  std::error_code ec;
  std::filesystem::rename(part, file, ec);
  return ec ? 2 : 0;
}

int second(const std::string& identifier) {
  harvel::win32::Win32Application app;
  if (!app.valid()) return 2;
  return app.acquire(identifier, own_arguments(), {}) ? 1 : 0;
}

int restart(const std::filesystem::path& file, const std::string& identifier) {
  int starts = 1;
  {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) ++starts;
  }
  harvel::win32::Win32Application app;
  if (!app.valid()) return 2;
  const bool claimed = app.acquire(identifier, own_arguments(), {});
  std::string joined;
  for (const std::string& a : own_arguments()) joined += (joined.empty() ? "" : "|") + a;
  {
    std::ofstream out(file, std::ios::app);
    out << starts << (claimed ? " claimed " : " refused ") << joined << "\n";
  }
  if (starts > 1) return 0;
  app.post([&app] { app.restart(); });
  return app.run({});
}

int deaf(const std::string& identifier) {
  harvel::win32::Win32Application app;
  if (!app.valid() || !app.acquire(identifier, own_arguments(), {})) return 2;
  app.set_close_request_handler([] {});
  return app.run({});
}

}  // namespace

int main() {
  const auto mode = environment_variable(L"HARVEL_TEST_HELPER");
  const auto file = environment_variable(L"HARVEL_TEST_FILE");
  const auto id = environment_variable(L"HARVEL_TEST_ID");
  if (!mode) return 3;
  if (*mode == L"record" && file) return record(*file);
  if (const auto value = environment_variable(L"HARVEL_TEST_HANDLE"); *mode == L"handle" && file && value) {
    return handle(*file, *value);
  }
  if (*mode == L"second" && id) return second(narrow(*id));
  if (*mode == L"restart" && file && id) return restart(*file, narrow(*id));
  if (*mode == L"deaf" && id) return deaf(narrow(*id));
  return 3;
}
