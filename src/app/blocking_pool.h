// A small pool of worker threads for slow work that must not hold up the
// event loop. Workers start on demand, up to a fixed number; tasks beyond
// that wait in a queue.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace harvel {

class BlockingPool {
 public:
  explicit BlockingPool(std::size_t max_workers = 4);
  // Lets the queued tasks finish, then joins the workers.
  ~BlockingPool();
  BlockingPool(const BlockingPool&) = delete;
  BlockingPool& operator=(const BlockingPool&) = delete;

  // Queues `task`. Throws std::system_error when no worker exists and none
  // can be started (the task is then dropped). An exception escaping a task
  // is swallowed so the worker lives on.
  void submit(std::function<void()> task);

 private:
  void work();

  const std::size_t max_workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> workers_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

// The program's pool; it lives until the process ends.
BlockingPool& blocking_pool();

}  // namespace harvel
