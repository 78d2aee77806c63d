#include "platform/win32/win32_webview2.h"

#include "platform/win32/win32_shell.h"

#include <windows.h>
#include <objbase.h>

#include "platform/win32/webview2_api.h"
#include "platform/win32/webview2_runtime_client.h"

namespace harvel::win32 {

namespace {

std::optional<std::wstring> registry_text(HKEY root, const wchar_t* key, const wchar_t* value) {
  DWORD bytes = 0;
  if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS || bytes == 0) {
    return std::nullopt;
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

bool usable_version(const std::optional<std::wstring>& v) { return v && !v->empty() && *v != L"0.0.0.0"; }

}  // namespace

std::optional<std::wstring> loader_beside_program() {
  const auto program = module_path();
  if (!program) return std::nullopt;
  const std::size_t slash = program->find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::nullopt;
  std::wstring path = program->substr(0, slash + 1) + kWebView2Loader;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return path;
}

std::optional<WebView2Install> installed_webview2_runtime() {
  struct Place {
    HKEY root;
    const wchar_t* key;
    bool per_user;
  };
  const Place places[] = {
      {HKEY_LOCAL_MACHINE, kWebView2ClientKeyWow64, false},
      {HKEY_LOCAL_MACHINE, kWebView2ClientKey, false},
      {HKEY_CURRENT_USER, kWebView2ClientKey, true},
  };
  for (const Place& p : places) {
    std::optional<std::wstring> version = registry_text(p.root, p.key, L"pv");
    if (usable_version(version)) return WebView2Install{std::move(*version), p.key, p.per_user};
  }
  return std::nullopt;
}

std::optional<std::wstring> webview2_loader_version(const wchar_t* loader) {
  HMODULE module = LoadLibraryExW(loader, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return std::nullopt;
  std::optional<std::wstring> version;
  const auto query = reinterpret_cast<wv2::GetVersionStringFn>(
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

std::optional<std::wstring> webview2_runtime_version() {
  if (const auto loader = loader_beside_program()) return webview2_loader_version(loader->c_str());
  if (auto install = installed_webview2_runtime()) return std::move(install->version);
  return std::nullopt;
}

long create_webview2_environment(const std::wstring& user_data_folder,
                                 wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (const auto loader = loader_beside_program()) {
    // Kept loaded for the life of the process: the environment lives in it.
    HMODULE module = LoadLibraryExW(loader->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    const auto create = reinterpret_cast<wv2::CreateEnvironmentWithOptionsFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "CreateCoreWebView2EnvironmentWithOptions")));
    if (!create) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return create(nullptr, user_data_folder.c_str(), nullptr, handler);
  }
  const auto install = installed_webview2_runtime();
  if (!install) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  return create_environment_from_runtime(*install, user_data_folder, handler);
}

}  // namespace harvel::win32
