// What the shell gives the rest of the program at set-up: notices become
// toast windows and state changes refresh the tray icon.
#pragma once

namespace harvel {

class App;

// Installs the notice sink and the state-changed sink on `app`; called once,
// before anything posts a notice or broadcasts the state.
void install_shell_sinks(App& app);

}  // namespace harvel
