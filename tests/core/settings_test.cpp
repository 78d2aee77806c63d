#include "core/settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

namespace harvel {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("harvel-settings-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write_bytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << p;
}

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The defaults with some fields changed.
Settings defaults_with(const std::function<void(Settings&)>& change) {
  Settings s = default_settings();
  change(s);
  return s;
}

void same(Settings&) {}

struct LoadCase {
  const char* what;
  std::string text;
  std::function<void(Settings&)> expected;  // applied to the defaults
};

void check_loads(const std::vector<LoadCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + c.text);
    EXPECT_EQ(parse_settings_text(c.text), defaults_with(c.expected));
  }
}

TEST(SettingsDefaults, MatchTheTable) {
  const Settings s = default_settings();
  EXPECT_EQ(s.mode, kModeHybrid);
  EXPECT_TRUE(s.enabled);
  EXPECT_EQ(s.hotkey, "Control+Shift+U");
  EXPECT_FALSE(s.startup);
  EXPECT_EQ(s.theme, "system");
  EXPECT_TRUE(s.offers);
  EXPECT_EQ(s.hybrid_key, "ralt");
  EXPECT_EQ(s.fast_keys, (FastKeys{"KeyW", "KeyC", "BracketLeft", "BracketRight"}));
  EXPECT_FALSE(s.onboarded);
  EXPECT_FALSE(s.checker);
  EXPECT_FALSE(s.checker_toast);
  EXPECT_TRUE(s.apps.empty());
  EXPECT_EQ(s.site_url, "https://harvel.uz");
  EXPECT_EQ(default_site_url(), "https://harvel.uz");
}

TEST(SettingsMode, NamesAndRuleTexts) {
  const struct {
    std::string_view text;
    Mode mode;
    Mode rule;
  } cases[] = {
      {"english", 0, 0}, {"fast", 1, 1},      {"hybrid", 2, 2},   {"zero", 3, 3},
      {"off", 255, 255}, {"Zero", 255, 254},  {"OFF", 255, 254},  {"", 255, 254},
      {"hybrid ", 255, 254},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(mode_from_name(c.text), c.mode);
    EXPECT_EQ(app_rule_from_text(c.text), c.rule);
    if (c.rule != kModeNoRule) {
      EXPECT_EQ(app_rule_text(c.rule), c.text);
    }
  }
  for (Mode m = 0; m <= kModeZero; ++m) EXPECT_EQ(mode_from_name(mode_to_name(m)), m);
}

TEST(SettingsLoad, WholeFileFallsBackToDefaults) {
  check_loads({
      {"empty object", "{}", same},
      {"empty file", "", same},
      {"white space only", " \n", same},
      {"null", "null", same},
      {"a string", "\"hybrid\"", same},
      {"number for a boolean", R"({"theme":"dark","enabled":1})", same},
      {"string for a boolean", R"({"theme":"dark","offers":"true"})", same},
      {"null for a boolean", R"({"theme":"dark","checker":null})", same},
      {"null for a text", R"({"startup":true,"hotkey":null})", same},
      {"number for a text", R"({"startup":true,"theme":5})", same},
      {"array for siteUrl", R"({"startup":true,"siteUrl":["https://x"]})", same},
      {"mode twice", R"({"mode":"zero","startup":true,"mode":"zero"})", same},
      {"unknown key twice", R"({"x":1,"startup":true,"x":2})", same},
      {"trailing text", R"({"startup":true} {})", same},
      {"trailing comma", R"({"startup":true,})", same},
      {"invalid UTF-8 in a text", "{\"startup\":true,\"theme\":\"\xC3\x28\"}", same},
      {"too deep in a skipped key", "{\"startup\":true,\"x\":" + std::string(200, '[') + std::string(200, ']') + "}",
       same},
  });
}

TEST(SettingsLoad, ObjectForm) {
  check_loads({
      {"trailing white space", "{\"startup\":true} \r\n\t ", [](Settings& s) { s.startup = true; }},
      {"unknown keys skipped",
       R"({"colour":{"deep":[1,{"k":1,"k":2}]},"theme":"dark","checker":true,"Theme":"light"})",
       [](Settings& s) {
         s.theme = "dark";
         s.checker = true;
       }},
      {"every key",
       R"({"siteUrl":"https://example.org","apps":[],"checkerToast":true,"checker":true,"onboarded":true,
           "fastKeys":{"sh":"KeyQ","ch":"KeyX","o":"Backslash","g":"Quote"},"hybridKey":"caps",
           "offers":false,"theme":"","startup":true,"hotkey":"Alt+K","enabled":false,"mode":"fast"})",
       [](Settings& s) {
         s.mode = kModeFast;
         s.enabled = false;
         s.hotkey = "Alt+K";
         s.startup = true;
         s.theme = "";
         s.offers = false;
         s.hybrid_key = "caps";
         s.fast_keys = {"KeyQ", "KeyX", "Backslash", "Quote"};
         s.onboarded = true;
         s.checker = true;
         s.checker_toast = true;
         s.site_url = "https://example.org";  // replaced only by normalisation
       }},
      {"texts kept as written", R"({"hybridKey":"RALT","theme":"purple","hotkey":"nonsense"})",
       [](Settings& s) {
         s.hybrid_key = "RALT";
         s.theme = "purple";
         s.hotkey = "nonsense";
       }},
  });
}

TEST(SettingsLoad, ModeIsLenient) {
  auto with_mode = [](Mode m) {
    return [m](Settings& s) {
      s.mode = m;
      s.startup = true;
    };
  };
  check_loads({
      {"zero", R"({"mode":"zero","startup":true})", with_mode(kModeZero)},
      {"english", R"({"mode":"english","startup":true})", with_mode(kModeEnglish)},
      {"fast", R"({"mode":"fast","startup":true})", with_mode(kModeFast)},
      {"capitals", R"({"mode":"ZERO","startup":true})", with_mode(kModeHybrid)},
      {"off is a rule, not a mode", R"({"mode":"off","startup":true})", with_mode(kModeHybrid)},
      {"number", R"({"mode":3,"startup":true})", with_mode(kModeHybrid)},
      {"null", R"({"mode":null,"startup":true})", with_mode(kModeHybrid)},
      {"boolean", R"({"mode":false,"startup":true})", with_mode(kModeHybrid)},
      {"array", R"({"mode":["zero"],"startup":true})", with_mode(kModeHybrid)},
      {"object with a repeated key", R"({"mode":{"a":1,"a":2},"startup":true})", with_mode(kModeHybrid)},
  });
}

TEST(SettingsLoad, PositionalForm) {
  check_loads({
      {"leading values", R"(["zero", false, "Alt+X"])",
       [](Settings& s) {
         s.mode = kModeZero;
         s.enabled = false;
         s.hotkey = "Alt+X";
       }},
      {"all thirteen",
       R"([1, true, "H", true, "dark", false, "caps", ["KeyQ"], true, true, true,
           [["Word", "winword.exe", "off"]], "https://x"])",
       [](Settings& s) {
         s.startup = true;
         s.hotkey = "H";
         s.theme = "dark";
         s.offers = false;
         s.hybrid_key = "caps";
         s.fast_keys.sh = "KeyQ";
         s.onboarded = true;
         s.checker = true;
         s.checker_toast = true;
         s.apps = {{"Word", "winword.exe", kModeOff}};
         s.site_url = "https://x";
       }},
      {"empty", "[]", same},
      {"wrong type in place", R"(["zero", "yes"])", same},
      {"fourteen values",
       R"(["zero", true, "H", true, "dark", false, "caps", {}, true, true, true, [], "https://x", 0])", same},
  });
}

TEST(SettingsLoad, FastKeys) {
  check_loads({
      {"one slot", R"({"fastKeys":{"sh":"KeyQ"}})", [](Settings& s) { s.fast_keys.sh = "KeyQ"; }},
      {"unknown slot skipped", R"({"fastKeys":{"x":5,"g":"Quote"}})", [](Settings& s) { s.fast_keys.g = "Quote"; }},
      {"names not checked here", R"({"fastKeys":{"sh":"keyw","ch":"KeyW"}})",
       [](Settings& s) {
         s.fast_keys.sh = "keyw";
         s.fast_keys.ch = "KeyW";
       }},
      {"positional", R"({"fastKeys":["KeyQ","KeyX"]})",
       [](Settings& s) {
         s.fast_keys.sh = "KeyQ";
         s.fast_keys.ch = "KeyX";
       }},
      {"empty positional", R"({"fastKeys":[]})", same},
      {"repeated slot", R"({"startup":true,"fastKeys":{"sh":"KeyQ","sh":"KeyX"}})", same},
      {"repeated unknown key", R"({"startup":true,"fastKeys":{"x":1,"x":1}})", same},
      {"number in a slot", R"({"startup":true,"fastKeys":{"sh":1}})", same},
      {"null", R"({"startup":true,"fastKeys":null})", same},
      {"a string", R"({"startup":true,"fastKeys":"KeyW"})", same},
      {"five positional", R"({"startup":true,"fastKeys":["KeyQ","KeyX","Quote","Backslash","KeyW"]})", same},
      {"non-string positional", R"({"startup":true,"fastKeys":["KeyQ",null]})", same},
  });
}

TEST(SettingsLoad, AppsDropInvalidRulesOneByOne) {
  check_loads({
      {"valid, unknown mode, no exe",
       R"({"apps":[{"name":"Word","exe":"winword.exe","mode":"zero"},
                   {"name":"Calc","exe":"calc.exe","mode":"turbo"},
                   {"name":"Paint","mode":"fast"}]})",
       [](Settings& s) { s.apps = {{"Word", "winword.exe", kModeZero}}; }},
      {"off rule", R"({"apps":[{"name":"Ko‘rsatkich","exe":"k.exe","mode":"off"}]})",
       [](Settings& s) { s.apps = {{"Ko‘rsatkich", "k.exe", kModeOff}}; }},
      {"every kind of bad element, order of the rest kept",
       R"({"apps":[{"name":"A","exe":"a.exe","mode":"fast"},
                   {"name":"B","exe":"b.exe","mode":"fast","name":"C"},
                   {"name":"D","exe":"d.exe","mode":5},
                   {"name":null,"exe":"e.exe","mode":"fast"},
                   {"name":"F","exe":"f.exe","mode":"OFF"},
                   ["G","g.exe"],
                   ["H","h.exe","fast","extra"],
                   5, "I", null, [], {},
                   ["J","j.exe","english"],
                   {"mode":"hybrid","extra":{"k":1,"k":2},"exe":"k.exe","name":"K"}]})",
       [](Settings& s) {
         s.apps = {{"A", "a.exe", kModeFast}, {"J", "j.exe", kModeEnglish}, {"K", "k.exe", kModeHybrid}};
       }},
      {"exe kept as written", R"({"apps":[{"name":"","exe":"WinWord.EXE","mode":"english"}]})",
       [](Settings& s) { s.apps = {{"", "WinWord.EXE", kModeEnglish}}; }},
      {"null", R"({"startup":true,"apps":null})", same},
      {"object", R"({"startup":true,"apps":{"name":"A","exe":"a.exe","mode":"fast"}})", same},
      {"bad JSON inside an element", R"({"startup":true,"apps":[{"name":"A","exe":"a.exe","mode":"fast",}]})", same},
  });
}

TEST(SettingsNormalize, StartUpCorrections) {
  const struct {
    const char* what;
    std::function<void(Settings&)> before;
    std::function<void(Settings&)> after;  // both applied to the defaults
  } cases[] = {
      {"site address replaced", [](Settings& s) { s.site_url = "https://example.org"; }, same},
      {"hybrid key in capitals", [](Settings& s) { s.hybrid_key = "RALT"; }, same},
      {"empty hybrid key", [](Settings& s) { s.hybrid_key = ""; }, same},
      {"hybrid key kept", [](Settings& s) { s.hybrid_key = "f24"; }, [](Settings& s) { s.hybrid_key = "f24"; }},
      {"two slots on one key",
       [](Settings& s) {
         s.fast_keys.sh = "KeyQ";
         s.fast_keys.ch = "KeyQ";
       },
       same},
      {"slot name in lower case", [](Settings& s) { s.fast_keys.sh = "keyw"; }, same},
      {"one slot moved", [](Settings& s) { s.fast_keys.sh = "KeyQ"; }, [](Settings& s) { s.fast_keys.sh = "KeyQ"; }},
      {"hybrid backquote clashes with fast Backquote",
       [](Settings& s) {
         s.hybrid_key = "backquote";
         s.fast_keys.o = "Backquote";
       },
       [](Settings& s) { s.hybrid_key = "backquote"; }},
      {"hybrid backquote without a clash",
       [](Settings& s) {
         s.hybrid_key = "backquote";
         s.fast_keys.sh = "KeyQ";
       },
       [](Settings& s) {
         s.hybrid_key = "backquote";
         s.fast_keys.sh = "KeyQ";
       }},
      {"hybrid key fixed first, so no clash is left",
       [](Settings& s) {
         s.hybrid_key = "Backquote";
         s.fast_keys.g = "Backquote";
       },
       [](Settings& s) { s.fast_keys.g = "Backquote"; }},
      {"nothing else validated",
       [](Settings& s) {
         s.theme = "purple";
         s.hotkey = "";
         s.mode = kModeZero;
         s.apps = {{"X", "X.EXE", kModeOff}, {"X", "X.EXE", kModeFast}};
       },
       [](Settings& s) {
         s.theme = "purple";
         s.hotkey = "";
         s.mode = kModeZero;
         s.apps = {{"X", "X.EXE", kModeOff}, {"X", "X.EXE", kModeFast}};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Settings s = defaults_with(c.before);
    normalize_settings(s);
    EXPECT_EQ(s, defaults_with(c.after));
  }
}

TEST(SettingsNormalize, HybridKeyConflictsFastKey) {
  const struct {
    uint32_t hybrid;
    std::array<uint32_t, 4> fast;
    bool conflicts;
  } cases[] = {
      {9, {7, 1, 2, 3}, true},    // backquote vs Backquote
      {9, {0, 1, 2, 7}, true},
      {9, {0, 1, 2, 3}, false},
      {0, {7, 4, 5, 6}, false},
      {9, {10, 99, 0xFFFFFFFF, 1}, false},  // indices above 9 are skipped
      {22, {7, 1, 2, 3}, false},            // no such hybrid row
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hybrid);
    EXPECT_EQ(hybrid_key_conflicts_fast_key(c.hybrid, c.fast), c.conflicts);
  }
  // Only backquote can clash with the tables as they are.
  for (uint32_t h = 0; h < 22; ++h) {
    for (uint32_t f = 0; f < 10; ++f) {
      EXPECT_EQ(hybrid_key_conflicts_fast_key(h, {f, f, f, f}), h == 9 && f == 7) << h << " " << f;
    }
  }
}

TEST(SettingsRules, ExeDiffersIsExactByteComparison) {
  const AppRule rule{"Word", "winword.exe", kModeFast};
  EXPECT_FALSE(app_rule_exe_differs(rule, "winword.exe"));
  EXPECT_TRUE(app_rule_exe_differs(rule, "WINWORD.EXE"));
  EXPECT_TRUE(app_rule_exe_differs(rule, "winword.exe "));
  EXPECT_TRUE(app_rule_exe_differs(rule, ""));
}

TEST(SettingsSave, DefaultsFileText) {
  EXPECT_EQ(serialize_settings(default_settings()),
            "{\n"
            "  \"mode\": \"hybrid\",\n"
            "  \"enabled\": true,\n"
            "  \"hotkey\": \"Control+Shift+U\",\n"
            "  \"startup\": false,\n"
            "  \"theme\": \"system\",\n"
            "  \"offers\": true,\n"
            "  \"hybridKey\": \"ralt\",\n"
            "  \"fastKeys\": {\n"
            "    \"sh\": \"KeyW\",\n"
            "    \"ch\": \"KeyC\",\n"
            "    \"o\": \"BracketLeft\",\n"
            "    \"g\": \"BracketRight\"\n"
            "  },\n"
            "  \"onboarded\": false,\n"
            "  \"checker\": false,\n"
            "  \"checkerToast\": false,\n"
            "  \"apps\": [],\n"
            "  \"siteUrl\": \"https://harvel.uz\"\n"
            "}");
}

Settings full_record() {
  Settings s = default_settings();
  s.mode = kModeZero;
  s.enabled = false;
  s.hotkey = "Alt+Shift+K";
  s.startup = true;
  s.theme = "dark";
  s.offers = false;
  s.hybrid_key = "caps";
  s.fast_keys = {"KeyQ", "KeyX", "Backslash", "Quote"};
  s.onboarded = true;
  s.checker = true;
  s.checker_toast = true;
  s.apps = {{"Ko‘rsatkich", "korsatkich.exe", kModeOff}, {"Word", "winword.exe", kModeFast}};
  return s;
}

const char* const kFullRecordText =
    "{\n"
    "  \"mode\": \"zero\",\n"
    "  \"enabled\": false,\n"
    "  \"hotkey\": \"Alt+Shift+K\",\n"
    "  \"startup\": true,\n"
    "  \"theme\": \"dark\",\n"
    "  \"offers\": false,\n"
    "  \"hybridKey\": \"caps\",\n"
    "  \"fastKeys\": {\n"
    "    \"sh\": \"KeyQ\",\n"
    "    \"ch\": \"KeyX\",\n"
    "    \"o\": \"Backslash\",\n"
    "    \"g\": \"Quote\"\n"
    "  },\n"
    "  \"onboarded\": true,\n"
    "  \"checker\": true,\n"
    "  \"checkerToast\": true,\n"
    "  \"apps\": [\n"
    "    {\n"
    "      \"name\": \"Ko‘rsatkich\",\n"
    "      \"exe\": \"korsatkich.exe\",\n"
    "      \"mode\": \"off\"\n"
    "    },\n"
    "    {\n"
    "      \"name\": \"Word\",\n"
    "      \"exe\": \"winword.exe\",\n"
    "      \"mode\": \"fast\"\n"
    "    }\n"
    "  ],\n"
    "  \"siteUrl\": \"https://harvel.uz\"\n"
    "}";

TEST(SettingsSave, FullRecordFileTextAndRoundTrip) {
  const Settings s = full_record();
  EXPECT_EQ(serialize_settings(s), kFullRecordText);
  EXPECT_EQ(parse_settings_text(kFullRecordText), s);
}

TEST(SettingsSave, ModeOutsideTheModesIsWrittenEnglish) {
  for (Mode m : {Mode{4}, Mode{254}, Mode{255}}) {
    Settings s = default_settings();
    s.mode = m;
    EXPECT_NE(serialize_settings(s).find("\n  \"mode\": \"english\",\n"), std::string::npos) << int(m);
  }
}

TEST(SettingsSave, OddTextsSurviveTheRoundTrip) {
  Settings s = default_settings();
  s.hotkey = "quote \" backslash \\ slash / newline \n tab \t";
  s.theme = std::string("nul \0 bell \x07 del \x7F", 18);
  s.hybrid_key = "Ş ç ö ğ \xF0\x9F\x98\x80";
  s.apps = {{"", "", kModeEnglish}, {"a\"b", "c:\\d.exe", kModeZero}};
  s.site_url = "";
  const std::string text = serialize_settings(s);
  EXPECT_NE(text.find("\"hybridKey\": \"Ş ç ö ğ \xF0\x9F\x98\x80\""), std::string::npos) << text;
  EXPECT_EQ(parse_settings_text(text), s);
}

TEST(SettingsFile, LoadFromDisk) {
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  EXPECT_EQ(load_settings(file), default_settings()) << "missing file";
  EXPECT_EQ(load_settings(dir.path()), default_settings()) << "a folder";

  write_bytes(file, R"({"theme":"dark"})");
  EXPECT_EQ(load_settings(file), defaults_with([](Settings& s) { s.theme = "dark"; }));

  write_bytes(file, "{\"theme\":\"dark\"}\xFF");
  EXPECT_EQ(load_settings(file), default_settings()) << "invalid UTF-8";

  write_bytes(file, kFullRecordText);
  EXPECT_EQ(load_settings(file), full_record());
}

TEST(SettingsFile, WhichFilesDidNotLoad) {
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  EXPECT_FALSE(load_settings_file(file).file_rejected) << "missing file";
  EXPECT_FALSE(load_settings_file(dir.path()).file_rejected) << "a folder";
  const std::pair<std::string, bool> cases[] = {
      {R"({"theme":"dark","unknown":[1]})", false},
      {R"({"apps":[{"name":"A","exe":"a.exe","mode":"nope"}]})", false},  // only the rule is dropped
      {"", true},
      {"{\"theme\":\"dark\"}\xFF", true},
      {R"({"enabled":1})", true},
      {R"({"mode":"fast","mode":"zero"})", true},
  };
  for (const auto& [text, rejected] : cases) {
    write_bytes(file, text);
    EXPECT_EQ(load_settings_file(file).file_rejected, rejected) << text;
  }
}

TEST(SettingsFile, OnlyTheFirstMebibyteIsRead) {
  const std::string json = R"({"theme":"dark"})";
  const auto dark = defaults_with([](Settings& s) { s.theme = "dark"; });
  const std::size_t pad = kSettingsReadLimit - json.size();
  const struct {
    const char* what;
    std::string text;
    Settings expected;
  } cases[] = {
      {"exactly the limit", json + std::string(pad, ' '), dark},
      {"complete JSON then junk past the limit", json + std::string(pad, '\n') + "junk", dark},
      {"junk inside the limit", json + std::string(pad - 1, ' ') + "x" + std::string(10, ' '), default_settings()},
      {"value runs past the limit",
       R"({"theme":"dark","pad":")" + std::string(kSettingsReadLimit, 'a') + "\"}", default_settings()},
      {"limit falls inside a character",
       R"({"theme":"dark","pad":")" + std::string(kSettingsReadLimit - 24, 'a') + "ğğğğ\"}", default_settings()},
  };
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_bytes(file, c.text);
    EXPECT_EQ(load_settings(file), c.expected);
  }
}

TEST(SettingsFile, WriteCreatesFoldersAndReplacesTheFile) {
  TempDir dir;
  const fs::path file = dir.path() / "a" / u8"Ko‘rsatkich" / "c" / "settings.json";
  ASSERT_TRUE(write_settings_file(file, "first"));
  EXPECT_EQ(read_bytes(file), "first");

  const std::string text = serialize_settings(full_record());
  ASSERT_TRUE(write_settings_file(file, text));
  EXPECT_EQ(read_bytes(file), text);
  EXPECT_EQ(load_settings(file), full_record());

  // Nothing but the file is left in its folder.
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(file.parent_path())) {
    EXPECT_EQ(e.path().filename(), "settings.json");
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST(SettingsFile, FailedWriteLeavesTheOldFileWhole) {
  const std::string old_text = serialize_settings(full_record());

  {
    SCOPED_TRACE("a folder where the temporary file goes");
    TempDir dir;
    const fs::path file = dir.path() / "settings.json";
    write_bytes(file, old_text);
    fs::create_directory(dir.path() / "settings.json.tmp");
    EXPECT_FALSE(write_settings_file(file, "new"));
    EXPECT_EQ(read_bytes(file), old_text);
    EXPECT_TRUE(fs::is_directory(dir.path() / "settings.json.tmp")) << "not ours to remove";
  }
  {
    SCOPED_TRACE("the file's own name is a folder");
    TempDir dir;
    const fs::path file = dir.path() / "settings.json";
    fs::create_directory(file);
    EXPECT_FALSE(write_settings_file(file, "new"));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_FALSE(fs::exists(dir.path() / "settings.json.tmp")) << "temporary file left behind";
  }
  {
    SCOPED_TRACE("a file where a parent folder goes");
    TempDir dir;
    write_bytes(dir.path() / "blocker", "x");
    EXPECT_FALSE(write_settings_file(dir.path() / "blocker" / "sub" / "settings.json", "new"));
    EXPECT_EQ(read_bytes(dir.path() / "blocker"), "x");
  }
}

}  // namespace
}  // namespace harvel
