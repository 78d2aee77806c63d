// Short notices to the user (shown by the shell as "toasts"), and the way any
// part of the program posts one.
#pragma once

#include <cstdint>
#include <string>

namespace harvel {

class App;

enum class ToastKind : uint8_t { Info = 0, Off = 1, Warn = 2, Ok = 3, Error = 4 };

struct ToastData {
  std::string title;
  std::string body;
  ToastKind kind = ToastKind::Info;
  bool operator==(const ToastData&) const = default;
};

// Posts a notice: the application's notice handler, when set, sees it first,
// then the notice sink (the toast window, installed at set-up) shows it.
// Returns at once.
void post_notice(App& app, ToastData notice);
void post_notice(App& app, std::string title, std::string body, ToastKind kind);

}  // namespace harvel
