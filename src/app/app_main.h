// The program's entry once the system is up: single instance, global
// shortcut, window events, commands, the main window, set-up, event loop.
#pragma once

#include <string>
#include <vector>

namespace harvel {

class App;

// Runs the program with the platform installed; returns the exit code.
int run_app(App& app, const std::vector<std::string>& args);

}  // namespace harvel
