// An application on the fake system: shared state with a settings file in a
// fresh temporary folder, the fake platform installed, notices recorded.
#pragma once

#include <filesystem>
#include <vector>

#include "core/app.h"
#include "platform/fake/fake_hook.h"
#include "platform/fake/fake_system.h"
#include "shell/toast.h"

namespace harvel::testing {

// A temporary folder removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class TestApp {
 public:
  explicit TestApp(Settings settings = default_settings());
  ~TestApp();

  App app;
  fake::FakeSystem sys;
  fake::FakeHook hook;
  TempDir dir;
  std::vector<ToastData> notices;

  Ctx& ctx() { return app.ctx(); }
  void set_settings(const Settings& s) { ctx().settings.set(s); }
};

}  // namespace harvel::testing
