#include "app/blocking_pool.h"

#include <system_error>

namespace harvel {

BlockingPool::BlockingPool(std::size_t max_workers) : max_workers_(max_workers == 0 ? 1 : max_workers) {}

BlockingPool::~BlockingPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void BlockingPool::submit(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  queue_.push_back(std::move(task));
  if (idle_ >= queue_.size() || workers_.size() >= max_workers_) {
    lock.unlock();
    wake_.notify_one();
    return;
  }
  try {
    workers_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // With a worker alive the task still runs, only later.
    if (workers_.empty()) {
      queue_.pop_back();
      throw;
    }
  }
}

void BlockingPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;  // stopping, nothing left
    std::function<void()> task = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    try {
      task();
    } catch (...) {
    }
    task = nullptr;
    lock.lock();
  }
}

BlockingPool& blocking_pool() {
  // Never destroyed: workers may still run when static destructors do.
  static BlockingPool* const pool = new BlockingPool(4);
  return *pool;
}

}  // namespace harvel
