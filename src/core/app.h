// The application object: owns the shared state for the life of the program
// and is passed by reference to everything that needs it.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>

#include "core/ctx.h"
#include "core/notice.h"

namespace harvel {

class App {
 public:
  App() = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Hands the shared state to the application (once, at set-up).
  void manage(std::unique_ptr<Ctx> ctx) { ctx_ = std::move(ctx); }

  // The shared state; everything after set-up may assume it exists.
  Ctx& ctx() {
    if (!ctx_) std::abort();
    return *ctx_;
  }
  // For exit handling, which may run when set-up never did.
  Ctx* try_ctx() { return ctx_.get(); }

  // Sees every notice as it is requested, before its toast is shown (tests
  // record notices with it).
  using NoticeHandler = std::function<void(const ToastData&)>;
  void set_notice_handler(NoticeHandler h) { notice_handler_ = std::move(h); }
  const NoticeHandler& notice_handler() const { return notice_handler_; }

  // Where notices and state changes go after that, filled once at set-up
  // by the shell (the toast window, the tray refresh) before anything posts.
  // Without them a notice is only seen by the handler and a state change only
  // reaches the web views.
  using NoticeSink = std::function<void(App&, ToastData)>;
  void set_notice_sink(NoticeSink s) { notice_sink_ = std::move(s); }
  const NoticeSink& notice_sink() const { return notice_sink_; }
  using StateChangedSink = std::function<void(App&)>;
  void set_state_changed_sink(StateChangedSink s) { state_changed_sink_ = std::move(s); }
  const StateChangedSink& state_changed_sink() const { return state_changed_sink_; }

 private:
  std::unique_ptr<Ctx> ctx_;
  NoticeHandler notice_handler_;
  NoticeSink notice_sink_;
  StateChangedSink state_changed_sink_;
};

}  // namespace harvel
