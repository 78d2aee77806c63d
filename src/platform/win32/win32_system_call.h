// System functions looked up at run time: later versions of Windows added
// them, and Wine lacks some.
#pragma once

#include <windows.h>

namespace harvel::win32 {

// The function `name` of a system module (loaded when it is not yet); null
// when either is missing.
template <typename Fn>
Fn system_call(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  if (!m) m = LoadLibraryW(module);
  if (!m) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

}  // namespace harvel::win32
