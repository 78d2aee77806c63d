// The Windows web-view host: windows by label, each a top-level window of
// ours holding one WebView2 controller, built from the same os::WindowSpec
// as the Linux host. All views share one environment (one browser process);
// the application's origin https://harvel.localhost/ is served from the
// embedded files through web-resource-requested, and the command bridge
// runs over web messages (app/web_bridge.h).
//
// Every window and view call happens on the event-loop thread (the
// application shell's thread, where COM is single-threaded); the interfaces
// may be called from any thread and are carried there.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace harvel::win32 {

class Win32Application;
struct HostWindow;
struct EnvironmentState;

// The window property holding a window's label (a global atom), so tools
// and tests can tell the windows apart as the Linux host's window role does.
inline constexpr wchar_t kWindowLabelProperty[] = L"HarvelWindowLabel";
inline constexpr wchar_t kWebWindowClass[] = L"HarvelWebWindow";

class Win32WebWindows final : public os::WebWindows, public os::WebViews {
 public:
  // On the application's thread, which it makes a single-threaded COM
  // apartment.
  explicit Win32WebWindows(Win32Application& app);
  ~Win32WebWindows() override;
  Win32WebWindows(const Win32WebWindows&) = delete;
  Win32WebWindows& operator=(const Win32WebWindows&) = delete;

  bool create(const os::WindowSpec& spec) override;
  bool exists(std::string_view label) override;
  void destroy(std::string_view label) override;
  void show(std::string_view label) override;
  void hide(std::string_view label) override;
  bool is_visible(std::string_view label) override;
  void set_focus(std::string_view label) override;
  void unminimize(std::string_view label) override;
  void set_size(std::string_view label, double width, double height, os::Units units) override;
  void set_position(std::string_view label, double x, double y, os::Units units) override;
  void emit_to(std::string_view label, std::string_view event, std::string_view payload_json) override;
  void emit_all(std::string_view event, std::string_view payload_json) override;
  void minimize(std::string_view label) override;
  void toggle_maximize(std::string_view label) override;
  bool is_maximized(std::string_view label) override;
  void close(std::string_view label) override;
  void start_dragging(std::string_view label) override;
  void set_event_handler(os::WindowEventHandler handler) override;
  void set_command_handler(os::CommandHandler handler) override;

  // Loop-thread entry points of the window procedure and the view's events.
  void handle_close_request(const std::string& label);
  void handle_destroyed(const std::string& label);
  void handle_focus(const std::string& label, bool focused);
  void handle_message(const std::shared_ptr<HostWindow>& w, const std::string& message_json);
  Win32Application& app() { return app_; }

 private:
  template <typename Fn>
  auto on_loop(Fn&& fn) -> decltype(fn());
  std::shared_ptr<HostWindow> find(std::string_view label);
  void start_view(const std::shared_ptr<HostWindow>& w);
  void environment_ready(long result, void* environment);
  void create_controller(const std::shared_ptr<HostWindow>& w);
  void controller_ready(const std::shared_ptr<HostWindow>& w, long result, void* controller);
  void post_message(HostWindow& w, const std::string& json);

  Win32Application& app_;
  std::map<std::string, std::shared_ptr<HostWindow>, std::less<>> windows_;
  std::unique_ptr<EnvironmentState> environment_;
  os::WindowEventHandler event_handler_;
  os::CommandHandler command_handler_;
};

}  // namespace harvel::win32
