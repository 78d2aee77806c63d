// Our own input and the order of key events, for the key guard: the
// account of what it typed, so that its own events are told apart from the
// user's when they come back, and the merge of the raw events with the
// grabbed presses into the order the server saw them in.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace harvel::linux_host {

// ---- Our own input ----------------------------------------------------------

// What the hook does with one of its own presses when it comes back through
// the grab: hand it on (typed text) or consume it (the helper presses that
// only change the server's modifier state).
enum class Own : uint8_t { No, Replay, Consume };

// The events the layer has sent and not yet seen come back, in order. X
// events carry no sender, so a raw event counts as ours when it is the
// oldest one we are waiting for; entries the server never answers (a
// release it dropped) expire.
class OwnInputAccount {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kLifetime = std::chrono::milliseconds(1000);

  void expect(uint8_t keycode, bool press, Own action, Clock::time_point now);
  // Own::No when the event is not ours; else its action (the entry is used up).
  Own match(uint8_t keycode, bool press, Clock::time_point now);
  // Some of what we sent is still on its way.
  bool waiting(Clock::time_point now);
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }

 private:
  struct Entry {
    uint8_t keycode;
    bool press;
    Own action;
    Clock::time_point sent;
  };
  std::deque<Entry> entries_;
};

// ---- Merging the two event streams ------------------------------------------

// One event for the keyboard procedure, in the order the server saw it.
struct KeyDelivery {
  using Clock = std::chrono::steady_clock;
  uint8_t keycode = 0;
  bool press = false;
  uint32_t time = 0;
  Own own = Own::No;
  bool grabbed = false;      // a press that came through the grab and waits for its answer
  uint16_t device = 0;       // the keyboard whose grab it came through
  Clock::time_point seen{};  // when the server first told of it
};

// Raw events arrive ahead of the grabbed presses (the grab waits for each
// answer), and a press that another client's grab took never comes through
// ours. The merge holds every raw event until the presses before it are
// settled: a press is settled when its grabbed copy arrives, or as not ours
// when a later press arrives first or the server has answered a round trip
// sent after it. A press that is not ours is left out with its release.
class KeyEventOrder {
 public:
  // `grabbed`: a press of this key comes through the grab too (the spare
  // keys that carry typed characters are not grabbed).
  void raw(uint8_t keycode, bool press, uint32_t time, Own own, std::vector<KeyDelivery>& out, bool grabbed = true,
           KeyDelivery::Clock::time_point seen = {});
  // A press through the grab of `device`; auto-repeat has no raw event of
  // its own.
  void grabbed_press(uint8_t keycode, uint32_t time, std::vector<KeyDelivery>& out, uint16_t device = 0,
                     KeyDelivery::Clock::time_point seen = {});
  // Numbers the raw events: a round trip sent now settles those up to `mark()`.
  uint64_t mark() const { return next_seq_; }
  void settle_up_to(uint64_t mark, std::vector<KeyDelivery>& out);
  // A press waits for its grabbed copy.
  bool waiting() const;
  void clear();

 private:
  struct Entry {
    uint64_t seq;
    uint8_t keycode;
    bool press;
    uint32_t time;
    Own own;
    bool waits = false;  // a press waiting for its grabbed copy
    KeyDelivery::Clock::time_point seen;
  };
  void flush(std::vector<KeyDelivery>& out);
  void settle_front(std::vector<KeyDelivery>& out);
  std::deque<Entry> pending_;
  std::array<bool, 256> not_ours_{};  // a press left out; its release is left out too
  uint64_t next_seq_ = 1;
};

}  // namespace harvel::linux_host
