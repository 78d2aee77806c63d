#include "platform/win32/win32_dialogs.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace harvel::win32 {

int Win32Dialogs::message_box(std::string_view caption, std::string_view text, uint32_t flags) {
  return MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), flags);
}

}  // namespace harvel::win32
