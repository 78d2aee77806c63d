// Short notices shown at the bottom right of the screen.
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

const char* toast_kind_name(ToastKind kind);

void show_toast(App& app, std::string title, std::string body, ToastKind kind);
void show_prepared_toast(App& app, ToastData data);

// ---- Closing the toast window (body of the command "toast_close") ----------

// Thread body: removes the toast window "toast" when it exists.
void hide_toast_window(App& app);

}  // namespace harvel
