// Runs every key-event script in tests/keys/*.keys as one test case.
//
// A script drives the keyboard procedure with the fake system and checks
// what it swallowed and typed, and the final text of a simulated text box.
//
//   # comment lines start with '#', anywhere
//   set mode zero                   step lines: set-up and events, in order
//   type "shahar "
//                                   the first blank line after a step ends them
//   send bs=1 "ş"                   then the expected record, in order
//   text "şahar "                   and the box's final text (optional)
//
// Set-up lines (allowed between events too). Each script starts with
// conversion on, mode hybrid, hybrid key ralt, fast keys W C [ ], US layout,
// layout compatible, checker off, Caps Lock off, and notepad.exe in front:
//   set mode english|fast|hybrid|zero|off|N    the global mode (MODE)
//   set active on|off                          conversion on (ACTIVE)
//   set hybrid-key NAME                        a "hybridKey" name: ralt, backquote, insert, ...
//   set fast-keys SH CH O G                    key codes of the four fast slots (KeyQ, BracketLeft, ...)
//   set app EXE|PATH|none                      a new program in front (EXE is put under C:\Program Files\App\)
//   set rule EXE MODE|off                      appends a per-application rule
//   set password on|off                        the focused control is a password EDIT box
//   set layout us|us-typographic|cyrillic|none the keyboard layout (us-typographic: ' types ’)
//   set layout-compatible 0|1                  LAYOUT_COMPATIBLE
//   set rules-lock busy|free                   another thread holds the rule table's lock
//   set caps on|off                            Caps Lock toggle
//   set checker on|off, set fix-applied 0|1    CHECKER_ON, FIX_APPLIED
//   wait MS                                    advances both clocks
//
// Event lines: KEY is a virtual-key name without VK_ (A, 7, F5, SPACE, RETURN
// or ENTER, BACK, TAB, LSHIFT, RMENU, LCONTROL, CAPITAL, OEM_3 or BACKQUOTE,
// OEM_4 or BRACKETLEFT, OEM_7 or QUOTE, ...) or a number (0xC0):
//   down KEY | up KEY | sysdown KEY | sysup KEY   one event; options scan=N extra=N
//   repeat KEY                                     an auto-repeated key-down
//   tap KEY                                        down then up
//   inject down|up|tap KEY [extra=N]               input injected by a program (LLKHF_INJECTED)
//   type "text"                                    down/up per character on the current
//                                                  layout, with left Shift around characters
//                                                  that need it (\n is Enter, \t Tab, \b Backspace;
//                                                  Caps Lock is not taken into account)
//
// Expected lines: every swallowed event and every SendInput batch, in the
// order they happened; events not listed passed. Text escapes: \" \\ \n \t \u{HEX}.
//   swallow down S                 swallow [inject] down|up|sysdown|sysup KEY [scan=N] [extra=N]
//   send "ş"                       send [up=KEY] [bs=N] ["text"] [key=KEY]: KEY let go, N
//   send bs=3 "fish" key=RETURN    Backspaces, the text as Unicode key presses, then KEY;
//   send up=LSHIFT bs=1 "ş"        all marked as the program's own
//   text "fish\n"
//
// The box receives what was injected while an event was decided before the
// event itself, if it passes, as the system delivers them (injected input
// goes back through the hook, which passes the program's own, and then into
// the box). It types with the foreground layout,
// honouring Shift and Caps Lock; Backspace deletes; Enter and Tab type \n and
// \t; nothing is typed while Ctrl, Alt or a Windows key is down; a Caps Lock
// key-down that reaches it toggles Caps Lock.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/key_script.h"

namespace harvel::testing {
namespace {

std::filesystem::path scripts_dir() { return std::filesystem::path(HARVEL_TEST_DATA_DIR) / "keys"; }

std::vector<std::string> script_names() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(scripts_dir(), ec)) {
    if (entry.path().extension() == ".keys") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

class KeyScriptTest : public ::testing::TestWithParam<std::string> {};

TEST_P(KeyScriptTest, Runs) {
  const auto path = scripts_dir() / (GetParam() + ".keys");
  KeyScript script;
  try {
    script = parse_key_script(read_file(path));
  } catch (const std::exception& e) {
    FAIL() << path.string() << ": " << e.what();
  }
  KeyScriptRunner runner;
  try {
    runner.run_script(script);
  } catch (const std::exception& e) {
    FAIL() << path.string() << ": " << e.what();
  }
  EXPECT_EQ(joined(runner.log()), joined(script.expected)) << path.string();
  if (script.text) {
    EXPECT_EQ(runner.text(), *script.text) << path.string();
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyScriptTest, ::testing::ValuesIn(script_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// A wrong data folder would otherwise run no script at all.
TEST(KeyScripts, FolderIsReadable) { EXPECT_FALSE(script_names().empty()) << scripts_dir().string(); }

// The runner's own checks: a script that expects the wrong thing fails.
TEST(KeyScripts, MismatchIsReported) {
  const KeyScript script = parse_key_script("set mode fast\ntype \"w\"\n\nsend \"w\"\ntext \"w\"\n");
  KeyScriptRunner runner;
  runner.run_script(script);
  EXPECT_NE(joined(runner.log()), joined(script.expected));
  EXPECT_EQ(runner.log(), std::vector<std::string>({"swallow down W", "send \"\u015F\"", "swallow up W"}));
  EXPECT_EQ(runner.text(), "\u015F");
}

TEST(KeyScripts, ExpectationsAreCanonical) {
  EXPECT_EQ(canonical_expectation("send  bs=3  \"fish\"  key=ENTER"), "send bs=3 \"fish\" key=RETURN");
  EXPECT_EQ(canonical_expectation("swallow down capital"), "swallow down CAPITAL");
  EXPECT_EQ(canonical_expectation("swallow up LCONTROL scan=541"), "swallow up LCONTROL scan=0x21D");
  EXPECT_EQ(canonical_expectation("send \"a\\u{1F600}\\n\""), "send \"a\U0001F600\\n\"");
  EXPECT_THROW(canonical_expectation("send"), std::runtime_error);
  KeyScriptRunner runner;
  EXPECT_THROW(runner.run("down NOSUCHKEY"), std::runtime_error);
  EXPECT_THROW(runner.run("type \"\\u{44F}\""), std::runtime_error);  // no such key on the US layout
}

}  // namespace
}  // namespace harvel::testing
