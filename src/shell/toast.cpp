#include "shell/toast.h"

#include "core/app.h"

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

}  // namespace harvel
