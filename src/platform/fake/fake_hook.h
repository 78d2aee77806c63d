// A keyboard hook for tests: threads "install" it, sit in a message loop
// until they are told to quit, and can be made to refuse or to die.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

#include "platform/os.h"

namespace harvel::fake {

class FakeHook final : public os::KeyboardHook {
 public:
  std::optional<uintptr_t> install() override;
  void uninstall(uintptr_t hook) override;
  uint32_t current_thread_id() override;
  void run_message_loop() override;
  void post_quit(uint32_t thread_id) override;

  // The next installs fail.
  void set_refuse(bool refuse);
  // Ends a thread's message loop as an error would, without a quit message.
  void kill(uint32_t thread_id);
  // Threads whose message loop is running now.
  std::set<uint32_t> live_threads();
  int installs() const { return installs_; }
  int uninstalls() const { return uninstalls_; }
  int quits_posted() const { return quits_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool refuse_ = false;
  std::set<uint32_t> live_;
  std::set<uint32_t> ended_;  // quit or killed, not yet seen by their loop
  int installs_ = 0;
  int uninstalls_ = 0;
  int quits_ = 0;
};

}  // namespace harvel::fake
