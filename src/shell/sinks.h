// What the shell gives the rest of the program at set-up: notices become
// toast windows.
#pragma once

namespace harvel {

class App;

// Installs the notice sink on `app`; called once, before anything posts a
// notice.
void install_shell_sinks(App& app);

}  // namespace harvel
