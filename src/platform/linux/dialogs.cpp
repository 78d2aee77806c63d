// The message box, in place of MessageBoxW: a GtkMessageDialog without a
// parent, run modally.
#include <gtk/gtk.h>

#include <string>

#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

int LinuxDialogs::message_box(std::string_view caption, std::string_view text, uint32_t flags) {
  return loop_.call([&] {
    const bool yes_no = (flags & 0xF) == os::MB_YESNO;
    const GtkMessageType type = (flags & 0xF0) == os::MB_ICONWARNING ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO;
    const std::string body(text);
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type,
                                               yes_no ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", body.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), std::string(caption).c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), (flags & os::MB_TOPMOST) != 0);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    if ((flags & os::MB_SETFOREGROUND) != 0) gtk_window_present(GTK_WINDOW(dialog));
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (!yes_no) return os::IDOK;
    return response == GTK_RESPONSE_YES ? os::IDYES : os::IDNO;
  });
}

}  // namespace harvel::linux_host
