// The tray's look: tooltip text and image flags from the settings, the
// program in front, the hook's health, remote disabling, a ready update and
// the keyboard layout.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/display_text.h"
#include "shell/tray_fixture.h"

namespace harvel {
namespace {

using testing::TrayWorld;

void notepad_rule(TrayWorld& w, Mode mode) {
  w.foreground("notepad.exe");
  w.settings([mode](Settings& s) { s.apps = {AppRule{"Notepad", "notepad.exe", mode}}; });
}

void mode(TrayWorld& w, Mode m) {
  w.settings([m](Settings& s) { s.mode = m; });
}

TEST(TrayLook, Table) {
  struct Case {
    const char* what;
    std::function<void(TrayWorld&)> arrange;
    std::string tooltip;
    uint8_t base_look;
    bool rule_dot;
    bool update_dot;
  };
  const Case cases[] = {
      {"on, hybrid, no rule", [](TrayWorld&) {}, "Harvel \u00b7 Hybrid \u00b7 Ctrl+Alt+U bilan o\u2018chirish",
       kBaseLookActive, false, false},
      {"a rule \u201coff\u201d for the program in front", [](TrayWorld& w) { notepad_rule(w, kModeOff); },
       "Harvel \u00b7 Hybrid \u00b7 Ctrl+Alt+U bilan o\u2018chirish \u00b7 Notepad uchun qoida: O\u2018chiq",
       kBaseLookOff, true, false},
      {"a rule \u201cfast\u201d while the global mode is English: the program converts",
       [](TrayWorld& w) {
         notepad_rule(w, kModeFast);
         mode(w, kModeEnglish);
       },
       "Harvel \u00b7 English \u00b7 Ctrl+Alt+U bilan o\u2018chirish \u00b7 Notepad uchun qoida: Fast", kBaseLookActive,
       true, false},
      {"a rule \u201cenglish\u201d: dotted, shown off",
       [](TrayWorld& w) { notepad_rule(w, kModeEnglish); },
       "Harvel \u00b7 Hybrid \u00b7 Ctrl+Alt+U bilan o\u2018chirish \u00b7 Notepad uchun qoida: English", kBaseLookOff,
       true, false},
      {"a rule of another program is not shown",
       [](TrayWorld& w) {
         notepad_rule(w, kModeOff);
         w.foreground("code.exe");
       },
       "Harvel \u00b7 Hybrid \u00b7 Ctrl+Alt+U bilan o\u2018chirish", kBaseLookActive, false, false},
      {"English and on: the icon shows off although the tooltip names the mode",
       [](TrayWorld& w) { mode(w, kModeEnglish); }, "Harvel \u00b7 English \u00b7 Ctrl+Alt+U bilan o\u2018chirish",
       kBaseLookOff, false, false},
      {"off with an update ready",
       [](TrayWorld& w) {
         w.settings([](Settings& s) { s.enabled = false; });
         w.hook_running(false);
         w.update_ready("1.2.0");
       },
       "Harvel \u00b7 O\u2018chiq \u00b7 Ctrl+Alt+U bilan yoqish \u00b7 yangilanish 1.2.0 tayyor", kBaseLookOff, false,
       true},
      {"off: the rule is neither noted nor dotted",
       [](TrayWorld& w) {
         notepad_rule(w, kModeFast);
         w.settings([](Settings& s) { s.enabled = false; });
       },
       "Harvel \u00b7 O\u2018chiq \u00b7 Ctrl+Alt+U bilan yoqish", kBaseLookOff, false, false},
      {"an update that is still downloading is not ready",
       [](TrayWorld& w) {
         w.ctx().update.with([](UpdateRecord& r) {
           r.phase = UpdatePhase::Downloading;
           r.latest = "1.2.0";
         });
       },
       "Harvel \u00b7 Hybrid \u00b7 Ctrl+Alt+U bilan o\u2018chirish", kBaseLookActive, false, false},
      {"the hook stopped: only the update note, the warning; the rule dot stays",
       [](TrayWorld& w) {
         notepad_rule(w, kModeFast);
         w.hook_running(false);
         w.update_ready("1.2.0");
         TrayWorld::incompatible_layout();
       },
       "Harvel \u00b7 klaviatura kuzatuvi to\u2018xtadi, tiklanmoqda \u00b7 yangilanish 1.2.0 tayyor", kBaseLookWarning,
       true, true},
      {"the hook stopped while remotely disabled: the remote text, no warning",
       [](TrayWorld& w) {
         notepad_rule(w, kModeFast);
         w.hook_running(false);
         w.remote_disabled(true);
       },
       "Harvel \u00b7 vaqtincha o\u2018chirilgan", kBaseLookOff, false, false},
      {"a layout without the letters pauses fast mode",
       [](TrayWorld& w) {
         mode(w, kModeFast);
         TrayWorld::incompatible_layout();
       },
       "Harvel \u00b7 Fast \u00b7 Ctrl+Alt+U bilan o\u2018chirish \u00b7 Tartib: Russian \u00b7 Fast pauzada: W, C "
       "harflari yo\u2018q",
       kBaseLookActive, false, false},
      {"the layout note follows the program's rule and comes after the update note",
       [](TrayWorld& w) {
         notepad_rule(w, kModeHybrid);
         mode(w, kModeZero);
         w.update_ready("2.0");
         TrayWorld::incompatible_layout();
       },
       "Harvel \u00b7 Zero-learning \u00b7 Ctrl+Alt+U bilan o\u2018chirish \u00b7 Notepad uchun qoida: Hybrid \u00b7 "
       "yangilanish 2.0 tayyor \u00b7 Tartib: Russian \u00b7 Hybrid pauzada: W, C harflari yo\u2018q",
       kBaseLookActive, true, true},
      {"zero-learning does not pause for the layout",
       [](TrayWorld& w) {
         mode(w, kModeZero);
         TrayWorld::incompatible_layout();
       },
       "Harvel \u00b7 Zero-learning \u00b7 Ctrl+Alt+U bilan o\u2018chirish", kBaseLookActive, false, false},
  };
  for (const Case& c : cases) {
    TrayWorld w;
    w.settings([](Settings& s) {
      s.hotkey = "Control+Alt+U";
      s.mode = kModeHybrid;
      s.enabled = true;
    });
    w.hook_running(true);
    c.arrange(w);
    const TrayLook look = compute_tray_look(w.app());
    EXPECT_EQ(look.tooltip, c.tooltip) << c.what;
    EXPECT_EQ(look.base_look, c.base_look) << c.what;
    EXPECT_EQ(look.rule_dot, c.rule_dot) << c.what;
    EXPECT_EQ(look.update_dot, c.update_dot) << c.what;
  }
}

TEST(TrayText, UpdateNoteAndDisplayTexts) {
  EXPECT_EQ(append_update_ready_note("Harvel", std::nullopt), "Harvel");
  EXPECT_EQ(append_update_ready_note("Harvel", std::string("1.2.0")), "Harvel \u00b7 yangilanish 1.2.0 tayyor");
  EXPECT_EQ(hotkey_display_label("Control+Shift+U"), "Ctrl+Shift+U");
  EXPECT_EQ(hotkey_display_label("Alt+ControlControl"), "Alt+CtrlCtrl");
  EXPECT_EQ(mode_label(kModeOff), "O\u2018chiq");
  EXPECT_EQ(mode_label(kModeZero), "Zero-learning");
}

}  // namespace
}  // namespace harvel
