// Snapshot build + serialisation (budget 50 µs) and the settings save of a
// 100-rule file (budget 1 ms).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "core/app.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/fake/fake_system.h"
#include "platform/linux/linux_host.h"

namespace harvel {
namespace {

Settings hundred_rules() {
  Settings s = default_settings();
  for (int i = 0; i < 100; ++i) {
    s.apps.push_back({"Dastur \u2116" + std::to_string(i), "program" + std::to_string(i) + ".exe",
                      static_cast<Mode>(i % 4)});
  }
  return s;
}

void BM_SnapshotBuildAndSerialise(benchmark::State& st) {
  fake::FakeSystem sys;
  os::install_platform(sys.platform());
  App app;
  app.manage(std::make_unique<Ctx>("settings.json", st.range(0) ? hundred_rules() : default_settings()));
  app.ctx().foreground_exe.set("program50.exe");
  for (auto _ : st) benchmark::DoNotOptimize(snapshot_json_text(build_state_snapshot(app)));
}
BENCHMARK(BM_SnapshotBuildAndSerialise)->ArgName("rules100")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Arg 1: the system's flushed writes (fsync of the file and its folder), as
// the program saves; arg 0: the same writes without flushing.
void BM_SettingsSave100Rules(benchmark::State& st) {
  static linux_host::LinuxFiles flushed;
  os::Platform p;
  if (st.range(0)) p.files = &flushed;
  os::install_platform(p);
  const auto dir = std::filesystem::temp_directory_path() / "harvel-bench";
  const Settings s = hundred_rules();
  for (auto _ : st) benchmark::DoNotOptimize(write_settings_file(dir / "settings.json", serialize_settings(s)));
  std::filesystem::remove_all(dir);
  os::install_platform(os::Platform{});
}
BENCHMARK(BM_SettingsSave100Rules)->ArgName("flushed")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace harvel

namespace harvel {
namespace {

void BM_SnapshotBuildOnly(benchmark::State& st) {
  fake::FakeSystem sys;
  os::install_platform(sys.platform());
  App app;
  app.manage(std::make_unique<Ctx>("settings.json", hundred_rules()));
  app.ctx().foreground_exe.set("program50.exe");
  for (auto _ : st) benchmark::DoNotOptimize(build_state_snapshot(app));
}
BENCHMARK(BM_SnapshotBuildOnly)->Unit(benchmark::kMicrosecond);

void BM_SnapshotToJsonOnly(benchmark::State& st) {
  fake::FakeSystem sys;
  os::install_platform(sys.platform());
  App app;
  app.manage(std::make_unique<Ctx>("settings.json", hundred_rules()));
  const Snapshot snap = build_state_snapshot(app);
  for (auto _ : st) benchmark::DoNotOptimize(snapshot_json_text(snap));
}
BENCHMARK(BM_SnapshotToJsonOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace harvel
