#include "core/services.h"

#include "platform/os.h"

namespace harvel {

std::string autostart_command_text(std::string_view executable_path) {
  std::string text;
  text.reserve(executable_path.size() + 11);
  text += '"';
  text += executable_path;
  text += "\" --hidden";
  return text;
}

void set_autostart(bool on) {
  os::Shell* shell = os::platform().shell;
  if (!shell) return;
  if (!on) {
    shell->remove_autostart_entry();
    return;
  }
  if (const auto path = shell->executable_path()) shell->write_autostart_entry(autostart_command_text(*path));
}

void restore_autostart(bool on) {
  os::Shell* shell = os::platform().shell;
  if (!on || !shell) return;
  const auto path = shell->executable_path();
  if (!path) return;
  const std::string command = autostart_command_text(*path);
  if (!shell->autostart_entry_is(command)) shell->write_autostart_entry(command);
}

void enter_background_priority() {
  if (os::Shell* shell = os::platform().shell) shell->enter_background_priority();
}

void open_url_in_browser(std::string_view url) {
  if (os::Shell* shell = os::platform().shell) shell->spawn_detached_process(shell->browser_command(url));
}

}  // namespace harvel
