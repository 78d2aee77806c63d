// An accessibility client that follows focus changes, as the program's own
// listener does and any screen reader would, until it is ended. Listening
// to the tree makes GTK programs report every key to the accessibility
// registry: bench/key_to_screen.sh times plain keys with it too, to tell
// that cost from the hook's.
#include <atspi/atspi.h>

int main() {
  if (atspi_init() > 1) return 1;
  AtspiEventListener* listener = atspi_event_listener_new(
      [](AtspiEvent* event, void*) { g_boxed_free(ATSPI_TYPE_EVENT, event); }, nullptr, nullptr);
  if (!atspi_event_listener_register(listener, "object:state-changed:focused", nullptr)) return 1;
  atspi_event_main();
  return 0;
}
