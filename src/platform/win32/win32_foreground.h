// The Windows foreground queries: the foreground window, its thread and
// process, the focused control and the process token.
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

class Win32Foreground final : public os::Foreground {
 public:
  os::WindowHandle foreground_window() override;
  uint32_t window_thread_process_id(os::WindowHandle window, uint32_t& pid) override;
  std::optional<std::u16string> process_image_path(uint32_t pid) override;
  std::optional<os::GuiThreadInfo> gui_thread_info(uint32_t thread_id) override;
  int32_t window_style(os::WindowHandle window) override;
  std::u16string class_name(os::WindowHandle window, std::size_t max_units) override;
  std::optional<bool> process_elevated(uint32_t pid) override;
  std::optional<bool> own_process_elevated() override;
};

}  // namespace harvel::win32
