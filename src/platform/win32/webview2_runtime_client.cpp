// The one step of the WebView2 start that the published documentation does
// not describe: creating an environment without WebView2Loader.dll. It
// relies on how the Evergreen runtime is laid out on disk and registered,
// and on what its loader calls, as public descriptions of the loader give
// them and installed runtimes show:
//
// - The runtime's ClientState key (EdgeUpdate\ClientState\{F3017226-...},
//   in the install's hive, read through the 32-bit registry view) holds
//   "EBWebView", the folder of the version in use; the loader looks there.
//   Failing that, the client key of the install (see win32_webview2.h) may
//   hold "location", the runtime's application folder, with one folder per
//   version below it; without either, the installer's default folders are
//   used: %ProgramFiles(x86)%\Microsoft\EdgeWebView\Application per
//   machine, %LOCALAPPDATA%\Microsoft\EdgeWebView\Application per user.
// - Below a version folder, EBWebView\x64\EmbeddedBrowserWebView.dll is the
//   runtime's client library for 64-bit programs.
// - It exports CreateWebViewEnvironmentWithOptionsInternal(bool check running
//   instance, int runtime type (0: an installed runtime), user data folder,
//   environment options, completion handler), which the loader calls after
//   the same search and which answers like
//   CreateCoreWebView2EnvironmentWithOptions.
//
// Should any of this not hold, the environment cannot be created and the
// program's windows stay empty; WebView2Loader.dll placed beside harvel.exe
// takes over this step.
#include "platform/win32/webview2_runtime_client.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "platform/win32/webview2_api.h"

namespace harvel::win32 {

namespace {

using CreateInternalFn = HRESULT(STDAPICALLTYPE*)(bool check_running_instance, int runtime_type,
                                                  PCWSTR user_data_folder, IUnknown* environment_options,
                                                  wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);
constexpr int kInstalledRuntime = 0;
constexpr wchar_t kClientLibrary[] = L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";

std::optional<std::wstring> known_folder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::optional<std::wstring> out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path && *path) out = path;
  CoTaskMemFree(path);
  return out;
}

std::optional<std::wstring> registry_text(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buffer[MAX_PATH * 2];
  DWORD bytes = sizeof(buffer);
  const LSTATUS status = RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || buffer[0] == L'\0') return std::nullopt;
  return std::wstring(buffer);
}

HKEY install_root(const WebView2Install& install) { return install.per_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

void trim_separators(std::wstring& folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::optional<std::wstring> runtime_client_library(const WebView2Install& install) {
  // Version folders, the first with the library wins.
  std::vector<std::wstring> folders;
  if (auto in_use = registry_text(install_root(install), kWebView2ClientStateKey, L"EBWebView", KEY_WOW64_32KEY)) {
    folders.push_back(std::move(*in_use));
  }
  std::vector<std::wstring> applications;
  if (auto location = registry_text(install_root(install), install.client_key.c_str(), L"location", 0)) {
    applications.push_back(std::move(*location));
  }
  const auto base = install.per_user ? known_folder(FOLDERID_LocalAppData) : known_folder(FOLDERID_ProgramFilesX86);
  if (base) applications.push_back(*base + L"\\Microsoft\\EdgeWebView\\Application");
  for (std::wstring& application : applications) {
    trim_separators(application);
    folders.push_back(application + L"\\" + install.version);
  }
  for (std::wstring folder : folders) {
    trim_separators(folder);
    std::wstring path = folder + kClientLibrary;
    if (is_file(path)) return path;
  }
  return std::nullopt;
}

long create_environment_from_runtime(const WebView2Install& install, const std::wstring& user_data_folder,
                                     wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  const auto library = runtime_client_library(install);
  if (!library) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  // Its own folder first for the libraries it needs.
  HMODULE module = LoadLibraryExW(library->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  const auto create = reinterpret_cast<CreateInternalFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "CreateWebViewEnvironmentWithOptionsInternal")));
  if (!create) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  return create(true, kInstalledRuntime, user_data_folder.c_str(), nullptr, handler);
}

}  // namespace harvel::win32
