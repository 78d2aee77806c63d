// The unbounded channel that carries checker messages from the hook thread
// to the overlay thread, and the process-wide set-once slot for its sending
// end. A send never waits for the receiver: it allocates its node before
// taking the channel's lock and holds the lock only to link the node in.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "checker/word_tracker.h"

namespace harvel {

namespace detail {
struct CheckerChannelCore {
  std::mutex mutex;
  std::condition_variable ready;
  std::list<CheckerMessage> queue;
  std::size_t senders = 0;
  bool receiver_alive = true;
};
}  // namespace detail

class CheckerSender {
 public:
  explicit CheckerSender(std::shared_ptr<detail::CheckerChannelCore> core);
  CheckerSender(const CheckerSender& other);
  CheckerSender(CheckerSender&& other) noexcept;
  CheckerSender& operator=(const CheckerSender&) = delete;
  CheckerSender& operator=(CheckerSender&&) = delete;
  ~CheckerSender();

  // False when the receiver is gone (the message is dropped).
  bool send(CheckerMessage message) const;

 private:
  std::shared_ptr<detail::CheckerChannelCore> core_;
};

enum class RecvStatus { Message, Timeout, Disconnected };

class CheckerReceiver {
 public:
  explicit CheckerReceiver(std::shared_ptr<detail::CheckerChannelCore> core);
  CheckerReceiver(CheckerReceiver&& other) noexcept = default;
  CheckerReceiver& operator=(CheckerReceiver&&) = delete;
  CheckerReceiver(const CheckerReceiver&) = delete;
  ~CheckerReceiver();

  // Blocks for the next message; none once every sender is gone and the
  // queue is empty.
  std::optional<CheckerMessage> recv();
  // Waits until `deadline` (steady clock) at the most.
  RecvStatus recv_until(std::chrono::steady_clock::time_point deadline, CheckerMessage& out);

 private:
  std::shared_ptr<detail::CheckerChannelCore> core_;
};

std::pair<CheckerSender, CheckerReceiver> make_checker_channel();

// CHECKER_TX: filled once by the starter and never emptied in the program;
// the hook reads it without a lock.
class CheckerTxSlot {
 public:
  CheckerTxSlot() = default;
  CheckerTxSlot(const CheckerTxSlot&) = delete;
  CheckerTxSlot& operator=(const CheckerTxSlot&) = delete;
  ~CheckerTxSlot();

  // Stores the sender when the slot is empty; false (sender dropped) otherwise.
  bool try_set(CheckerSender sender);
  // The sender, or null while the slot is empty.
  const CheckerSender* get() const { return sender_.load(std::memory_order_acquire); }
  // Empties the slot, disconnecting the overlay thread (tests only: the
  // program never empties it).
  void reset();

 private:
  std::mutex set_mutex_;
  std::atomic<CheckerSender*> sender_{nullptr};
};

}  // namespace harvel
