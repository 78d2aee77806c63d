#include "platform/fake/fake_tray.h"

namespace harvel::fake {

namespace {

std::string call(std::string_view op, std::string_view id) {
  std::string out(op);
  out.append(" ").append(id);
  return out;
}

}  // namespace

const os::TrayMenuItem* find_menu_item(const os::TrayMenu& menu, std::string_view id) {
  for (const os::TrayMenuItem& item : menu) {
    if (item.kind != os::TrayMenuItemKind::Submenu && item.kind != os::TrayMenuItemKind::Separator && item.id == id) {
      return &item;
    }
    if (const os::TrayMenuItem* inner = find_menu_item(item.items, id)) return inner;
  }
  return nullptr;
}

bool FakeTray::create(const os::TraySpec& spec) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call("create", spec.id));
  if (failing_.contains(spec.id) || icons_.contains(spec.id)) return false;
  icons_[spec.id] = FakeTrayIcon{spec.image, spec.tooltip, spec.menu, spec.on_menu, spec.on_event, std::nullopt};
  return true;
}

bool FakeTray::exists(std::string_view id) {
  std::lock_guard lock(mutex_);
  return icons_.contains(id);
}

bool FakeTray::set_image(std::string_view id, const os::TrayImage& image) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call("image", id));
  const auto it = icons_.find(id);
  if (it == icons_.end()) return false;
  it->second.image = image;
  return true;
}

bool FakeTray::set_tooltip(std::string_view id, std::string_view tooltip) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call("tooltip", id));
  const auto it = icons_.find(id);
  if (it == icons_.end()) return false;
  it->second.tooltip = std::string(tooltip);
  return true;
}

bool FakeTray::set_menu(std::string_view id, const os::TrayMenu& menu) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call("menu", id));
  const auto it = icons_.find(id);
  if (it == icons_.end()) return false;
  it->second.menu = menu;
  return true;
}

void FakeTray::remove(std::string_view id) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call("remove", id));
  if (const auto it = icons_.find(id); it != icons_.end()) icons_.erase(it);
}

std::optional<os::TrayIconArea> FakeTray::icon_area(std::string_view id) {
  std::lock_guard lock(mutex_);
  const auto it = icons_.find(id);
  if (it == icons_.end()) return std::nullopt;
  return it->second.area;
}

std::optional<FakeTrayIcon> FakeTray::icon(std::string_view id) {
  std::lock_guard lock(mutex_);
  const auto it = icons_.find(id);
  if (it == icons_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> FakeTray::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

void FakeTray::clear_calls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void FakeTray::fail_create(std::string_view id) {
  std::lock_guard lock(mutex_);
  failing_.insert(std::string(id));
}

void FakeTray::send_event(std::string_view id, const os::TrayEvent& event) {
  os::TrayEventHandler handler;
  {
    std::lock_guard lock(mutex_);
    const auto it = icons_.find(id);
    if (it == icons_.end()) return;
    handler = it->second.on_event;
  }
  if (handler) handler(event);
}

void FakeTray::click(std::string_view id, std::optional<os::TrayIconArea> area) {
  send_event(id, {os::TrayEventKind::Click, os::MouseButton::Left, os::ButtonState::Down, area});
  send_event(id, {os::TrayEventKind::Click, os::MouseButton::Left, os::ButtonState::Up, area});
}

bool FakeTray::choose(std::string_view icon_id, std::string_view item_id) {
  os::TrayMenuHandler handler;
  {
    std::lock_guard lock(mutex_);
    const auto it = icons_.find(icon_id);
    if (it == icons_.end()) return false;
    const os::TrayMenuItem* item = find_menu_item(it->second.menu, item_id);
    if (!item || !item->enabled) return false;
    handler = it->second.on_menu;
  }
  if (handler) handler(item_id);
  return true;
}

}  // namespace harvel::fake
