// The key guard: the small process that holds the keyboard hook's key grabs
// on X11, so that the keyboard never waits on the program itself.
//
// Every key press reaches it through a synchronous XInput 2 passive grab on
// the window that has the input focus: the keyboard waits until the press
// is answered, by ReplayDevice (the focused program gets it as if no grab
// existed, with its modifiers and keyboard group intact) or by ending the
// grab (the press is consumed). The guard hands each key to the hook thread
// of the program (keys/link.h) and answers as its verdict says; a verdict
// that has not come 300 ms after the press passes the key on unanswered, as
// Windows does with a slow hook, and after a few such keys in a row the
// grabs are let go until the hook thread answers again. A stopped, slow or
// dead program can so never freeze the keyboard. Key releases are never
// grabbed; they arrive as raw events, which also carry the presses in the
// order the server saw them, so the two streams are merged back into one.
//
// It types what the verdicts carry through XTest, keeps the spare keycodes
// that carry the characters the layout lacks, and gives them back when the
// program closes the link or dies.
#pragma once

#include <cstdint>
#include <vector>

namespace harvel::linux_host {

// Runs the guard on the link's descriptor until the link closes or the X
// server goes away, keeping a spare key for each of the `kept` keysyms;
// the process's exit code.
int run_key_guard(int link_fd, std::vector<uint32_t> kept);

}  // namespace harvel::linux_host
