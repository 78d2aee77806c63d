#include "keyboard/hook_thread.h"

#include <chrono>
#include <future>
#include <system_error>
#include <thread>

#include "checker/checker_overlay.h"
#include "core/app.h"
#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"

namespace harvel {

using namespace std::chrono_literals;

void start_keyboard_hook_thread(App& app) {
  Ctx& ctx = app.ctx();
  const Settings settings = ctx.settings.copy();
  publish_mode_flags(settings);
  if (settings.checker) start_checker_overlay_once(app);
  publish_key_flags(settings);
  const bool needed = hook_needed(settings);

  std::optional<HookThread> to_stop;
  ctx.hook_thread.with([&](std::optional<HookThread>& record) {
    if (needed && !record) {
      // The record lock is held while the new thread reports; the hook
      // thread takes no lock, so this wait cannot deadlock.
      std::promise<HookStartReport> promise;
      std::future<HookStartReport> reported = promise.get_future();
      auto running = std::make_shared<std::atomic<bool>>(true);
      std::thread thread;
      try {
        // The thread alone owns the promise: a thread that ends without a
        // report breaks it, and the wait below ends with "not started".
        thread = std::thread([promise = std::move(promise), running]() mutable {
          try {
            run_keyboard_hook_thread([&](HookStartReport r) { promise.set_value(std::move(r)); }, running);
          } catch (...) {
            // Nothing may escape the thread: it ends as a dead hook thread.
            running->store(false);
          }
        });
      } catch (const std::system_error&) {
        ctx.hook_error.set(std::string(kHookNotStarted));
        return;
      }
      HookStartReport report;
      try {
        report = reported.get();
      } catch (const std::future_error&) {
        thread.detach();
        ctx.hook_error.set(std::string(kHookNotStarted));
        return;
      }
      if (const uint32_t* id = std::get_if<uint32_t>(&report)) {
        record = HookThread{std::move(thread), running, *id};
        ctx.hook_error.set(std::nullopt);
      } else {
        thread.detach();  // it ends by itself
        ctx.hook_error.set(std::get<std::string>(report));
      }
    } else if (!needed && record) {
      to_stop = std::exchange(record, std::nullopt);
    }
  });
  // Stopped outside the lock: it waits for the thread for up to 2 s.
  if (to_stop) stop_hook_thread(std::move(*to_stop));
}

void run_keyboard_hook_thread(const std::function<void(HookStartReport)>& report,
                              const std::shared_ptr<std::atomic<bool>>& running) {
  os::KeyboardHook& hook = *os::platform().hook;
  if (const std::optional<uintptr_t> handle = hook.install()) {
    report(hook.current_thread_id());
    hook.run_message_loop();
    hook.uninstall(*handle);
    reset_hook_thread_state();
  } else {
    report(hook.failure_reason().value_or(std::string(kHookRefused)));
  }
  running->store(false);
}

void stop_hook_thread(HookThread record) {
  os::platform().hook->post_quit(record.thread_id);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (record.running->load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  if (!record.join.joinable()) return;
  if (record.running->load()) {
    record.join.detach();
  } else {
    record.join.join();
  }
}

void record_hook_failure(App& app, std::string_view text) {
  Ctx& ctx = app.ctx();
  std::optional<HookThread> record = ctx.hook_thread.take();
  if (record) stop_hook_thread(std::move(*record));
  ctx.hook_error.set(std::string(text));
}

ToastData hook_stopped_notice(bool gave_up) {
  return ToastData{"Klaviatura kuzatuvi to\u2018xtadi",
                   gave_up ? "Yozganingiz o\u2018zgarmaydi. Qayta ishga tushirib ko\u2018ring." : "Qayta ulanmoqda\u2026",
                   ToastKind::Error};
}

HookSupervisor::HookSupervisor(App& app) : app_(app) {
  last_tick_ = last_restart_ = os::platform().clock->now();
}

void HookSupervisor::tick() {
  Ctx& ctx = app_.ctx();
  const os::Instant now = os::platform().clock->now();
  const bool resumed = now - last_tick_ > 30s;
  last_tick_ = now;

  const auto [has_record, dead] = ctx.hook_thread.with([](const std::optional<HookThread>& r) {
    return std::pair{r.has_value(), r.has_value() && !r->running->load()};
  });
  const bool has_error = ctx.hook_error.with([](const std::optional<std::string>& e) { return e.has_value(); });
  const bool needed = ctx.settings.with([](const Settings& s) { return hook_needed(s); });

  bool just_gave_up = false;
  if (dead) {
    last_restart_ = now;
    if (!restarted_) {
      restarted_ = true;
      record_hook_failure(app_, kHookDiedOnce);
      start_keyboard_hook_thread(app_);
    } else {
      record_hook_failure(app_, kHookDiedAgain);
      just_gave_up = true;
    }
  } else if (resumed && has_record) {
    record_hook_failure(app_, kHookNotResumed);
    start_keyboard_hook_thread(app_);
  } else if (!has_record && needed) {
    if (!restarted_ && has_error) {
      start_keyboard_hook_thread(app_);
      restarted_ = true;
    }
  } else if (has_record) {
    if (now - last_restart_ > 60s) restarted_ = false;
  }

  const auto status = static_cast<uint8_t>(hook_status(app_));
  constexpr auto kError = static_cast<uint8_t>(HookStatus::Error);
  constexpr auto kOn = static_cast<uint8_t>(HookStatus::On);
  const bool gave_up = status == kError && (just_gave_up || (prev_status_ == kError && prev_gave_up_));

  if (!prev_status_) {
    if (status == kError) post_notice(app_, hook_stopped_notice(gave_up));
    emit_state_changed(app_);
  } else if (status != *prev_status_ || gave_up != prev_gave_up_) {
    if (*prev_status_ == kError && status == kError) {
      if (gave_up && !prev_gave_up_) post_notice(app_, hook_stopped_notice(true));
    } else if (status == kOn && *prev_status_ == kError) {
      post_notice(app_, ToastData{"Klaviatura kuzatuvi tiklandi", "Harvel yana ishlayapti", ToastKind::Ok});
    } else if (status == kError) {
      post_notice(app_, hook_stopped_notice(gave_up));
    }
    if (status != *prev_status_) emit_state_changed(app_);
  }
  prev_status_ = status;
  prev_gave_up_ = gave_up;
}

void run_hook_supervisor(App& app) {
  HookSupervisor supervisor(app);
  for (;;) {
    std::this_thread::sleep_for(5s);
    supervisor.tick();
  }
}

}  // namespace harvel
