// The realtime checker's overlay thread: underline and fix pop-up windows.
#pragma once

namespace harvel {

class App;

// Starts the checker's channel and overlay thread the first time the checker
// is switched on; later calls do nothing.
void start_checker_overlay_once(App& app);

}  // namespace harvel
