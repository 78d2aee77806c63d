#include "platform/fake/fake_hook.h"

#include <atomic>

namespace harvel::fake {

namespace {

uint32_t this_thread_fake_id() {
  static std::atomic<uint32_t> next{1000};
  thread_local const uint32_t id = next.fetch_add(1);
  return id;
}

}  // namespace

std::optional<uintptr_t> FakeHook::install() {
  std::lock_guard lock(mutex_);
  if (refuse_) return std::nullopt;
  ++installs_;
  live_.insert(this_thread_fake_id());
  return uintptr_t{0x4B00} + this_thread_fake_id();
}

void FakeHook::uninstall(uintptr_t) {
  std::lock_guard lock(mutex_);
  ++uninstalls_;
}

uint32_t FakeHook::current_thread_id() { return this_thread_fake_id(); }

void FakeHook::run_message_loop() {
  const uint32_t id = this_thread_fake_id();
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return ended_.count(id) > 0; });
  ended_.erase(id);
  live_.erase(id);
}

void FakeHook::post_quit(uint32_t thread_id) {
  std::lock_guard lock(mutex_);
  ++quits_;
  if (live_.count(thread_id)) ended_.insert(thread_id);
  cv_.notify_all();
}

void FakeHook::set_refuse(bool refuse) {
  std::lock_guard lock(mutex_);
  refuse_ = refuse;
}

void FakeHook::kill(uint32_t thread_id) {
  std::lock_guard lock(mutex_);
  if (live_.count(thread_id)) ended_.insert(thread_id);
  cv_.notify_all();
}

std::set<uint32_t> FakeHook::live_threads() {
  std::lock_guard lock(mutex_);
  return live_;
}

}  // namespace harvel::fake
