// A stand-in entry of the Linux desktop host until the program's own entry
// (app_main) takes its place: it starts the host, claims the single
// instance, opens the main window on the embedded page and answers
// state_get with an empty object, so the host and its page can be run and
// tested on their own.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/linux_host.h"

int main(int argc, char** argv) {
  using namespace harvel;
  if (!linux_host::start_linux_host(argc, argv)) {
    std::fprintf(stderr, "harvel: cannot open the display\n");
    return 1;
  }
  os::Platform& p = os::platform();
  const std::vector<std::string> args(argv, argv + argc);
  const bool first = p.single_instance->acquire("uz.harvel.desktop", args, [&p](std::vector<std::string>, std::string) {
    p.windows->unminimize("main");
    p.windows->show("main");
    p.windows->set_focus("main");
    p.windows->emit_to("main", "navigate", "\"/\"");
  });
  if (!first) return 0;

  p.windows->set_command_handler([](std::string_view, std::string_view command, std::string_view,
                                    os::CommandReply reply) {
    if (command != "state_get") return false;
    reply(os::CommandResult::value("{}"));
    return true;
  });

  os::WindowSpec main_window;
  main_window.label = "main";
  main_window.url = "index.html";
  main_window.title = "Harvel";
  main_window.width = 960;
  main_window.height = 680;
  main_window.min_width = 820;
  main_window.min_height = 560;
  main_window.frameless = true;
  main_window.center = true;
  main_window.visible = true;
  if (!p.windows->create(main_window)) {
    std::fprintf(stderr, "harvel: cannot create the main window\n");
    return 1;
  }
  return p.app_loop->run({});
}
