#include "checker/word_tracker.h"

namespace harvel {

// The realtime checker fills these in; until then the keys are not tracked.
void checker_track_key(HookState&, uint32_t, bool) {}
void checker_feed_char(WordTracker&, char32_t) {}
void checker_reset_word(WordTracker&) {}

}  // namespace harvel
