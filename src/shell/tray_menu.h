// The tray icon's tooltip and menu, kept current on the event-loop thread.
#pragma once

namespace harvel {

class App;

// Posts a tray refresh to the event-loop thread and returns at once.
void set_tray_menu(App& app);
// Rebuilds the tray's look, tooltip and menu when their content changed.
void refresh_tray(App& app);

}  // namespace harvel
