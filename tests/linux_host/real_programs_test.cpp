// Typing into real programs from Debian's packages (Chromium, Firefox ESR,
// xterm, a Tk entry, a Qt line edit, GTK fields) under a window manager, as
// a person types: keys by keycode through XTest, each key going down before
// the previous one is let go (15 ms a key), Shift held over whole words.
// The keyboard hook of this process converts them (typing_fixture.h); each
// program reports every change of its text (real_programs_targets.h), and
// the exact final text is checked. Runs under with_xvfb.sh --accessibility
// --window-manager.
//
// HARVEL_TYPING_HOOK=off runs every case with conversion off: the keys must
// then arrive exactly as typed (the hybrid key left out), which checks the
// harness itself.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "keyboard/layout_watcher.h"
#include "real_programs_targets.h"

namespace harvel::linux_host::real_programs {
namespace {

struct Case {
  const char* typed;      // '~': the hybrid key held for the next key
  const char* converted;  // the text with the hook on
};

class RealProgramTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    target_ = Programs::find(GetParam());
    ASSERT_NE(target_, nullptr);
    ASSERT_TRUE(target_->ready()) << GetParam() << " did not start";
    focus();
  }
  Target& target() { return *target_; }

  // Its window active, its focus reported.
  void focus() {
    if (screen().active() == target_->window()) return;
    const int before = target_->focus_count();
    screen().activate(target_->window());
    ASSERT_TRUE(pump_until(
        [&] {
          target_->poll();
          return target_->focus_count() > before;
        },
        10))
        << GetParam() << " did not get the focus";
  }
  static void use(Mode mode, std::vector<AppRule> rules = {}, bool checker = false) {
    program().change([&](Settings& s) {
      s.mode = mode;
      s.enabled = g_hook;
      s.checker = g_hook && checker;
      s.apps = rules;
    });
    // English without the checker converts nothing: no hook runs.
    const bool hook = g_hook && (mode != kModeEnglish || checker);
    ASSERT_EQ(program().status(), hook ? HookStatus::On : HookStatus::Off);
  }
  // Types each case into the emptied field and checks its final text.
  void expect_cases(const char* mode_name, std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
      target_->clear();
      Typing().type(c.typed).play(*target_);
      const std::string expected = g_hook ? c.converted : plain_text(c.typed);
      EXPECT_TRUE(settles_on(*target_, expected))
          << GetParam() << ", " << mode_name << ": typed " << quoted(c.typed) << " gave " << quoted(target_->text())
          << ", expected " << quoted(expected);
    }
  }

  Target* target_ = nullptr;
};

std::string program_name(const ::testing::TestParamInfo<const char*>& info) { return info.param; }

TEST_P(RealProgramTest, ZeroModeConvertsDigraphsAndRestoresEnglishWords) {
  use(kModeZero);
  expect_cases("zero", {
                           {"shahar choy o'zbek g'alaba ", "şahar çoy özbek ğalaba "},
                           {"SHAHAR CHOY", "ŞAHAR ÇOY"},
                           {"shop fish\n", "shop fish\n"},
                           {"as\bh ash\bh", "ah ah"},
                       });
}

TEST_P(RealProgramTest, HybridModeTypesTheNewLettersWithRightAlt) {
  use(kModeHybrid);
  expect_cases("hybrid", {
                             {"~sahar ~coy ~ozbek ~galaba", "şahar çoy özbek ğalaba"},
                             {"~SAHAR ~COY", "ŞAHAR ÇOY"},
                         });
}

TEST_P(RealProgramTest, FastModeTypesTheNewLettersOnItsKeys) {
  use(kModeFast);
  expect_cases("fast", {
                           {"wahar coy [zbek ]alaba", "şahar çoy özbek ğalaba"},
                           {"WAHAR COY", "ŞAHAR ÇOY"},
                       });
}

INSTANTIATE_TEST_SUITE_P(, RealProgramTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

// A password field takes the letters as typed, also when typing begins as
// soon as the focus is in it.
class PasswordFieldTest : public RealProgramTest {};

TEST_P(PasswordFieldTest, TakesTheLettersAsTyped) {
  use(kModeZero);
  target().clear();
  ASSERT_TRUE(target().focus_password()) << GetParam() << ": the password field did not get the focus";
  Typing().type("shahar choy").play(target());
  EXPECT_TRUE(settles_on(target(), "shahar choy", true))
      << GetParam() << ": the password field holds " << quoted(target().password());
  EXPECT_EQ(target().text(), "");
}

INSTANTIATE_TEST_SUITE_P(, PasswordFieldTest, ::testing::Values("chromium", "firefox", "gtk"), program_name);

// The checker's fix, conversion off: Ctrl+Shift+Space right after the word,
// Ctrl and Shift let go in either order.
class CheckerFixTest : public RealProgramTest {};

TEST_P(CheckerFixTest, CtrlShiftSpaceFixesTheWord) {
  use(kModeEnglish, {}, true);
  // One suggestion in 2 seconds: the last case's may be that recent.
  static Clock::time_point last = Clock::time_point{};
  for (const bool ctrl_first : {true, false}) {
    pump_until([] { return Clock::now() - last > std::chrono::milliseconds(2100); }, 3);
    target().clear();
    Typing()
        .type("salom shahar ")
        .key(kCtrlL, true)
        .key(kShiftL, true)
        .key(kSpace, true)
        .key(kSpace, false)
        .key(ctrl_first ? kCtrlL : kShiftL, false)
        .key(ctrl_first ? kShiftL : kCtrlL, false)
        .play(target());
    last = Clock::now();
    const std::string expected = g_hook ? "salom şahar " : "salom shahar ";
    EXPECT_TRUE(settles_on(target(), expected))
        << GetParam() << ", " << (ctrl_first ? "Ctrl" : "Shift") << " let go first: " << quoted(target().text())
        << ", expected " << quoted(expected);
  }
}

INSTANTIATE_TEST_SUITE_P(, CheckerFixTest, ::testing::Values("chromium", "gtk"), program_name);

// A rule "off" for the Tk program, named as the foreground query names its
// executable.
class ProgramRuleTest : public RealProgramTest {};

TEST_P(ProgramRuleTest, ARuleOffLeavesTheProgramsTypingAlone) {
  std::error_code ec;
  const std::string exe = fs::read_symlink("/proc/" + std::to_string(target().pid()) + "/exe", ec).filename().string();
  ASSERT_FALSE(exe.empty());
  use(kModeZero, {AppRule{"Tk", exe, kModeOff}});
  target().clear();
  Typing().type("shahar choy").play(target());
  EXPECT_TRUE(settles_on(target(), "shahar choy"))
      << GetParam() << ", rule off for " << exe << ": " << quoted(target().text());
}

INSTANTIATE_TEST_SUITE_P(, ProgramRuleTest, ::testing::Values("tk"), program_name);

// With the layouts "us,ru" and the second group locked, Russian arrives
// unchanged in every mode.
class RussianTest : public RealProgramTest {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(screen().layouts("us,ru", 1)) << "setxkbmap -layout us,ru"; }
  static void TearDownTestSuite() { EXPECT_TRUE(screen().layouts("us", 0)); }
};

TEST_P(RussianTest, TheSecondGroupArrivesUnchanged) {
  // Fast and hybrid mode pause while the layout lacks their letters, once
  // the layout watcher has seen it, as the program's set-up runs it.
  static const bool watching = [] {
    std::thread([] { run_layout_watcher(program().app); }).detach();
    return true;
  }();
  ASSERT_TRUE(watching);
  EXPECT_TRUE(pump_until([] { return !current_layout_info().compatible; })) << "the layout watcher never saw ru";
  const std::pair<Mode, const char*> modes[] = {
      {kModeEnglish, "english"}, {kModeZero, "zero"}, {kModeHybrid, "hybrid"}, {kModeFast, "fast"}};
  for (const auto& [mode, mode_name] : modes) {
    use(mode);
    expect_cases(mode_name, {{"москва сыр сразу", "москва сыр сразу"}});
  }
}

INSTANTIATE_TEST_SUITE_P(, RussianTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

// The program itself (its own process, so that it can be stopped) in zero
// mode, stopped for 2 s while typing goes on: no key waits more than 0.5 s
// for its program, and nothing typed is lost or doubled.
class StoppedHookTest : public RealProgramTest {
 protected:
  static void SetUpTestSuite() {
    // This process's hook steps aside for the program's.
    program().change([](Settings& s) {
      s.enabled = false;
      s.checker = false;
    });
    ASSERT_EQ(program().status(), HookStatus::Off);
    const fs::path data = lab_dir() / "harvel";
    fs::create_directories(data / "uz.harvel.desktop");
    std::ofstream(data / "uz.harvel.desktop" / "settings.json")
        << R"({"mode": "zero", "enabled": )" << (g_hook ? "true" : "false")
        << R"(, "onboarded": true, "offers": false})";
    log_ = lab_dir() / "harvel.log";
    const int log = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(log, 0);
    pid_ = start({HARVEL_BINARY, "--hidden"}, {"HARVEL_HOST_TRACE=1", "XDG_DATA_HOME=" + data.string()}, log);
    close(log);
    ASSERT_GT(pid_, 0);
    // Started: with conversion on once its hook is in, else once its tray is.
    const std::string started = g_hook ? "keyboard hook: installed" : "tray created";
    ASSERT_TRUE(pump_until(
        [&] {
          std::ifstream in(log_);
          const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
          return text.find(started) != std::string::npos;
        },
        kStartSeconds))
        << "the program did not start (" << log_ << ")";
  }
  static void TearDownTestSuite() {
    end(pid_);
    pid_ = 0;
  }

  static pid_t pid_;
  static fs::path log_;
};

pid_t StoppedHookTest::pid_ = 0;
fs::path StoppedHookTest::log_;

TEST_P(StoppedHookTest, NoKeyWaitsLongAndNoneIsLostOrDoubled) {
  ASSERT_GT(pid_, 0);
  target().clear();
  // Typing goes on for the whole stop and after it: 2.6 s of keys.
  std::string typed;
  while (typed.size() < 170) typed += "salom dunyo ";
  struct Resume {
    ~Resume() { kill(StoppedHookTest::pid_, SIGCONT); }
  } resume;
  Typing typing;
  typing.type(typed.substr(0, 10))
      .then([] { kill(pid_, SIGSTOP); })
      .type(typed.substr(10, 134))
      .then([] { kill(pid_, SIGCONT); })
      .type(typed.substr(144));
  const std::vector<Clock::time_point> pressed = typing.play(target());
  EXPECT_TRUE(settles_on(target(), typed)) << GetParam() << ": " << quoted(target().text());
  // Each key's wait: from its press to the first text that holds it.
  double longest = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i < pressed.size(); ++i) {
    for (const auto& [when, text] : target().history()) {
      if (decode_utf8_lossy(text).size() <= i) continue;
      const double wait = std::chrono::duration<double>(when - pressed[i]).count();
      if (wait > longest) {
        longest = wait;
        at = i;
      }
      break;
    }
  }
  std::printf("%s: the longest wait for a key was %.0f ms (key %zu of %zu)\n", GetParam(), longest * 1000, at + 1,
              pressed.size());
  EXPECT_LT(longest, 0.5) << GetParam() << ": key " << at + 1 << " waited " << longest * 1000 << " ms";
}

INSTANTIATE_TEST_SUITE_P(, StoppedHookTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

}  // namespace
}  // namespace harvel::linux_host::real_programs

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new harvel::linux_host::real_programs::Programs);
  // The keyboard side's threads (the hook, the layout watcher) run to the
  // end, as in the program: nothing is torn down under them.
  const int code = RUN_ALL_TESTS();
  std::fflush(nullptr);
  std::_Exit(code);
}
