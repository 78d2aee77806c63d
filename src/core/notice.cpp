#include "core/notice.h"

#include <utility>

#include "core/app.h"

namespace harvel {

void post_notice(App& app, ToastData notice) {
  if (const auto& handler = app.notice_handler()) handler(notice);
  if (const auto& sink = app.notice_sink()) sink(app, std::move(notice));
}

void post_notice(App& app, std::string title, std::string body, ToastKind kind) {
  post_notice(app, ToastData{std::move(title), std::move(body), kind});
}

}  // namespace harvel
