#include "shell/sinks.h"

#include "core/app.h"
#include "shell/toast.h"
#include "shell/tray_menu.h"

namespace harvel {

void install_shell_sinks(App& app) {
  app.set_notice_sink(show_notice_window);
  app.set_state_changed_sink(set_tray_menu);
}

}  // namespace harvel
