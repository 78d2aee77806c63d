#include "platform/fake/fake_system.h"

namespace harvel::fake {

namespace {

struct KeyPair {
  uint32_t vk;
  char32_t plain;
  char32_t shifted;
};

// The US layout's keys other than the letters.
constexpr KeyPair kUsKeys[] = {
    {0x30, U'0', U')'}, {0x31, U'1', U'!'}, {0x32, U'2', U'@'}, {0x33, U'3', U'#'},
    {0x34, U'4', U'$'}, {0x35, U'5', U'%'}, {0x36, U'6', U'^'}, {0x37, U'7', U'&'},
    {0x38, U'8', U'*'}, {0x39, U'9', U'('}, {0x20, U' ', U' '}, {0xBA, U';', U':'},
    {0xBB, U'=', U'+'}, {0xBC, U',', U'<'}, {0xBD, U'-', U'_'}, {0xBE, U'.', U'>'},
    {0xBF, U'/', U'?'}, {0xC0, U'`', U'~'}, {0xDB, U'[', U'{'}, {0xDC, U'\\', U'|'},
    {0xDD, U']', U'}'}, {0xDE, U'\'', U'"'},
    // Keys that type control characters, as ToUnicodeEx reports them.
    {0x08, U'\b', U'\b'}, {0x09, U'\t', U'\t'}, {0x0D, U'\r', U'\r'}, {0x1B, 0x1B, 0x1B},
};

// The Russian layout's letters by the US letter key A..Z.
constexpr char32_t kCyrillicLetters[26] = {
    U'ф', U'и', U'с', U'в', U'у', U'а', U'п', U'р', U'ш', U'о', U'л', U'д', U'ь',
    U'т', U'щ', U'з', U'й', U'к', U'ы', U'е', U'г', U'м', U'ц', U'ч', U'н', U'я',
};
// Its letters on the punctuation keys: ; ' [ ] , . `
constexpr KeyPair kCyrillicKeys[] = {
    {0xBA, U'ж', U'Ж'}, {0xDE, U'э', U'Э'}, {0xDB, U'х', U'Х'}, {0xDD, U'ъ', U'Ъ'},
    {0xBC, U'б', U'Б'}, {0xBE, U'ю', U'Ю'}, {0xC0, U'ё', U'Ё'}, {0xBF, U'.', U','},
};

char32_t cyrillic_upper(char32_t c) {
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

char32_t us_char(uint32_t vk, bool shift, bool caps) {
  if (vk >= 0x41 && vk <= 0x5A) return (shift != caps) ? vk : vk + 0x20;
  for (const KeyPair& k : kUsKeys) {
    if (k.vk == vk) return shift ? k.shifted : k.plain;
  }
  return 0;
}

// US set-1 scan codes of the letter keys A..Z.
constexpr uint32_t kLetterScans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                       0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                       0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

}  // namespace

char32_t layout_char(os::LayoutHandle layout, uint32_t vk, bool shift, bool caps) {
  switch (layout) {
    case kLayoutUs:
      return us_char(vk, shift, caps);
    case kLayoutUsTypographic:
      if (vk == 0xDE && !shift) return U'\u2019';
      return us_char(vk, shift, caps);
    case kLayoutCyrillic: {
      if (vk >= 0x41 && vk <= 0x5A) {
        const char32_t c = kCyrillicLetters[vk - 0x41];
        return (shift != caps) ? cyrillic_upper(c) : c;
      }
      for (const KeyPair& k : kCyrillicKeys) {
        if (k.vk == vk) return (shift != (caps && k.plain != U'.')) ? k.shifted : k.plain;
      }
      return us_char(vk, shift, caps);  // digits, space, the rest of the punctuation
    }
    default:
      return 0;
  }
}

FakeSystem::FakeSystem() : mono_(std::chrono::steady_clock::time_point{} + std::chrono::hours(1000)) {}

os::Platform FakeSystem::platform() {
  os::Platform p;
  p.keyboard = this;
  p.foreground = this;
  p.clock = this;
  p.web_views = this;
  p.event_loop = this;
  p.files = &files;
  return p;
}

// ---- keyboard input ----

os::HookResult FakeSystem::call_next_hook(const os::KeyEvent&) {
  ++next_hook_calls;
  return next_hook_result;
}

void FakeSystem::send_input(std::span<const os::KeyInput> batch) {
  sent.emplace_back(batch.begin(), batch.end());
  if (on_send_input) on_send_input(batch);
}

int16_t FakeSystem::key_state(uint32_t vk) { return vk < 256 ? key_states_[vk] : 0; }

void FakeSystem::set_caps_lock(bool on) {
  key_states_[0x14] = static_cast<int16_t>((key_states_[0x14] & ~1) | (on ? 1 : 0));
}

os::LayoutHandle FakeSystem::keyboard_layout(uint32_t thread_id) {
  const auto it = layouts_.find(thread_id);
  return it != layouts_.end() ? it->second : default_layout;
}

int FakeSystem::to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state,
                           std::span<char16_t> out, uint32_t flags, os::LayoutHandle layout) {
  last_to_unicode = ToUnicodeCall{vk, scan, key_state, out.size(), flags, layout};
  if (to_unicode_override) return to_unicode_override(vk, key_state, out);
  if (out.empty()) return 0;
  const char32_t c = layout_char(layout, vk, (key_state[0x10] & 0x80) != 0, (key_state[0x14] & 1) != 0);
  if (c == 0) return 0;
  if (c > 0xFFFF) {
    if (out.size() < 2) return 0;
    out[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    return 2;
  }
  out[0] = static_cast<char16_t>(c);
  return 1;
}

uint32_t FakeSystem::map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle) {
  if (map_type != os::MAPVK_VK_TO_VSC) return 0;
  if (code >= 0x41 && code <= 0x5A) return kLetterScans[code - 0x41];
  if (code >= 0x31 && code <= 0x39) return code - 0x31 + 0x02;
  switch (code) {
    case 0x30: return 0x0B;
    case 0x08: return 0x0E;
    case 0x09: return 0x0F;
    case 0x0D: return 0x1C;
    case 0x20: return 0x39;
    case 0x1B: return 0x01;
    case 0xA0: return 0x2A;
    case 0xA1: return 0x36;
    case 0xA2: return 0x1D;
    case 0xA4: return 0x38;
    case 0x14: return 0x3A;
    default: return 0;
  }
}

// ---- foreground ----

uint32_t FakeSystem::window_thread_process_id(os::WindowHandle window, uint32_t& pid) {
  const auto it = windows.find(window);
  if (it == windows.end()) {
    pid = 0;
    return 0;
  }
  pid = it->second.pid;
  return it->second.thread;
}

std::optional<std::u16string> FakeSystem::process_image_path(uint32_t pid) {
  ++image_path_queries;
  const auto it = process_paths.find(pid);
  if (it == process_paths.end()) return std::nullopt;
  return it->second;
}

std::optional<os::GuiThreadInfo> FakeSystem::gui_thread_info(uint32_t thread_id) {
  const auto it = gui_threads.find(thread_id);
  if (it == gui_threads.end()) return std::nullopt;
  return it->second;
}

int32_t FakeSystem::window_style(os::WindowHandle window) {
  const auto it = windows.find(window);
  return it != windows.end() ? it->second.style : 0;
}

std::u16string FakeSystem::class_name(os::WindowHandle window, std::size_t max_units) {
  const auto it = windows.find(window);
  if (it == windows.end() || max_units == 0) return {};
  // GetClassNameW truncates to the buffer, keeping room for the terminator.
  return it->second.class_name.substr(0, max_units - 1);
}

std::optional<bool> FakeSystem::process_elevated(uint32_t pid) {
  const auto it = elevation.find(pid);
  return it != elevation.end() ? it->second : std::nullopt;
}

os::WindowHandle FakeSystem::open_app(std::u16string_view image_path) {
  const uint32_t pid = next_id_++;
  const uint32_t thread = next_id_++;
  const os::WindowHandle top = 0x10000 + next_id_++;
  const os::WindowHandle edit = 0x10000 + next_id_++;
  process_paths[pid] = std::u16string(image_path);
  elevation[pid] = false;
  windows[top] = FakeWindow{thread, pid, u"Notepad", 0};
  windows[edit] = FakeWindow{thread, pid, u"Edit", 0};
  gui_threads[thread] = os::GuiThreadInfo{top, edit, edit};
  foreground = top;
  return top;
}

uint32_t FakeSystem::foreground_thread() const {
  const auto it = windows.find(foreground);
  return it != windows.end() ? it->second.thread : 0;
}

void FakeSystem::set_focus_control(std::u16string_view class_name, int32_t style) {
  const auto info = gui_threads.find(foreground_thread());
  if (info == gui_threads.end() || info->second.focus == 0) return;
  FakeWindow& w = windows[info->second.focus];
  w.class_name = std::u16string(class_name);
  w.style = style;
}

void FakeSystem::set_password_focus(bool on) { set_focus_control(u"Edit", on ? os::ES_PASSWORD : 0); }

// ---- web views and the event loop ----

void FakeSystem::emit_all(std::string_view event, std::string_view payload_json) {
  std::lock_guard lock(loop_mutex_);
  emitted_.emplace_back(std::string(event), std::string(payload_json));
}

void FakeSystem::post(std::function<void()> task) {
  std::lock_guard lock(loop_mutex_);
  posted_.push_back(std::move(task));
}

int FakeSystem::run_posted() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(loop_mutex_);
      if (posted_.empty()) return ran;
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
    ++ran;
  }
}

std::vector<std::pair<std::string, std::string>> FakeSystem::emitted() {
  std::lock_guard lock(loop_mutex_);
  return emitted_;
}

}  // namespace harvel::fake
