// Typing in another program through the X server, converted by the keyboard
// hook of this process: a GTK program of ours (x11_textbox) has the focus,
// keys are sent with xdotool (and, for the right-hand modifiers, which
// xdotool presses together with their left twins, with XTest by keycode),
// and its text field's final text is checked. Runs under an Xvfb server
// with a session bus and the accessibility bus (with_xvfb.sh
// --accessibility), as the password field needs the accessibility tree.
#include <atspi/atspi.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/linux/atspi_focus.h"
#include "platform/linux/x11_keyboard.h"
#include "typing_fixture.h"

// Xlib's macros (None, Bool) clash with names of the program.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace harvel::linux_host {
namespace {

namespace fs = std::filesystem;
using testing::FieldProgram;
using testing::program;
using testing::pump_for;
using testing::pump_until;
using testing::run;

// Keycodes of the keys pressed by keycode (evdev code + 8).
constexpr unsigned kShiftL = 50;
constexpr unsigned kCapsLock = 66;
constexpr unsigned kAltR = 108;
constexpr unsigned kKeyA = 38;
constexpr unsigned kKeyS = 39;
constexpr unsigned kKeyC = 54;

class X11TypingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    program();
    box_ = new FieldProgram({HARVEL_X11_TEXTBOX});
  }
  static void TearDownTestSuite() {
    delete box_;
    box_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(box_->ready()) << "the text-box program did not start";
    x_ = XOpenDisplay(nullptr);
    ASSERT_NE(x_, nullptr);
    box_->clear();
  }
  void TearDown() override {
    if (x_ != nullptr) XCloseDisplay(x_);
  }

  void mode(Mode m) {
    program().change([m](Settings& s) {
      s.mode = m;
      s.enabled = true;
      s.apps.clear();
    });
    ASSERT_EQ(program().status(), HookStatus::On);
  }
  // A key by keycode, exactly (xdotool adds the left modifier to a right
  // one), at a typist's pace.
  void key(unsigned keycode, bool down) {
    XTestFakeKeyEvent(x_, keycode, down ? True : False, CurrentTime);
    XSync(x_, False);
    pump_for(0.02);
  }
  void tap(unsigned keycode) {
    key(keycode, true);
    key(keycode, false);
  }
  static void type(const std::string& text) { ASSERT_EQ(run({"xdotool", "type", "--delay", "30", text}), 0); }
  static void xkey(const std::string& name) { ASSERT_EQ(run({"xdotool", "key", name}), 0); }
  void expect_text(const std::string& expected) {
    EXPECT_TRUE(box_->wait_for(expected)) << "text is \"" << box_->text() << "\", expected \"" << expected << "\"";
  }

  // A key of the keymap types ş (one the hook borrowed).
  bool a_key_types_s_cedilla() {
    int min = 0;
    int max = 0;
    XDisplayKeycodes(x_, &min, &max);
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(x_, static_cast<KeyCode>(min), max - min + 1, &per);
    bool found = false;
    for (int i = 0; i < (max - min + 1) * per; ++i) found = found || syms[i] == 0x1BA || syms[i] == 0x100015F;
    XFree(syms);
    return found;
  }

  static FieldProgram* box_;
  Display* x_ = nullptr;
};

FieldProgram* X11TypingTest::box_ = nullptr;

TEST_F(X11TypingTest, TheHookRunsAndTheShortcutIsOurs) {
  mode(kModeZero);
  EXPECT_TRUE(program().shortcut_ok);
  EXPECT_FALSE(program().app.ctx().hook_error.copy().has_value());
}

TEST_F(X11TypingTest, HybridTypesTheNewLettersWithRightAlt) {
  mode(kModeHybrid);
  key(kAltR, true);
  type("scog");
  // Another key with the hybrid key held reaches the program plainly (no Alt).
  type("a");
  key(kShiftL, true);
  type("s");
  key(kShiftL, false);
  key(kAltR, false);
  type(" s");
  expect_text("şçöğaŞ s");

  box_->clear();
  tap(kCapsLock);
  key(kAltR, true);
  tap(kKeyS);
  key(kShiftL, true);
  tap(kKeyC);
  key(kShiftL, false);
  key(kAltR, false);
  tap(kKeyA);
  tap(kCapsLock);
  expect_text("ŞçA");
}

TEST_F(X11TypingTest, CapsLockAsTheHybridKeyLeavesTheLockAsItWas) {
  program().change([](Settings& s) {
    s.mode = kModeHybrid;
    s.hybrid_key = "caps";
    s.apps.clear();
  });
  key(kCapsLock, true);
  tap(kKeyS);
  key(kCapsLock, false);
  tap(kKeyA);
  key(kCapsLock, true);
  key(kCapsLock, false);
  tap(kKeyA);
  expect_text("\u015Faa");
  program().change([](Settings& s) { s.hybrid_key = "ralt"; });
}

TEST_F(X11TypingTest, FastTypesOnItsFourKeysAndTheirOwnCharactersWithTheHybridKey) {
  mode(kModeFast);
  type("wc[]W");
  expect_text("şçöğŞ");
  key(kAltR, true);
  type("wc[]");
  key(kAltR, false);
  expect_text("şçöğŞwc[]");
}

TEST_F(X11TypingTest, ZeroConvertsDigraphsAndRestoresEnglishWords) {
  mode(kModeZero);
  struct Case {
    std::string typed;
    std::string expected;
  };
  // The restored English word is typed by the hook itself: its own "sh"
  // is not converted again.
  const Case cases[] = {
      {"shahar choy", "şahar çoy"},
      {"shop ", "shop "},
      {"o'zbek g`alaba", "özbek ğalaba"},
      {"Shahar", "Şahar"},
  };
  for (const Case& c : cases) {
    box_->clear();
    xkey("Escape");  // a word break for the engine
    type(c.typed);
    expect_text(c.expected);
  }

  box_->clear();
  xkey("Escape");
  type("as");
  xkey("BackSpace");
  type("h");
  expect_text("ah");

  box_->clear();
  xkey("Escape");
  type("fish");
  xkey("Return");
  expect_text("fish\n");
}

TEST_F(X11TypingTest, PasswordFieldsAreNeverConverted) {
  mode(kModeZero);
  ASSERT_TRUE(box_->command("focus password"));
  // The focus change reaches the hook through the accessibility bus.
  pump_for(0.5);
  type("shahar");
  const std::string password = "shahar";
  EXPECT_TRUE(box_->wait_for(password, &box_->password()))
      << "password field holds \"" << box_->password() << "\" (no accessibility bus?)";
  ASSERT_TRUE(box_->command("focus text"));
  pump_for(0.5);
  type("shahar");
  expect_text("şahar");
}

TEST_F(X11TypingTest, RulesOfTheProgramTurnConversionOffOrToEnglish) {
  for (Mode rule : {kModeOff, kModeEnglish}) {
    program().change([rule](Settings& s) {
      s.mode = kModeZero;
      s.apps = {AppRule{"Sinov", "x11_textbox", rule}};
    });
    box_->clear();
    xkey("Escape");
    type("shahar");
    box_->settle();
    EXPECT_EQ(box_->text(), "shahar") << "rule " << int(rule);
  }
  mode(kModeZero);
  box_->clear();
  type("shahar");
  expect_text("şahar");
}

TEST_F(X11TypingTest, TheGlobalShortcutSwitchesConversionOffAndOn) {
  mode(kModeZero);
  auto enabled = [] { return program().app.ctx().settings.with([](const Settings& s) { return s.enabled; }); };
  xkey("ctrl+shift+u");
  ASSERT_TRUE(pump_until([&] { return !enabled(); }));
  EXPECT_EQ(program().status(), HookStatus::Off);
  type("shahar");
  box_->settle();
  EXPECT_EQ(box_->text(), "shahar");
  xkey("ctrl+shift+u");
  ASSERT_TRUE(pump_until([&] { return enabled(); }));
  EXPECT_EQ(program().status(), HookStatus::On);
  box_->clear();
  type("shahar");
  expect_text("şahar");
}

TEST_F(X11TypingTest, AnotherProgramsShortcutOnTheRootWindowKeepsReachingIt) {
  mode(kModeZero);
  // As a window manager holds Alt+Tab: Ctrl+Alt+K on the root window.
  const Window root = DefaultRootWindow(x_);
  const KeyCode k = XKeysymToKeycode(x_, XK_k);
  XGrabKey(x_, k, ControlMask | Mod1Mask, root, False, GrabModeAsync, GrabModeAsync);
  XSync(x_, False);
  constexpr unsigned kCtrlL = 37;
  constexpr unsigned kAltL = 64;
  key(kCtrlL, true);
  key(kAltL, true);
  tap(k);
  key(kAltL, false);
  key(kCtrlL, false);
  XEvent e;
  bool got = false;
  for (int i = 0; i < 100 && !got; ++i) {
    while (XPending(x_) > 0) {
      XNextEvent(x_, &e);
      if (e.type == KeyPress && e.xkey.keycode == k) got = true;
    }
    if (!got) pump_for(0.01);
  }
  XUngrabKey(x_, k, ControlMask | Mod1Mask, root);
  XSync(x_, False);
  EXPECT_TRUE(got);
  type("sh");
  expect_text("ş");
}

TEST_F(X11TypingTest, AHeldKeyRepeatsIntact) {
  mode(kModeZero);
  key(kKeyA, true);
  pump_for(1.2);
  key(kKeyA, false);
  box_->settle();
  EXPECT_TRUE(std::regex_match(box_->text(), std::regex("a{4,}"))) << box_->text();
}

TEST_F(X11TypingTest, TheNewLettersKeepTheirKeysWhileTheHookRuns) {
  mode(kModeZero);
  // Set as the hook starts, so no program sees a key change just before
  // its press.
  EXPECT_TRUE(a_key_types_s_cedilla());
  type("sh");
  expect_text("ş");
  EXPECT_TRUE(a_key_types_s_cedilla());
}

TEST_F(X11TypingTest, StoppingTakesLessThanTwoSecondsAndLeavesTheKeymapAsFound) {
  mode(kModeZero);
  type("sh");
  expect_text("ş");
  const auto start = std::chrono::steady_clock::now();
  program().change([](Settings& s) {
    s.mode = kModeEnglish;
    s.checker = false;
  });
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(program().status(), HookStatus::Off);
  // No key types a character the hook borrowed a key for.
  int min = 0;
  int max = 0;
  XDisplayKeycodes(x_, &min, &max);
  int per = 0;
  KeySym* syms = XGetKeyboardMapping(x_, static_cast<KeyCode>(min), max - min + 1, &per);
  for (int i = 0; i < (max - min + 1) * per; ++i) {
    EXPECT_FALSE(syms[i] == 0x1BA || syms[i] == 0x100015F) << "keycode " << min + i / per << " still types ş";
  }
  XFree(syms);
  box_->clear();
  type("sh");
  box_->settle();
  EXPECT_EQ(box_->text(), "sh");
}

// The program itself, ended by a signal as a session's end ends it, gives
// back the keys its hook borrowed and ends normally.
TEST_F(X11TypingTest, TheProgramEndedByASignalLeavesTheKeymapAsFound) {
  // This process's hook steps aside for the program's.
  program().change([](Settings& s) {
    s.mode = kModeEnglish;
    s.checker = false;
  });
  ASSERT_EQ(program().status(), HookStatus::Off);
  const char* data_home = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(data_home, nullptr) << "run under with_xvfb.sh";
  const fs::path data = fs::path(data_home) / "uz.harvel.desktop";
  fs::create_directories(data);
  std::ofstream(data / "settings.json") << R"({"mode": "zero", "onboarded": true})";
  const fs::path log = fs::temp_directory_path() / ("harvel-signal-" + std::to_string(getpid()) + ".log");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> env_strings = {"HARVEL_HOST_TRACE=1"};
  for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);
  std::string binary = HARVEL_BINARY;
  std::string hidden = "--hidden";
  char* argv[] = {binary.data(), hidden.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, env.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  auto log_has = [&](const std::string& what) {
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.find(what) != std::string::npos;
  };
  int status = -1;
  auto ended = [&] { return waitpid(pid, &status, WNOHANG) == pid; };

  EXPECT_TRUE(pump_until([&] { return log_has("keyboard hook: installed"); })) << "the program's hook did not start";
  ASSERT_TRUE(box_->command("focus text"));
  pump_for(0.3);
  type("sh");
  expect_text("ş");
  EXPECT_TRUE(a_key_types_s_cedilla());
  kill(pid, SIGTERM);
  const bool in_time = pump_until(ended);
  if (!in_time) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(in_time) << "still running long after the signal";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_FALSE(a_key_types_s_cedilla()) << "the borrowed key still types ş";
  std::error_code ec;
  fs::remove(log, ec);
}

}  // namespace
}  // namespace harvel::linux_host

namespace harvel::linux_host {
namespace {

struct Geometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Geometry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Geometry& g) {
  return out << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
}

// The realtime checker over the text field, conversion off (english): the
// notice, the underline under the word and the pop-up beside it, and the fix.
class X11CheckerTest : public X11TypingTest {
 protected:
  void SetUp() override {
    X11TypingTest::SetUp();
    if (HasFatalFailure()) return;
    program().change([](Settings& s) {
      s.mode = kModeEnglish;
      s.enabled = true;
      s.apps.clear();
      s.checker = true;
      s.checker_toast = true;
    });
    // One suggestion in 2 seconds: the previous test's may be that recent.
    pump_for(2.1);
    program().forget_notices();
  }
  void TearDown() override {
    program().change([](Settings& s) { s.checker = false; });
    X11TypingTest::TearDown();
  }

  // The shown (viewable) top-level window of the class, by its geometry.
  std::optional<Geometry> shown(const char* window_class) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::optional<Geometry> out;
    if (!XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count)) return out;
    for (unsigned i = 0; i < count && !out; ++i) {
      XClassHint hint{};
      if (!XGetClassHint(x_, children[i], &hint)) continue;
      const bool ours = hint.res_class != nullptr && std::string(hint.res_class) == window_class;
      XFree(hint.res_name);
      XFree(hint.res_class);
      XWindowAttributes a{};
      if (ours && XGetWindowAttributes(x_, children[i], &a) && a.map_state == IsViewable) {
        out = Geometry{a.x, a.y, a.width, a.height};
      }
    }
    if (children != nullptr) XFree(children);
    return out;
  }
  std::optional<Geometry> wait_shown(const char* window_class, const std::optional<Geometry>& unlike = {}) {
    std::optional<Geometry> g;
    pump_until(
        [&] {
          g = shown(window_class);
          return g && g != unlike;
        },
        3);
    return g;
  }
  // The screen extents of the text field's characters [start, end), as the
  // accessibility tree gives them.
  static std::optional<Geometry> text_extents(int start, int end) {
    AtspiAccessible* focus = focused_accessible();
    if (focus == nullptr) return std::nullopt;
    std::optional<Geometry> out;
    if (AtspiText* text = atspi_accessible_get_text_iface(focus)) {
      if (AtspiRect* r = atspi_text_get_range_extents(text, start, end, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
        out = Geometry{r->x, r->y, r->width, r->height};
        g_boxed_free(ATSPI_TYPE_RECT, r);
      }
      g_object_unref(text);
    }
    g_object_unref(focus);
    return out;
  }
  void click(int x, int y) {
    XTestFakeMotionEvent(x_, DefaultScreen(x_), x, y, CurrentTime);
    XTestFakeButtonEvent(x_, 1, True, CurrentTime);
    XTestFakeButtonEvent(x_, 1, False, CurrentTime);
    XSync(x_, False);
    pump_for(0.05);
  }
  static void screenshot(const std::string& name) {
    fs::create_directories(HARVEL_SCREENSHOTS);
    EXPECT_EQ(run({"import", "-window", "root", std::string(HARVEL_SCREENSHOTS) + "/" + name}), 0);
  }
  void expect_notice() {
    const ToastData wanted{"Yangi alifbo", "ş bilan yozilishi kerak: shahar → şahar. Tuzatish: Ctrl+Shift+Space",
                           ToastKind::Info};
    EXPECT_TRUE(pump_until([&] { return program().notices() == std::vector<ToastData>{wanted}; }))
        << program().notices().size() << " notices";
  }
};

TEST_F(X11CheckerTest, TheWordIsUnderlinedAndTuzatishFixesIt) {
  type("shahar ");
  expect_text("shahar ");
  expect_notice();
  const auto under = wait_shown("HarvelCheckUnder");
  ASSERT_TRUE(under) << "no underline";
  const auto word = text_extents(0, 6);
  ASSERT_TRUE(word);
  // A 5 px band over the word's lowest rows (96 DPI).
  EXPECT_EQ(*under, (Geometry{word->x, word->y + word->height - 5, word->width, 5})) << "word " << *word;
  const auto circle = wait_shown("HarvelCheckPop");
  ASSERT_TRUE(circle) << "no pop-up";
  // Centred on the word, kept inside the screen (the field is at its top).
  EXPECT_EQ(*circle, (Geometry{word->x + word->width + 6, std::max(word->y + (word->height - 22) / 2, 0), 22, 22}));
  screenshot("checker_underline.png");

  click(circle->x + 11, circle->y + 11);
  const auto card = wait_shown("HarvelCheckPop", circle);
  ASSERT_TRUE(card && card != circle) << "the circle did not open";
  EXPECT_EQ(*card, (Geometry{word->x, word->y + word->height + 6, 250, 84}));
  EXPECT_TRUE(shown("HarvelCheckUnder"));
  pump_for(0.2);
  screenshot("checker_popup.png");

  // Outside the button: nothing; on it: the fix.
  click(card->x + 20, card->y + 60);
  box_->settle();
  EXPECT_EQ(box_->text(), "shahar ");
  EXPECT_TRUE(shown("HarvelCheckPop"));
  click(card->x + 190, card->y + 58);
  expect_text("şahar ");
  EXPECT_TRUE(pump_until([&] { return !shown("HarvelCheckPop") && !shown("HarvelCheckUnder"); }));
}

TEST_F(X11CheckerTest, AProgramWithAWindowScaleIsUnderlinedInScreenPixels) {
  // A second text-box program drawn at twice the size; its accessible
  // reports its own (logical) pixels.
  std::unique_ptr<FieldProgram> scaled;
  {
    testing::ScopedEnv scale("GDK_SCALE", "2");
    scaled = std::make_unique<FieldProgram>(std::vector<std::string>{HARVEL_X11_TEXTBOX});
  }
  ASSERT_TRUE(scaled->ready());
  pump_for(0.5);
  type("shahar ");
  EXPECT_TRUE(scaled->wait_for("shahar "));
  const auto under = wait_shown("HarvelCheckUnder");
  ASSERT_TRUE(under) << "no underline";
  const auto word = text_extents(0, 6);
  ASSERT_TRUE(word);
  EXPECT_EQ(*under, (Geometry{2 * word->x, 2 * (word->y + word->height) - 5, 2 * word->width, 5})) << "word " << *word;
  scaled.reset();
  ASSERT_TRUE(box_->command("focus text"));
}

TEST_F(X11CheckerTest, CtrlShiftSpaceRightAfterTheWordFixesIt) {
  type("shahar ");
  xkey("ctrl+shift+space");
  expect_text("şahar ");
  expect_notice();
  // The key came before the overlay: none is shown.
  box_->settle();
  EXPECT_FALSE(shown("HarvelCheckUnder"));
}

TEST_F(X11CheckerTest, TheOverlayGoesOnTheNextKeyAndOnAButtonHeldElsewhere) {
  for (const bool by_key : {true, false}) {
    const char* what = by_key ? "a key" : "the button held in the text field";
    box_->clear();
    xkey("Escape");  // a word break for the checker
    pump_for(2.1);   // one suggestion in 2 seconds
    type("shahar ");
    ASSERT_TRUE(wait_shown("HarvelCheckUnder")) << what;
    if (by_key) {
      type("a");
    } else {
      XTestFakeMotionEvent(x_, DefaultScreen(x_), 200, 100, CurrentTime);
      XTestFakeButtonEvent(x_, 1, True, CurrentTime);
      XSync(x_, False);
    }
    EXPECT_TRUE(pump_until([&] { return !shown("HarvelCheckPop") && !shown("HarvelCheckUnder"); })) << what;
    if (by_key) {
      expect_text("shahar a");
    } else {
      XTestFakeButtonEvent(x_, 1, False, CurrentTime);
      XSync(x_, False);
    }
  }
}

TEST_F(X11CheckerTest, APasswordFieldShowsNothing) {
  ASSERT_TRUE(box_->command("focus password"));
  pump_for(0.5);
  type("shahar ");
  EXPECT_TRUE(box_->wait_for("shahar ", &box_->password()));
  box_->settle();
  pump_for(0.3);
  EXPECT_TRUE(program().notices().empty());
  EXPECT_FALSE(shown("HarvelCheckUnder"));
  EXPECT_FALSE(shown("HarvelCheckPop"));
}

}  // namespace
}  // namespace harvel::linux_host
