// The word's rectangle from the accessibility tree: the focused text object,
// its caret and the screen extents of its characters.
#include <atspi/atspi.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/linux/atspi_focus.h"
#include "platform/linux/linux_checker.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host {

namespace {

struct FocusFacts {
  AtspiAccessible* object = nullptr;  // a reference for the range; null unless Text
  os::UiaFocus::Kind kind = os::UiaFocus::Kind::Unavailable;
  int32_t caret = 0;
  int32_t length = 0;
  int32_t scale = 1;  // physical pixels per pixel of the program's extents
};

std::optional<os::Box> extents(AtspiText* text, int32_t start, int32_t end) {
  GError* error = nullptr;
  AtspiRect* r = end == start + 1 ? atspi_text_get_character_extents(text, start, ATSPI_COORD_TYPE_SCREEN, &error)
                                  : atspi_text_get_range_extents(text, start, end, ATSPI_COORD_TYPE_SCREEN, &error);
  if (error != nullptr) g_error_free(error);
  if (r == nullptr) return std::nullopt;
  // Another program's numbers: summed without overflow.
  auto edge = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  const os::Box box{r->x, r->y, edge(int64_t{r->x} + r->width), edge(int64_t{r->y} + r->height)};
  g_boxed_free(ATSPI_TYPE_RECT, r);
  return box;
}

bool has_size(const os::Box& b) { return b.right > b.left && b.bottom > b.top; }

// The parent process of `pid` (from /proc); 0 when it cannot be read.
uint32_t parent_of(uint32_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all;
  std::getline(stat, all);
  // "pid (name) state ppid ...": the name may hold spaces and parentheses.
  const std::size_t close = all.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(all.substr(close + 1));
  std::string state;
  uint32_t ppid = 0;
  if (!(rest >> state >> ppid)) return 0;
  return ppid;
}

// The object's process is the foreground program's or one it started (a
// web engine serves its pages' accessibility from a child process).
bool of_program(uint32_t object_pid, uint32_t foreground_pid) {
  constexpr int kGenerations = 3;
  uint32_t pid = object_pid;
  for (int i = 0; i <= kGenerations && pid > 1; ++i) {
    if (pid == foreground_pid) return true;
    pid = parent_of(pid);
  }
  return false;
}

// The scale of the object's program: the width of the foreground window as
// the X server has it over the width its top-level accessible reports.
int32_t program_scale(AtspiAccessible* object, uint32_t foreground_window) {
  const std::optional<uint32_t> physical = x11::window_width(foreground_window);
  if (!physical) return 1;
  constexpr int kMaxDepth = 64;
  AtspiAccessible* node = static_cast<AtspiAccessible*>(g_object_ref(object));
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    AtspiAccessible* parent = atspi_accessible_get_parent(node, nullptr);
    if (parent == nullptr) break;
    if (atspi_accessible_get_role(parent, nullptr) == ATSPI_ROLE_APPLICATION) {
      g_object_unref(parent);
      break;
    }
    g_object_unref(node);
    node = parent;
  }
  int32_t logical = 0;
  if (AtspiComponent* component = atspi_accessible_get_component_iface(node)) {
    if (AtspiPoint* size = atspi_component_get_size(component, nullptr)) {
      logical = size->x;
      g_free(size);
    }
    g_object_unref(component);
  }
  g_object_unref(node);
  return coordinate_scale(*physical, logical);
}

// Event-loop thread.
FocusFacts read_focus(uint32_t foreground_pid, uint32_t foreground_window) {
  FocusFacts f;
  GError* error = nullptr;
  AtspiAccessible* object = focused_accessible();
  if (object != nullptr) {
    const guint pid = atspi_accessible_get_process_id(object, &error);
    if (error != nullptr) {
      g_error_free(error);
      error = nullptr;
    }
    // The focus of another program than the one typed in (or of one gone
    // since) says nothing about the word.
    if (pid == 0 || pid == static_cast<guint>(-1) || !of_program(pid, foreground_pid)) {
      g_object_unref(object);
      object = nullptr;
    }
  }
  // No focus event of that program was seen: its windows are asked.
  if (object == nullptr) object = focused_accessible_of(foreground_pid);
  if (object == nullptr) return f;
  const AtspiRole role = atspi_accessible_get_role(object, &error);
  if (error != nullptr) {
    g_error_free(error);
    g_object_unref(object);
    return f;
  }
  if (role == ATSPI_ROLE_PASSWORD_TEXT) {
    f.kind = os::UiaFocus::Kind::Password;
    g_object_unref(object);
    return f;
  }
  AtspiText* text = atspi_accessible_get_text_iface(object);
  if (text == nullptr) {
    g_object_unref(object);
    return f;
  }
  // A program that does not answer costs one time-out, not one a call.
  const gint caret = atspi_text_get_caret_offset(text, &error);
  gint length = -1;
  if (error != nullptr) {
    g_error_free(error);
    error = nullptr;
  } else {
    length = atspi_text_get_character_count(text, &error);
    if (error != nullptr) {
      g_error_free(error);
      length = -1;
    }
  }
  g_object_unref(text);
  if (caret < 0 || length < 0 || caret > length) {
    g_object_unref(object);
    return f;
  }
  f.scale = program_scale(object, foreground_window);
  f.object = object;
  f.kind = os::UiaFocus::Kind::Text;
  f.caret = caret;
  f.length = length;
  return f;
}

class AtspiRange final : public os::UiaTextRange {
 public:
  AtspiRange(LinuxEventLoop& loop, const FocusFacts& f)
      : loop_(loop), object_(f.object), start_(f.caret), end_(f.caret), length_(f.length), scale_(f.scale) {}
  ~AtspiRange() override {
    AtspiAccessible* object = object_;
    if (loop_.on_loop_thread()) {
      g_object_unref(object);
    } else {
      loop_.post([object] { g_object_unref(object); });
    }
  }
  std::optional<int32_t> move_start(int32_t count) override {
    return move_range_endpoint(start_, end_, length_, true, count);
  }
  std::optional<int32_t> move_end(int32_t count) override {
    return move_range_endpoint(start_, end_, length_, false, count);
  }
  std::optional<std::vector<double>> bounding_rectangles() override {
    if (start_ == end_) return std::vector<double>{};
    const int32_t start = start_;
    const int32_t end = end_;
    AtspiAccessible* object = object_;
    const int32_t scale = scale_;
    return loop_.call([object, start, end, scale]() -> std::optional<std::vector<double>> {
      AtspiText* text = atspi_accessible_get_text_iface(object);
      if (text == nullptr) return std::nullopt;
      const auto first = extents(text, start, start + 1);
      const auto last = first ? extents(text, end - 1, end) : std::nullopt;
      auto range = last ? extents(text, start, end) : std::nullopt;
      g_object_unref(text);
      if (!first || !last) return std::nullopt;
      // A text object that gives no range extents: the two ends' union.
      if (!range || !has_size(*range)) {
        range = os::Box{std::min(first->left, last->left), std::min(first->top, last->top),
                        std::max(first->right, last->right), std::max(first->bottom, last->bottom)};
      }
      auto physical = [scale](const os::Box& b) {
        auto px = [scale](int32_t v) {
          return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} * scale, INT32_MIN, INT32_MAX));
        };
        return os::Box{px(b.left), px(b.top), px(b.right), px(b.bottom)};
      };
      return range_rectangles(physical(*first), physical(*last), physical(*range));
    });
  }

 private:
  LinuxEventLoop& loop_;
  AtspiAccessible* object_;
  int32_t start_;
  int32_t end_;
  int32_t length_;
  int32_t scale_;
};

}  // namespace

int32_t coordinate_scale(uint32_t physical_width, int32_t logical_width) {
  constexpr int64_t kMaxScale = 8;
  if (logical_width <= 0) return 1;
  // Whole scales only: a window's frame or shadow changes the widths a little.
  const int64_t scale = (int64_t{physical_width} + logical_width / 2) / logical_width;
  return static_cast<int32_t>(std::clamp<int64_t>(scale, 1, kMaxScale));
}

int32_t move_range_endpoint(int32_t& start, int32_t& end, int32_t length, bool move_start, int32_t count) {
  int32_t& point = move_start ? start : end;
  const int64_t wanted = static_cast<int64_t>(point) + count;
  const int32_t moved_to = static_cast<int32_t>(std::clamp<int64_t>(wanted, 0, length));
  const int32_t moved = moved_to - point;
  point = moved_to;
  if (start > end) {
    if (move_start) {
      end = start;
    } else {
      start = end;
    }
  }
  return moved;
}

std::vector<double> range_rectangles(const os::Box& first_char, const os::Box& last_char, const os::Box& range) {
  if (!has_size(range) || !has_size(first_char) || !has_size(last_char)) return {};
  auto values = [](const os::Box& b) {
    return std::vector<double>{double(b.left), double(b.top), double(b.right) - b.left, double(b.bottom) - b.top};
  };
  // The last character starts below the first one's middle: another line.
  if (int64_t{last_char.top} >= first_char.top + (int64_t{first_char.bottom} - first_char.top) / 2 + 1) {
    std::vector<double> out = values(first_char);
    const std::vector<double> second = values(last_char);
    out.insert(out.end(), second.begin(), second.end());
    return out;
  }
  return values(range);
}

os::UiaFocus LinuxUiAutomation::focused_text() {
  os::UiaFocus out;
  os::Foreground* fg = os::platform().foreground;
  if (fg == nullptr) return out;
  uint32_t pid = 0;
  const os::WindowHandle window = fg->foreground_window();
  fg->window_thread_process_id(window, pid);
  if (pid == 0) return out;
  const auto id = static_cast<uint32_t>(window);
  const FocusFacts f = loop_.call([pid, id] { return read_focus(pid, id); });
  out.kind = f.kind;
  if (f.kind == os::UiaFocus::Kind::Text) out.range = std::make_unique<AtspiRange>(loop_, f);
  return out;
}

}  // namespace harvel::linux_host
