// The event loop, in place of the Windows message loop: GLib's default main
// context, run by a GMainLoop on the thread that started the host.
#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

gboolean run_task(gpointer data) {
  auto* task = static_cast<std::function<void()>*>(data);
  (*task)();
  return G_SOURCE_REMOVE;
}

void free_task(gpointer data) { delete static_cast<std::function<void()>*>(data); }

// The signals that end a desktop program (logout, shutdown, kill, Ctrl+C)
// end the loop as an exit does, so what the program borrowed from the
// system (the keyboard hook's keys) is given back. A second one, or an exit
// that takes longer than a few seconds, ends the process at once.
struct ExitSignal {
  LinuxEventLoop* loop;
  int signal;
};

gboolean on_exit_signal(gpointer data) {
  static bool asked = false;
  const auto* s = static_cast<ExitSignal*>(data);
  if (asked) std::_Exit(128 + s->signal);
  asked = true;
  alarm(5);
  s->loop->exit(0);
  return G_SOURCE_CONTINUE;
}

}  // namespace

LinuxEventLoop::LinuxEventLoop(std::vector<std::string> argv)
    : loop_thread_(std::this_thread::get_id()), argv_(std::move(argv)),
      loop_(g_main_loop_new(nullptr, FALSE)) {}

LinuxEventLoop::~LinuxEventLoop() {
  close_calls();
  g_main_loop_unref(loop_);
}

bool LinuxEventLoop::add_pending(const std::shared_ptr<PendingCall>& call) {
  std::lock_guard lock(calls_mutex_);
  if (calls_closed_) return false;
  pending_calls_.push_back(call);
  return true;
}

void LinuxEventLoop::remove_pending(const std::shared_ptr<PendingCall>& call) {
  std::lock_guard lock(calls_mutex_);
  std::erase(pending_calls_, call);
}

void LinuxEventLoop::close_calls() {
  std::lock_guard lock(calls_mutex_);
  calls_closed_ = true;
  for (const std::shared_ptr<PendingCall>& call : pending_calls_) {
    std::lock_guard call_lock(call->mutex);
    if (call->done) continue;
    call->cancelled = true;
    call->cv.notify_one();
  }
}

void LinuxEventLoop::post(std::function<void()> task) {
  // g_idle_add is safe from any thread; default priority keeps tasks ahead
  // of redraws.
  g_idle_add_full(G_PRIORITY_DEFAULT, run_task, new std::function<void()>(std::move(task)), free_task);
}

int LinuxEventLoop::run(std::function<void()> on_exit) {
  {
    std::lock_guard lock(calls_mutex_);
    calls_closed_ = false;
  }
  running_ = true;
  std::vector<guint> signal_sources;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    signal_sources.push_back(g_unix_signal_add_full(G_PRIORITY_HIGH, sig, on_exit_signal, new ExitSignal{this, sig},
                                                    [](gpointer d) { delete static_cast<ExitSignal*>(d); }));
  }
  if (!quit_requested_) g_main_loop_run(loop_);
  // Signals during the exit work below end the process at once, as before.
  for (guint id : signal_sources) g_source_remove(id);
  running_ = false;
  quit_requested_ = false;
  // Threads that on_exit waits for (the keyboard hook's) must not hang on a
  // call no loop will take.
  close_calls();
  if (on_exit) on_exit();
  if (restart_requested_) {
    std::vector<char*> args;
    for (std::string& a : argv_) args.push_back(a.data());
    args.push_back(nullptr);
    // The same process becomes the new copy, so the single-instance socket
    // (closed on exec) is free again before the new copy looks for it.
    alarm(0);  // the new copy has no exit to finish
    execv("/proc/self/exe", args.data());
    std::fprintf(stderr, "harvel: restart failed: %s\n", std::strerror(errno));
  }
  return exit_code_;
}

bool LinuxEventLoop::exit(int code) {
  exit_code_ = code;
  quit_requested_ = true;
  g_main_loop_quit(loop_);  // thread-safe; a loop not yet running returns at once
  return true;
}

void LinuxEventLoop::restart() {
  restart_requested_ = true;
  exit(0);
}

}  // namespace harvel::linux_host
