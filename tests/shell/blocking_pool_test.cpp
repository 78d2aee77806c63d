#include "app/blocking_pool.h"

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace harvel {
namespace {

TEST(BlockingPool, RunsEveryTaskOnAtMostItsWorkers) {
  std::atomic<int> done{0};
  std::mutex mutex;
  std::set<std::thread::id> threads;
  {
    BlockingPool pool(2);
    for (int i = 0; i < 20; ++i) {
      pool.submit([&] {
        {
          std::lock_guard lock(mutex);
          threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++done;
      });
    }
  }  // the destructor lets the queue drain
  EXPECT_EQ(done, 20);
  EXPECT_LE(threads.size(), 2u);
  EXPECT_FALSE(threads.contains(std::this_thread::get_id()));
}

TEST(BlockingPool, SlowTasksRunSideBySide) {
  BlockingPool pool(3);
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::atomic<int> waiting{0};
  for (int i = 0; i < 3; ++i) {
    pool.submit([&, gate] {
      ++waiting;
      gate.wait();
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (waiting < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(waiting, 3);
  release.set_value();
}

TEST(BlockingPool, AThrowingTaskLeavesTheWorkerAlive) {
  BlockingPool pool(1);
  pool.submit([] { throw std::runtime_error("boom"); });
  std::promise<int> after;
  pool.submit([&] { after.set_value(7); });
  auto f = after.get_future();
  ASSERT_EQ(f.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_EQ(f.get(), 7);
}

}  // namespace
}  // namespace harvel
