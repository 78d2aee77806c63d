// The keyboard hook on X11, standing in for WH_KEYBOARD_LL and SendInput.
//
// The key grabs live in a small process of their own, the key guard
// (keys/guard.h), so that the keyboard never waits on this program: the
// guard hands every key event to the hook thread here, which decides it
// with the keyboard procedure and answers with the verdict and the text to
// type; a verdict that comes too late is dropped and the key passed on.
//
// This header holds the hook thread's side of that link that needs no X
// server (what the procedure is told of a key, and what a SendInput batch
// becomes for the guard), and what the rest of the layer asks of the
// running hook.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/linux/keys/link.h"
#include "platform/os.h"

namespace harvel::linux_host {

inline constexpr uint32_t LLKHF_EXTENDED = 0x01;
inline constexpr uint32_t LLKHF_ALTDOWN = 0x20;
inline constexpr uint32_t LLKHF_UP = 0x80;

// The hook event for a key: `vk` is the virtual key the guard chose for the
// keycode; Alt held (without Ctrl) makes it a system key as on Windows.
os::KeyEvent make_key_event(unsigned keycode, bool press, uint32_t vk, uint32_t time, bool alt_held, bool ctrl_held,
                            bool own);

// The keysym that types a character; 0 for none.
uint32_t keysym_for_char(char32_t c);

// A SendInput batch as the guard types it: characters by their keysym and
// case, Backspace, Return and Tab as the keyboard's own keys.
std::vector<TypeItem> type_items(std::span<const os::KeyInput> batch);

// The keysyms of the letters the guard keeps a key for while it runs.
std::vector<uint32_t> kept_keysyms();

// ---- Shared between the hook thread and the rest of the layer ---------------

// Grabs that another part of the program keeps on the root window itself
// (the global shortcut): the hook leaves these combinations alone. Waits
// for a running hook to let go of the key before returning.
void reserve_root_key(unsigned keycode, unsigned modifiers);
void unreserve_root_key(unsigned keycode, unsigned modifiers);

// The keyboard state of the event the hook thread is deciding, so the
// procedure's GetKeyState needs no round trip to the server; none elsewhere.
std::optional<int16_t> hook_thread_key_state(uint32_t vk);
// The XKB group of the event the hook thread is deciding; none elsewhere.
std::optional<unsigned> hook_thread_group();

// Counts changes of the focus and of the active window that the running hook
// saw, so the foreground queries can keep their answers between them (the
// procedure asks them at every key); 0 while no hook runs.
uint64_t watched_focus_generation();
// The keycode is one the typing layer currently uses for a character.
bool is_typing_keycode(unsigned keycode);

// Types a SendInput batch: through the running hook, or on a connection of
// its own when none runs.
void x11_send_input(std::span<const os::KeyInput> batch);

}  // namespace harvel::linux_host
