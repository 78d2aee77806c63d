#include "online/remote_disable.h"

#include <string>

#include "core/text.h"
#include "core/unicode.h"

namespace harvel {

std::string_view default_remote_disable_text() { return "Harvel vaqtincha o\u2018chirilgan."; }

namespace {

bool blank(std::string_view message) {
  for (char32_t c : text::decode_utf8_lossy(message)) {
    if (!unicode::is_white_space(c)) return false;
  }
  return true;
}

}  // namespace

ToastData build_remote_disable_notice(std::string_view message) {
  ToastData notice;
  notice.title = "Harvel vaqtincha to\u2018xtatildi";
  notice.kind = ToastKind::Error;
  if (blank(message) || message == default_remote_disable_text()) {
    notice.body = "Administrator tomonidan o\u2018chirilgan. Yozganingiz o\u2018zgarmaydi";
  } else {
    notice.body = std::string(message);
  }
  return notice;
}

}  // namespace harvel

namespace harvel {

void run_kill_switch_poll(App& app) {
  // Polling the maker's remote-disable order comes with the online services;
  // until then the thread has nothing to do and ends.
  (void)app;
}

}  // namespace harvel
