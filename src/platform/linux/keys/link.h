// The messages between the keyboard hook's thread and its key guard, the
// small process that holds the key grabs (keys/guard.h). They travel over
// a SOCK_SEQPACKET socket pair, one message a packet, as plain structures:
// both ends are the same build. A packet that does not have the size its
// type says is dropped.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace harvel::linux_host {

enum class Msg : uint8_t {
  // Guard to hook thread.
  Ready = 1,  // the grabs are in place
  Failed,     // the guard cannot run (Failure)
  Key,        // a key event for the procedure (KeyMessage)
  Late,       // a press waited too long and was passed on (LateMessage)
  Focus,      // the input focus or the active window changed
  Spares,     // the keycodes that carry typed characters now (SparesMessage)
  Applied,    // the reservations of a version are in place (AppliedMessage)
  Pointer,    // a pointer button went down
  // Hook thread to guard.
  Verdict = 32,  // the answer to a press that waits, with what to type
                 // (VerdictHeader + items)
  Type,          // text to type (TypeHeader + items)
  Reserve,       // the combinations on the root window that are not ours
                 // (ReserveHeader + keys)
};

enum class Failure : uint8_t { NoDisplay, NoExtensions, KeysTaken };

// Packed, so that no padding byte goes out unset.
#pragma pack(push, 1)

// The guard is given its end of the socket as this descriptor.
inline constexpr int kGuardFd = 3;
// The largest packet either side sends.
inline constexpr std::size_t kMaxPacket = 32 * 1024;

// The keyboard as the guard knows it when the event happened: what the
// procedure asks GetKeyState about, and the XKB group.
struct KeyState {
  std::array<uint8_t, 32> vk_down{};  // a bit per virtual key held
  uint8_t caps_lock = 0;
  uint8_t num_lock = 0;
  uint8_t group = 0;

  bool down(uint32_t vk) const { return vk < 256 && ((vk_down[vk / 8] >> (vk % 8)) & 1) != 0; }
  void set_down(uint32_t vk) {
    if (vk < 256) vk_down[vk / 8] = static_cast<uint8_t>(vk_down[vk / 8] | (1u << (vk % 8)));
  }
};

struct FailedMessage {
  Msg type = Msg::Failed;
  Failure failure = Failure::NoDisplay;
};

struct KeyMessage {
  Msg type = Msg::Key;
  uint8_t keycode = 0;
  uint8_t press = 0;
  uint8_t waits = 0;  // a grabbed press: the keyboard waits for the verdict
  uint8_t alt_held = 0;
  uint8_t ctrl_held = 0;
  uint8_t chord = 0;  // Ctrl or Alt reaches the program with the key (not one we let go)
  uint32_t vk = 0;
  uint32_t time = 0;
  uint64_t id = 0;
  KeyState state;
};

struct LateMessage {
  Msg type = Msg::Late;
  uint64_t id = 0;
};

struct SparesMessage {
  Msg type = Msg::Spares;
  std::array<uint8_t, 32> keycodes{};  // a bit per keycode
};

struct AppliedMessage {
  Msg type = Msg::Applied;
  uint64_t version = 0;
};

// One key event to type. A character is typed on a key that gives its
// keysym; a key (Backspace, Return, Tab) on the keyboard's own key for it.
struct TypeItem {
  static constexpr uint8_t kPress = 1;
  static constexpr uint8_t kKey = 2;    // the keyboard's own key, not a character
  static constexpr uint8_t kCased = 4;  // a letter with a lower and an upper case
  static constexpr uint8_t kLower = 8;  // ... and this is its lower case
  uint32_t keysym = 0;
  uint8_t flags = 0;
  bool press() const { return (flags & kPress) != 0; }
  bool key() const { return (flags & kKey) != 0; }
  bool cased() const { return (flags & kCased) != 0; }
  bool lower() const { return (flags & kLower) != 0; }
  bool operator==(const TypeItem&) const = default;
};

struct VerdictHeader {
  Msg type = Msg::Verdict;
  uint8_t swallow = 0;
  uint16_t count = 0;
  uint64_t id = 0;
};

struct TypeHeader {
  Msg type = Msg::Type;
  uint16_t count = 0;
  uint64_t key = 0;  // the key event whose decision typed it; 0: none (another thread's)
};

struct ReservedKey {
  uint8_t keycode = 0;
  uint16_t modifiers = 0;
  auto operator<=>(const ReservedKey&) const = default;
};

struct ReserveHeader {
  Msg type = Msg::Reserve;
  uint16_t count = 0;
  uint64_t version = 0;
};

// Items a packet can carry after its header.
inline constexpr std::size_t kMaxItems = (kMaxPacket - sizeof(VerdictHeader)) / sizeof(TypeItem);
inline constexpr std::size_t kMaxReserved = (kMaxPacket - sizeof(ReserveHeader)) / sizeof(ReservedKey);

#pragma pack(pop)

// A header followed by `items`, as one packet.
template <typename Header, typename Item>
std::vector<uint8_t> packet(const Header& header, std::span<const Item> items) {
  std::vector<uint8_t> out(sizeof(Header) + items.size() * sizeof(Item));
  std::memcpy(out.data(), &header, sizeof(Header));
  if (!items.empty()) std::memcpy(out.data() + sizeof(Header), items.data(), items.size() * sizeof(Item));
  return out;
}

// A fixed-size message read from a packet; none when the size is wrong.
template <typename T>
std::optional<T> read_message(std::span<const uint8_t> p) {
  if (p.size() != sizeof(T)) return std::nullopt;
  T out;
  std::memcpy(&out, p.data(), sizeof(T));
  return out;
}

// A header and its `count` items; none when the packet is not that long.
template <typename Header, typename Item>
std::optional<std::pair<Header, std::vector<Item>>> read_items(std::span<const uint8_t> p) {
  if (p.size() < sizeof(Header)) return std::nullopt;
  Header h;
  std::memcpy(&h, p.data(), sizeof(Header));
  if (p.size() != sizeof(Header) + std::size_t{h.count} * sizeof(Item)) return std::nullopt;
  std::vector<Item> items(h.count);
  if (h.count > 0) std::memcpy(items.data(), p.data() + sizeof(Header), items.size() * sizeof(Item));
  return std::pair{h, std::move(items)};
}

inline std::optional<Msg> message_type(std::span<const uint8_t> p) {
  if (p.empty()) return std::nullopt;
  return static_cast<Msg>(p[0]);
}

}  // namespace harvel::linux_host
