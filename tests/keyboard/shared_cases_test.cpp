// Runs the typing cases of tests/shared/typing-cases.json through the keyboard
// procedure on the fake system. The web page's own typing engine runs the same
// file (web/src/typing), so both ends type the same text for the same keys.
//
// A case names a mode, optionally the keys, a list of key presses by DOM key
// code (with Shift, Caps Lock and a held key) and the text box's final text;
// the file's "about" lines describe the format.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "keyboard/key_tables.h"
#include "support/key_script.h"

namespace harvel::testing {
namespace {

using nlohmann::json;

std::filesystem::path cases_path() {
  return std::filesystem::path(HARVEL_TEST_DATA_DIR) / "shared" / "typing-cases.json";
}

struct DomKey {
  std::string_view code;
  uint32_t vk;
};

// DOM key codes of the keys the cases use, as Windows virtual keys (US layout).
constexpr DomKey kDomKeys[] = {
    {"Space", 0x20},        {"Enter", 0x0D},        {"Backspace", 0x08},   {"Tab", 0x09},
    {"Escape", 0x1B},       {"Semicolon", 0xBA},    {"Equal", 0xBB},       {"Comma", 0xBC},
    {"Minus", 0xBD},        {"Period", 0xBE},       {"Slash", 0xBF},       {"Backquote", 0xC0},
    {"BracketLeft", 0xDB},  {"Backslash", 0xDC},    {"BracketRight", 0xDD}, {"Quote", 0xDE},
    {"ShiftLeft", 0xA0},    {"ShiftRight", 0xA1},   {"ControlLeft", 0xA2}, {"ControlRight", 0xA3},
    {"AltLeft", 0xA4},      {"AltRight", 0xA5},     {"MetaLeft", 0x5B},    {"MetaRight", 0x5C},
    {"CapsLock", 0x14},     {"ContextMenu", 0x5D},  {"Insert", 0x2D},      {"ScrollLock", 0x91},
    {"Pause", 0x13},
};

std::optional<uint32_t> vk_for_code(std::string_view code) {
  if (code.size() == 4 && code.substr(0, 3) == "Key" && code[3] >= 'A' && code[3] <= 'Z') {
    return static_cast<uint32_t>(code[3]);
  }
  if (code.size() == 6 && code.substr(0, 5) == "Digit" && code[5] >= '0' && code[5] <= '9') {
    return static_cast<uint32_t>(code[5]);
  }
  if (code.size() >= 2 && code[0] == 'F' && code.find_first_not_of("0123456789", 1) == std::string_view::npos) {
    const int n = std::stoi(std::string(code.substr(1)));
    if (n >= 1 && n <= 24) return static_cast<uint32_t>(0x70 + n - 1);
  }
  for (const DomKey& key : kDomKeys) {
    if (key.code == code) return key.vk;
  }
  return std::nullopt;
}

std::string key_name(const std::string& code) {
  const auto vk = vk_for_code(code);
  if (!vk) throw std::runtime_error("no virtual key for the DOM code " + code);
  return vk_name(*vk);
}

const std::vector<json>& cases() {
  static const std::vector<json> loaded = [] {
    std::vector<json> out;
    std::ifstream in(cases_path(), std::ios::binary);
    if (!in) return out;
    std::stringstream text;
    text << in.rdbuf();
    const json file = json::parse(text.str(), nullptr, false);
    if (file.is_object() && file.contains("cases") && file["cases"].is_array()) {
      for (const json& c : file["cases"]) out.push_back(c);
    }
    return out;
  }();
  return loaded;
}

// The script lines that play one case on the keyboard procedure.
std::vector<std::string> case_lines(const json& c) {
  std::vector<std::string> lines;
  lines.push_back("set mode " + c.at("mode").get<std::string>());
  if (c.contains("keys")) {
    const json& keys = c.at("keys");
    const json& fast = keys.at("fast");
    lines.push_back("set hybrid-key " + keys.at("hybrid").get<std::string>());
    lines.push_back("set fast-keys " + fast.at("sh").get<std::string>() + " " + fast.at("ch").get<std::string>() +
                    " " + fast.at("o").get<std::string>() + " " + fast.at("g").get<std::string>());
  }
  for (const json& e : c.at("events")) {
    const std::string key = key_name(e.at("code").get<std::string>());
    const bool shift = e.value("shift", false);
    const bool caps = e.value("caps", false);
    const std::optional<std::string> hold =
        e.contains("hold") ? std::optional(key_name(e.at("hold").get<std::string>())) : std::nullopt;
    lines.push_back(caps ? "set caps on" : "set caps off");
    if (hold) lines.push_back("down " + *hold);
    if (shift) lines.push_back("down LSHIFT");
    lines.push_back("down " + key);
    lines.push_back("up " + key);
    if (shift) lines.push_back("up LSHIFT");
    if (hold) lines.push_back("up " + *hold);
  }
  return lines;
}

class TypingCaseTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TypingCaseTest, TypesTheExpectedText) {
  const json& c = cases().at(GetParam());
  const std::string name = c.value("name", "");
  std::vector<std::string> lines;
  try {
    lines = case_lines(c);
  } catch (const std::exception& e) {
    FAIL() << name << ": " << e.what();
  }
  std::string played;
  for (const std::string& line : lines) played += "  " + line + "\n";

  KeyScriptRunner runner;
  for (const std::string& line : lines) {
    try {
      runner.run(line);
    } catch (const std::exception& e) {
      FAIL() << name << ": " << line << ": " << e.what();
    }
  }
  EXPECT_EQ(runner.text(), c.at("text").get<std::string>()) << name << "\n" << played;
}

std::vector<std::size_t> case_indices() {
  std::vector<std::size_t> out(cases().size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = i;
  return out;
}

INSTANTIATE_TEST_SUITE_P(SharedTyping, TypingCaseTest, ::testing::ValuesIn(case_indices()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           std::string name = cases()[info.param].value("name", "");
                           std::string out;
                           for (char ch : name) {
                             const bool keep = std::isalnum(static_cast<unsigned char>(ch)) != 0;
                             if (keep) out += ch;
                             else if (!out.empty() && out.back() != '_') out += '_';
                           }
                           while (!out.empty() && out.back() == '_') out.pop_back();
                           return std::to_string(info.param) + "_" + out;
                         });

// A wrong data folder or a broken file would otherwise run no case at all.
TEST(SharedTypingCases, FileHoldsCases) {
  EXPECT_FALSE(cases().empty()) << cases_path().string();
  for (const json& c : cases()) {
    EXPECT_TRUE(c.contains("name") && c.contains("mode") && c.contains("events") && c.contains("text")) << c.dump();
  }
}

// The test's own code-to-key map agrees with the engine's key tables.
TEST(SharedTypingCases, DomCodesMatchTheKeyTables) {
  for (const HybridKeyDef& row : HYBRID_KEYS) {
    EXPECT_EQ(vk_for_code(row.code), std::optional(row.vk)) << row.code;
  }
  for (const FastKeyDef& row : FAST_KEYS) {
    EXPECT_EQ(vk_for_code(row.code), std::optional(row.vk)) << row.code;
  }
}

}  // namespace
}  // namespace harvel::testing
