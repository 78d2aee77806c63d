// The command bridge every web view gets, the same on every host. A script
// installed at document start in the main frame, before the page's own,
// defines
//
//   window.__HARVEL_IPC__.invoke(name, args)   -> Promise of the JSON answer;
//                                                 rejects with the error text
//   window.__HARVEL_IPC__.listen(event, fn)    -> unlisten(); fn(payload)
//   window.__HARVEL_IPC__.label                -> the window's label
//
// Each call is answered once. The title bar's window calls are answered by
// the host itself, never by the program's command handler (window_call).
//
// Transports:
// - WebKit: calls are {cmd, args: JSON text} through the script-message
//   handler "harvel" with reply; the host delivers events by evaluating
//   window.__HARVEL_IPC__.dispatch(event, payload) (event_dispatch_script).
// - WebView2: web messages both ways. The page posts {id, cmd, args: JSON
//   text}; the host posts {id, ok, value: JSON text} or {id, ok: false,
//   error} in answer and {event, payload: JSON text} for events. Ids carry a
//   token of the document, so an answer meant for a page that has since been
//   replaced finds no call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace harvel {

enum class BridgeTransport { WebKit, WebView2 };

// The bridge script for a window.
std::string bridge_script(std::string_view label, BridgeTransport transport);

// A text as a JSON string (invalid UTF-8 replaced).
std::string json_string(std::string_view s);

// WebKit: the script that delivers one event (payload JSON text, "" for
// null) to the page.
std::string event_dispatch_script(std::string_view event, std::string_view payload_json);

// WebView2: one call of the page, from the JSON of its web message.
struct BridgeCall {
  std::string id;
  std::string cmd;
  std::string args = "{}";  // JSON text of the argument object
};

// A name a call may carry: not empty and without a NUL (a host that reads
// names as C strings would answer "state_get\0x" as "state_get").
bool is_bridge_command_name(std::string_view name);

// The call a message holds. A message without a text id cannot be answered
// (none); one with an id but no command name, or a name that is none
// (is_bridge_command_name), comes back with `cmd` empty.
std::optional<BridgeCall> parse_bridge_call(std::string_view message_json);

// WebView2: the answer to call `id`, and an event message (payload JSON
// text, "" for null).
std::string bridge_reply_message(std::string_view id, const os::CommandResult& result);
std::string bridge_event_message(std::string_view event, std::string_view payload_json);

// The title bar's calls, answered by the host on the calling window.
enum class WindowCall { None, Minimize, ToggleMaximize, IsMaximized, Close, StartDragging };
WindowCall window_call(std::string_view command);

// Carries out a title-bar call of window `label` on the loop thread and
// answers it (is_maximized with a boolean, the others with null); false
// when `command` is none of them. A close is carried out after the answer,
// since it may destroy the window whose call is being handled.
bool answer_window_call(os::WebWindows& windows, os::EventLoop& loop, const std::string& label,
                        std::string_view command, const os::CommandReply& reply);

}  // namespace harvel
