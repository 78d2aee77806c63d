// Whether the WebView2 runtime is installed, asked of its loader DLL.
#pragma once

#include <optional>
#include <string>

namespace harvel::win32 {

inline constexpr wchar_t kWebView2Loader[] = L"WebView2Loader.dll";

// The version of the installed runtime. The loader is loaded at run time
// (from the program's folder or the system folder, never the working folder);
// no loader, no exported query, or a failing query all mean no runtime.
std::optional<std::wstring> webview2_runtime_version(const wchar_t* loader = kWebView2Loader);

}  // namespace harvel::win32
