// The remote-disable notice: what the user sees when the maker has switched
// conversion off, and when turning it on is refused for that reason.
#pragma once

#include <string_view>

#include "shell/toast.h"

namespace harvel {

// The message used when an order carries none.
std::string_view default_remote_disable_text();

// Title "Harvel vaqtincha to‘xtatildi", kind error; the text is the message,
// or a fixed explanation when the message is blank or the default one.
ToastData build_remote_disable_notice(std::string_view message);

class App;
// The remote-disable poll's thread body.
void run_kill_switch_poll(App& app);

}  // namespace harvel
