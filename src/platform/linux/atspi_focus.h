// The focused object of each program, as the accessibility tree (AT-SPI)
// reports it. Focus changes arrive as events on the event-loop thread and
// are kept per process, so asking about the focused control costs no call
// to the accessibility bus.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace harvel::linux_host {

struct AccessibleFocus {
  bool password = false;  // the password-text role
  bool editable = false;  // a text field of any kind
};

// Starts following focus changes, once per process, on the event-loop
// thread of `loop`. Without an accessibility bus nothing is followed.
void start_accessible_focus(os::EventLoop& loop);

// The focused object of the process as its last focus change left it;
// none when the process reported none (or has no accessibility support).
// After accessible_focus_may_move, the object is first asked whether it
// still has the focus, and a focus change on its way is waited for
// briefly when it has not. Any thread.
std::optional<AccessibleFocus> accessible_focus_of(uint32_t pid);

// Something happened that can move the focus within a program before it
// reports the move (a pointer click, a key such as Tab, the window focus):
// the next question checks the focused object first, and right after a
// click waits briefly for the program's report. Any thread.
void accessible_focus_may_move(bool click = false);

// The object that took the focus last, with a reference for the caller
// (g_object_unref); null when none. Event-loop thread only.
AtspiAccessible* focused_accessible();

// The focused object of the process, looked up in its windows (for a program
// whose focus changed before it joined the accessibility bus), then taken as
// the focus; with a reference for the caller, null when none (or when focus
// events are not followed). Event-loop thread only.
AtspiAccessible* focused_accessible_of(uint32_t pid);

}  // namespace harvel::linux_host
