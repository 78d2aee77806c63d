#include "shell/sinks.h"

#include "core/app.h"
#include "shell/toast.h"

namespace harvel {

void install_shell_sinks(App& app) {
  app.set_notice_sink(show_notice_window);
}

}  // namespace harvel
