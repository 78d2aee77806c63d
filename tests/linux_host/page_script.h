// Runs script in a test's web view and waits for its value on the main context.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>

#include "host_fixture.h"

namespace harvel::linux_host::testing {

// Runs `body` as the body of an async function in `view` and waits up to
// `seconds` for its value, which `read` gets (null when the call failed);
// false when the wait gave up. The call's state lives on the heap, so an
// answer that comes after the wait gave up is dropped, not written into a
// stack frame that is gone.
inline bool run_page_script(WebKitWebView* view, const char* body, const std::function<void(JSCValue*)>& read,
                            double seconds = kEventSeconds) {
  struct Call {
    bool done = false;
    bool abandoned = false;
    JSCValue* value = nullptr;
  };
  auto* call = new Call;
  webkit_web_view_call_async_javascript_function(
      view, body, -1, nullptr, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* c = static_cast<Call*>(data);
        JSCValue* v = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), res, nullptr);
        if (c->abandoned) {
          if (v != nullptr) g_object_unref(v);
          delete c;
          return;
        }
        c->value = v;
        c->done = true;
      },
      call);
  pump_until([&] { return call->done; }, seconds);
  if (!call->done) {
    call->abandoned = true;
    return false;
  }
  read(call->value);
  if (call->value != nullptr) g_object_unref(call->value);
  delete call;
  return true;
}

}  // namespace harvel::linux_host::testing
