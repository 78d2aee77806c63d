// UI Automation for the checker's word rectangle, through a few COM calls
// declared here by their slots (MinGW's headers have no IUIAutomation). When
// the automation object cannot be created (as under Wine) every query
// answers unavailable and the checker falls back to the caret.
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

class Win32Uia final : public os::UiAutomation {
 public:
  os::UiaFocus focused_text() override;
};

// Whether the calling thread holds an automation object (tests).
bool uia_object_created();

}  // namespace harvel::win32
