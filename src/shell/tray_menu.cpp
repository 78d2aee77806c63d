#include "shell/tray_menu.h"

#include "core/app.h"
#include "platform/os.h"

namespace harvel {

void set_tray_menu(App& app) {
  if (os::EventLoop* loop = os::platform().event_loop) {
    loop->post([&app] { refresh_tray(app); });
  }
}

void refresh_tray(App& app) {
  // The tray icon is created with the desktop shell; until then there is
  // nothing to refresh.
  (void)app;
}

}  // namespace harvel
