// A GUI program that carries a version resource (versioned_app.rc), read by
// the application-name tests; started, it ends at once.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
