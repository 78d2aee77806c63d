#include <gtk/gtk.h>

#include "host_fixture.h"

namespace harvel::linux_host {
namespace {

struct Answer {
  uint32_t flags;
  int response;  // the GTK response the "user" gives
  int expected;
};

struct Seen {
  int response;
  std::string title;
  std::string text;
  GtkMessageType type = GTK_MESSAGE_OTHER;
};

// Answers the first message dialog on screen.
gboolean answer(gpointer data) {
  auto* seen = static_cast<Seen*>(data);
  GList* all = gtk_window_list_toplevels();
  for (GList* l = all; l != nullptr; l = l->next) {
    if (!GTK_IS_MESSAGE_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
    seen->title = gtk_window_get_title(GTK_WINDOW(l->data));
    gchar* text = nullptr;
    g_object_get(l->data, "text", &text, "message-type", &seen->type, nullptr);
    seen->text = text;
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(l->data), seen->response);
    g_list_free(all);
    return G_SOURCE_REMOVE;
  }
  g_list_free(all);
  return G_SOURCE_CONTINUE;
}

TEST(LinuxDialogs, MessageBoxAnswers) {
  testing::start_host_once();
  const uint32_t yes_no = os::MB_YESNO | os::MB_ICONWARNING | os::MB_SETFOREGROUND | os::MB_TOPMOST;
  const Answer cases[] = {
      {yes_no, GTK_RESPONSE_YES, os::IDYES},
      {yes_no, GTK_RESPONSE_NO, os::IDNO},
      {yes_no, GTK_RESPONSE_DELETE_EVENT, os::IDNO},
      {os::MB_OK, GTK_RESPONSE_OK, os::IDOK},
  };
  for (const Answer& c : cases) {
    Seen seen{c.response, "", "", GTK_MESSAGE_OTHER};
    g_timeout_add(20, answer, &seen);
    EXPECT_EQ(os::platform().dialogs->message_box("Harvel", "WebView2 topilmadi\n\nO‘rnatish?", c.flags),
              c.expected);
    EXPECT_EQ(seen.title, "Harvel");
    EXPECT_EQ(seen.text, "WebView2 topilmadi\n\nO‘rnatish?");
    EXPECT_EQ(seen.type, (c.flags & os::MB_ICONWARNING) ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO);
  }
}

}  // namespace
}  // namespace harvel::linux_host
