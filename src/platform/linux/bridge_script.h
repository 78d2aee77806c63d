// The command bridge every page gets, injected at document start in the main
// frame:
//
//   window.__HARVEL_IPC__.invoke(name, args)   -> Promise of the JSON answer;
//                                                 rejects with the error text
//   window.__HARVEL_IPC__.listen(event, fn)    -> unlisten(); fn(payload)
//   window.__HARVEL_IPC__.label                -> the window's label
//
// The title bar's window calls are answered by the host itself, never by the
// program's command handler: window_minimize, window_toggle_maximize,
// window_is_maximized (-> boolean), window_close (an ordinary close request)
// and window_start_dragging (while a mouse button is held on the page).
//
// Calls travel as {cmd, args: JSON text} over the script-message handler
// "harvel" (with reply); the host delivers events by evaluating
// window.__HARVEL_IPC__.dispatch(event, payload).
#pragma once

#include <string_view>

namespace harvel::linux_host {

// Followed by the label as a JSON string and kBridgeScriptEnd.
inline constexpr std::string_view kBridgeScriptBegin = R"js((function (label) {
  'use strict';
  if (window.__HARVEL_IPC__) return;
  var handlers = window.webkit && window.webkit.messageHandlers;
  var channel = handlers && handlers.harvel;
  var listeners = Object.create(null);

  function errorText(e) {
    if (e && typeof e === 'object' && 'message' in e) return String(e.message);
    return String(e);
  }

  function invoke(cmd, args) {
    var text;
    try {
      text = JSON.stringify(args === undefined ? {} : args);
    } catch (e) {
      return Promise.reject(errorText(e));
    }
    if (!channel) return Promise.reject('the command bridge is not available');
    return channel.postMessage({ cmd: String(cmd), args: text === undefined ? '{}' : text }).then(
      function (text) {
        if (text === undefined) return null;
        try { return JSON.parse(text); } catch (e) { throw "the command's answer is not JSON"; }
      },
      function (e) { throw errorText(e); });
  }

  function listen(event, handler) {
    var list = listeners[event] || (listeners[event] = []);
    var entry = { handler: handler };
    list.push(entry);
    return function unlisten() {
      var i = list.indexOf(entry);
      if (i >= 0) list.splice(i, 1);
    };
  }

  function dispatch(event, payload) {
    var list = listeners[event];
    if (!list) return;
    list.slice().forEach(function (entry) {
      try {
        entry.handler(payload);
      } catch (e) {
        console.error(e);
      }
    });
  }

  Object.defineProperty(window, '__HARVEL_IPC__', {
    value: Object.freeze({ invoke: invoke, listen: listen, dispatch: dispatch, label: label }),
    writable: false,
    configurable: false,
    enumerable: false
  });
})()js";

inline constexpr std::string_view kBridgeScriptEnd = ");\n";

}  // namespace harvel::linux_host
