// The program icon of every window of the Linux host.
#pragma once

namespace harvel::linux_host {

// Makes the embedded program icon (32 and 128 pixels) the default icon of
// every GTK window; call once after GTK has started. False when an image
// cannot be decoded (the windows then keep the desktop's default icon).
bool install_window_icon();

}  // namespace harvel::linux_host
