// An application on the fake system with a scripted HTTP transport, shell,
// application loop and a temporary folder of its own.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "core/file_io.h"
#include "core/state.h"
#include "online/updater.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_http.h"
#include "support/test_app.h"
#include "test_signer.h"

namespace harvel::testing {

inline std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_text(const std::filesystem::path& p, std::string_view text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

struct OnlineFixture {
  OnlineFixture() {
    folders.temp = path_to_utf8(tmp());
    std::filesystem::create_directories(tmp());
    reset_updater_flags();
    os::Platform p = os::platform();
    p.http = &http;
    p.shell = &shell;
    p.app_loop = &loop;
    p.folders = &folders;
    os::install_platform(p);
    Settings s = t.ctx().settings.copy();
    s.site_url = "https://harvel.uz";
    t.set_settings(s);
  }
  ~OnlineFixture() { reset_updater_flags(); }

  std::filesystem::path tmp() const { return t.dir.path() / "tmp"; }
  int broadcasts() {
    int n = 0;
    for (const auto& e : t.sys.emitted()) n += e.first == "state-changed";
    return n;
  }
  std::optional<PublicKey> key() const { return signer.key(); }

  TestApp t;
  fake::FakeHttp http;
  fake::FakeShell shell;
  fake::FakeAppLoop loop;
  fake::FakeFolders folders;
  TestSigner signer;
};

}  // namespace harvel::testing
