// The Windows message box.
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

class Win32Dialogs final : public os::Dialogs {
 public:
  int message_box(std::string_view caption, std::string_view text, uint32_t flags) override;
};

}  // namespace harvel::win32
