// The tray's context menu (items, ids, texts, states), its signature, the
// icon's creation and the refresh that keeps image, tooltip and menu current.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "shell/tray_fixture.h"
#include "shell/tray_icon.h"

namespace harvel {
namespace {

using testing::TrayWorld;

// One line per item: kind, id, text, then "-" when disabled and "x" when
// checked; a submenu's items follow it indented.
std::string describe(const os::TrayMenu& menu, const std::string& indent = "") {
  std::ostringstream out;
  for (const os::TrayMenuItem& item : menu) {
    switch (item.kind) {
      case os::TrayMenuItemKind::Separator: out << indent << "---\n"; continue;
      case os::TrayMenuItemKind::Plain: out << indent << "item "; break;
      case os::TrayMenuItemKind::Check: out << indent << "check "; break;
      case os::TrayMenuItemKind::Submenu: out << indent << "sub "; break;
    }
    out << item.id << " \"" << item.text << "\"" << (item.enabled ? "" : " -") << (item.checked ? " x" : "")
        << "\n";
    if (item.kind == os::TrayMenuItemKind::Submenu) out << describe(item.items, indent + "  ");
  }
  return out.str();
}

TEST(TrayMenu, ItemsForAProgramWithARule) {
  TrayWorld w;
  w.foreground("notepad.exe");
  w.settings([](Settings& s) {
    s.enabled = true;
    s.mode = kModeHybrid;
    s.checker = true;
    s.apps = {AppRule{"Notepad", "notepad.exe", kModeOff}};
  });
  EXPECT_EQ(describe(build_tray_menu(w.app())),
            "item head \"Harvel\" -\n"
            "check toggle \"Yoqilgan\" x\n"
            "---\n"
            "check mode:english \"English\"\n"
            "check mode:fast \"Fast\"\n"
            "check mode:hybrid \"Hybrid  (tavsiya)\" x\n"
            "check mode:zero \"Zero-learning\"\n"
            "sub  \"Shu dastur uchun rejim: Notepad\"\n"
            "  check app:default \"Umumiy rejim\"\n"
            "  check app:english \"English\"\n"
            "  check app:fast \"Fast\"\n"
            "  check app:hybrid \"Hybrid\"\n"
            "  check app:zero \"Zero-learning\"\n"
            "  check app:off \"O\u2018chiq\" x\n"
            "---\n"
            "check checker \"Realtime tekshiruvchi\" x\n"
            "---\n"
            "item go:/lab \"Mashq (Typing Lab)\"\n"
            "item go:/settings \"Sozlamalar\"\n"
            "---\n"
            "item quit \"Chiqish\"\n");
}

TEST(TrayMenu, StateVariants) {
  struct Case {
    const char* what;
    std::function<void(TrayWorld&)> arrange;
    std::vector<std::string> expected_lines;  // each must appear
  };
  const Case cases[] = {
      {"no program in front: a disabled placeholder instead of the submenu", [](TrayWorld&) {},
       {"item noapp \"Shu dastur uchun rejim\" -\n"}},
      {"a program without a rule: \u201cUmumiy rejim\u201d is the checked one",
       [](TrayWorld& w) { w.foreground("code.exe"); },
       {"sub  \"Shu dastur uchun rejim: Code\"\n", "  check app:default \"Umumiy rejim\" x\n",
        "  check app:fast \"Fast\"\n"}},
      {"remotely disabled: the switch unchecked and disabled, the modes still enabled",
       [](TrayWorld& w) { w.remote_disabled(true); },
       {"check toggle \"Yoqilgan\" -\n", "check mode:hybrid \"Hybrid  (tavsiya)\" x\n"}},
      {"off: the switch unchecked, the mode still checked",
       [](TrayWorld& w) { w.settings([](Settings& s) { s.enabled = false; }); },
       {"check toggle \"Yoqilgan\"\n", "check mode:hybrid \"Hybrid  (tavsiya)\" x\n"}},
      {"an update ready: the install item right after the title",
       [](TrayWorld& w) { w.update_ready("1.2.0"); },
       {"item head \"Harvel\" -\nitem upd:install \"Yangilash tayyor \u2014 o\u2018rnatish\"\ncheck toggle"}},
  };
  for (const Case& c : cases) {
    TrayWorld w;
    c.arrange(w);
    const std::string menu = describe(build_tray_menu(w.app()));
    for (const std::string& line : c.expected_lines) {
      EXPECT_NE(menu.find(line), std::string::npos) << c.what << "\nwanted: " << line << "\nin:\n" << menu;
    }
    if (std::string(c.what).rfind("an update", 0) != 0) {
      EXPECT_EQ(menu.find("upd:install"), std::string::npos) << c.what;
    }
  }
}

TEST(TrayMenu, Signature) {
  Settings s = default_settings();
  s.enabled = true;
  s.mode = kModeHybrid;
  s.checker = true;
  s.apps = {AppRule{"Notepad", "notepad.exe", kModeOff}, AppRule{"Code", "code.exe", kModeFast}};
  EXPECT_EQ(tray_menu_signature(s, "notepad.exe", false, std::nullopt),
            "true|hybrid|notepad.exe|notepad.exe=off,code.exe=fast|false||true");
  s.apps.clear();
  s.enabled = false;
  s.mode = kModeZero;
  s.checker = false;
  EXPECT_EQ(tray_menu_signature(s, "", true, std::string("1.2.0")), "false|zero|||true|1.2.0|false");
}

// Counts what the refresh asked of the tray.
int count(const std::vector<std::string>& calls, const std::string& call) {
  int n = 0;
  for (const std::string& c : calls) n += c == call ? 1 : 0;
  return n;
}

class TrayRefresh : public ::testing::Test {
 protected:
  TrayRefresh() {
    w.hook_running(true);
    EXPECT_EQ(create_tray_icon(w.app()), std::nullopt);
  }
  TrayWorld w;
};

TEST_F(TrayRefresh, SetUpCreatesTheIconWithItsFirstLookAndMenu) {
  const auto icon = w.tray.icon("main");
  ASSERT_TRUE(icon);
  const TrayLook look = compute_tray_look(w.app());
  EXPECT_EQ(icon->tooltip, look.tooltip);
  EXPECT_EQ(icon->image, std::get<os::TrayImage>(build_tray_icon_image(look)));
  EXPECT_EQ(icon->menu, build_tray_menu(w.app()));
  EXPECT_EQ(last_tray_look().copy(), look);
}

TEST_F(TrayRefresh, UnchangedStateSetsNothing) {
  refresh_tray(w.app());  // the first refresh builds the menu again (empty signature)
  EXPECT_EQ(w.tray.calls(), (std::vector<std::string>{"create main", "menu main"}));
  w.tray.clear_calls();
  refresh_tray(w.app());
  EXPECT_TRUE(w.tray.calls().empty());
}

TEST_F(TrayRefresh, AChangeSetsImageTooltipAndMenuOnce) {
  refresh_tray(w.app());
  w.tray.clear_calls();
  w.settings([](Settings& s) { s.enabled = false; });
  w.hook_running(false);
  refresh_tray(w.app());
  EXPECT_EQ(w.tray.calls(), (std::vector<std::string>{"image main", "tooltip main", "menu main"}));
  const auto icon = w.tray.icon("main");
  EXPECT_EQ(icon->tooltip, "Harvel \u00b7 O\u2018chiq \u00b7 Ctrl+Shift+U bilan yoqish");
  TrayLook off;
  off.base_look = kBaseLookOff;
  EXPECT_EQ(icon->image, std::get<os::TrayImage>(build_tray_icon_image(off)));
  EXPECT_NE(describe(icon->menu).find("check toggle \"Yoqilgan\"\n"), std::string::npos);
}

TEST_F(TrayRefresh, ALookChangeOutsideTheMenuLeavesTheMenu) {
  refresh_tray(w.app());
  w.tray.clear_calls();
  w.hook_running(false);  // the hook stops: warning look, same menu
  refresh_tray(w.app());
  EXPECT_EQ(w.tray.calls(), (std::vector<std::string>{"image main", "tooltip main"}));
}

TEST_F(TrayRefresh, WithoutTheIconNothingHappens) {
  w.tray.remove("main");
  w.tray.clear_calls();
  w.settings([](Settings& s) { s.enabled = false; });
  refresh_tray(w.app());
  EXPECT_TRUE(w.tray.calls().empty());
}

TEST_F(TrayRefresh, SetTrayMenuOnlyPostsTheRefresh) {
  w.settings([](Settings& s) { s.enabled = false; });
  w.tray.clear_calls();
  set_tray_menu(w.app());
  EXPECT_TRUE(w.tray.calls().empty());
  EXPECT_EQ(w.t.sys.run_posted(), 1);
  EXPECT_EQ(count(w.tray.calls(), "tooltip main"), 1);
}

// A tray whose tooltip call moves the state, as another thread could while
// the icon is being updated.
class MovingTray final : public os::Tray {
 public:
  MovingTray(fake::FakeTray& inner, std::function<void()> on_tooltip) : inner_(inner), on_tooltip_(on_tooltip) {}
  bool create(const os::TraySpec& spec) override { return inner_.create(spec); }
  bool exists(std::string_view id) override { return inner_.exists(id); }
  bool set_image(std::string_view id, const os::TrayImage& image) override { return inner_.set_image(id, image); }
  bool set_tooltip(std::string_view id, std::string_view tooltip) override {
    const bool ok = inner_.set_tooltip(id, tooltip);
    on_tooltip_();
    return ok;
  }
  bool set_menu(std::string_view id, const os::TrayMenu& menu) override { return inner_.set_menu(id, menu); }
  void remove(std::string_view id) override { inner_.remove(id); }
  std::optional<os::TrayIconArea> icon_area(std::string_view id) override { return inner_.icon_area(id); }

 private:
  fake::FakeTray& inner_;
  std::function<void()> on_tooltip_;
};

TEST_F(TrayRefresh, StateMovingDuringTheUpdateIsFollowedForAtMostThreePasses) {
  refresh_tray(w.app());
  int moves = 0;
  MovingTray moving(w.tray, [&] {
    ++moves;
    w.settings([](Settings& s) { s.enabled = !s.enabled; });
  });
  os::Platform p = os::platform();
  p.tray = &moving;
  os::install_platform(p);
  w.tray.clear_calls();
  w.settings([](Settings& s) { s.enabled = false; });
  refresh_tray(w.app());
  EXPECT_EQ(moves, 3);
  EXPECT_EQ(count(w.tray.calls(), "image main"), 3);
  EXPECT_EQ(count(w.tray.calls(), "tooltip main"), 3);
  // The stored look is the last one applied; the state has moved on since.
  EXPECT_EQ(last_tray_look().copy()->tooltip, w.tray.icon("main")->tooltip);
  EXPECT_NE(compute_tray_look(w.app()), *last_tray_look().copy());
}

TEST_F(TrayRefresh, AStateThatSettlesStopsTheLoopEarly) {
  refresh_tray(w.app());
  bool moved = false;
  MovingTray moving(w.tray, [&] {
    if (moved) return;
    moved = true;
    w.update_ready("1.2.0");
  });
  os::Platform p = os::platform();
  p.tray = &moving;
  os::install_platform(p);
  w.tray.clear_calls();
  w.settings([](Settings& s) { s.enabled = false; });
  refresh_tray(w.app());
  // Pass 1 applies "off", pass 2 the update that came meanwhile, pass 3
  // finds nothing new.
  EXPECT_EQ(count(w.tray.calls(), "tooltip main"), 2);
  EXPECT_EQ(w.tray.icon("main")->tooltip,
            "Harvel \u00b7 O\u2018chiq \u00b7 Ctrl+Shift+U bilan yoqish \u00b7 yangilanish 1.2.0 tayyor");
}

TEST(TrayIconCreation, ARefusedIconFailsTheSetUp) {
  TrayWorld w;
  w.tray.fail_create("main");
  EXPECT_TRUE(create_tray_icon(w.app()).has_value());
}

}  // namespace
}  // namespace harvel
