// The Windows keyboard hook and input: WH_KEYBOARD_LL, SendInput and the
// layout queries behind the portable keyboard procedure.
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

class Win32Keyboard final : public os::KeyboardInput, public os::KeyboardHook {
 public:
  // KeyboardInput
  os::HookResult call_next_hook(const os::KeyEvent& event) override;
  void send_input(std::span<const os::KeyInput> batch) override;
  int16_t key_state(uint32_t vk) override;
  os::LayoutHandle keyboard_layout(uint32_t thread_id) override;
  int to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state, std::span<char16_t> out,
                 uint32_t flags, os::LayoutHandle layout) override;
  uint32_t map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle layout) override;
  std::optional<std::u16string> locale_language_name(uint32_t langid) override;

  // KeyboardHook
  std::optional<uintptr_t> install() override;
  void uninstall(uintptr_t hook) override;
  uint32_t current_thread_id() override;
  void run_message_loop() override;
  void post_quit(uint32_t thread_id) override;
};

}  // namespace harvel::win32
