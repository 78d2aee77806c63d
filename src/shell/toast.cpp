#include "shell/toast.h"

#include "core/app.h"
#include "platform/os.h"

namespace harvel {

const char* toast_kind_name(ToastKind kind) {
  switch (kind) {
    case ToastKind::Info: return "info";
    case ToastKind::Off: return "off";
    case ToastKind::Warn: return "warn";
    case ToastKind::Ok: return "ok";
    case ToastKind::Error: return "error";
  }
  return "info";
}

void show_toast(App& app, std::string title, std::string body, ToastKind kind) {
  show_prepared_toast(app, ToastData{std::move(title), std::move(body), kind});
}

void show_prepared_toast(App& app, ToastData data) {
  // The toast window comes with the desktop shell; until then notices go to
  // the application's notice handler.
  if (const auto& handler = app.notice_handler()) handler(data);
}

// ---- Closing the toast window (body of the command "toast_close") ----------

void hide_toast_window(App&) {
  if (os::WebWindows* windows = os::platform().windows; windows && windows->exists("toast")) windows->destroy("toast");
  // The toast lock and generation that cancel the pending expiry come with the toast window.
}

}  // namespace harvel
