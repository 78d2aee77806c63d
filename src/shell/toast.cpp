#include "shell/toast.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/app.h"
#include "core/records.h"

namespace harvel {

namespace {

constexpr std::string_view kToastLabel = "toast";

// toast_lock with what it guards: the generation, bumped by every new toast
// and every close, so that an older toast's expiry does nothing. `changed`
// wakes a waiting expiry when the generation moves on (its step would then
// do nothing anyway, so the thread ends early).
//
// `threads` counts the show threads still running. It is not under the lock:
// a notice is posted from the event-loop thread too, and a toast thread holds the
// lock while the loop thread creates its window.
struct ToastState {
  std::mutex lock;
  std::condition_variable changed;
  uint64_t generation = 0;
  ToastTimes times;
  std::atomic<int> threads{0};
};

ToastState& toast_state() {
  static ToastState s;
  return s;
}

// Under the lock.
void bump_generation(ToastState& s) {
  ++s.generation;
  s.changed.notify_all();
}

os::WindowSpec toast_window_spec(const LogicalPoint& at, std::string start_script) {
  os::WindowSpec spec;
  spec.label = std::string(kToastLabel);
  spec.url = "index.html";
  spec.title = "Harvel";
  spec.width = kToastWidth;
  spec.height = kToastHeight;
  spec.x = at.x;
  spec.y = at.y;
  spec.visible = true;
  spec.frameless = true;
  spec.resizable = false;
  spec.transparent = true;
  spec.focus = false;
  // A notice under the window in front would go unseen; it has no task-bar
  // button of its own.
  spec.always_on_top = true;
  spec.skip_taskbar = true;
  spec.start_script = std::move(start_script);
  return spec;
}

}  // namespace

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

ToastData toast_data_new(std::string_view title, std::string_view body, uint8_t kind) {
  return ToastData{std::string(title), std::string(body), static_cast<ToastKind>(kind)};
}

std::string toast_json(const ToastData& data) {
  std::string json;
  try {
    Json j;
    j["title"] = data.title;
    j["body"] = data.body;
    j["kind"] = toast_kind_name(data.kind);
    json = j.dump();  // strict: text that is not UTF-8 throws
  } catch (const Json::exception&) {
    return "{}";
  }
  // Only string contents can hold these characters.
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '<') {
      out += "\\u003c";
    } else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
               (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
      out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string toast_start_script(std::string_view json) {
  std::string script = "window.__toast = ";
  script += json;
  script += "; if (!location.hash.startsWith('#/toast')) location.hash = '#/toast';";
  return script;
}

LogicalPoint bottom_right_position(const os::Rect& rect, double scale, double box_width, double box_height) {
  const double right = static_cast<double>(rect.x) + static_cast<double>(rect.width);
  const double bottom = static_cast<double>(rect.y) + static_cast<double>(rect.height);
  return {right / scale - box_width - 16.0, bottom / scale - box_height - 64.0};
}

LogicalPoint toast_position() {
  if (os::Monitors* monitors = os::platform().monitors) {
    if (const auto primary = monitors->primary_monitor()) {
      return bottom_right_position(primary->rect, primary->scale_factor, kToastWidth, kToastHeight);
    }
  }
  return {kToastFallbackPosition, kToastFallbackPosition};
}

void show_notice_window(App& app, ToastData data) {
  std::string script = toast_start_script(toast_json(data));
  ToastState& s = toast_state();
  ++s.threads;
  try {
    std::thread([&app, script = std::move(script)]() mutable {
      show_toast_window(app, std::move(script));
      --toast_state().threads;
    }).detach();
  } catch (const std::system_error&) {
    // No thread, no toast: the notice is lost, as a failed window would be.
    --s.threads;
  }
}

void show_toast_window(App&, std::string start_script) {
  ToastState& s = toast_state();
  std::unique_lock lock(s.lock);
  bump_generation(s);
  const uint64_t mine = s.generation;
  const ToastTimes times = s.times;
  os::WebWindows* windows = os::platform().windows;
  if (windows == nullptr) return;
  if (windows->exists(kToastLabel)) {
    windows->destroy(kToastLabel);
    std::this_thread::sleep_for(times.replace_pause);
  }
  const bool created = windows->create(toast_window_spec(toast_position(), std::move(start_script)));
  if (!created) return;
  // The lock is not held while the toast is up.
  s.changed.wait_for(lock, times.life, [&] { return s.generation != mine; });
  if (s.generation != mine) return;  // replaced or closed meanwhile
  if (os::WebWindows* w = os::platform().windows; w && w->exists(kToastLabel)) w->destroy(kToastLabel);
}

void hide_toast_window(App&) {
  ToastState& s = toast_state();
  std::lock_guard lock(s.lock);
  bump_generation(s);
  if (os::WebWindows* windows = os::platform().windows; windows && windows->exists(kToastLabel)) {
    windows->destroy(kToastLabel);
  }
}

void set_toast_times(ToastTimes times) {
  ToastState& s = toast_state();
  std::lock_guard lock(s.lock);
  s.times = times;
}

void finish_toast_threads() {
  ToastState& s = toast_state();
  std::unique_lock lock(s.lock);
  // A thread that has not reached the lock yet starts a new wait after the
  // bump, so bump until none is left (polling: an ending thread does not
  // signal).
  while (s.threads.load() > 0) {
    bump_generation(s);
    s.changed.wait_for(lock, std::chrono::milliseconds(5));
  }
}

}  // namespace harvel
