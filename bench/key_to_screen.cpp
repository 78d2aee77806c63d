// Key-to-screen time on the Linux host: from a key entering the X server
// (an XTest press) to the text field of another program (x11_textbox)
// showing its effect, for plain keys and converted keys side by side.
//
//   key_to_screen TEXTBOX none|listened|hybrid|zero [pairs]
//
// "none" types plain keys with no hook running (the baseline); "listened"
// the same while an accessibility client listens (bench/key_to_screen.sh
// starts one), which every key of a GTK program then costs. "hybrid"
// holds Right Alt and types a (plain, handed on) and s (converted to ş);
// "zero" types s (plain) and h (converted: a Backspace and ş). The hook is
// the running program's (bench/key_to_screen.sh starts it in that mode).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace {

int64_t now_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

class Textbox {
 public:
  explicit Textbox(const char* path) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::exit(2);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char* argv[] = {const_cast<char*>(path), nullptr};
    if (posix_spawn(&pid_, path, &actions, nullptr, argv, environ) != 0) std::exit(2);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~Textbox() {
    close(in_);
    waitpid(pid_, nullptr, 0);
  }
  // The next line, waiting at most `ms`; empty on time-out.
  std::string line(int ms) {
    const int64_t deadline = now_us() + int64_t{ms} * 1000;
    for (;;) {
      if (const auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string l = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return l;
      }
      const int64_t left = (deadline - now_us()) / 1000;
      if (left <= 0) return {};
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(out_, buf, sizeof(buf));
      if (n <= 0) return {};
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  bool command(const std::string& c) {
    const std::string l = c + "\n";
    if (write(in_, l.data(), l.size()) != static_cast<ssize_t>(l.size())) return false;
    for (std::string got; !(got = line(3000)).empty();) {
      if (got == "done " + c) return true;
    }
    return false;
  }
  // The time the text field came to hold `text`; -1 on time-out.
  int64_t time_of_text(const std::string& text) {
    for (std::string got; !(got = line(2000)).empty();) {
      if (got.rfind("text ", 0) != 0) continue;
      const std::size_t space = got.find(' ', 5);
      if (nlohmann::json::parse(got.substr(space + 1)).get<std::string>() == text) {
        return std::strtoll(got.c_str() + 5, nullptr, 10);
      }
    }
    return -1;
  }

 private:
  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

struct Stats {
  double median_ms = 0;
  double p99_ms = 0;
};

Stats stats(std::vector<int64_t> us) {
  std::sort(us.begin(), us.end());
  if (us.empty()) return {};
  const auto at = [&](double q) {
    return us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))] / 1000.0;
  };
  return {at(0.5), at(0.99)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: key_to_screen TEXTBOX none|listened|hybrid|zero [pairs]\n");
    return 2;
  }
  const std::string mode = argv[2];
  const int pairs = argc > 3 ? std::atoi(argv[3]) : 300;
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return 2;
  Textbox box(argv[1]);
  for (std::string l; (l = box.line(10000)).rfind("ready", 0) != 0;) {
    if (l.empty()) return 3;
  }
  usleep(500000);  // the hook moves its grabs to the new window

  const KeyCode alt_r = XKeysymToKeycode(d, XK_Alt_R);
  const KeyCode a = XKeysymToKeycode(d, XK_a);
  const KeyCode s = XKeysymToKeycode(d, XK_s);
  const KeyCode h = XKeysymToKeycode(d, XK_h);
  const KeyCode space = XKeysymToKeycode(d, XK_space);
  std::vector<int64_t> plain;
  std::vector<int64_t> converted;
  std::string text;
  auto key = [&](KeyCode k, bool down) {
    XTestFakeKeyEvent(d, k, down ? True : False, CurrentTime);
    XFlush(d);
  };
  // One key, timed from its press to the text it leads to. It goes up once
  // the text shows, as a typist's key does: a release sent with the press
  // would wait behind the hook's answer and reach the program ahead of a
  // converted key's text, which no typist's release does.
  auto measure = [&](KeyCode k, const std::string& expected, std::vector<int64_t>* into) {
    const int64_t t0 = now_us();
    key(k, true);
    const int64_t t1 = box.time_of_text(expected);
    key(k, false);
    if (t1 < 0) {
      std::fprintf(stderr, "key_to_screen: the field never showed \"%s\"\n", expected.c_str());
      std::exit(4);
    }
    if (into != nullptr) into->push_back(t1 - t0);
    text = expected;
    usleep(25000);  // a typist's pace
  };

  if (mode == "hybrid") key(alt_r, true);
  for (int i = 0; i < pairs; ++i) {
    if (i % 20 == 0) {
      if (!box.command("clear") || !box.command("focus text")) return 5;
      text.clear();
      if (mode == "zero") measure(space, " ", nullptr);
    }
    if (mode == "none" || mode == "listened") {
      measure(a, text + "a", &plain);
    } else if (mode == "hybrid") {
      measure(a, text + "a", &plain);
      measure(s, text + "\u015F", &converted);
    } else {
      measure(s, text + "s", &plain);
      measure(h, text.substr(0, text.size() - 1) + "\u015F", &converted);
      measure(space, text + " ", nullptr);
    }
  }
  if (mode == "hybrid") key(alt_r, false);
  XCloseDisplay(d);

  const Stats p = stats(plain);
  std::printf("%-8s plain     n=%zu median %.3f ms p99 %.3f ms\n", mode.c_str(), plain.size(), p.median_ms, p.p99_ms);
  if (!converted.empty()) {
    const Stats c = stats(converted);
    std::printf("%-8s converted n=%zu median %.3f ms p99 %.3f ms (p99 +%.3f ms over plain)\n", mode.c_str(),
                converted.size(), c.median_ms, c.p99_ms, c.p99_ms - p.p99_ms);
  }
  return 0;
}
