// A fake notification area: keeps every icon's image, tooltip, menu and
// handlers, records each call, and lets a test click the icon or choose a
// menu item as a user would.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

struct FakeTrayIcon {
  os::TrayImage image;
  std::string tooltip;
  os::TrayMenu menu;
  os::TrayMenuHandler on_menu;
  os::TrayEventHandler on_event;
  std::optional<os::TrayIconArea> area;
};

class FakeTray final : public os::Tray {
 public:
  bool create(const os::TraySpec& spec) override;
  bool exists(std::string_view id) override;
  bool set_image(std::string_view id, const os::TrayImage& image) override;
  bool set_tooltip(std::string_view id, std::string_view tooltip) override;
  bool set_menu(std::string_view id, const os::TrayMenu& menu) override;
  void remove(std::string_view id) override;
  std::optional<os::TrayIconArea> icon_area(std::string_view id) override;

  std::optional<FakeTrayIcon> icon(std::string_view id);
  // Every call: "create", "image", "tooltip", "menu", "remove" and the id.
  std::vector<std::string> calls();
  void clear_calls();
  // Ids whose creation fails.
  void fail_create(std::string_view id);

  // Hands an event to the icon's handler, as the system would.
  void send_event(std::string_view id, const os::TrayEvent& event);
  // A left-button press and release.
  void click(std::string_view id, std::optional<os::TrayIconArea> area = std::nullopt);
  // Chooses a menu item by id: false when the menu has no enabled item with
  // that id (a disabled item cannot be chosen).
  bool choose(std::string_view icon_id, std::string_view item_id);

 private:
  std::mutex mutex_;
  std::map<std::string, FakeTrayIcon, std::less<>> icons_;
  std::set<std::string, std::less<>> failing_;
  std::vector<std::string> calls_;
};

// The item with `id` anywhere in a menu (submenus included).
const os::TrayMenuItem* find_menu_item(const os::TrayMenu& menu, std::string_view id);

}  // namespace harvel::fake
