// Set-up on the fake system and desktop, with its data folder under the
// test's own folder and its background threads recorded instead of started.
// One world at a time: each installs the platform and removes it again.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "app/setup.h"
#include "core/file_io.h"
#include "online/update_record.h"
#include "platform/fake/fake_files.h"
#include "shell/tray_fixture.h"

namespace harvel::testing {

inline void write_bytes(const std::filesystem::path& p, std::string_view bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class SetupWorld {
 public:
  SetupWorld() {
    os::Platform p = os::platform();
    p.folders = &folders;
    os::install_platform(p);
    folders.roaming = path_to_utf8(w.t.dir.path() / "roaming");
    folders.temp = path_to_utf8(w.t.dir.path() / "temp");
    w.desk.shell.exe_path = path_to_utf8(program_folder() / "harvel.exe");
  }
  ~SetupWorld() { init_portable_flag(std::nullopt); }
  SetupWorld(const SetupWorld&) = delete;
  SetupWorld& operator=(const SetupWorld&) = delete;

  std::filesystem::path program_folder() const { return w.t.dir.path() / "program"; }
  // The data folder the fake folders name.
  std::filesystem::path data() const { return w.t.dir.path() / "roaming" / "uz.harvel.desktop"; }
  std::filesystem::path settings_file() const { return data() / "settings.json"; }
  fake::FakeFiles& files() { return w.t.sys.files; }

  void setup(bool hidden = false) {
    threads.clear();
    const auto error = setup_app(w.app(), hidden, [this](std::string_view name, std::function<void()>) {
      threads.emplace_back(name);
    });
    ASSERT_EQ(error, std::nullopt);
  }
  // A change of the settings, saved.
  void change() {
    w.ctx().settings.with([](Settings& s) { s.theme = s.theme == "dark" ? "light" : "dark"; });
    save_settings(w.app());
  }

  TrayWorld w;
  fake::FakeFolders folders;
  std::vector<std::string> threads;
};

}  // namespace harvel::testing
