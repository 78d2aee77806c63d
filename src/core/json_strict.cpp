#include "core/json_strict.h"

#include <exception>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace harvel {

namespace {

using Json = nlohmann::ordered_json;

// Builds the tree from the parser's events. The parser itself is not
// recursive; the depth check here bounds the tree, so a deep text is an error
// and never a deep recursion later (in dump, comparisons and so on).
class StrictBuilder final : public nlohmann::json_sax<Json> {
 public:
  explicit StrictBuilder(const StrictJsonOptions& options) : options_(options) {}

  bool null() override { return add(Json(nullptr)); }
  bool boolean(bool v) override { return add(Json(v)); }
  bool number_integer(number_integer_t v) override { return add(Json(v)); }
  bool number_unsigned(number_unsigned_t v) override { return add(Json(v)); }
  bool number_float(number_float_t v, const string_t&) override { return add(Json(v)); }
  bool string(string_t& v) override { return add(Json(std::move(v))); }
  bool binary(binary_t&) override { return fail("binary value"); }

  bool start_object(std::size_t) override { return open(Json::object()); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }

  bool key(string_t& k) override {
    Frame& top = stack_.back();
    const auto [seen, first] = top.keys.try_emplace(k, top.keys.size());
    if (!first) {
      if (options_.duplicates == DuplicateKeys::Error) return fail("repeated key \"" + k + "\"");
      top.repeated = true;
      if (options_.duplicates == DuplicateKeys::MarkValue) top.repeat_of = seen->second;
    }
    top.key = std::move(k);
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    return fail(ex.what());
  }

  Json take_root() { return std::move(root_); }
  const std::string& error() const { return error_; }

 private:
  struct Frame {
    Json value;                                         // the array or object being built
    std::string key;                                    // object: key of the value that comes next
    std::unordered_map<std::string, std::size_t> keys;  // object: keys seen so far, by position
    bool repeated = false;                              // object: a key came twice
    std::optional<std::size_t> repeat_of;               // MarkValue: the next value repeats this one's key
  };

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool open(Json container) {
    if (stack_.size() >= options_.max_depth) {
      return fail("nesting deeper than " + std::to_string(options_.max_depth));
    }
    stack_.push_back(Frame{std::move(container), {}, {}, false, std::nullopt});
    return true;
  }

  bool close() {
    Frame done = std::move(stack_.back());
    stack_.pop_back();
    const bool discard = done.repeated && options_.duplicates == DuplicateKeys::MarkObject;
    return add(discard ? Json(Json::value_t::discarded) : std::move(done.value));
  }

  bool add(Json v) {
    if (stack_.empty()) {
      root_ = std::move(v);
      return true;
    }
    Frame& top = stack_.back();
    if (top.value.is_array()) {
      top.value.get_ref<Json::array_t&>().push_back(std::move(v));
    } else if (top.repeat_of) {
      auto& entries = top.value.get_ref<Json::object_t&>();
      (entries.begin() + static_cast<std::ptrdiff_t>(*top.repeat_of))->second = Json(Json::value_t::discarded);
      top.repeat_of.reset();
    } else {
      // The key set already rules out repeats, so append without the ordered
      // map's linear search (which makes large objects quadratic).
      top.value.get_ref<Json::object_t&>().emplace_back(std::move(top.key), std::move(v));
    }
    return true;
  }

  StrictJsonOptions options_;
  std::vector<Frame> stack_;
  Json root_;
  std::string error_;
};

}  // namespace

std::optional<nlohmann::ordered_json> parse_json_strict(std::string_view text,
                                                        const StrictJsonOptions& options,
                                                        std::string* error) {
  auto reject = [error](std::string message) -> std::optional<Json> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  // The underlying lexer skips a leading byte order mark and takes a NUL byte
  // for the end of the input, which would let "{}\0junk" through. A raw NUL is
  // never valid JSON text, and a byte order mark is not white space.
  if (text.find('\0') != std::string_view::npos) return reject("NUL byte in JSON text");
  if (text.starts_with("\xEF\xBB\xBF")) return reject("byte order mark before JSON text");

  StrictBuilder builder(options);
  try {
    const bool ok = Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::json::input_format_t::json,
                                    /*strict=*/true, /*ignore_comments=*/false);
    if (!ok) return reject(builder.error());
  } catch (const std::exception& ex) {
    return reject(ex.what());
  }
  return builder.take_root();
}

}  // namespace harvel
