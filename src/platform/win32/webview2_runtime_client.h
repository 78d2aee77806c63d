// Creating the environment straight from the installed runtime, without a
// loader DLL shipped beside the program. See the source for what this relies
// on beyond the documented runtime detection.
#pragma once

#include <string>

#include "platform/win32/win32_webview2.h"

namespace harvel::win32 {

// The runtime's client library for an install, when it is on disk.
std::optional<std::wstring> runtime_client_library(const WebView2Install& install);

// Loads the install's client library (kept for the life of the process) and
// asks it for an environment; the handler is called as with the loader.
long create_environment_from_runtime(const WebView2Install& install, const std::wstring& user_data_folder,
                                     wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace harvel::win32
