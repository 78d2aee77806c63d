// The one strict JSON reader of the program: exactly one JSON value followed
// only by JSON white space, a bounded nesting depth, repeated keys detected,
// strings strictly UTF-8. Every file and payload the program reads goes
// through it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace harvel {

enum class DuplicateKeys {
  Error,       // a repeated key fails the whole parse
  MarkObject,  // an object with a repeated key becomes a discarded value
  MarkValue,   // a repeated key keeps its first place, its value discarded
};

struct StrictJsonOptions {
  std::size_t max_depth = 128;  // nested arrays and objects; deeper is an error
  DuplicateKeys duplicates = DuplicateKeys::Error;
};

// Parses `text`; none on any error, with a short reason in `error` when given.
// With DuplicateKeys::MarkObject, an object holding a repeated key is kept in
// the tree as a value of type discarded (`is_discarded()`); with MarkValue
// only that key's value is. Either way the caller decides what a repeated key
// costs at each place.
std::optional<nlohmann::ordered_json> parse_json_strict(std::string_view text,
                                                        const StrictJsonOptions& options = {},
                                                        std::string* error = nullptr);

}  // namespace harvel
