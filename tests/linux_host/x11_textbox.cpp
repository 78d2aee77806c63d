// A GTK program with a multi-line text field and a password field, typed
// into through the X server by the keyboard tests and the key-to-screen
// benchmark. It takes the input focus, prints "ready WINDOW PID" once it
// has it, "focus" whenever its window gets it, and one line per change of a
// field:
//   text|password MONOTONIC_MICROSECONDS "JSON-escaped content"
// and follows commands on its standard input, one a line:
//   focus text|password   clear   quit
// It ends when its input closes.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

GtkWidget* g_window = nullptr;
GtkWidget* g_text = nullptr;
GtkWidget* g_password = nullptr;
bool g_ready = false;

std::string json_escaped(const char* s) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    switch (*p) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (*p < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", *p);
          out += buf;
        } else {
          out += static_cast<char>(*p);
        }
    }
  }
  return out + "\"";
}

void report(const char* field, const char* content) {
  std::printf("%s %lld %s\n", field, static_cast<long long>(g_get_monotonic_time()), json_escaped(content).c_str());
  std::fflush(stdout);
}

void on_text_changed(GtkTextBuffer* buffer, gpointer) {
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* content = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  report("text", content);
  g_free(content);
}

void on_password_changed(GtkEditable* editable, gpointer) {
  report("password", gtk_entry_get_text(GTK_ENTRY(editable)));
}

void take_focus() {
  gtk_window_present(GTK_WINDOW(g_window));
  GdkWindow* w = gtk_widget_get_window(g_window);
  // No window manager on the test display: the focus is set directly.
  gdk_x11_display_error_trap_push(gdk_display_get_default());
  XSetInputFocus(GDK_WINDOW_XDISPLAY(w), GDK_WINDOW_XID(w), RevertToParent, CurrentTime);
  gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default());
}

gboolean on_focus_in(GtkWidget*, GdkEvent*, gpointer) {
  if (!g_ready) {
    g_ready = true;
    std::printf("ready %lu %d\n", static_cast<unsigned long>(GDK_WINDOW_XID(gtk_widget_get_window(g_window))),
                static_cast<int>(getpid()));
  }
  std::printf("focus\n");
  std::fflush(stdout);
  return FALSE;
}

gboolean on_map(GtkWidget*, GdkEvent*, gpointer) {
  take_focus();
  return FALSE;
}

gboolean on_stdin(GIOChannel* channel, GIOCondition, gpointer) {
  gchar* line = nullptr;
  gsize length = 0;
  if (g_io_channel_read_line(channel, &line, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL) {
    gtk_main_quit();
    return FALSE;
  }
  std::string command(line, length);
  g_free(line);
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  if (command == "focus text") {
    take_focus();
    gtk_widget_grab_focus(g_text);
  } else if (command == "focus password") {
    take_focus();
    gtk_widget_grab_focus(g_password);
  } else if (command == "clear") {
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(g_text)), "", 0);
    gtk_entry_set_text(GTK_ENTRY(g_password), "");
  } else if (command == "quit") {
    gtk_main_quit();
  }
  std::printf("done %s\n", command.c_str());
  std::fflush(stdout);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  g_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(g_window), "Harvel typing test");
  gtk_window_set_default_size(GTK_WINDOW(g_window), 400, 200);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  g_text = gtk_text_view_new();
  gtk_widget_set_vexpand(g_text, TRUE);
  g_password = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(g_password), FALSE);
  gtk_container_add(GTK_CONTAINER(box), g_text);
  gtk_container_add(GTK_CONTAINER(box), g_password);
  gtk_container_add(GTK_CONTAINER(g_window), box);
  g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(g_text)), "changed", G_CALLBACK(on_text_changed), nullptr);
  g_signal_connect(g_password, "changed", G_CALLBACK(on_password_changed), nullptr);
  g_signal_connect(g_window, "map-event", G_CALLBACK(on_map), nullptr);
  g_signal_connect(g_window, "focus-in-event", G_CALLBACK(on_focus_in), nullptr);
  g_signal_connect(g_window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GIOChannel* in = g_io_channel_unix_new(STDIN_FILENO);
  g_io_add_watch(in, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), on_stdin, nullptr);
  gtk_widget_show_all(g_window);
  gtk_widget_grab_focus(g_text);
  gtk_main();
  return 0;
}
