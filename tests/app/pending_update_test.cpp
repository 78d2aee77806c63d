#include <gtest/gtest.h>

#include <fstream>

#include "app/setup.h"
#include "online/updater.h"
#include "support/test_app.h"

namespace harvel {
namespace {

TEST(PendingUpdate, ReadDeletedAndTrimmed) {
  struct Case {
    const char* content;
    std::optional<std::string> version;
  };
  const Case cases[] = {
      {" 0.2.0\n", "0.2.0"},
      {"0.1.7", "0.1.7"},
      {"\u00a00.1.8\r\n", "0.1.8"},  // Unicode white space is trimmed too
      {"not a version", std::nullopt},
      {"", std::nullopt},
  };
  testing::TempDir dir;
  const auto path = dir.path() / "pending-update.txt";
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary) << c.content;
    EXPECT_EQ(take_pending_update(path), c.version) << c.content;
    EXPECT_FALSE(std::filesystem::exists(path)) << "kept: " << c.content;
  }
  EXPECT_EQ(take_pending_update(path), std::nullopt);  // no file

  std::ofstream(path, std::ios::binary) << "0.2\xff";  // not UTF-8: left alone
  EXPECT_EQ(take_pending_update(path), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(Versions, ValidAndNewer) {
  const std::pair<const char*, bool> valid[] = {
      {"0.1.7", true}, {"1", true}, {"123456789.0", true}, {"1234567890", false}, {"", false},
      {"1..2", false}, {".1", false}, {"1.", false},     {"1.a", false},        {"1.2-beta", false},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13.14", true}, {"1.2.3.4.5.6.7.8.9.10.11.12.13.14.1", false},
  };
  for (const auto& [text, ok] : valid) EXPECT_EQ(is_valid_version(text), ok) << text;

  const std::pair<const char*, bool> newer[] = {
      {"0.1.8", true}, {"0.1.10", true}, {"0.2", true}, {"1.0.0", true},
      {"0.1.7", false}, {"0.1.7.0", false}, {"0.1.6", false}, {"0.1", false},
  };
  for (const auto& [text, is_newer] : newer) EXPECT_EQ(is_newer_than_current_version(text), is_newer) << text;
}

}  // namespace
}  // namespace harvel
