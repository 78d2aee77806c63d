// The two constant key tables that give the settings' key names their
// meaning: the hybrid-key table and the fast-key table, with their lookups.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace harvel {

struct FastKeys;

struct HybridKeyDef {
  std::optional<char32_t> tap;  // typed by a tap of the key when it was used for nothing
  char32_t shifted_tap;         // the same with Shift held
  std::string_view name;        // value of the settings key "hybridKey"
  std::string_view code;        // key code name of the physical key
  uint32_t vk;                  // Windows virtual-key code
};

struct FastKeyDef {
  std::string_view code;  // value held by the FastKeys slots
  uint32_t vk;
  char32_t lower;  // the key's own character
  char32_t upper;  // the key's own character with Shift
  bool letter;     // Caps Lock inverts its case
};

inline constexpr std::size_t kHybridKeyCount = 22;
inline constexpr std::size_t kFastKeyCount = 10;
inline constexpr uint32_t kBackquoteHybridRow = 9;
inline constexpr uint32_t kCapsHybridRow = 2;

extern const std::array<HybridKeyDef, kHybridKeyCount> HYBRID_KEYS;
extern const std::array<FastKeyDef, kFastKeyCount> FAST_KEYS;

// The new letters of the four fast slots sh, ch, o, g.
struct NewLetter {
  char32_t lower;
  char32_t upper;
};
extern const std::array<NewLetter, 4> FAST_SLOT_LETTERS;

// The letters typed with the hybrid key held: C, S, O, G.
struct HybridLetter {
  uint32_t vk;
  NewLetter letter;
};
extern const std::array<HybridLetter, 4> HYBRID_LETTERS;

inline constexpr std::array<uint32_t, 4> kDefaultFastIndices{0, 1, 2, 3};

// Indices of the four slots (sh, ch, o, g) in the fast-key table; none when a
// name is not in the table or two slots name the same key.
std::optional<std::array<uint32_t, 4>> resolve_fast_keys(const FastKeys& keys);
std::optional<uint32_t> find_hybrid_key(std::string_view name);
// find_hybrid_key, or 0 ("ralt") for an unknown name.
uint32_t hybrid_key_index(std::string_view name);

// The row a flag value stands for, with the readers' rules for bad values.
const HybridKeyDef& hybrid_key_row(uint32_t index);  // above 21 -> row 0
uint32_t fast_slot_row(uint32_t slot, uint32_t index);  // above 9 -> the slot's default

}  // namespace harvel
