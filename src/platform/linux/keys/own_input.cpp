#include "platform/linux/keys/own_input.h"

#include <algorithm>

namespace harvel::linux_host {

// ---- Our own input ----------------------------------------------------------

void OwnInputAccount::expect(uint8_t keycode, bool press, Own action, Clock::time_point now) {
  entries_.push_back({keycode, press, action, now});
}

bool OwnInputAccount::waiting(Clock::time_point now) {
  while (!entries_.empty() && now - entries_.front().sent > kLifetime) entries_.pop_front();
  return !entries_.empty();
}

Own OwnInputAccount::match(uint8_t keycode, bool press, Clock::time_point now) {
  while (!entries_.empty() && now - entries_.front().sent > kLifetime) entries_.pop_front();
  // A helper press the server drops (its key was already down) never comes
  // back: the event may match past it.
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.keycode == keycode && e.press == press) {
      const Own action = e.action;
      entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      return action;
    }
    if (!(e.press && e.action == Own::Consume)) break;
  }
  return Own::No;
}

// ---- Merging the two event streams ------------------------------------------

void KeyEventOrder::raw(uint8_t keycode, bool press, uint32_t time, Own own, std::vector<KeyDelivery>& out,
                        bool grabbed, KeyDelivery::Clock::time_point seen) {
  pending_.push_back({next_seq_++, keycode, press, time, own, press && grabbed, seen});
  flush(out);
}

void KeyEventOrder::flush(std::vector<KeyDelivery>& out) {
  while (!pending_.empty() && !pending_.front().waits) {
    const Entry e = pending_.front();
    pending_.pop_front();
    if (!e.press && not_ours_[e.keycode]) {
      not_ours_[e.keycode] = false;
      continue;
    }
    out.push_back({e.keycode, e.press, e.time, e.own, false, 0, e.seen});
  }
}

void KeyEventOrder::grabbed_press(uint8_t keycode, uint32_t time, std::vector<KeyDelivery>& out, uint16_t device,
                                  KeyDelivery::Clock::time_point seen) {
  const auto it =
      std::find_if(pending_.begin(), pending_.end(), [&](const Entry& e) { return e.waits && e.keycode == keycode; });
  if (it == pending_.end()) {
    // Auto-repeat: the server repeats a held key without raw events.
    out.push_back({keycode, true, time, Own::No, true, device, seen});
    return;
  }
  // Presses before it would have come through the grab first: another
  // client has them.
  while (pending_.begin() != it) settle_front(out);
  const Entry e = pending_.front();
  pending_.pop_front();
  not_ours_[e.keycode] = false;
  out.push_back({e.keycode, true, e.time, e.own, true, device, e.seen});
  flush(out);
}

void KeyEventOrder::settle_front(std::vector<KeyDelivery>& out) {
  const Entry e = pending_.front();
  pending_.pop_front();
  if (e.waits) {
    not_ours_[e.keycode] = true;
  } else if (!e.press && not_ours_[e.keycode]) {
    not_ours_[e.keycode] = false;
  } else {
    out.push_back({e.keycode, e.press, e.time, e.own, false, 0, e.seen});
  }
}

void KeyEventOrder::settle_up_to(uint64_t mark, std::vector<KeyDelivery>& out) {
  while (!pending_.empty() && pending_.front().seq < mark) settle_front(out);
  flush(out);
}

bool KeyEventOrder::waiting() const { return !pending_.empty() && pending_.front().waits; }

void KeyEventOrder::clear() {
  pending_.clear();
  not_ours_.fill(false);
}

}  // namespace harvel::linux_host
