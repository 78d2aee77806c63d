// The Linux desktop host's entry: starts GTK and the web-view host, then runs
// the program.
#include <cstdio>
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
  static App app;
  return run_app(app, std::vector<std::string>(argv, argv + argc));
}
