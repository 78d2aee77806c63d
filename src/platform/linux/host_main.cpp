// The Linux desktop host's entry: starts GTK and the web-view host, then runs
// the program.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "core/app.h"
#include "platform/linux/linux_host.h"

int main(int argc, char** argv) {
  using namespace harvel;
  if (!linux_host::start_linux_host(argc, argv)) {
    std::fprintf(stderr, "Harvel ishga tushmadi: cannot open the display\n");
    return 1;
  }
  // The application and the background threads that use it live until the
  // process ends; nothing is torn down under them at exit.
  App* app = new App;
  const int code = run_app(*app, std::vector<std::string>(argv, argv + argc));
  std::fflush(nullptr);
  std::_Exit(code);
}
