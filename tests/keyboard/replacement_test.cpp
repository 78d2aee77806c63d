#include <gtest/gtest.h>

#include "keyboard/keyboard_proc.h"
#include "platform/fake/fake_system.h"

namespace harvel {
namespace {

using os::KeyInput;

constexpr uint32_t kDown = 0;
constexpr uint32_t kUp = os::KEYEVENTF_KEYUP;
constexpr uint32_t kUni = os::KEYEVENTF_UNICODE;

KeyInput in(uint16_t vk, uint16_t scan, uint32_t flags) { return KeyInput{vk, scan, flags, 0, 0x55A7}; }

struct BatchCase {
  std::string name;
  Replacement replacement;
  os::InputBatch expected;
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class ReplacementBatch : public ::testing::TestWithParam<BatchCase> {};

TEST_P(ReplacementBatch, IsExact) {
  EXPECT_EQ(build_replacement_batch(GetParam().replacement), GetParam().expected);
}

std::vector<BatchCase> batch_cases() {
  std::vector<BatchCase> cases;
  auto add = [&](std::string name, std::u32string text, uint64_t backspaces, std::optional<uint16_t> key,
                 os::InputBatch expected) {
    cases.push_back({std::move(name), Replacement{std::move(text), backspaces, key}, std::move(expected)});
  };
  add("one_letter", U"\u015F", 0, std::nullopt, {in(0, 0x15F, kUni), in(0, 0x15F, kUni | kUp)});
  add("backspaces_text_extra_key", U"fi", 3, uint16_t{0x0D},
      {in(8, 0, kDown), in(8, 0, kUp), in(8, 0, kDown), in(8, 0, kUp), in(8, 0, kDown), in(8, 0, kUp),
       in(0, 'f', kUni), in(0, 'f', kUni | kUp), in(0, 'i', kUni), in(0, 'i', kUni | kUp), in(0x0D, 0, kDown),
       in(0x0D, 0, kUp)});
  // Above U+FFFF: the high surrogate first, then the low one.
  add("surrogate_pair", U"a\U0001F600", 0, std::nullopt,
      {in(0, 'a', kUni), in(0, 'a', kUni | kUp), in(0, 0xD83D, kUni), in(0, 0xD83D, kUni | kUp),
       in(0, 0xDE00, kUni), in(0, 0xDE00, kUni | kUp)});
  add("backspaces_only", U"", 1, std::nullopt, {in(8, 0, kDown), in(8, 0, kUp)});
  add("extra_key_only", U"", 0, uint16_t{0x09}, {in(9, 0, kDown), in(9, 0, kUp)});
  // Values that are not characters are typed as U+FFFD.
  add("not_characters", std::u32string{char32_t{0xD800}, char32_t{0x110000}}, 0, std::nullopt,
      {in(0, 0xFFFD, kUni), in(0, 0xFFFD, kUni | kUp), in(0, 0xFFFD, kUni), in(0, 0xFFFD, kUni | kUp)});
  add("empty", U"", 0, std::nullopt, {});
  add("too_many_backspaces", U"x", kMaxReplacementBackspaces + 1, std::nullopt, {});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ReplacementBatch, ::testing::ValuesIn(batch_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(SendReplacement, OneCallPerReplacementNothingWhenEmpty) {
  fake::FakeSystem sys;
  os::install_platform(sys.platform());
  send_replacement({U"", 0, std::nullopt});
  EXPECT_TRUE(sys.sent.empty());
  const Replacement r{U"fish", 3, uint16_t{0x0D}};
  send_replacement(r);
  ASSERT_EQ(sys.sent.size(), 1u);
  EXPECT_EQ(sys.sent[0], build_replacement_batch(r));
  os::install_platform(os::Platform{});
}

}  // namespace
}  // namespace harvel
