// The accelerator grammar of the global shortcut ("Control+Shift+U"):
// modifiers, then exactly one key, joined by '+'. Names are matched without
// regard to case and may have blanks around them.
//
//   modifiers  Shift; Control, Ctrl; Alt, Option; Super, Meta, Cmd, Command
//              (the Windows key); CmdOrCtrl, CommandOrControl (Control here)
//   keys       the web platform's KeyboardEvent.code names (KeyU, Digit1, F5,
//              Space, Enter, ArrowUp, Numpad7, Backquote, ...) and the short
//              names (U, 1, Up, Esc, Plus, "[", ...)
#pragma once

#include <optional>
#include <string_view>

#include "platform/os.h"

namespace harvel {

// The MOD_* bits and the Windows virtual-key code; none when the text does
// not follow the grammar.
std::optional<os::Hotkey> parse_accelerator(std::string_view text);

}  // namespace harvel
