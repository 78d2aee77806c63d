// Application names and icons: the version-resource name and the order it
// is looked up in, the icon's PNG data URL, the per-path cache and the JSON
// form of an AppInfo.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake_apps.h"
#include "shell/app_info.h"
#include "support/test_app.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace harvel {
namespace {

using fake::FakeApps;
using fake::FakeVersionInfo;

class AppInfoTest : public ::testing::Test {
 protected:
  AppInfoTest() {
    os::Platform p = os::platform();
    p.apps = &apps;
    os::install_platform(p);
    static std::atomic<int> counter{0};
    path = "C:\\N" + std::to_string(counter++) + "\\Prog.exe";
  }
  ~AppInfoTest() override { os::install_platform(os::Platform{}); }

  FakeApps apps;
  std::string path;
};

const std::u16string kFd = u"\\FileDescription";
const std::u16string kPn = u"\\ProductName";
std::u16string sub(std::u16string_view code, std::u16string_view key) {
  std::u16string s = u"\\StringFileInfo\\";
  s.append(code).append(key);
  return s;
}

TEST_F(AppInfoTest, LooksUpTranslationCodesThenTheTwoDefaultsForEachKey) {
  FakeVersionInfo& v = apps.version_infos[path];
  v.translations = {{0x0419, 1251}};
  v.strings[sub(u"040904e4", kPn)] = u"Mahsulot";
  EXPECT_EQ(version_resource_name(path), "Mahsulot");
  EXPECT_EQ(apps.version_queries(), (std::vector<std::string>{
                                        "\\VarFileInfo\\Translation",
                                        "\\StringFileInfo\\041904e3\\FileDescription",
                                        "\\StringFileInfo\\040904b0\\FileDescription",
                                        "\\StringFileInfo\\040904e4\\FileDescription",
                                        "\\StringFileInfo\\041904e3\\ProductName",
                                        "\\StringFileInfo\\040904b0\\ProductName",
                                        "\\StringFileInfo\\040904e4\\ProductName",
                                    }));
}

TEST_F(AppInfoTest, VersionNameCases) {
  struct Case {
    const char* what;
    FakeVersionInfo info;
    std::optional<std::string> name;
  };
  const std::vector<Case> cases = {
      {"first translation wins over the defaults",
       {{{0x0419, 1251}, {0x0443, 1200}},
        true,
        {{sub(u"044304b0", kFd), u"Ikkinchi"}, {sub(u"041904e3", kFd), u"Birinchi"},
         {sub(u"040904b0", kFd), u"Default"}},
        {}},
       "Birinchi"},
      {"description wins over product name under an earlier code",
       {{{0x0419, 1251}}, true, {{sub(u"041904e3", kPn), u"Mahsulot"}, {sub(u"040904e4", kFd), u"Tavsif"}}, {}},
       "Tavsif"},
      {"blank description falls through to the product name",
       {{}, true, {{sub(u"040904b0", kFd), u"   \t "}, {sub(u"040904b0", kPn), u"Mahsulot"}}, {}},
       "Mahsulot"},
      {"description of zero characters only",
       {{}, true, {{sub(u"040904b0", kFd), std::u16string(3, u'\0')}, {sub(u"040904b0", kPn), u"Mahsulot"}}, {}},
       "Mahsulot"},
      {"trailing zeros and white space trimmed",
       {{}, true, {{sub(u"040904b0", kFd), std::u16string(u"  Bloknot \u00A0\0\0", 13)}}, {}},
       "Bloknot"},
      {"a length under 2 units is not used",
       {{}, true, {{sub(u"040904b0", kFd), u"A"}, {sub(u"040904e4", kFd), u"Bb"}},
        {{sub(u"040904b0", kFd), 1}}},
       "Bb"},
      {"a length running past the resource is cut at its end",
       {{}, true, {{sub(u"040904b0", kFd), u"Uzun"}}, {{sub(u"040904b0", kFd), 100000}}},
       "Uzun"},
      {"an unpaired surrogate becomes U+FFFD", {{}, true, {{sub(u"040904b0", kFd), u"A\xD800"}}, {}}, "A\uFFFD"},
      {"no translation table", {{}, false, {{sub(u"040904e4", kFd), u"Faqat"}}, {}}, "Faqat"},
      {"nothing usable", {{{0x0409, 1200}}, true, {{sub(u"040904b0", u"\\Comments"), u"Izoh"}}, {}}, std::nullopt},
  };
  for (const Case& c : cases) {
    apps.version_infos[path] = c.info;
    EXPECT_EQ(version_resource_name(path), c.name) << c.what;
  }
  apps.version_infos.clear();
  EXPECT_EQ(version_resource_name(path), std::nullopt) << "no version resource";
}

// ---- icons -------------------------------------------------------------------------

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};

std::string base64_decode(std::string_view s) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : s) {
    if (c == '=') break;
    const std::size_t v = alphabet.find(c);
    if (v == std::string::npos) return "<invalid>";
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

Decoded decode_data_url(const std::string& url) {
  const std::string prefix = "data:image/png;base64,";
  EXPECT_TRUE(url.starts_with(prefix));
  const std::string png = base64_decode(std::string_view(url).substr(prefix.size()));
  Decoded d;
  int channels = 0;
  stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                      &d.width, &d.height, &channels, 0);
  EXPECT_NE(px, nullptr) << "not a PNG";
  if (px == nullptr) return d;
  EXPECT_EQ(channels, 4) << "8-bit RGBA";
  d.rgba.assign(px, px + static_cast<std::size_t>(d.width) * d.height * channels);
  stbi_image_free(px);
  return d;
}

TEST(IconDataUrl, ColoursSwappedAndAlphaKeptOrFilled) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bgra;
    std::vector<uint8_t> rgba;
  };
  const std::vector<Case> cases = {
      {"no alpha anywhere: opaque",
       {1, 2, 3, 0, 10, 20, 30, 0, 0, 0, 0, 0},
       {3, 2, 1, 255, 30, 20, 10, 255, 0, 0, 0, 255}},
      {"any alpha: kept exactly", {1, 2, 3, 128, 10, 20, 30, 0, 7, 8, 9, 1}, {3, 2, 1, 128, 30, 20, 10, 0, 9, 8, 7, 1}},
  };
  for (const Case& c : cases) {
    const auto url = icon_data_url({3, 1, c.bgra});
    ASSERT_TRUE(url.has_value()) << c.what;
    const Decoded d = decode_data_url(*url);
    EXPECT_EQ(d.width, 3) << c.what;
    EXPECT_EQ(d.height, 1) << c.what;
    EXPECT_EQ(d.rgba, c.rgba) << c.what;
  }
}

TEST(IconDataUrl, RowsStayTopToBottom) {
  // 1x2: a red top row, a blue bottom row.
  const Decoded d = decode_data_url(icon_data_url({1, 2, {0, 0, 255, 255, 255, 0, 0, 255}}).value());
  EXPECT_EQ(d.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
}

TEST(IconDataUrl, EmptyOrInconsistentBitmapsGiveNone) {
  EXPECT_EQ(icon_data_url({0, 4, {}}), std::nullopt);
  EXPECT_EQ(icon_data_url({4, 0, {}}), std::nullopt);
  EXPECT_EQ(icon_data_url({2, 2, std::vector<uint8_t>(15)}), std::nullopt);
  EXPECT_EQ(icon_data_url({2, 2, std::vector<uint8_t>(17)}), std::nullopt);
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFF\xFE\xFD", "//79"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(base64_encode(std::span(reinterpret_cast<const uint8_t*>(in.data()), in.size())), out) << in;
  }
}

// ---- the cache -------------------------------------------------------------------

TEST_F(AppInfoTest, CacheKeyIgnoresCaseAndKeepsAbsentValues) {
  apps.version_infos[path].strings[sub(u"040904b0", kFd)] = u"Dastur";
  apps.icons[path] = {1, 1, {1, 2, 3, 4}};
  const FriendlyName first = exe_friendly_name(path);
  EXPECT_EQ(first.name, "Dastur");
  ASSERT_TRUE(first.icon.has_value());
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  apps.version_infos.clear();  // a second read would now find nothing
  EXPECT_EQ(exe_friendly_name(upper), first);
  EXPECT_EQ(apps.version_info_reads(), 1);
  EXPECT_EQ(apps.icon_reads(), 1);

  const std::string bare = path + ".bare.exe";
  EXPECT_EQ(exe_friendly_name(bare), FriendlyName{});
  apps.icons[bare] = {1, 1, {1, 2, 3, 4}};  // appears later: the run keeps the first answer
  EXPECT_EQ(exe_friendly_name(bare), FriendlyName{});
  EXPECT_EQ(apps.version_info_reads(), 2);
  EXPECT_EQ(apps.icon_reads(), 2);
}

TEST_F(AppInfoTest, CacheServesConcurrentWorkers) {
  apps.version_infos[path].strings[sub(u"040904b0", kFd)] = u"Parallel";
  std::vector<std::thread> workers;
  std::vector<FriendlyName> seen(8);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    workers.emplace_back([&, i] { seen[i] = exe_friendly_name(path); });
  }
  for (std::thread& w : workers) w.join();
  for (const FriendlyName& f : seen) EXPECT_EQ(f.name, "Parallel");
  EXPECT_GE(apps.version_info_reads(), 1);
  EXPECT_EQ(exe_friendly_name(path).name, "Parallel");
}

// ---- AppInfo -----------------------------------------------------------------------

TEST(AppInfoJson, KeysInOrderAndIconOnlyWhenPresent) {
  EXPECT_EQ(serialize_app_info(build_app_info(nullptr, "notepad.exe")).dump(),
            R"({"exe":"notepad.exe","name":"Notepad","mode":null})");
  const AppRule rule{"Kod", "code.exe", kModeFast};
  AppInfo with_icon = app_info_with_rule({{"Boshqa", "other.exe", kModeOff}, rule, {"Ikkinchi", "code.exe", kModeZero}},
                                         "code.exe");
  with_icon.icon = "data:image/png;base64,AAAA";
  EXPECT_EQ(serialize_app_info(with_icon).dump(),
            R"({"exe":"code.exe","name":"Kod","mode":"fast","icon":"data:image/png;base64,AAAA"})");
  // Rules match the exe exactly.
  EXPECT_EQ(app_info_with_rule({rule}, "Code.exe").mode, std::nullopt);
}

}  // namespace
}  // namespace harvel
