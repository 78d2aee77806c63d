// Finding the WebView2 runtime and creating its environment.
//
// The runtime is found the documented way: the Evergreen runtime's client
// key {F3017226-FE2A-4295-8BDF-00C3A9A7E4C5} under EdgeUpdate\Clients, per
// machine (HKLM, under WOW6432Node on 64-bit Windows, or without it) or per
// user (HKCU), whose value "pv" holds the installed version ("0.0.0.0" or
// empty: none). When WebView2Loader.dll lies beside the program, the loader
// answers both questions instead.
#pragma once

#include <optional>
#include <string>

namespace harvel::win32 {

namespace wv2 {
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
}

inline constexpr wchar_t kWebView2Loader[] = L"WebView2Loader.dll";
inline constexpr wchar_t kWebView2ClientKey[] =
    L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
inline constexpr wchar_t kWebView2ClientKeyWow64[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
// The runtime's state key, whose "EBWebView" names the version folder in use
// (read through the 32-bit registry view; see webview2_runtime_client.cpp).
inline constexpr wchar_t kWebView2ClientStateKey[] =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

// The version of the installed runtime: the loader's answer when
// WebView2Loader.dll lies beside the program, else the registry's. None
// means no runtime.
std::optional<std::wstring> webview2_runtime_version();

// The version a loader DLL reports (loaded from the program's folder or the
// system folder, never the working folder; no loader, no export, or a
// failing query all give none).
std::optional<std::wstring> webview2_loader_version(const wchar_t* loader);

// One install of the runtime as the registry names it.
struct WebView2Install {
  std::wstring version;
  std::wstring client_key;  // the key the version was read from
  bool per_user = false;
};

// The installs the registry names with a usable version, per machine first.
std::optional<WebView2Install> installed_webview2_runtime();

// The path of WebView2Loader.dll beside the program, when it is there.
std::optional<std::wstring> loader_beside_program();

// Starts creating the environment with `user_data_folder`; `handler` is
// called on this thread's message loop. A failure to start is returned
// (the handler is then not called).
long create_webview2_environment(const std::wstring& user_data_folder,
                                 wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace harvel::win32
