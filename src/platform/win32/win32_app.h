// The Windows application shell: a message-only window on the event-loop
// thread that runs the loop, carries posted tasks to that thread, receives
// the message of a second start, close requests and the global shortcut's
// presses.
//
// Create it on the thread that will call run(). Every other call may come
// from any thread; work that the system only allows on the window's own
// thread (registering a shortcut, naming the window) is carried there.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace harvel::win32 {

class Win32Application final : public os::EventLoop,
                               public os::AppLoop,
                               public os::SingleInstance,
                               public os::GlobalShortcut {
 public:
  Win32Application();
  ~Win32Application() override;
  Win32Application(const Win32Application&) = delete;
  Win32Application& operator=(const Win32Application&) = delete;

  // The window could be created (without it nothing else works).
  bool valid() const { return window_ != 0; }
  os::WindowHandle window() const { return window_; }

  // EventLoop
  void post(std::function<void()> task) override;

  // AppLoop. run() pumps the calling thread's messages until exit or
  // restart (on any other thread than the window's it returns 1 at once); a
  // restart then gives up the single-instance claim and starts a new copy of
  // the program with this process's command line.
  int run(std::function<void()> on_exit) override;
  bool exit(int code) override;
  void restart() override;

  // SingleInstance: the file "instance.lock" in the user's local
  // application data ("%LOCALAPPDATA%\<identifier>"), held open without
  // sharing while the first copy runs. The first copy names its window after
  // the identifier; a later copy finds that window (in a process of the same
  // user) and sends it its working folder and arguments with WM_COPYDATA.
  bool acquire(std::string_view identifier, std::vector<std::string> args,
               os::SecondStartHandler on_second_start) override;
  // Gives up the claim, so that a new copy can take it.
  void release_instance();

  // WM_CLOSE sent to the window from outside (the installer closing a
  // running copy) runs `handler` on the window's thread; without one it ends
  // the loop with code 0. The window itself is never destroyed by it.
  void set_close_request_handler(std::function<void()> handler);

  // GlobalShortcut: RegisterHotKey on the window (MOD_NOREPEAT: holding the
  // keys reports one press).
  bool register_hotkey(const os::Hotkey& hotkey) override;
  bool unregister_hotkey(const os::Hotkey& hotkey) override;
  void unregister_all() override;
  bool is_registered(const os::Hotkey& hotkey) override;
  void set_press_handler(std::function<void(const os::Hotkey&)> handler) override;

  // For the window procedure.
  intptr_t handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam);

  // Runs `fn` on the window's thread and waits for it, at most a few
  // seconds; false when it did not run in time, or the loop has ended (then
  // at once).
  bool call_on_window_thread(const std::function<void()>& fn);
  bool on_window_thread() const;

 private:
  void run_tasks();
  void receive_second_start(const void* data, std::size_t bytes);

  os::WindowHandle window_ = 0;
  uint32_t thread_id_ = 0;

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;

  std::atomic<bool> restart_requested_{false};
  std::atomic<bool> loop_ended_{false};

  std::mutex instance_mutex_;
  void* instance_handle_ = nullptr;
  os::SecondStartHandler on_second_start_;
  std::function<void()> on_close_request_;

  std::mutex hotkeys_mutex_;
  std::map<std::pair<uint32_t, uint32_t>, int> hotkey_ids_;  // (modifiers, vk) -> id
  int next_hotkey_id_ = 1;
  std::function<void(const os::Hotkey&)> on_press_;
};

}  // namespace harvel::win32
