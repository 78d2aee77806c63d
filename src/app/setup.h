// Program set-up, the window and run events it follows, and the exit.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/identity.h"
#include "platform/os.h"

namespace harvel {

class App;

// True when some argument (the program path included) is exactly "--hidden".
bool hidden_flag(const std::vector<std::string>& args);

// The per-user data folder: the roaming application-data folder joined with
// the identifier. When there is none, the temporary folder joined with
// "Harvel" if that is this user's alone (claim_private_folder), else a fresh
// private folder "Harvel-…" there. Empty when there is no folder at all.
std::filesystem::path data_folder();

// Reads and deletes the record of an installer started by the last run: the
// trimmed version it held when it is one. A file that cannot be read, or is
// not UTF-8, stays.
std::optional<std::string> take_pending_update(const std::filesystem::path& path);

// Starts one of set-up's background threads: `name` says which (threads
// have no names of their own; tests record them instead of starting them).
using ThreadStarter = std::function<void(std::string_view name, std::function<void()> body)>;
// A detached thread; one that cannot be started is left out.
void start_detached_thread(std::string_view name, std::function<void()> body);

// Builds the shared state and starts everything, in the fixed order, on the
// event-loop thread. Only the tray icon can fail; the error text is returned.
std::optional<std::string> setup_app(App& app, bool hidden,
                                     const ThreadStarter& start_thread = start_detached_thread);

// A second start of the program: the main window at "/".
void on_second_instance(App& app, const std::vector<std::string>& args, const std::string& cwd);
// Close requests and focus changes of every window.
void on_window_event(App& app, std::string_view label, os::WindowEvent& event);
// The final exit: stops the hook thread.
void on_app_exit(App& app);

}  // namespace harvel
