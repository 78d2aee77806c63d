// The checker's windows on the real system: both windows' classes, styles
// and click-through behaviour, where the underline and the pop-up are
// placed, the pop-up's paint and click going to the portable handlers, the
// caret path measuring a word in an EDIT box, and the UI Automation failure
// path (Wine registers no automation class).

#include <gtest/gtest.h>

#include "checker/checker_overlay.h"
#include "core/app.h"
#include "core/ctx.h"
#include "core/settings.h"
#include "keyboard/foreground.h"
#include "shell/sinks.h"
#include "shell/toast.h"
#include "support/test_app.h"
#include "checker/word_rect.h"
#include "keyboard/hook_flags.h"
#include "platform/win32/win32_overlay.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_uia.h"
#include "win32/desktop.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using win32test::pump_for;
using win32test::pump_until;

std::wstring class_of(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

RECT window_rect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

class RecordingEvents final : public os::OverlayEvents {
 public:
  std::vector<os::PaintOp> popup_paint(os::Box client) override {
    paints.push_back(client);
    return {{os::PaintOp::Kind::Fill, client, {229, 72, 77}, 0, {}, {}, 0},
            {os::PaintOp::Kind::Text, client, {255, 255, 255}, 0, {-13, 700}, "ş", DT_CENTER | DT_SINGLELINE}};
  }
  void popup_click(os::Point p) override { clicks.push_back(p); }
  std::vector<os::Box> paints;
  std::vector<os::Point> clicks;
};

// The windows live on the thread that creates them; each test runs on its
// own thread so that it starts with none.
template <typename Body>
void on_new_thread(Body body) {
  std::thread t(body);
  t.join();
}

TEST(Win32CheckerWindows, ClassesStylesAndClickThrough) {
  on_new_thread([] {
    win32::Win32OverlayWindows windows;
    RecordingEvents events;
    windows.prepare_thread();
    ASSERT_TRUE(windows.create_windows(&events));
    HWND under = win32::overlay_underline_hwnd();
    HWND pop = win32::overlay_popup_hwnd();
    ASSERT_TRUE(under && pop);
    EXPECT_EQ(class_of(under), L"HarvelCheckUnder");
    EXPECT_EQ(class_of(pop), L"HarvelCheckPop");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(under, GWL_STYLE)) & WS_POPUP, static_cast<DWORD>(WS_POPUP));
    const DWORD under_ex = static_cast<DWORD>(GetWindowLongW(under, GWL_EXSTYLE));
    const DWORD pop_ex = static_cast<DWORD>(GetWindowLongW(pop, GWL_EXSTYLE));
    const DWORD click_through = WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;
    EXPECT_EQ(under_ex & click_through, click_through);
    EXPECT_EQ(pop_ex & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              static_cast<DWORD>(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_EQ(pop_ex & (WS_EX_LAYERED | WS_EX_TRANSPARENT), 0u);
    EXPECT_FALSE(IsWindowVisible(under));
    EXPECT_FALSE(IsWindowVisible(pop));
    // The mouse passes through the underline; neither window takes the focus on a click.
    EXPECT_EQ(SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTTRANSPARENT);
    EXPECT_EQ(SendMessageW(under, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
    EXPECT_EQ(SendMessageW(pop, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
    EXPECT_EQ(SendMessageW(pop, WM_ERASEBKGND, 0, 0), 1);
  });
}

TEST(Win32CheckerWindows, UnderlineAndPopupPlacementPaintAndClick) {
  on_new_thread([] {
    win32test::TextWindow text;
    ASSERT_TRUE(text.ready());
    HWND typed_in = GetForegroundWindow();
    win32::Win32OverlayWindows windows;
    RecordingEvents events;
    windows.prepare_thread();
    ASSERT_TRUE(windows.create_windows(&events));
    HWND under = win32::overlay_underline_hwnd();
    HWND pop = win32::overlay_popup_hwnd();

    const std::vector<uint32_t> pixels(60 * 5, 0xFFE5484Du);
    windows.show_underline({100, 215}, 60, 5, pixels);
    EXPECT_TRUE(IsWindowVisible(under));
    const RECT ur = window_rect(under);
    EXPECT_EQ((std::vector<LONG>{ur.left, ur.top, ur.right, ur.bottom}), (std::vector<LONG>{100, 215, 160, 220}));

    windows.show_popup({166, 199, 22, 22, os::PopupPlacement::Shape::Ellipse, 0});
    EXPECT_TRUE(IsWindowVisible(pop));
    const RECT pr = window_rect(pop);
    EXPECT_EQ((std::vector<LONG>{pr.left, pr.top, pr.right, pr.bottom}), (std::vector<LONG>{166, 199, 188, 221}));
    EXPECT_EQ(windows.popup_rect(), (os::Box{166, 199, 188, 221}));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(pop, region), COMPLEXREGION);  // the circle
    RECT box{};
    GetRgnBox(region, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_GE(box.right, 22);  // the ellipse (0, 0, 23, 23)
    EXPECT_LE(box.right, 23);
    DeleteObject(region);

    // Showing never takes the focus from the program typed in.
    pump_for(50ms);
    EXPECT_EQ(GetForegroundWindow(), typed_in);
    ASSERT_TRUE(pump_until([&] { return !events.paints.empty(); }));
    EXPECT_EQ(events.paints.back(), (os::Box{0, 0, 22, 22}));

    SendMessageW(pop, WM_LBUTTONUP, 0, MAKELPARAM(142, 44));
    EXPECT_EQ(events.clicks, (std::vector<os::Point>{{142, 44}}));

    windows.show_popup({100, 226, 250, 84, os::PopupPlacement::Shape::RoundRect, 12});
    const RECT card = window_rect(pop);
    EXPECT_EQ((std::vector<LONG>{card.left, card.top, card.right, card.bottom}), (std::vector<LONG>{100, 226, 350, 310}));

    windows.hide_windows();
    EXPECT_FALSE(IsWindowVisible(under));
    EXPECT_FALSE(IsWindowVisible(pop));

    const auto work = windows.work_area({100, 200, 160, 220});
    ASSERT_TRUE(work);
    EXPECT_GT(work->right, work->left);
    // The effective DPI, when the system can tell, is a real one.
    if (const auto dpi = windows.monitor_dpi({100, 200, 160, 220})) {
      EXPECT_GE(*dpi, 48u);
    }
  });
}

TEST(Win32CheckerUia, AutomationUnavailableFallsBackToTheCaret) {
  on_new_thread([] {
    win32::install_win32_platform();
    win32::Win32OverlayWindows windows;
    windows.prepare_thread();
    win32test::TextWindow text;
    ASSERT_TRUE(text.ready());
    SetWindowTextW(text.edit(), L"shahar ");
    SendMessageW(text.edit(), EM_SETSEL, 7, 7);
    pump_for(30ms);

    win32::Win32Uia uia;
    const os::UiaFocus focus = uia.focused_text();
    if (!win32::uia_object_created()) {
      // Wine: no automation class, so no automation object and no answer.
      EXPECT_EQ(focus.kind, os::UiaFocus::Kind::Unavailable);
      EXPECT_EQ(uia_word_rect(7).kind, UiaWordRect::Kind::Unavailable);
    }

    // The caret path: the EDIT box's caret and font.
    const Suggestion s{U"shahar", U"şahar", "ş", 7, U' ', true};
    const auto rect = caret_word_rect(s);
    ASSERT_TRUE(rect);
    POINT caret{};
    ASSERT_TRUE(GetCaretPos(&caret));
    ClientToScreen(text.edit(), &caret);
    EXPECT_LT(rect->left, rect->right);
    EXPECT_LT(rect->right, caret.x);  // the word ends where the terminator begins
    EXPECT_EQ(rect->top, caret.y);
    EXPECT_GT(rect->bottom - rect->top, 5);
    // A box without a font of its own (the system font): the 52 % estimate.
    const int32_t h = rect->bottom - rect->top;
    EXPECT_EQ(rect->right - rect->left, 6 * h * 52 / 100);
    // With a font: the word's width in it.
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(text.edit(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(text.edit(), EM_SETSEL, 7, 7);
    pump_for(30ms);
    const auto measured = caret_word_rect(s);
    ASSERT_TRUE(measured);
    HDC dc = GetDC(text.edit());
    HGDIOBJ old = SelectObject(dc, font);
    SIZE word{};
    GetTextExtentPoint32W(dc, L"shahar", 6, &word);
    SelectObject(dc, old);
    ReleaseDC(text.edit(), dc);
    EXPECT_EQ(measured->right - measured->left, word.cx);
    // A font handle that cannot be selected here (another program's, or as
    // here one that no longer exists): the estimate, not the context's own font.
    HFONT gone = CreateFontW(-40, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    SendMessageW(text.edit(), WM_SETFONT, reinterpret_cast<WPARAM>(gone), FALSE);
    DeleteObject(gone);
    ASSERT_EQ(SendMessageW(text.edit(), WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(gone));
    const std::u16string texts[] = {u"shahar", u" "};
    win32::Win32Caret measuring;
    EXPECT_EQ(measuring.text_widths(reinterpret_cast<os::WindowHandle>(text.edit()),
                                    reinterpret_cast<uintptr_t>(gone), texts),
              std::nullopt);
    const auto estimated = caret_word_rect(s);
    ASSERT_TRUE(estimated);
    const int32_t eh = estimated->bottom - estimated->top;
    EXPECT_EQ(estimated->right - estimated->left, 6 * eh * 52 / 100);
    os::install_checker_platform({});
  });
}

TEST(Win32CheckerOverlay, AMessageUnderlinesTheWordInAnEditBox) {
  on_new_thread([] {
    win32::install_win32_platform();
    reset_hook_flags();
    hook_flags().checker_on = 1;
    hook_flags().checker_on_overlay = 1;
    ASSERT_TRUE(start_checker_overlay_windows());
    win32test::TextWindow text;
    ASSERT_TRUE(text.ready());
    SetWindowTextW(text.edit(), L"shahar ");
    SendMessageW(text.edit(), EM_SETSEL, 7, 7);
    pump_for(30ms);

    int notices = 0;
    checker_overlay_message({Suggestion{U"shahar", U"şahar", "ş", 7, U' ', true}, hook_flags().key_seq.load()},
                            [&](const Suggestion&) { ++notices; });
    EXPECT_EQ(notices, 1);
    ASSERT_TRUE(overlay_state());
    EXPECT_TRUE(overlay_state()->from_caret);
    const os::Box word = overlay_state()->rect;
    HWND under = win32::overlay_underline_hwnd();
    HWND pop = win32::overlay_popup_hwnd();
    EXPECT_TRUE(IsWindowVisible(under));
    EXPECT_TRUE(IsWindowVisible(pop));
    const RECT ur = window_rect(under);
    const int32_t band = overlay_state()->dpi == 96 ? 5 : ur.bottom - ur.top;
    EXPECT_EQ((std::vector<LONG>{ur.left, ur.top, ur.right, ur.bottom}),
              (std::vector<LONG>{word.left, word.bottom - band, word.right, word.bottom}));
    const RECT pr = window_rect(pop);
    EXPECT_GT(pr.left, word.right);  // the circle right of the word

    // A key press hides it at the next watch step.
    ++hook_flags().key_seq;
    checker_overlay_watch_step();
    EXPECT_FALSE(overlay_state());
    EXPECT_FALSE(IsWindowVisible(under));
    EXPECT_FALSE(IsWindowVisible(pop));
    reset_hook_flags();
    os::install_checker_platform({});
  });
}

// The overlay thread as the starter runs it, with real windows: a message
// for "shahar " typed into an EDIT box is underlined beside the caret, a
// click expands the circle into the card, and the card's button retypes the
// word. The box belongs to this very process, as elevated as the copy that
// types into it (Wine runs every process elevated, as Windows does with UAC
// off); the rules for more elevated programs are covered on the fake system.
TEST(Win32CheckerOverlay, OverlayThreadShowsExpandsAndHandlesTheButton) {
  struct Program {
    Program() {
      reset_hook_flags();
      win32::install_win32_platform();
      app.manage(std::make_unique<Ctx>(dir.path() / "settings.json", default_settings()));
      app.set_notice_handler([](const ToastData&) {});
      install_shell_sinks(app);
    }
    ~Program() {
      reset_hook_flags();  // disconnects the overlay thread
      pump_for(300ms);
      os::install_platform(os::Platform{});
      os::install_checker_platform({});
    }
    testing::TempDir dir;
    App app;
  } program;
  hook_flags().checker_on = 1;
  hook_flags().checker_on_overlay = 1;
  start_checker_overlay_once(program.app);
  const CheckerSender* tx = hook_flags().checker_tx.get();
  ASSERT_NE(tx, nullptr);

  win32test::TextWindow box;
  ASSERT_TRUE(box.ready());
  SetWindowTextW(box.edit(), L"shahar ");
  SendMessageW(box.edit(), EM_SETSEL, 7, 7);
  pump_for(30ms);
  ASSERT_TRUE(tx->send({Suggestion{U"shahar", U"\u015Fahar", "\u015F", 7, U' ', true}, hook_flags().key_seq.load()}));

  HWND pop = nullptr;
  HWND under = nullptr;
  ASSERT_TRUE(pump_until([&] {
    pop = FindWindowW(L"HarvelCheckPop", nullptr);
    under = FindWindowW(L"HarvelCheckUnder", nullptr);
    return pop && under && IsWindowVisible(pop) && IsWindowVisible(under);
  }));
  POINT caret{};
  ASSERT_TRUE(GetCaretPos(&caret));
  ClientToScreen(box.edit(), &caret);
  const RECT ur = window_rect(under);
  const RECT pr = window_rect(pop);
  EXPECT_LT(ur.right, caret.x);  // the band ends where the terminator begins
  EXPECT_GT(ur.bottom, caret.y);
  EXPECT_GT(pr.left, ur.right);  // the circle right of the word
  EXPECT_EQ(pr.right - pr.left, 22);

  PostMessageW(pop, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(pump_until([&] { return window_rect(pop).right - window_rect(pop).left == 250; }));
  EXPECT_TRUE(IsWindowVisible(pop));
  PostMessageW(pop, WM_LBUTTONUP, 0, MAKELPARAM(150, 50));
  ASSERT_TRUE(pump_until([&] { return !IsWindowVisible(pop) && !IsWindowVisible(under); }));
  EXPECT_EQ(box.settled_text(L"\u015Fahar "), L"\u015Fahar ");
  EXPECT_EQ(hook_flags().fix_applied.load(), 1);
}

}  // namespace
}  // namespace harvel
