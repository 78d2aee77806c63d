// The command dispatcher: the 26 commands the web application may call, how
// their arguments are read, on which thread each runs and what it answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"
#include "platform/os.h"

namespace harvel {

class App;

// The answer of a command that can be refused: {"ok":true}, or
// {"ok":false,"reason":...}.
struct Outcome {
  bool ok = true;
  std::optional<std::string> reason;

  static Outcome success() { return {}; }
  static Outcome refused(std::string why) { return {false, std::move(why)}; }
  bool operator==(const Outcome&) const = default;
};

Json to_json(const Outcome& outcome);

// Handles one call of a page: the window's label, the command name (exact,
// case-sensitive) and the JSON text of the argument object. False when the
// name is not a command (`reply` is then not used). Otherwise `reply` is
// called once: at once for the commands that run on the calling thread,
// later, from a worker of the blocking pool, for the four slow ones.
bool invoke_handler(App& app, std::string_view label, std::string_view command, std::string_view args_json,
                    os::CommandReply reply);

// invoke_handler bound to `app`, in the shape the web-view host takes.
os::CommandHandler make_command_handler(App& app);

}  // namespace harvel
