// Saving the live settings: the file, then the keyboard engine, then the
// broadcast.
#include "core/app.h"
#include "core/settings.h"
#include "core/state.h"
#include "keyboard/hook_thread.h"

namespace harvel {

std::string current_site_url(App& app) {
  return app.ctx().settings.with([](const Settings& s) { return s.site_url; });
}

void save_settings(App& app) {
  Ctx& ctx = app.ctx();
  // The lock is held across the write so saves never interleave and each
  // writes a consistent record. A failed write is ignored: memory, the
  // keyboard engine and the pages still take the new values. A file that did
  // not load is kept aside by the first save, never simply overwritten.
  ctx.settings.with([&](const Settings& s) {
    const bool keep = ctx.settings_file_rejected.load();
    if (write_settings_file(ctx.settings_path, serialize_settings(s), keep)) ctx.settings_file_rejected = false;
  });
  start_keyboard_hook_thread(app);
  emit_state_changed(app);
}

}  // namespace harvel
