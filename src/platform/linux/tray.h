// The tray on the Linux host: an ayatana AppIndicator (StatusNotifier) per
// icon. While no StatusNotifier host runs, the indicator falls back to an
// icon of ours in the XEmbed tray (GtkStatusIcon), which has a tooltip,
// reports left clicks and opens the menu on the right button only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/linux_host.h"
#include "platform/os.h"

namespace harvel::linux_host {

class LinuxTray final : public os::Tray {
 public:
  explicit LinuxTray(LinuxEventLoop& loop);
  ~LinuxTray() override;
  LinuxTray(const LinuxTray&) = delete;
  LinuxTray& operator=(const LinuxTray&) = delete;

  bool create(const os::TraySpec& spec) override;
  bool exists(std::string_view id) override;
  bool set_image(std::string_view id, const os::TrayImage& image) override;
  bool set_tooltip(std::string_view id, std::string_view tooltip) override;
  bool set_menu(std::string_view id, const os::TrayMenu& menu) override;
  void remove(std::string_view id) override;
  std::optional<os::TrayIconArea> icon_area(std::string_view id) override;

  struct Icon;
  // Loop thread: the icon with `id`, none when it has been removed.
  Icon* find(std::string_view id);

 private:
  LinuxEventLoop& loop_;
  std::string image_dir_;  // where the StatusNotifier host reads the images from
  std::map<std::string, std::unique_ptr<Icon>, std::less<>> icons_;
};

}  // namespace harvel::linux_host
