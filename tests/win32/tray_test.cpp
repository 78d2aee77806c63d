// The tray icon on the real system: the drawn image as a 32-bit ARGB icon,
// Shell_NotifyIconW add, modify and delete, the icon added again after a new
// task bar, clicks reaching the handler, and the context menu with its items
// chosen from the keyboard.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_tray.h"
#include "shell/tray_icon.h"
#include "win32/desktop.h"

#include <shellapi.h>

namespace harvel {
namespace {

using namespace win32test;
using win32::Win32Tray;

os::TrayImage drawn(uint8_t base_look, bool update_dot, bool rule_dot) {
  TrayLook look;
  look.base_look = base_look;
  look.update_dot = update_dot;
  look.rule_dot = rule_dot;
  auto image = build_tray_icon_image(look);
  EXPECT_TRUE(std::holds_alternative<os::TrayImage>(image));
  return std::get<os::TrayImage>(image);
}

// The pixels of an icon's colour bitmap, R G B A, rows top to bottom.
std::vector<uint8_t> icon_pixels(HICON icon, uint32_t& w, uint32_t& h) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  BITMAP bm{};
  GetObjectW(info.hbmColor, sizeof(bm), &bm);
  w = static_cast<uint32_t>(bm.bmWidth);
  h = static_cast<uint32_t>(bm.bmHeight);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = bm.bmWidth;
  bi.bmiHeader.biHeight = -bm.bmHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> bgra(static_cast<std::size_t>(w) * h * 4);
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, info.hbmColor, 0, h, bgra.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  for (std::size_t k = 0; k < bgra.size(); k += 4) std::swap(bgra[k], bgra[k + 2]);
  return bgra;
}

// Whether the shell knows the icon: a modification of it is accepted.
bool shell_knows(Win32Tray& tray, std::string_view id, UINT uid = 0) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = reinterpret_cast<HWND>(tray.window());
  nid.uID = uid ? uid : tray.notify_id(id);
  nid.uFlags = NIF_TIP;
  wcscpy(nid.szTip, L"Harvel");
  return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

os::TraySpec spec_with(const os::TrayImage& image) {
  os::TraySpec spec;
  spec.id = "main";
  spec.image = image;
  spec.tooltip = "Harvel \u00b7 Hybrid \u00b7 Ctrl+Shift+U bilan o\u2018chirish";
  return spec;
}

TEST(Win32TrayIcon, TheDrawnImageBecomesAnArgbIconPixelForPixel) {
  const os::TrayImage image = drawn(kBaseLookWarning, true, true);
  HICON icon = static_cast<HICON>(win32::make_argb_icon(image));
  ASSERT_NE(icon, nullptr);
  uint32_t w = 0;
  uint32_t h = 0;
  const std::vector<uint8_t> pixels = icon_pixels(icon, w, h);
  DestroyIcon(icon);
  EXPECT_EQ(w, 32u);
  EXPECT_EQ(h, 32u);
  EXPECT_EQ(pixels, image.rgba);

  os::TrayImage broken = image;
  broken.rgba.pop_back();
  EXPECT_EQ(win32::make_argb_icon(broken), nullptr);
  EXPECT_EQ(win32::make_argb_icon(os::TrayImage{}), nullptr);
}

TEST(Win32TrayIcon, AddModifyDelete) {
  Win32Tray tray;
  ASSERT_TRUE(tray.create(spec_with(drawn(kBaseLookActive, false, false))));
  ASSERT_NE(tray.window(), 0u);
  const UINT uid = tray.notify_id("main");
  EXPECT_TRUE(tray.exists("main"));
  EXPECT_TRUE(shell_knows(tray, "main"));
  EXPECT_FALSE(tray.create(spec_with(drawn(kBaseLookActive, false, false)))) << "the id is taken";

  EXPECT_TRUE(tray.set_image("main", drawn(kBaseLookOff, true, false)));
  EXPECT_TRUE(tray.set_image("main", drawn(kBaseLookWarning, false, true)));
  EXPECT_FALSE(tray.set_image("main", os::TrayImage{})) << "an unusable image leaves the old one";
  EXPECT_TRUE(tray.set_tooltip("main", "Harvel \u00b7 O\u2018chiq \u00b7 Ctrl+Shift+U bilan yoqish"));
  EXPECT_TRUE(tray.set_tooltip("main", std::string(300, 'x')));
  EXPECT_TRUE(tray.set_menu("main", {}));

  tray.remove("main");
  EXPECT_FALSE(tray.exists("main"));
  EXPECT_FALSE(shell_knows(tray, "main", uid)) << "deleted from the notification area";
  EXPECT_FALSE(tray.set_image("main", drawn(kBaseLookActive, false, false)));
  EXPECT_FALSE(tray.set_tooltip("main", "x"));
}

TEST(Win32TrayIcon, ANewTaskBarGetsTheIconsAgain) {
  Win32Tray tray;
  ASSERT_TRUE(tray.create(spec_with(drawn(kBaseLookActive, false, false))));
  // The shell forgets the icon, as a restarted Explorer has.
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = reinterpret_cast<HWND>(tray.window());
  nid.uID = tray.notify_id("main");
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
  ASSERT_FALSE(shell_knows(tray, "main"));
  SendMessageW(reinterpret_cast<HWND>(tray.window()), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(shell_knows(tray, "main"));
  tray.remove("main");
}

TEST(Win32TrayIcon, TooltipsFitTheShellsField) {
  EXPECT_EQ(win32::tray_tooltip_text("Harvel \u00b7 O\u2018chiq"), L"Harvel \u00b7 O\u2018chiq");
  const std::wstring cut = win32::tray_tooltip_text(std::string(200, 'a'));
  EXPECT_EQ(cut.size(), 127u);
  EXPECT_EQ(cut.back(), L'\u2026');
  // A character outside the BMP across the cut is dropped whole.
  const std::wstring pair = win32::tray_tooltip_text(std::string(125, 'a') + "\U0001F600" + "bbbb");
  EXPECT_EQ(pair, std::wstring(125, L'a') + L"\u2026");
}

TEST(Win32TrayIcon, LeftClicksReachTheHandler) {
  Win32Tray tray;
  std::vector<os::TrayEvent> events;
  os::TraySpec spec = spec_with(drawn(kBaseLookActive, false, false));
  spec.on_event = [&](const os::TrayEvent& e) { events.push_back(e); };
  ASSERT_TRUE(tray.create(spec));
  HWND hwnd = reinterpret_cast<HWND>(tray.window());
  const UINT uid = tray.notify_id("main");
  PostMessageW(hwnd, Win32Tray::callback_message(), uid, WM_LBUTTONDOWN);
  PostMessageW(hwnd, Win32Tray::callback_message(), uid, WM_LBUTTONUP);
  PostMessageW(hwnd, Win32Tray::callback_message(), uid + 7, WM_LBUTTONUP);  // no such icon
  ASSERT_TRUE(pump_until([&] { return events.size() >= 2; }));
  pump_for(50ms);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, os::TrayEventKind::Click);
  EXPECT_EQ(events[0].button, os::MouseButton::Left);
  EXPECT_EQ(events[0].state, os::ButtonState::Down);
  EXPECT_EQ(events[1].state, os::ButtonState::Up);
  tray.remove("main");
}

// With NOTIFYICON_VERSION_4 the shell names the icon and the event in lParam.
// A selection from the keyboard is a left click; the NIN_SELECT that follows
// a mouse click, and Enter's second NIN_KEYSELECT, are not clicks of their own.
TEST(Win32TrayIcon, KeyboardSelectionsAreLeftClicks) {
  Win32Tray tray;
  std::vector<os::TrayEvent> events;
  os::TraySpec spec = spec_with(drawn(kBaseLookActive, false, false));
  spec.on_event = [&](const os::TrayEvent& e) {
    if (e.kind == os::TrayEventKind::Click) events.push_back(e);
  };
  ASSERT_TRUE(tray.create(spec));
  HWND hwnd = reinterpret_cast<HWND>(tray.window());
  const UINT uid = tray.notify_id("main");
  auto send = [&](UINT event) {
    SendMessageW(hwnd, Win32Tray::callback_message(), MAKEWPARAM(600, 1000), MAKELPARAM(event, uid));
  };
  auto clicks = [&] {
    std::vector<std::string> out;
    for (const os::TrayEvent& e : events) {
      out.push_back(std::string(e.button == os::MouseButton::Left ? "left " : "other ") +
                    (e.state == os::ButtonState::Down ? "down" : "up"));
    }
    events.clear();
    return out;
  };
  const std::vector<std::string> one_click{"left down", "left up"};
  send(NIN_KEYSELECT);  // Enter: twice
  send(NIN_KEYSELECT);
  EXPECT_EQ(clicks(), one_click) << "Enter";
  send(WM_LBUTTONDOWN);  // the mouse
  send(WM_LBUTTONUP);
  send(NIN_SELECT);
  EXPECT_EQ(clicks(), one_click) << "a mouse click";
  send(NIN_SELECT);  // selected with the mouse, opened with Enter
  EXPECT_EQ(clicks(), one_click) << "Enter on an icon the mouse selected";
  tray.remove("main");
}

// One menu entry as the menu window shows it.
struct ShownItem {
  std::wstring text;
  bool separator = false;
  bool grayed = false;
  bool checked = false;
  bool submenu = false;
};

std::vector<ShownItem> read_menu(HMENU menu) {
  std::vector<ShownItem> items;
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    wchar_t text[256] = {};
    mii.dwTypeData = text;
    mii.cch = 255;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii);
    items.push_back({text, (mii.fType & MFT_SEPARATOR) != 0, (mii.fState & MFS_GRAYED) != 0,
                     (mii.fState & MFS_CHECKED) != 0, mii.hSubMenu != nullptr});
  }
  return items;
}

HWND find_menu_window() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        wchar_t cls[16];
        if (pid == GetCurrentProcessId() && IsWindowVisible(w) && GetClassNameW(w, cls, 16) &&
            std::wstring_view(cls) == L"#32768") {
          *reinterpret_cast<HWND*>(p) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST(Win32TrayIcon, TheRightButtonOpensTheMenuAndAnItemCanBeChosen) {
  Win32Tray tray;
  std::vector<std::string> chosen;
  std::vector<os::TrayEvent> events;
  os::TraySpec spec = spec_with(drawn(kBaseLookActive, false, false));
  spec.menu = {
      {os::TrayMenuItemKind::Plain, "head", "Harvel", false, false, {}},
      {os::TrayMenuItemKind::Check, "toggle", "Yoqilgan", true, true, {}},
      {os::TrayMenuItemKind::Separator, "", "", true, false, {}},
      {os::TrayMenuItemKind::Submenu, "", "Shu dastur uchun rejim: R&D",
       true, false, {{os::TrayMenuItemKind::Check, "app:off", "O\u2018chiq", true, true, {}}}},
      {os::TrayMenuItemKind::Separator, "", "", true, false, {}},
      {os::TrayMenuItemKind::Plain, "go:/settings", "Sozlamalar", true, false, {}},
      {os::TrayMenuItemKind::Separator, "", "", true, false, {}},
      {os::TrayMenuItemKind::Plain, "quit", "Chiqish", true, false, {}},
  };
  spec.on_menu = [&](std::string_view id) { chosen.emplace_back(id); };
  spec.on_event = [&](const os::TrayEvent& e) { events.push_back(e); };
  ASSERT_TRUE(tray.create(spec));

  std::vector<ShownItem> shown;
  std::atomic<bool> answered{false};
  std::thread user([&] {
    HWND menu = nullptr;
    wait_until([&] { return (menu = find_menu_window()) != nullptr; }, kEventWait);
    if (!menu) return;
    shown = read_menu(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)));
    // From no selection, Up goes to the last item, again to the one above it.
    for (WPARAM key : {VK_UP, VK_UP, VK_RETURN}) {
      PostMessageW(menu, WM_KEYDOWN, key, 0);
      std::this_thread::sleep_for(30ms);
    }
    answered = true;
  });
  PostMessageW(reinterpret_cast<HWND>(tray.window()), Win32Tray::callback_message(), tray.notify_id("main"),
               WM_RBUTTONUP);
  const bool done = pump_until([&] { return !chosen.empty() || (answered && find_menu_window() == nullptr); }, kEventWait);
  user.join();
  EXPECT_TRUE(done);
  ASSERT_EQ(chosen, std::vector<std::string>{"go:/settings"});
  ASSERT_EQ(shown.size(), 8u);
  EXPECT_EQ(shown[0].text, L"Harvel");
  EXPECT_TRUE(shown[0].grayed);
  EXPECT_TRUE(shown[1].checked);
  EXPECT_FALSE(shown[1].grayed);
  EXPECT_TRUE(shown[2].separator);
  EXPECT_TRUE(shown[3].submenu);
  EXPECT_EQ(shown[3].text, L"Shu dastur uchun rejim: R&&D") << "an ampersand is shown, not a mnemonic";
  EXPECT_EQ(shown[5].text, L"Sozlamalar");
  EXPECT_EQ(shown[7].text, L"Chiqish");
  // The right button's release is also reported, and ignored by the program.
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].button, os::MouseButton::Right);
  tray.remove("main");
}

}  // namespace
}  // namespace harvel
