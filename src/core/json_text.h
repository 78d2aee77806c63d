// Compact JSON text written directly, for the records sent often (the state
// snapshot), where building a JSON tree first would cost most of the time.
#pragma once

#include <string>
#include <string_view>

namespace harvel {

// Appends `text` as a JSON string: UTF-8 kept as it is, quotes, backslashes
// and control characters escaped (\b \f \n \r \t, others \u00xx), and text
// that is not valid UTF-8 written with U+FFFD in place of each bad sequence.
void append_json_string(std::string& out, std::string_view text);

inline void append_json_bool(std::string& out, bool value) { out += value ? "true" : "false"; }

}  // namespace harvel
