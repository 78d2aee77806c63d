#include "platform/win32/win32_webview2.h"

#include <windows.h>
#include <objbase.h>

namespace harvel::win32 {

namespace {

// The loader's export, declared here: (browser folder or null for the
// installed runtime, out: the version text, freed with CoTaskMemFree).
using GetVersionStringFn = HRESULT(STDAPICALLTYPE*)(PCWSTR browser_executable_folder, LPWSTR* version_info);

}  // namespace

std::optional<std::wstring> webview2_runtime_version(const wchar_t* loader) {
  HMODULE module = LoadLibraryExW(loader, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return std::nullopt;
  std::optional<std::wstring> version;
  const auto query = reinterpret_cast<GetVersionStringFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "GetAvailableCoreWebView2BrowserVersionString")));
  if (query) {
    LPWSTR text = nullptr;
    const HRESULT hr = query(nullptr, &text);
    if (SUCCEEDED(hr) && text && *text) version = std::wstring(text);
    if (text) CoTaskMemFree(text);
  }
  FreeLibrary(module);
  return version;
}

}  // namespace harvel::win32
