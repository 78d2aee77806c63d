#include "checker/checker_channel.h"

namespace harvel {

CheckerSender::CheckerSender(std::shared_ptr<detail::CheckerChannelCore> core) : core_(std::move(core)) {
  std::lock_guard lock(core_->mutex);
  ++core_->senders;
}

CheckerSender::CheckerSender(const CheckerSender& other) : CheckerSender(other.core_) {}

CheckerSender::CheckerSender(CheckerSender&& other) noexcept : core_(std::move(other.core_)) {}

CheckerSender::~CheckerSender() {
  if (!core_) return;
  {
    std::lock_guard lock(core_->mutex);
    --core_->senders;
  }
  core_->ready.notify_all();
}

bool CheckerSender::send(CheckerMessage message) const {
  if (!core_) return false;
  std::list<CheckerMessage> node;
  node.push_back(std::move(message));
  {
    std::lock_guard lock(core_->mutex);
    if (!core_->receiver_alive) return false;
    core_->queue.splice(core_->queue.end(), node);
  }
  core_->ready.notify_one();
  return true;
}

CheckerReceiver::CheckerReceiver(std::shared_ptr<detail::CheckerChannelCore> core) : core_(std::move(core)) {}

CheckerReceiver::~CheckerReceiver() {
  if (!core_) return;
  std::list<CheckerMessage> dropped;
  std::lock_guard lock(core_->mutex);
  core_->receiver_alive = false;
  dropped.swap(core_->queue);
}

std::optional<CheckerMessage> CheckerReceiver::recv() {
  std::unique_lock lock(core_->mutex);
  core_->ready.wait(lock, [&] { return !core_->queue.empty() || core_->senders == 0; });
  if (core_->queue.empty()) return std::nullopt;
  CheckerMessage m = std::move(core_->queue.front());
  core_->queue.pop_front();
  return m;
}

RecvStatus CheckerReceiver::recv_until(std::chrono::steady_clock::time_point deadline, CheckerMessage& out) {
  std::unique_lock lock(core_->mutex);
  const bool woke =
      core_->ready.wait_until(lock, deadline, [&] { return !core_->queue.empty() || core_->senders == 0; });
  if (!core_->queue.empty()) {
    out = std::move(core_->queue.front());
    core_->queue.pop_front();
    return RecvStatus::Message;
  }
  return woke ? RecvStatus::Disconnected : RecvStatus::Timeout;
}

std::pair<CheckerSender, CheckerReceiver> make_checker_channel() {
  auto core = std::make_shared<detail::CheckerChannelCore>();
  return {CheckerSender(core), CheckerReceiver(core)};
}

// The program never empties the slot, not even at exit: the overlay thread
// must not wake up to a disconnection while the process is ending.
CheckerTxSlot::~CheckerTxSlot() = default;

bool CheckerTxSlot::try_set(CheckerSender sender) {
  std::lock_guard lock(set_mutex_);
  if (sender_.load(std::memory_order_relaxed) != nullptr) return false;
  sender_.store(new CheckerSender(std::move(sender)), std::memory_order_release);
  return true;
}

void CheckerTxSlot::reset() {
  std::lock_guard lock(set_mutex_);
  delete sender_.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace harvel
