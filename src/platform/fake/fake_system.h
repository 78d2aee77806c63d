// A scriptable in-memory system for tests: keyboard input and layouts,
// foreground windows and processes, clocks, web-view events and the event
// loop. Tests set what the system would report and read what the program
// did (every SendInput batch, every event passed on, every emitted event).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/fake_files.h"
#include "platform/os.h"

namespace harvel::fake {

// Layout handles the fake understands; any other handle types no character.
inline constexpr os::LayoutHandle kLayoutUs = 0x04090409;
// US, but the apostrophe key types U+2019 (as typographic layouts do).
inline constexpr os::LayoutHandle kLayoutUsTypographic = 0xF0010409;
// Russian ЙЦУКЕН: no Latin letters at all.
inline constexpr os::LayoutHandle kLayoutCyrillic = 0x04190419;
inline constexpr os::LayoutHandle kLayoutNone = 0;

// What the layout `layout` types for a key with the given Shift and Caps Lock
// state (the fake's ToUnicodeEx); 0 when the key gives no character.
char32_t layout_char(os::LayoutHandle layout, uint32_t vk, bool shift, bool caps);

struct FakeWindow {
  uint32_t thread = 0;
  uint32_t pid = 0;
  std::u16string class_name;
  int32_t style = 0;
};

class FakeSystem final : public os::KeyboardInput,
                         public os::Foreground,
                         public os::Clock,
                         public os::WebViews,
                         public os::EventLoop {
 public:
  FakeSystem();

  // The interfaces of this system (no keyboard hook: see FakeHook).
  os::Platform platform();

  // File writes, recorded.
  FakeFiles files;

  // ---- keyboard input ----
  os::HookResult call_next_hook(const os::KeyEvent& event) override;
  void send_input(std::span<const os::KeyInput> batch) override;
  int16_t key_state(uint32_t vk) override;
  os::LayoutHandle keyboard_layout(uint32_t thread_id) override;
  int to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state,
                 std::span<char16_t> out, uint32_t flags, os::LayoutHandle layout) override;
  uint32_t map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle layout) override;

  std::vector<os::InputBatch> sent;   // every SendInput batch, in order
  int next_hook_calls = 0;            // events passed on to the next hook
  os::HookResult next_hook_result = 0;
  // Called inside send_input after the batch is recorded (to re-enter the hook).
  std::function<void(std::span<const os::KeyInput>)> on_send_input;
  // Replaces the layout tables of to_unicode when set.
  std::function<int(uint32_t vk, const std::array<uint8_t, 256>& key_state, std::span<char16_t> out)>
      to_unicode_override;
  // Arguments of the last to_unicode call.
  struct ToUnicodeCall {
    uint32_t vk = 0;
    uint32_t scan = 0;
    std::array<uint8_t, 256> key_state{};
    std::size_t out_size = 0;
    uint32_t flags = 0;
    os::LayoutHandle layout = 0;
  };
  std::optional<ToUnicodeCall> last_to_unicode;

  void set_caps_lock(bool on);
  bool caps_lock() const { return (key_states_[0x14] & 1) != 0; }
  // GetKeyState's answer for a key (high bit: down; low bit: toggled).
  void set_key_state(uint32_t vk, int16_t state) { key_states_[vk & 0xFF] = state; }
  // The layout of one thread, and of every thread without its own.
  void set_thread_layout(uint32_t thread, os::LayoutHandle layout) { layouts_[thread] = layout; }
  os::LayoutHandle default_layout = kLayoutUs;

  // ---- foreground ----
  os::WindowHandle foreground_window() override { return foreground; }
  uint32_t window_thread_process_id(os::WindowHandle window, uint32_t& pid) override;
  std::optional<std::u16string> process_image_path(uint32_t pid) override;
  std::optional<os::GuiThreadInfo> gui_thread_info(uint32_t thread_id) override;
  int32_t window_style(os::WindowHandle window) override;
  std::u16string class_name(os::WindowHandle window, std::size_t max_units) override;
  std::optional<bool> process_elevated(uint32_t pid) override;
  std::optional<bool> own_process_elevated() override { return own_elevation; }

  os::WindowHandle foreground = 0;
  std::map<os::WindowHandle, FakeWindow> windows;
  std::map<uint32_t, std::u16string> process_paths;       // pid -> image path; absent: unreadable
  std::map<uint32_t, std::optional<bool>> elevation;      // pid -> token elevation; absent or none: unknown
  std::optional<bool> own_elevation = false;              // this process's; none: unknown
  std::map<uint32_t, os::GuiThreadInfo> gui_threads;      // thread -> info; absent: the call fails
  int image_path_queries = 0;

  // Makes a new program the foreground one: a process with `image_path`, a
  // top window of class "Notepad" and a focused child of class "Edit".
  // Returns the top window.
  os::WindowHandle open_app(std::u16string_view image_path);
  // Class and style of the foreground thread's focused control.
  void set_focus_control(std::u16string_view class_name, int32_t style);
  // The foreground thread's focused control is (not) a password box.
  void set_password_focus(bool on);
  // The foreground window's thread (0 without one).
  uint32_t foreground_thread() const;

  // ---- clocks ----
  os::Instant now() override { return mono_; }
  int64_t unix_ms() override { return unix_ms_; }
  void advance(std::chrono::milliseconds ms) {
    mono_ += ms;
    unix_ms_ += ms.count();
  }
  void set_unix_ms(int64_t ms) { unix_ms_ = ms; }

  // ---- web views and the event loop ----
  void emit_all(std::string_view event, std::string_view payload_json) override;
  void post(std::function<void()> task) override;
  // Runs the tasks posted so far (and those they post); returns how many ran.
  int run_posted();
  std::vector<std::pair<std::string, std::string>> emitted();

 private:
  std::array<int16_t, 256> key_states_{};
  std::map<uint32_t, os::LayoutHandle> layouts_;
  os::Instant mono_;
  int64_t unix_ms_ = 1'700'000'000'000;
  uint32_t next_id_ = 100;

  std::mutex loop_mutex_;
  std::deque<std::function<void()>> posted_;
  std::vector<std::pair<std::string, std::string>> emitted_;
};

}  // namespace harvel::fake
