#include "support/key_script.h"

#include <charconv>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/text.h"
#include "keyboard/hook_flags.h"
#include "keyboard/key_tables.h"
#include "core/settings.h"

namespace harvel::testing {

namespace {

constexpr uint32_t VK_PACKET = 0xE7;

struct VkNameRow {
  std::string_view name;
  uint32_t vk;
};

// Canonical names first; aliases after them.
constexpr VkNameRow kVkNames[] = {
    {"BACK", 0x08},       {"TAB", 0x09},        {"RETURN", 0x0D},     {"SHIFT", 0x10},
    {"CONTROL", 0x11},    {"MENU", 0x12},       {"PAUSE", 0x13},      {"CAPITAL", 0x14},
    {"ESCAPE", 0x1B},     {"SPACE", 0x20},      {"PRIOR", 0x21},      {"NEXT", 0x22},
    {"END", 0x23},        {"HOME", 0x24},       {"LEFT", 0x25},       {"UP", 0x26},
    {"RIGHT", 0x27},      {"DOWN", 0x28},       {"INSERT", 0x2D},     {"DELETE", 0x2E},
    {"LWIN", 0x5B},       {"RWIN", 0x5C},       {"APPS", 0x5D},       {"NUMLOCK", 0x90},
    {"SCROLL", 0x91},     {"LSHIFT", 0xA0},     {"RSHIFT", 0xA1},     {"LCONTROL", 0xA2},
    {"RCONTROL", 0xA3},   {"LMENU", 0xA4},      {"RMENU", 0xA5},      {"OEM_1", 0xBA},
    {"OEM_PLUS", 0xBB},   {"OEM_COMMA", 0xBC},  {"OEM_MINUS", 0xBD},  {"OEM_PERIOD", 0xBE},
    {"OEM_2", 0xBF},      {"OEM_3", 0xC0},      {"OEM_4", 0xDB},      {"OEM_5", 0xDC},
    {"OEM_6", 0xDD},      {"OEM_7", 0xDE},      {"PACKET", 0xE7},
    // Aliases.
    {"BACKSPACE", 0x08},  {"ENTER", 0x0D},      {"CAPS", 0x14},       {"CAPSLOCK", 0x14},
    {"ESC", 0x1B},        {"SEMICOLON", 0xBA},  {"EQUAL", 0xBB},      {"COMMA", 0xBC},
    {"MINUS", 0xBD},      {"PERIOD", 0xBE},     {"SLASH", 0xBF},      {"BACKQUOTE", 0xC0},
    {"BRACKETLEFT", 0xDB}, {"BACKSLASH", 0xDC}, {"BRACKETRIGHT", 0xDD}, {"QUOTE", 0xDE},
};

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return out;
}

std::string hex(uint64_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  out.insert(0, "0x");
  return out;
}

uint64_t parse_number(std::string_view s) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  uint64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc{} || ptr != s.data() + s.size() || s.empty()) fail("not a number: " + std::string(s));
  return v;
}

// ---- tokens: words and "quoted texts" ----

struct Token {
  std::string text;  // a quoted token's text, escapes decoded (UTF-8)
  bool quoted = false;
};

void append_utf8(std::string& out, char32_t c) { out += text::encode_utf8(c); }

std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    Token t;
    std::size_t start = i;
    // A double quote starts a text token.
    if (line[i] == '"') {
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          t.text += c;
          continue;
        }
        if (i >= line.size()) fail("unfinished escape");
        const char e = line[i++];
        switch (e) {
          case '\\': t.text += '\\'; break;
          case '"': t.text += '"'; break;
          case 'n': t.text += '\n'; break;
          case 't': t.text += '\t'; break;
          case 'r': t.text += '\r'; break;
          case 'b': t.text += '\b'; break;
          case 'u': {
            if (i >= line.size() || line[i] != '{') fail("expected \\u{HEX}");
            const std::size_t close = line.find('}', i);
            if (close == std::string_view::npos) fail("expected \\u{HEX}");
            const uint64_t cp = parse_number("0x" + std::string(line.substr(i + 1, close - i - 1)));
            append_utf8(t.text, static_cast<char32_t>(cp));
            i = close + 1;
            break;
          }
          default: fail(std::string("unknown escape \\") + e);
        }
      }
      if (!closed) fail("unterminated text: " + std::string(line.substr(start)));
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') t.text += line[i++];
    }
    out.push_back(std::move(t));
  }
  return out;
}

std::string quote(std::u32string_view s) {
  std::string out = "\"";
  for (char32_t c : s) {
    switch (c) {
      case U'\\': out += "\\\\"; break;
      case U'"': out += "\\\""; break;
      case U'\n': out += "\\n"; break;
      case U'\t': out += "\\t"; break;
      case U'\r': out += "\\r"; break;
      case U'\b': out += "\\b"; break;
      default:
        if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
          out += "\\u{" + hex(c).substr(2) + "}";
        } else {
          append_utf8(out, c);
        }
    }
  }
  return out + "\"";
}

std::u32string utf8_to_u32(std::string_view s) { return text::decode_utf8_lossy(s); }

// ---- events ----

std::string_view message_name(uint32_t message) {
  switch (message) {
    case os::WM_KEYDOWN: return "down";
    case os::WM_KEYUP: return "up";
    case os::WM_SYSKEYDOWN: return "sysdown";
    case os::WM_SYSKEYUP: return "sysup";
    default: return {};
  }
}

std::optional<uint32_t> message_from_name(std::string_view name) {
  if (name == "down" || name == "repeat") return os::WM_KEYDOWN;
  if (name == "up") return os::WM_KEYUP;
  if (name == "sysdown") return os::WM_SYSKEYDOWN;
  if (name == "sysup") return os::WM_SYSKEYUP;
  return std::nullopt;
}

std::string describe_event(const os::KeyEvent& e) {
  std::string out;
  if (e.flags & os::LLKHF_INJECTED) out += "inject ";
  const std::string_view msg = message_name(e.message);
  if (msg.empty()) {
    out += "msg=";
    out += hex(e.message);
  } else {
    out += msg;
  }
  out += ' ';
  out += vk_name(e.vk_code);
  if (e.scan_code != 0) {
    out += " scan=";
    out += hex(e.scan_code);
  }
  if (e.extra_info != 0) {
    out += " extra=";
    out += hex(e.extra_info);
  }
  return out;
}

// "send up=NAME bs=N "text" key=NAME" for a well-formed replacement batch,
// else the raw inputs.
std::string describe_batch(const os::InputBatch& batch) {
  auto raw = [&] {
    std::string out = "send raw";
    for (const os::KeyInput& k : batch) {
      out += " {" + hex(k.vk) + "," + hex(k.scan) + "," + hex(k.flags) + "," + std::to_string(k.time) + "," +
             hex(k.extra_info) + "}";
    }
    return out;
  };
  std::size_t i = 0;
  // A key let go first (scan code 0, not extended, as the scripts' keys are).
  std::optional<uint16_t> released;
  if (!batch.empty() && batch[0] == os::KeyInput{batch[0].vk, 0, os::KEYEVENTF_KEYUP, 0, kInjectedMarker} &&
      batch[0].vk != 0) {
    released = batch[0].vk;
    i = 1;
  }
  if ((batch.size() - i) % 2 != 0) return raw();
  auto pair_is = [&](uint16_t vk, uint16_t scan, uint32_t flags) {
    const os::KeyInput down{vk, scan, flags, 0, kInjectedMarker};
    const os::KeyInput up{vk, scan, flags | os::KEYEVENTF_KEYUP, 0, kInjectedMarker};
    return batch[i] == down && batch[i + 1] == up;
  };
  uint64_t backspaces = 0;
  while (i < batch.size() && pair_is(0x08, 0, 0)) {
    ++backspaces;
    i += 2;
  }
  std::u16string units;
  while (i < batch.size() && batch[i].vk == 0 && pair_is(0, batch[i].scan, os::KEYEVENTF_UNICODE)) {
    units.push_back(static_cast<char16_t>(batch[i].scan));
    i += 2;
  }
  std::optional<uint16_t> extra;
  if (i < batch.size() && batch[i].vk != 0 && pair_is(batch[i].vk, 0, 0)) {
    extra = batch[i].vk;
    i += 2;
  }
  if (i != batch.size()) return raw();
  std::string out = "send";
  if (released) out += " up=" + vk_name(*released);
  if (backspaces != 0) out += " bs=" + std::to_string(backspaces);
  if (!units.empty()) out += " " + quote(text::decode_utf16_lossy(units));
  if (extra) out += " key=" + vk_name(*extra);
  return out;
}

uint32_t parse_vk(std::string_view name) {
  if (auto vk = vk_from_name(name)) return *vk;
  fail("unknown key: " + std::string(name));
}

struct EventLine {
  uint32_t message = os::WM_KEYDOWN;
  uint32_t vk = 0;
  uint32_t scan = 0;
  uintptr_t extra = 0;
  bool injected = false;
};

// [inject] MESSAGE KEY [scan=N] [extra=N], from token `i` on.
EventLine parse_event(const std::vector<Token>& t, std::size_t i, bool allow_tap, bool* tap) {
  EventLine e;
  if (i < t.size() && t[i].text == "inject") {
    e.injected = true;
    ++i;
  }
  if (i + 1 >= t.size()) fail("expected a message and a key");
  if (allow_tap && t[i].text == "tap") {
    *tap = true;
  } else if (auto m = message_from_name(t[i].text)) {
    e.message = *m;
  } else if (t[i].text.rfind("msg=", 0) == 0) {
    e.message = static_cast<uint32_t>(parse_number(std::string_view(t[i].text).substr(4)));
  } else {
    fail("unknown event: " + t[i].text);
  }
  e.vk = parse_vk(t[i + 1].text);
  for (std::size_t k = i + 2; k < t.size(); ++k) {
    const std::string_view w = t[k].text;
    if (w.rfind("scan=", 0) == 0) {
      e.scan = static_cast<uint32_t>(parse_number(w.substr(5)));
    } else if (w.rfind("extra=", 0) == 0) {
      e.extra = static_cast<uintptr_t>(parse_number(w.substr(6)));
    } else {
      fail("unexpected word: " + std::string(w));
    }
  }
  return e;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool parse_on_off(const std::string& w) {
  if (w == "on" || w == "1") return true;
  if (w == "off" || w == "0") return false;
  fail("expected on/off or 1/0: " + w);
}

Mode parse_mode(const std::string& w) {
  if (w == "off") return kModeOff;
  const Mode m = mode_from_name(w);
  if (m != kModeOff) return m;
  return static_cast<Mode>(parse_number(w));
}

os::LayoutHandle parse_layout(const std::string& w) {
  if (w == "us") return fake::kLayoutUs;
  if (w == "us-typographic") return fake::kLayoutUsTypographic;
  if (w == "cyrillic") return fake::kLayoutCyrillic;
  if (w == "none") return fake::kLayoutNone;
  fail("unknown layout: " + w);
}

}  // namespace

std::optional<uint32_t> vk_from_name(std::string_view name) {
  const std::string n = upper_ascii(name);
  if (n.size() == 1 && ((n[0] >= 'A' && n[0] <= 'Z') || (n[0] >= '0' && n[0] <= '9'))) {
    return static_cast<uint32_t>(n[0]);
  }
  if (n.size() >= 2 && n[0] == 'F' && n.find_first_not_of("0123456789", 1) == std::string::npos) {
    const uint64_t f = parse_number(std::string_view(n).substr(1));
    if (f >= 1 && f <= 24) return static_cast<uint32_t>(0x70 + f - 1);
  }
  if (n.rfind("0X", 0) == 0) return static_cast<uint32_t>(parse_number(name));
  for (const VkNameRow& row : kVkNames) {
    if (row.name == n) return row.vk;
  }
  return std::nullopt;
}

std::string vk_name(uint32_t vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
  if (vk >= 0x70 && vk <= 0x87) {
    std::string f(1, 'F');
    f += std::to_string(vk - 0x70 + 1);
    return f;
  }
  for (const VkNameRow& row : kVkNames) {
    if (row.vk == vk) return std::string(row.name);
  }
  return hex(vk);
}

std::string canonical_expectation(std::string_view line) {
  const std::vector<Token> t = tokenize(line);
  if (t.empty()) fail("empty expectation");
  if (t[0].text == "swallow" && !t[0].quoted) {
    const EventLine e = parse_event(t, 1, false, nullptr);
    os::KeyEvent ev;
    ev.message = e.message;
    ev.vk_code = e.vk;
    ev.scan_code = e.scan;
    ev.extra_info = e.extra;
    ev.flags = e.injected ? os::LLKHF_INJECTED : 0;
    return "swallow " + describe_event(ev);
  }
  if (t[0].text == "send" && !t[0].quoted) {
    if (t.size() >= 2 && t[1].text == "raw" && !t[1].quoted) return std::string(trim(line));
    uint64_t bs = 0;
    std::u32string text;
    std::optional<uint32_t> key;
    std::optional<uint32_t> released;
    for (std::size_t i = 1; i < t.size(); ++i) {
      if (t[i].quoted) {
        text += utf8_to_u32(t[i].text);
      } else if (t[i].text.rfind("up=", 0) == 0) {
        released = parse_vk(std::string_view(t[i].text).substr(3));
      } else if (t[i].text.rfind("bs=", 0) == 0) {
        bs = parse_number(std::string_view(t[i].text).substr(3));
      } else if (t[i].text.rfind("key=", 0) == 0) {
        key = parse_vk(std::string_view(t[i].text).substr(4));
      } else {
        fail("unexpected word in send: " + t[i].text);
      }
    }
    std::string out = "send";
    if (released) out += " up=" + vk_name(*released);
    if (bs != 0) out += " bs=" + std::to_string(bs);
    if (!text.empty()) out += " " + quote(text);
    if (key) out += " key=" + vk_name(*key);
    if (out == "send") fail("a send needs up=, bs=, a text or key=");
    return out;
  }
  fail("unknown expectation: " + std::string(line));
}

KeyScript parse_key_script(std::string_view file_text) {
  KeyScript script;
  bool in_expected = false;
  int number = 0;
  std::size_t pos = 0;
  while (pos <= file_text.size()) {
    std::size_t end = file_text.find('\n', pos);
    if (end == std::string_view::npos) end = file_text.size();
    const std::string_view line = trim(file_text.substr(pos, end - pos));
    pos = end + 1;
    ++number;
    if (!line.empty() && line[0] == '#') continue;
    try {
      if (line.empty()) {
        if (!script.steps.empty()) in_expected = true;
        continue;
      }
      if (!in_expected) {
        script.steps.push_back({number, std::string(line)});
        continue;
      }
      if (line.rfind("text", 0) == 0 && (line.size() == 4 || line[4] == ' ')) {
        const std::vector<Token> t = tokenize(line);
        if (t.size() != 2 || !t[1].quoted) fail("expected: text \"...\"");
        if (script.text) fail("a second text line");
        script.text = t[1].text;
        continue;
      }
      script.expected.push_back(canonical_expectation(line));
    } catch (const std::exception& e) {
      fail("line " + std::to_string(number) + ": " + e.what());
    }
  }
  if (script.steps.empty()) fail("the script has no steps");
  return script;
}

// ---- the runner ----

// Holds the rule table's lock on a thread of its own, as a settings
// publication in progress would.
struct KeyScriptRunner::BusyLock {
  std::mutex m;
  std::condition_variable cv;
  bool locked = false;
  bool release = false;
  std::thread thread;

  BusyLock() {
    thread = std::thread([this] {
      std::lock_guard rules(hook_flags().app_rules.mutex);
      std::unique_lock lock(m);
      locked = true;
      cv.notify_all();
      cv.wait(lock, [this] { return release; });
    });
    std::unique_lock lock(m);
    cv.wait(lock, [this] { return locked; });
  }
  ~BusyLock() {
    {
      std::lock_guard lock(m);
      release = true;
    }
    cv.notify_all();
    thread.join();
  }
};

KeyScriptRunner::KeyScriptRunner() : system_(std::make_unique<fake::FakeSystem>()) {
  reset_hook_flags();
  HookFlags& f = hook_flags();
  f.active = 1;
  f.mode = kModeHybrid;
  os::install_platform(system_->platform());
  system_->open_app(u"C:\\Windows\\System32\\notepad.exe");
}

KeyScriptRunner::~KeyScriptRunner() {
  busy_.reset();
  reset_hook_flags();
  os::install_platform(os::Platform{});
}

std::string KeyScriptRunner::text() const { return text::encode_utf8(box_); }

void KeyScriptRunner::run_lines(std::string_view lines) {
  std::size_t pos = 0;
  while (pos <= lines.size()) {
    std::size_t end = lines.find('\n', pos);
    if (end == std::string_view::npos) end = lines.size();
    const std::string_view line = trim(lines.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line[0] != '#') run(line);
  }
}

void KeyScriptRunner::run_script(const KeyScript& script) {
  for (const KeyScriptLine& line : script.steps) {
    try {
      run(line.text);
    } catch (const std::exception& e) {
      fail("line " + std::to_string(line.number) + " (" + line.text + "): " + e.what());
    }
  }
}

void KeyScriptRunner::run(std::string_view line) {
  const std::vector<Token> t = tokenize(line);
  if (t.empty()) return;
  const std::string& verb = t[0].text;
  if (verb == "set") {
    std::vector<std::string> words;
    for (std::size_t i = 1; i < t.size(); ++i) words.push_back(t[i].text);
    apply_set(words);
  } else if (verb == "wait") {
    if (t.size() != 2) fail("expected: wait MS");
    system_->advance(std::chrono::milliseconds(parse_number(t[1].text)));
  } else if (verb == "type") {
    if (t.size() != 2 || !t[1].quoted) fail("expected: type \"...\"");
    type_text(utf8_to_u32(t[1].text));
  } else {
    bool tap = false;
    const EventLine e = parse_event(t, 0, true, &tap);
    const uint32_t flags = e.injected ? os::LLKHF_INJECTED : 0;
    if (tap) {
      key(os::WM_KEYDOWN, e.vk, e.scan, flags, e.extra);
      key(os::WM_KEYUP, e.vk, e.scan, flags, e.extra);
    } else {
      key(e.message, e.vk, e.scan, flags, e.extra);
    }
  }
}

void KeyScriptRunner::apply_set(const std::vector<std::string>& w) {
  HookFlags& f = hook_flags();
  auto need = [&](std::size_t n) {
    if (w.size() != n) fail("set " + (w.empty() ? std::string() : w[0]) + ": wrong number of values");
  };
  if (w.empty()) fail("set what?");
  const std::string& what = w[0];
  if (what == "mode") {
    need(2);
    f.mode = parse_mode(w[1]);
  } else if (what == "active") {
    need(2);
    f.active = parse_on_off(w[1]) ? 1 : 0;
  } else if (what == "checker") {
    need(2);
    f.checker_on = parse_on_off(w[1]) ? 1 : 0;
  } else if (what == "fix-applied") {
    need(2);
    f.fix_applied = parse_on_off(w[1]) ? 1 : 0;
  } else if (what == "hybrid-key") {
    need(2);
    const auto index = find_hybrid_key(w[1]);
    if (!index) fail("unknown hybrid key: " + w[1]);
    f.hybrid_index = *index;
  } else if (what == "fast-keys") {
    need(5);
    FastKeys keys{w[1], w[2], w[3], w[4]};
    const auto indices = resolve_fast_keys(keys).value_or(kDefaultFastIndices);
    for (std::size_t slot = 0; slot < 4; ++slot) f.fast_indices[slot] = indices[slot];
  } else if (what == "app") {
    need(2);
    if (w[1] == "none") {
      system_->foreground = 0;
    } else {
      const std::string path = w[1].find('\\') != std::string::npos ? w[1] : "C:\\Program Files\\App\\" + w[1];
      system_->open_app(text::utf8_to_utf16(path));
    }
  } else if (what == "rule") {
    need(3);
    std::lock_guard lock(f.app_rules.mutex);
    f.app_rules.rules.push_back({w[1], parse_mode(w[2])});
  } else if (what == "password") {
    need(2);
    system_->set_password_focus(parse_on_off(w[1]));
  } else if (what == "layout") {
    need(2);
    system_->default_layout = parse_layout(w[1]);
  } else if (what == "layout-compatible") {
    need(2);
    f.layout_compatible = parse_on_off(w[1]) ? 1 : 0;
  } else if (what == "rules-lock") {
    need(2);
    if (w[1] == "busy") {
      if (!busy_) busy_ = std::make_unique<BusyLock>();
    } else if (w[1] == "free") {
      busy_.reset();
    } else {
      fail("expected busy or free");
    }
  } else if (what == "caps") {
    need(2);
    system_->set_caps_lock(parse_on_off(w[1]));
  } else {
    fail("unknown setting: " + what);
  }
}

void KeyScriptRunner::key(uint32_t message, uint32_t vk, uint32_t scan, uint32_t flags, uintptr_t extra) {
  os::KeyEvent e;
  e.message = message;
  e.vk_code = vk;
  e.scan_code = scan;
  e.flags = flags;
  e.extra_info = extra;
  feed(e);
}

void KeyScriptRunner::feed(const os::KeyEvent& event) {
  fake::FakeSystem& sys = *system_;
  const std::size_t sent_before = sys.sent.size();
  const int passed_before = sys.next_hook_calls;
  const os::HookResult result = low_level_keyboard_proc(state_, event);
  const bool passed = sys.next_hook_calls != passed_before;
  if (passed && result != sys.next_hook_result) fail("a passed event must return the next hook's result");
  if (!passed && result != 1) fail("an event neither passed nor swallowed (result " + std::to_string(result) + ")");
  if (state_.in_use) fail("the procedure left its state in use");
  if (!passed) log_.push_back("swallow " + describe_event(event));
  // Input injected while an event is decided reaches the focused window
  // before that event, which waits for the hook's answer: it goes through
  // the hook (which passes the program's own) into the box first.
  std::vector<os::KeyEvent> injected;
  for (std::size_t i = sent_before; i < sys.sent.size(); ++i) {
    log_.push_back(describe_batch(sys.sent[i]));
    for (const os::KeyInput& in : sys.sent[i]) {
      os::KeyEvent e;
      e.message = (in.flags & os::KEYEVENTF_KEYUP) ? os::WM_KEYUP : os::WM_KEYDOWN;
      const bool unicode = (in.flags & os::KEYEVENTF_UNICODE) != 0;
      e.vk_code = unicode ? VK_PACKET : in.vk;
      e.scan_code = in.scan;
      e.flags = os::LLKHF_INJECTED;
      e.extra_info = in.extra_info;
      injected.push_back(e);
    }
  }
  for (const os::KeyEvent& e : injected) feed(e);
  if (passed) deliver_to_box(event);
}

void KeyScriptRunner::deliver_to_box(const os::KeyEvent& e) {
  const bool down = e.message == os::WM_KEYDOWN || e.message == os::WM_SYSKEYDOWN;
  const bool up = e.message == os::WM_KEYUP || e.message == os::WM_SYSKEYUP;
  if (!down && !up) return;
  switch (e.vk_code) {
    case 0x10: case 0x11: case 0x12: case 0x5B: case 0x5C:
    case 0xA0: case 0xA1: case 0xA2: case 0xA3: case 0xA4: case 0xA5:
      box_down_[e.vk_code] = down;
      return;
    default: break;
  }
  if (!down) return;
  if (e.vk_code == 0x14) {
    system_->set_caps_lock(!system_->caps_lock());
    return;
  }
  if (e.vk_code == VK_PACKET) {
    const char16_t unit = static_cast<char16_t>(e.scan_code);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      box_high_surrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF && box_high_surrogate_ != 0) {
      box_.push_back(0x10000 + ((box_high_surrogate_ - 0xD800) << 10) + (unit - 0xDC00));
    } else {
      box_.push_back(unit);
    }
    box_high_surrogate_ = 0;
    return;
  }
  auto held = [this](uint32_t neutral, uint32_t left, uint32_t right) {
    return box_down_[neutral] || box_down_[left] || box_down_[right];
  };
  if (held(0x11, 0xA2, 0xA3) || held(0x12, 0xA4, 0xA5) || box_down_[0x5B] || box_down_[0x5C]) {
    return;  // shortcuts type nothing
  }
  switch (e.vk_code) {
    case 0x08:
      if (!box_.empty()) box_.pop_back();
      return;
    case 0x0D: box_.push_back(U'\n'); return;
    case 0x09: box_.push_back(U'\t'); return;
    default: break;
  }
  const bool shift = held(0x10, 0xA0, 0xA1);
  const os::LayoutHandle layout = system_->keyboard_layout(system_->foreground_thread());
  const char32_t c = fake::layout_char(layout, e.vk_code, shift, system_->caps_lock());
  if (c >= 0x20) box_.push_back(c);
}

void KeyScriptRunner::type_text(std::u32string_view text) {
  const os::LayoutHandle layout = system_->keyboard_layout(system_->foreground_thread());
  for (char32_t c : text) {
    uint32_t vk = 0;
    bool shift = false;
    if (c == U'\n') {
      vk = 0x0D;
    } else if (c == U'\t') {
      vk = 0x09;
    } else if (c == U'\b') {
      vk = 0x08;
    } else {
      for (int s = 0; s < 2 && vk == 0; ++s) {
        for (uint32_t k = 0x20; k < 0xFF && vk == 0; ++k) {
          if (fake::layout_char(layout, k, s == 1, false) == c) {
            vk = k;
            shift = s == 1;
          }
        }
      }
      if (vk == 0) fail("the layout has no key for " + quote(std::u32string(1, c)));
    }
    if (shift) key(os::WM_KEYDOWN, 0xA0, 0, 0, 0);
    key(os::WM_KEYDOWN, vk, 0, 0, 0);
    key(os::WM_KEYUP, vk, 0, 0, 0);
    if (shift) key(os::WM_KEYUP, 0xA0, 0, 0, 0);
  }
}

}  // namespace harvel::testing
