// The overlay thread on the fake system: what a message shows, when the
// watch step takes the overlay away, the word's rectangle, the underline
// and pop-up numbers, and the fix applied from the pop-up.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>

#include "checker/checker_drawing.h"
#include "checker/checker_overlay.h"
#include "checker/word_rect.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"
#include "platform/fake/fake_checker.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using Kind = os::PaintOp::Kind;

Suggestion shahar(bool fixable = true) { return {U"shahar", U"şahar", "ş", fixable ? 7u : 0u, U' ', fixable}; }

class Overlay : public ::testing::Test {
 protected:
  Overlay() {
    os::install_checker_platform(fake.platform());
    hook_flags().checker_on = 1;
    hook_flags().checker_on_overlay = 1;
    t.sys.open_app(u"C:\\Windows\\notepad.exe");
    fake.uia.kind = os::UiaFocus::Kind::Text;
    fake.uia.rectangles = std::vector<double>{100, 200, 60, 20};
    fake.overlay.on_sleep = [this](std::chrono::milliseconds ms) { t.sys.advance(ms); };
    EXPECT_TRUE(start_checker_overlay_windows());
  }
  ~Overlay() override {
    hide_checker_overlay();
    os::install_checker_platform({});
  }

  void post(Suggestion s = shahar()) {
    checker_overlay_message({std::move(s), hook_flags().key_seq.load()},
                            [this](const Suggestion& n) { notices.push_back(n); });
  }
  bool shown() const { return overlay_state().has_value(); }
  void press_key() { ++hook_flags().key_seq; }

  testing::TestApp t;
  fake::FakeChecker fake;
  std::vector<Suggestion> notices;
};

// ---- a message ----

TEST_F(Overlay, AFixableSuggestionIsMeasuredUnderlinedAndOffered) {
  post();
  ASSERT_EQ(notices.size(), 1u);
  ASSERT_TRUE(shown());
  const OverlayState& s = *overlay_state();
  EXPECT_EQ(s.rect, (os::Box{100, 200, 160, 220}));
  EXPECT_FALSE(s.from_caret);
  EXPECT_FALSE(s.expanded);
  EXPECT_EQ(s.dpi, 96u);
  EXPECT_EQ(s.foreground, t.sys.foreground);
  EXPECT_EQ(fake.overlay.sleeps, (std::vector<std::chrono::milliseconds>{70ms}));
  // Start back over the word and its terminator, End back over the terminator.
  EXPECT_EQ(fake.uia.moves, (std::vector<std::pair<char, int32_t>>{{'S', -7}, {'E', -1}}));
  EXPECT_TRUE(fake.overlay.underline_visible);
  EXPECT_EQ(fake.overlay.underline_at, (os::Point{100, 215}));
  EXPECT_EQ(fake.overlay.underline_width, 60);
  EXPECT_EQ(fake.overlay.underline_height, 5);
  ASSERT_TRUE(fake.overlay.popup);
  EXPECT_EQ(*fake.overlay.popup, (os::PopupPlacement{166, 199, 22, 22, os::PopupPlacement::Shape::Ellipse, 0}));
}

TEST_F(Overlay, OnlyTheNoticeWhenNoOverlayFits) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    Suggestion s = shahar();
  };
  const Case cases[] = {
      {"not fixable", [] {}, shahar(false)},
      {"checker off", [] { hook_flags().checker_on_overlay = 0; }},
      {"typed during the delay", [this] { fake.overlay.on_sleep = [this](auto) { press_key(); }; }},
      {"password field", [this] { fake.uia.kind = os::UiaFocus::Kind::Password; }},
      {"no text pattern, no caret", [this] { fake.uia.kind = os::UiaFocus::Kind::Unavailable; }},
      {"text too short at the start", [this] { fake.uia.chars_before_caret = 6; }},
      {"two lines", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 60, 20, 0, 220, 30, 20}; }},
      {"invisible", [this] { fake.uia.rectangles = std::vector<double>{}; }},
      {"3 px wide", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 3, 20}; }},
      {"1501 px wide", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 1501, 20}; }},
      {"negative width", [this] { fake.uia.rectangles = std::vector<double>{100, 200, -60, 20}; }},
      {"5 px high", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 60, 5}; }},
      {"201 px high", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 60, 201}; }},
      {"typed during the measurement", [this] { fake.uia.on_query = [this] { press_key(); }; }},
      {"switched windows during the measurement",
       [this] { fake.uia.on_query = [this] { t.sys.open_app(u"C:\\Windows\\notepad.exe"); }; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.uia = fake::FakeUia{};
    fake.uia.kind = os::UiaFocus::Kind::Text;
    fake.uia.rectangles = std::vector<double>{100, 200, 60, 20};
    fake.overlay.on_sleep = nullptr;
    fake.caret.caret.reset();
    hook_flags().checker_on_overlay = 1;
    notices.clear();
    c.arrange();
    post(c.s);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_FALSE(shown());
  }
}

TEST_F(Overlay, SizeLimitsAreInclusive) {
  for (const auto& r : {std::vector<double>{100, 200, 4, 6}, std::vector<double>{100, 200, 1500, 200}}) {
    fake.uia.rectangles = r;
    post();
    EXPECT_TRUE(shown());
  }
}

TEST_F(Overlay, WithoutATextPatternTheCaretIsUsed) {
  fake.uia.kind = os::UiaFocus::Kind::Unavailable;
  fake.caret.caret = os::CaretInfo{0x500, 0x501, {50, 2, 51, 22}};
  fake.caret.client_origin = {300, 400};
  post();
  ASSERT_TRUE(shown());
  EXPECT_TRUE(overlay_state()->from_caret);
  // 52 % estimate (no font): 62 px for the word, 5 px for the terminator.
  EXPECT_EQ(overlay_state()->rect, (os::Box{350 - 5 - 62, 402, 350 - 5, 422}));
}

TEST_F(Overlay, DpiOfTheNearestMonitor) {
  const std::pair<std::optional<uint32_t>, uint32_t> cases[] = {{144, 144}, {48, 48}, {40, 96}, {0, 96}, {std::nullopt, 96}};
  for (const auto& [reported, stored] : cases) {
    fake.overlay.dpi = reported;
    post();
    ASSERT_TRUE(shown());
    EXPECT_EQ(overlay_state()->dpi, stored);
  }
  fake.overlay.dpi = 144;
  post();
  EXPECT_EQ(fake.overlay.underline_height, 8);
}

TEST_F(Overlay, ANewSuggestionReplacesTheShownOne) {
  post();
  const int hides = fake.overlay.hides;
  fake.uia.on_query = [&] { EXPECT_FALSE(shown()); };
  post({U"choy", U"çoy", "ç", 5, U' ', true});
  EXPECT_GT(fake.overlay.hides, hides);
  ASSERT_TRUE(shown());
  EXPECT_EQ(overlay_state()->suggestion.word, U"choy");
}

// ---- the watch step ----

TEST_F(Overlay, WatchStepHidesWhenTheOverlayNoLongerFits) {
  struct Case {
    const char* what;
    std::function<void()> change;
    bool kept;
  };
  const Case cases[] = {
      {"nothing changed", [] {}, true},
      {"a key pressed", [this] { press_key(); }, false},
      {"another window", [this] { t.sys.open_app(u"C:\\Windows\\notepad.exe"); }, false},
      {"checker switched off", [] { hook_flags().checker_on_overlay = 0; }, false},
      {"19.9 s", [this] { fake.uia.rectangles = std::vector<double>{100, 200, 60, 20}; t.sys.advance(19900ms); }, true},
      {"20 s", [this] { t.sys.advance(20s); }, false},
      {"button held outside", [this] { fake.overlay.button_down = true; fake.overlay.cursor = {10, 10}; }, false},
      {"button held on the pop-up", [this] { fake.overlay.button_down = true; fake.overlay.cursor = {170, 205}; }, true},
      {"button held on its right edge", [this] { fake.overlay.button_down = true; fake.overlay.cursor = {188, 205}; }, false},
      {"moved 3 px", [this] { fake.uia.rectangles = std::vector<double>{103, 197, 60, 20}; t.sys.advance(300ms); }, true},
      {"moved 4 px", [this] { fake.uia.rectangles = std::vector<double>{104, 200, 60, 20}; t.sys.advance(300ms); }, false},
      {"moved 4 px, not yet re-checked", [this] { fake.uia.rectangles = std::vector<double>{104, 200, 60, 20}; t.sys.advance(299ms); }, true},
      {"lost", [this] { fake.uia.kind = os::UiaFocus::Kind::Unavailable; t.sys.advance(300ms); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.uia = fake::FakeUia{};
    fake.uia.kind = os::UiaFocus::Kind::Text;
    fake.uia.rectangles = std::vector<double>{100, 200, 60, 20};
    fake.overlay.button_down = false;
    hook_flags().checker_on_overlay = 1;
    post();
    ASSERT_TRUE(shown());
    c.change();
    checker_overlay_watch_step();
    EXPECT_EQ(shown(), c.kept);
    EXPECT_EQ(fake.overlay.popup_visible, c.kept);
  }
}

TEST_F(Overlay, ARecheckConfirmsThePositionWithoutMovingIt) {
  post();
  fake.uia.rectangles = std::vector<double>{102, 200, 60, 20};
  t.sys.advance(300ms);
  checker_overlay_watch_step();
  ASSERT_TRUE(shown());
  EXPECT_EQ(overlay_state()->confirmed_at, t.sys.now());
  EXPECT_EQ(overlay_state()->rect, (os::Box{100, 200, 160, 220}));
}

// ---- the thread ----

TEST_F(Overlay, ThreadWithoutWindowsShowsNoticesOnly) {
  fake.overlay.can_create = false;
  auto [tx, rx] = make_checker_channel();
  std::vector<std::string> seen;
  std::thread thread(run_checker_overlay_thread, std::move(rx),
                     [&](const Suggestion& s) { seen.push_back(s.letters); });
  tx.send({shahar(), 1});
  tx.send({Suggestion{U"choy", U"çoy", "ç", 5, U' ', true}, 2});
  { CheckerSender gone = std::move(tx); }
  thread.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"ş", "ç"}));
  EXPECT_EQ(fake.uia.queries, 0);
  EXPECT_EQ(fake.overlay.popups_shown, 0);
}

TEST_F(Overlay, ThreadShowsTheOverlayAndEndsWhenDisconnected) {
  auto [tx, rx] = make_checker_channel();
  fake.overlay.on_sleep = nullptr;
  std::atomic<int> seen{0};
  std::thread thread(run_checker_overlay_thread, std::move(rx), [&](const Suggestion&) { ++seen; });
  tx.send({shahar(), hook_flags().key_seq.load()});
  for (int i = 0; i < 200 && fake.overlay.popups_shown == 0; ++i) std::this_thread::sleep_for(5ms);
  { CheckerSender gone = std::move(tx); }
  thread.join();
  EXPECT_EQ(seen.load(), 1);
  EXPECT_EQ(fake.overlay.popups_shown, 1);
  EXPECT_GT(fake.overlay.pumps, 0);
  EXPECT_EQ(fake.overlay.prepared, 2);  // the fixture's thread and this one
}

TEST(OverlayStart, TheChannelAndThreadAreMadeOnce) {
  testing::TestApp t;
  start_checker_overlay_once(t.app);
  const CheckerSender* first = hook_flags().checker_tx.get();
  ASSERT_NE(first, nullptr);
  start_checker_overlay_once(t.app);
  EXPECT_EQ(hook_flags().checker_tx.get(), first);
  // The thread shows notices (no overlay facilities here) until the slot is emptied.
  hook_flags().checker_toast = 1;
  ASSERT_TRUE(first->send({shahar(), 0}));
  for (int i = 0; i < 400 && t.notices.empty(); ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(t.notices.size(), 1u);
  EXPECT_EQ(t.notices[0].title, "Yangi alifbo");
}

TEST(OverlayStart, AFailingNoticeEndsTheThreadQuietly) {
  testing::TestApp t;
  t.app.set_notice_handler([](const ToastData&) { throw std::runtime_error("notice failed"); });
  hook_flags().checker_toast = 1;
  start_checker_overlay_once(t.app);
  const CheckerSender* tx = hook_flags().checker_tx.get();
  ASSERT_NE(tx, nullptr);
  ASSERT_TRUE(tx->send({shahar(), 0}));
  // The process lives on; once the thread has ended, sends are refused.
  bool refused = false;
  for (int i = 0; i < 400 && !refused; ++i) {
    refused = !tx->send({shahar(), 0});
    if (!refused) std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(refused);
}

// ---- the word's rectangle ----

TEST(WordRect, RoundingAndSaturation) {
  EXPECT_EQ(round_to_i32(2.5), 3);
  EXPECT_EQ(round_to_i32(-2.5), -3);
  EXPECT_EQ(round_to_i32(2.49), 2);
  EXPECT_EQ(round_to_i32(1e12), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(round_to_i32(-1e12), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(round_to_i32(std::nan("")), 0);
  const double one_line[] = {10.5, 20.49, 30.0, 15.5};
  EXPECT_EQ(box_from_bounding_rectangles(one_line), (os::Box{11, 20, 41, 36}));
  EXPECT_FALSE(box_from_bounding_rectangles({}));
}

TEST(WordRect, UiaWithoutTheFacilityIsUnavailable) {
  os::install_checker_platform({});
  EXPECT_EQ(uia_word_rect(7).kind, UiaWordRect::Kind::Unavailable);
  EXPECT_FALSE(caret_word_rect(shahar()));
}

TEST(WordRect, CaretPath) {
  fake::FakeChecker fake;
  os::install_checker_platform(fake.platform());
  fake.caret.caret = os::CaretInfo{0x500, 0x501, {50, 2, 51, 22}};
  fake.caret.client_origin = {300, 400};
  // The control's font: 8 px per character.
  fake.caret.font = 0x77;
  EXPECT_EQ(caret_word_rect(shahar()), (os::Box{350 - 8 - 48, 402, 342, 422}));
  EXPECT_EQ(fake.caret.font_queries, (std::vector<os::WindowHandle>{0x501}));
  EXPECT_EQ(fake.caret.last_timeout_ms, 60u);
  // No terminator: the rectangle ends at the caret.
  Suggestion ended = shahar(false);
  ended.terminator.reset();
  EXPECT_EQ(caret_word_rect(ended), (os::Box{350 - 48, 402, 350, 422}));
  // No device context, or a font that measures nothing: the estimate.
  fake.caret.has_dc = false;
  EXPECT_EQ(caret_word_rect(shahar()), (os::Box{283, 402, 345, 422}));
  fake.caret.has_dc = true;
  fake.caret.char_width = 0;
  EXPECT_EQ(caret_word_rect(shahar()), (os::Box{283, 402, 345, 422}));
  // Without a focus window the caret window is asked for its font.
  fake.caret.caret->focus = 0;
  caret_word_rect(shahar());
  EXPECT_EQ(fake.caret.font_queries.back(), 0x500u);
  // A DPI-unaware caret window: logical points become physical.
  fake.caret.font = 0;
  fake.caret.dpi_unaware = true;
  fake.caret.logical_scale = 1.5;
  EXPECT_EQ(caret_word_rect(shahar()), (os::Box{525 - 7 - 93, 603, 518, 633}));
  // No caret, or an empty one.
  fake.caret.caret->rect = {50, 22, 51, 22};
  EXPECT_FALSE(caret_word_rect(shahar()));
  fake.caret.caret->caret = 0;
  EXPECT_FALSE(caret_word_rect(shahar()));
  fake.caret.caret.reset();
  EXPECT_FALSE(caret_word_rect(shahar()));
  os::install_checker_platform({});
}

// ---- drawing numbers ----

TEST(CheckerDrawing, CardLayout) {
  EXPECT_EQ(checker_card_layout(96), (CardLayout{250, 84, 142, 44, 238, 72}));
  EXPECT_EQ(checker_card_layout(144), (CardLayout{375, 126, 213, 66, 357, 108}));
  EXPECT_EQ(overlay_scale(96, 30), 48);
  EXPECT_EQ(overlay_font(96, 13, true), (os::OverlayFont{-13, 700}));
  EXPECT_EQ(overlay_font(144, 11, false), (os::OverlayFont{-17, 400}));
}

TEST(CheckerDrawing, UnderlineBand) {
  const UnderlineBitmap b96 = checker_underline_bitmap(12, 96);
  EXPECT_EQ(b96.height, 5);
  ASSERT_EQ(b96.pixels.size(), 60u);
  // Column 0 is the wave's centre line (2.5): full red on row 2, a fringe on
  // rows 1 and 3, nothing on rows 0 and 4.
  EXPECT_EQ(b96.pixels[2 * 12], 0xFFE5484Du);
  EXPECT_EQ(b96.pixels[1 * 12], 0x4C441516u);
  EXPECT_EQ(b96.pixels[0], 0u);
  EXPECT_EQ(b96.pixels[4 * 12], 0u);
  // The wave repeats every 6 px.
  for (int r = 0; r < 5; ++r) EXPECT_EQ(b96.pixels[r * 12 + 1], b96.pixels[r * 12 + 7]);
  // Every pixel is premultiplied accent red.
  for (uint32_t p : b96.pixels) {
    const uint32_t a = p >> 24;
    EXPECT_EQ(p, (a << 24) | ((a * 229 / 255) << 16) | ((a * 72 / 255) << 8) | (a * 77 / 255));
  }
  const UnderlineBitmap b144 = checker_underline_bitmap(18, 144);
  EXPECT_EQ(b144.height, 8);
  for (int r = 0; r < 8; ++r) EXPECT_EQ(b144.pixels[r * 18 + 1], b144.pixels[r * 18 + 10]);
  EXPECT_EQ(checker_underline_bitmap(10, 48).height, 4);
}

TEST(CheckerDrawing, PopupPlacement) {
  using Shape = os::PopupPlacement::Shape;
  const os::Box work{0, 0, 1920, 1040};
  struct Case {
    const char* what;
    os::Box word;
    bool expanded;
    os::PopupPlacement expected;
  };
  const Case cases[] = {
      {"circle right of the word", {100, 200, 160, 220}, false, {166, 199, 22, 22, Shape::Ellipse, 0}},
      {"card below the word", {100, 200, 160, 220}, true, {100, 226, 250, 84, Shape::RoundRect, 12}},
      {"card above a word at the bottom", {100, 940, 160, 960}, true, {100, 850, 250, 84, Shape::RoundRect, 12}},
      {"circle pushed left", {1850, 200, 1910, 220}, false, {1898, 199, 22, 22, Shape::Ellipse, 0}},
      {"card pushed left", {1800, 200, 1860, 220}, true, {1670, 226, 250, 84, Shape::RoundRect, 12}},
      {"card at the top edge", {100, -40, 160, -20}, true, {100, 0, 250, 84, Shape::RoundRect, 12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(checker_popup_placement(c.word, 96, c.expanded, work), c.expected);
  }
  // The left edge wins when the card is wider than the work area.
  EXPECT_EQ(checker_popup_placement({10, 10, 20, 30}, 96, true, {0, 0, 200, 400}).x, 0);
}

TEST_F(Overlay, PopupWithoutAWorkAreaAssumesFullHd) {
  fake.overlay.work.reset();
  fake.uia.rectangles = std::vector<double>{1900, 1060, 10, 20};
  post();
  EXPECT_EQ(*fake.overlay.popup, (os::PopupPlacement{1898, 1058, 22, 22, os::PopupPlacement::Shape::Ellipse, 0}));
}

TEST_F(Overlay, PopupPainting) {
  const os::Box circle{0, 0, 22, 22};
  EXPECT_TRUE(checker_popup_paint(circle).empty());  // no overlay
  post({U"chashma", U"çaşma", "ç, ş", 8, U' ', true});
  const uint32_t centred = os::DT_CENTER | os::DT_VCENTER | os::DT_SINGLELINE;
  EXPECT_EQ(checker_popup_paint(circle),
            (std::vector<os::PaintOp>{{Kind::Fill, circle, kAccentRed, 0, {}, {}, 0},
                                      {Kind::Text, circle, kWhite, 0, {-13, 700}, "ç", centred}}));
  overlay_state()->suggestion.letters.clear();
  EXPECT_EQ(checker_popup_paint(circle)[1].text, "!");
  overlay_state()->suggestion.letters = "ç, ş";

  position_checker_popup(true);
  const os::Box card{0, 0, 250, 84};
  const uint32_t cut = os::DT_SINGLELINE | os::DT_END_ELLIPSIS;
  EXPECT_EQ(checker_popup_paint(card),
            (std::vector<os::PaintOp>{
                {Kind::Fill, card, kCardBackground, 0, {}, {}, 0},
                {Kind::FrameRoundRect, {0, 0, 251, 85}, kCardFrame, 12, {}, {}, 0},
                {Kind::Text, {12, 10, 238, 32}, kTitleText, 0, {-13, 700}, "chashma → çaşma", cut},
                {Kind::Text, {12, 32, 238, 48}, kSubtitleText, 0, {-11, 400}, "ç, ş bilan yozilishi kerak", cut},
                {Kind::Fill, {142, 44, 238, 72}, kButtonColour, 0, {}, {}, 0},
                {Kind::Text, {142, 44, 238, 72}, kWhite, 0, {-12, 700}, "Tuzatish", centred},
            }));
}

// ---- the fix from the pop-up ----

TEST_F(Overlay, ClickExpandsThenTheButtonTypesTheFix) {
  post();
  fake.overlay.events->popup_click({5, 5});
  ASSERT_TRUE(shown());
  EXPECT_TRUE(overlay_state()->expanded);
  EXPECT_EQ(fake.overlay.popup->shape, os::PopupPlacement::Shape::RoundRect);
  // Outside the button (its right and bottom edges are outside too): nothing.
  for (const os::Point p : {os::Point{10, 10}, os::Point{238, 50}, os::Point{150, 72}}) {
    fake.overlay.events->popup_click(p);
    EXPECT_TRUE(shown());
  }
  EXPECT_TRUE(t.sys.sent.empty());
  fake.overlay.events->popup_click({142, 44});
  EXPECT_FALSE(shown());
  EXPECT_FALSE(fake.overlay.popup_visible);
  EXPECT_EQ(hook_flags().fix_applied.load(), 1);
  ASSERT_EQ(t.sys.sent.size(), 1u);
  EXPECT_EQ(t.sys.sent[0], build_replacement_batch({U"şahar ", 7, std::nullopt}));
}

TEST_F(Overlay, ARefusedFixOnlyHides) {
  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"typed since", [this] { press_key(); }},
      {"switched windows", [this] { t.sys.open_app(u"C:\\Windows\\notepad.exe"); }},
      {"scrolled 4 px", [this] { fake.uia.rectangles = std::vector<double>{100, 204, 60, 20}; }},
      {"word lost", [this] { fake.uia.kind = os::UiaFocus::Kind::Password; }},
      {"20 s old", [this] { t.sys.advance(20s); }},
      {"checker off", [] { hook_flags().checker_on_overlay = 0; }},
      {"elevated program", [this] { for (auto& [pid, e] : t.sys.elevation) e = true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.uia = fake::FakeUia{};
    fake.uia.kind = os::UiaFocus::Kind::Text;
    fake.uia.rectangles = std::vector<double>{100, 200, 60, 20};
    hook_flags().checker_on_overlay = 1;
    post();
    ASSERT_TRUE(shown());
    position_checker_popup(true);
    c.change();
    fake.overlay.events->popup_click({150, 50});
    EXPECT_FALSE(shown());
    EXPECT_TRUE(t.sys.sent.empty());
    EXPECT_EQ(hook_flags().fix_applied.load(), 0);
  }
}

TEST_F(Overlay, ClickWithoutAnOverlayDoesNothing) {
  fake.overlay.events->popup_click({150, 50});
  EXPECT_TRUE(t.sys.sent.empty());
  EXPECT_FALSE(fake.overlay.popup);
}

}  // namespace
}  // namespace harvel
