#include "core/json_text.h"

#include "core/text.h"

namespace harvel {

namespace {

void append_escaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += ch;
        }
    }
  }
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  if (text::is_valid_utf8(text)) {
    append_escaped(out, text);
  } else {
    append_escaped(out, text::encode_utf8(text::decode_utf8_lossy(text)));
  }
  out += '"';
}

}  // namespace harvel
