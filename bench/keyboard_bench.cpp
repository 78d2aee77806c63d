// The keyboard procedure's cost per event in every mode (budget: median under
// 2 µs, no allocation on the pass path).
#include <benchmark/benchmark.h>

#include "core/settings.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"
#include "platform/fake/fake_system.h"

namespace harvel {
namespace {

struct Bench {
  fake::FakeSystem sys;
  HookState state;
  explicit Bench(Mode mode, int rules = 0) {
    os::install_platform(sys.platform());
    sys.open_app(u"C:\\Windows\\notepad.exe");
    Settings s = default_settings();
    s.mode = mode;
    for (int i = 0; i < rules; ++i) s.apps.push_back({"App", "app" + std::to_string(i) + ".exe", kModeFast});
    reset_hook_flags();
    publish_mode_flags(s);
    publish_key_flags(s);
  }
  void key(uint32_t message, uint32_t vk, uint32_t scan = 0) {
    os::KeyEvent e;
    e.message = message;
    e.vk_code = vk;
    e.scan_code = scan;
    benchmark::DoNotOptimize(low_level_keyboard_proc(state, e));
  }
  void tap(uint32_t vk) {
    key(os::WM_KEYDOWN, vk);
    key(os::WM_KEYUP, vk);
  }
};

// A plain letter that passes (down and up): the common path.
void BM_PassLetter(benchmark::State& st) {
  Bench b(static_cast<Mode>(st.range(0)), static_cast<int>(st.range(1)));
  for (auto _ : st) b.tap('K');
  st.SetItemsProcessed(2 * st.iterations());
}
BENCHMARK(BM_PassLetter)
    ->ArgNames({"mode", "rules"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 100})
    ->Args({3, 0});

// Zero mode: every letter goes through the layout and the digraph engine;
// "sh" converts, the space ends the word.
void BM_ZeroWord(benchmark::State& st) {
  Bench b(kModeZero);
  for (auto _ : st) {
    for (uint32_t vk : {'S', 'H', 'A', 'H', 'A', 'R', ' '}) b.tap(vk);
    b.sys.sent.clear();
  }
  st.SetItemsProcessed(14 * st.iterations());
}
BENCHMARK(BM_ZeroWord);

// Hybrid mode: Right Alt + S types ş with one SendInput.
void BM_HybridLetter(benchmark::State& st) {
  Bench b(kModeHybrid);
  for (auto _ : st) {
    b.key(os::WM_SYSKEYDOWN, 0xA5);
    b.tap('S');
    b.key(os::WM_KEYUP, 0xA5);
    b.sys.sent.clear();
  }
  st.SetItemsProcessed(4 * st.iterations());
}
BENCHMARK(BM_HybridLetter);

}  // namespace
}  // namespace harvel
