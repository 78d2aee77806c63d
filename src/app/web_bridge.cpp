#include "app/web_bridge.h"

#include <nlohmann/json.hpp>

namespace harvel {

namespace {

// Followed by the label and the transport as JSON strings, then kScriptEnd.
constexpr std::string_view kScriptBegin = R"js((function (label, transport) {
  'use strict';
  if (window.__HARVEL_IPC__) return;
  var listeners = Object.create(null);

  function errorText(e) {
    if (e && typeof e === 'object' && 'message' in e) return String(e.message);
    return String(e);
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

  // send(cmd, argsText) -> Promise of the answer's JSON text.
  var send = null;
  if (transport === 'webkit') {
    var handlers = window.webkit && window.webkit.messageHandlers;
    var channel = handlers && handlers.harvel;
    if (channel) {
      send = function (cmd, args) {
        return channel.postMessage({ cmd: cmd, args: args }).then(null, function (e) { throw errorText(e); });
      };
    }
  } else if (transport === 'webview2') {
    var webview = window.chrome && window.chrome.webview;
    if (webview) {
      var pending = new Map();
      var token = Math.random().toString(36).slice(2) + Date.now().toString(36);
      var next = 0;
      webview.addEventListener('message', function (e) {
        var m = e.data;
        if (!m || typeof m !== 'object') return;
        if (typeof m.event === 'string') {
          var payload = null;
          try { payload = typeof m.payload === 'string' ? JSON.parse(m.payload) : null; } catch (err) { return; }
          dispatch(m.event, payload);
          return;
        }
        var call = typeof m.id === 'string' && pending.get(m.id);
        if (!call) return;
        pending.delete(m.id);
        if (m.ok === true) call.resolve(m.value);
        else call.reject(typeof m.error === 'string' ? m.error : 'the command failed');
      });
      send = function (cmd, args) {
        return new Promise(function (resolve, reject) {
          var id = token + ':' + (++next);
          pending.set(id, { resolve: resolve, reject: reject });
          try {
            webview.postMessage({ id: id, cmd: cmd, args: args });
          } catch (e) {
            pending.delete(id);
            reject(errorText(e));
          }
        });
      };
    }
  }

  function invoke(cmd, args) {
    var text;
    try {
      text = JSON.stringify(args === undefined ? {} : args);
    } catch (e) {
      return Promise.reject(errorText(e));
    }
    if (!send) return Promise.reject('the command bridge is not available');
    return send(String(cmd), text === undefined ? '{}' : text).then(function (answer) {
      if (answer === undefined || answer === null) return null;
      try { return JSON.parse(answer); } catch (e) { throw "the command's answer is not JSON"; }
    });
  }

  Object.defineProperty(window, '__HARVEL_IPC__', {
    value: Object.freeze({ invoke: invoke, listen: listen, dispatch: dispatch, label: label }),
    writable: false,
    configurable: false,
    enumerable: false
  });
})()js";

constexpr std::string_view kScriptEnd = ");\n";

using Json = nlohmann::json;

}  // namespace

std::string json_string(std::string_view s) {
  return Json(std::string(s)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string bridge_script(std::string_view label, BridgeTransport transport) {
  return std::string(kScriptBegin) + json_string(label) + ", " +
         json_string(transport == BridgeTransport::WebKit ? "webkit" : "webview2") + std::string(kScriptEnd);
}

std::string event_dispatch_script(std::string_view event, std::string_view payload_json) {
  // The payload travels as a JSON string and is parsed in the page, so it
  // can only ever be data.
  return "window.__HARVEL_IPC__&&window.__HARVEL_IPC__.dispatch(" + json_string(event) + ",JSON.parse(" +
         json_string(payload_json.empty() ? "null" : payload_json) + "))";
}

bool is_bridge_command_name(std::string_view name) {
  return !name.empty() && name.find('\0') == std::string_view::npos;
}

std::optional<BridgeCall> parse_bridge_call(std::string_view message_json) {
  const Json m = Json::parse(message_json, nullptr, false);
  if (!m.is_object()) return std::nullopt;
  const auto id = m.find("id");
  if (id == m.end() || !id->is_string()) return std::nullopt;
  BridgeCall call;
  call.id = id->get<std::string>();
  const auto cmd = m.find("cmd");
  const auto args = m.find("args");
  if (cmd != m.end() && cmd->is_string() && is_bridge_command_name(cmd->get_ref<const std::string&>())) {
    call.cmd = cmd->get<std::string>();
  }
  if (args != m.end() && args->is_string()) call.args = args->get<std::string>();
  return call;
}

std::string bridge_reply_message(std::string_view id, const os::CommandResult& result) {
  if (!result.ok) return R"({"id":)" + json_string(id) + R"(,"ok":false,"error":)" + json_string(result.text) + "}";
  return R"({"id":)" + json_string(id) + R"(,"ok":true,"value":)" +
         json_string(result.text.empty() ? "null" : result.text) + "}";
}

std::string bridge_event_message(std::string_view event, std::string_view payload_json) {
  return R"({"event":)" + json_string(event) + R"(,"payload":)" +
         json_string(payload_json.empty() ? "null" : payload_json) + "}";
}

WindowCall window_call(std::string_view command) {
  if (command == "window_minimize") return WindowCall::Minimize;
  if (command == "window_toggle_maximize") return WindowCall::ToggleMaximize;
  if (command == "window_is_maximized") return WindowCall::IsMaximized;
  if (command == "window_close") return WindowCall::Close;
  if (command == "window_start_dragging") return WindowCall::StartDragging;
  return WindowCall::None;
}

bool answer_window_call(os::WebWindows& windows, os::EventLoop& loop, const std::string& label,
                        std::string_view command, const os::CommandReply& reply) {
  switch (window_call(command)) {
    case WindowCall::None:
      return false;
    case WindowCall::Minimize:
      windows.minimize(label);
      break;
    case WindowCall::ToggleMaximize:
      windows.toggle_maximize(label);
      break;
    case WindowCall::IsMaximized:
      reply(os::CommandResult::value(windows.is_maximized(label) ? "true" : "false"));
      return true;
    case WindowCall::Close:
      loop.post([&windows, label] { windows.close(label); });
      break;
    case WindowCall::StartDragging:
      windows.start_dragging(label);
      break;
  }
  reply(os::CommandResult::value("null"));
  return true;
}

}  // namespace harvel
