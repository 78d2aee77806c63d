// A stand-in for the WebView2 loader DLL with the one export the program
// asks: it answers the version in HARVEL_STUB_WEBVIEW2_VERSION, or fails as
// the loader does when no runtime is installed.
#include <windows.h>
#include <objbase.h>

#include <cwchar>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
GetAvailableCoreWebView2BrowserVersionString(PCWSTR browser_executable_folder, LPWSTR* version_info) {
  if (!version_info) return E_POINTER;
  *version_info = nullptr;
  if (browser_executable_folder) return E_INVALIDARG;
  wchar_t version[64];
  const DWORD n = GetEnvironmentVariableW(L"HARVEL_STUB_WEBVIEW2_VERSION", version, 64);
  if (n == 0 || n >= 64) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(wchar_t)));
  if (!out) return E_OUTOFMEMORY;
  std::wmemcpy(out, version, n + 1);
  *version_info = out;
  return S_OK;
}
