// The tray on the Linux host. Each icon is an AppIndicator of a small
// subclass whose fallback is our own GtkStatusIcon, because the library's
// fallback opens the menu on a left click and has no tooltip: ours reports
// left clicks to the program (the pop-up) and opens the menu on the right
// button only. StatusNotifier hosts read the image from a PNG file that is
// rewritten on every change; they open the menu themselves.
//
// GtkStatusIcon is deprecated in GTK 3 but is the only XEmbed tray icon.
#define GDK_DISABLE_DEPRECATION_WARNINGS
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator-enum-types.h>
#include <libayatana-appindicator/app-indicator.h>

#include <glib/gstdio.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

#include "platform/linux/tray.h"

namespace harvel::linux_host {

struct LinuxTray::Icon {
  LinuxTray* tray = nullptr;
  std::string id;
  os::TrayMenuHandler on_menu;
  os::TrayEventHandler on_event;
  os::TrayMenu model;
  std::string tooltip;
  GdkPixbuf* pixbuf = nullptr;
  GtkWidget* menu = nullptr;  // our reference
  AppIndicator* indicator = nullptr;
  GtkStatusIcon* status = nullptr;  // the XEmbed icon while no StatusNotifier host runs
  std::string image_file;
  unsigned serial = 0;
};

namespace {

constexpr char kIconKey[] = "harvel-tray-icon";

// The icon being created: the fallback may run before its data is attached.
LinuxTray::Icon* g_creating = nullptr;

// ---- images ------------------------------------------------------------------

GdkPixbuf* pixbuf_from(const os::TrayImage& image) {
  if (image.width == 0 || image.height == 0 || image.width > 4096 || image.height > 4096 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    return nullptr;
  }
  GBytes* bytes = g_bytes_new(image.rgba.data(), image.rgba.size());
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_bytes(bytes, GDK_COLORSPACE_RGB, TRUE, 8, static_cast<int>(image.width),
                                                static_cast<int>(image.height), static_cast<int>(image.width * 4));
  g_bytes_unref(bytes);
  return pixbuf;
}

std::string file_safe(std::string_view id) {
  std::string out;
  for (char c : id) out.push_back(g_ascii_isalnum(c) ? c : '_');
  return out;
}

// Writes the image where the StatusNotifier host reads it and names it to
// the indicator; a fresh name each time, since hosts cache by name.
void publish_indicator_image(LinuxTray::Icon* icon, const std::string& dir) {
  if (!icon->indicator || !icon->pixbuf || dir.empty()) return;
  std::string name = "harvel-tray-";
  name.append(file_safe(icon->id)).append("-").append(std::to_string(++icon->serial));
  const std::string path = dir + "/" + name + ".png";
  GError* error = nullptr;
  if (!gdk_pixbuf_save(icon->pixbuf, path.c_str(), "png", &error, nullptr)) {
    if (error) g_error_free(error);
    return;
  }
  app_indicator_set_icon_full(icon->indicator, name.c_str(), "Harvel");
  if (!icon->image_file.empty()) g_unlink(icon->image_file.c_str());
  icon->image_file = path;
}

// ---- the XEmbed icon -----------------------------------------------------------

std::optional<os::TrayIconArea> status_area(GtkStatusIcon* status) {
  GdkRectangle area{};
  if (!status || !gtk_status_icon_get_geometry(status, nullptr, &area, nullptr)) return std::nullopt;
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  return os::TrayIconArea{static_cast<double>(area.x), static_cast<double>(area.y), static_cast<double>(area.width),
                          static_cast<double>(area.height), os::Units::Logical};
}

void trace_geometry(LinuxTray::Icon* icon) {
  if (!host_options().trace) return;
  const auto area = status_area(icon->status);
  if (!area) return;
  char line[200];
  std::snprintf(line, sizeof line, "tray geometry %s x=%.0f y=%.0f w=%.0f h=%.0f", icon->id.c_str(), area->x,
                area->y, area->width, area->height);
  trace(line);
}

gboolean on_status_button(GtkStatusIcon* status, GdkEventButton* event, gpointer data) {
  auto* icon = static_cast<LinuxTray::Icon*>(data);
  os::TrayEvent e;
  if (event->type == GDK_2BUTTON_PRESS || event->type == GDK_3BUTTON_PRESS) {
    e.kind = os::TrayEventKind::DoubleClick;
    e.state = os::ButtonState::Down;
  } else {
    e.kind = os::TrayEventKind::Click;
    e.state = event->type == GDK_BUTTON_RELEASE ? os::ButtonState::Up : os::ButtonState::Down;
  }
  e.button = event->button == 1   ? os::MouseButton::Left
             : event->button == 3 ? os::MouseButton::Right
                                  : os::MouseButton::Middle;
  e.area = status_area(status);
  if (e.kind == os::TrayEventKind::Click && e.button == os::MouseButton::Left) {
    trace(std::string("tray click ") + icon->id + (e.state == os::ButtonState::Up ? " up" : " down"));
  }
  const os::TrayEventHandler handler = icon->on_event;
  if (handler) handler(e);
  return FALSE;
}

gboolean trace_menu_items(gpointer data) {
  std::unique_ptr<std::pair<LinuxTray*, std::string>> ref(static_cast<std::pair<LinuxTray*, std::string>*>(data));
  LinuxTray::Icon* icon = ref->first->find(ref->second);
  if (!icon || !icon->menu || !gtk_widget_get_mapped(icon->menu)) return G_SOURCE_REMOVE;
  GList* children = gtk_container_get_children(GTK_CONTAINER(icon->menu));
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* item = GTK_WIDGET(l->data);
    const char* id = static_cast<const char*>(g_object_get_data(G_OBJECT(item), "harvel-item-id"));
    GdkWindow* window = gtk_widget_get_window(item);
    if (!id || !window) continue;
    GtkAllocation a;
    gtk_widget_get_allocation(item, &a);
    int ox = 0;
    int oy = 0;
    gdk_window_get_origin(window, &ox, &oy);
    char line[300];
    std::snprintf(line, sizeof line, "tray menu item %s x=%d y=%d w=%d h=%d", id, ox + a.x, oy + a.y, a.width,
                  a.height);
    trace(line);
  }
  g_list_free(children);
  trace("tray menu shown " + icon->id);
  return G_SOURCE_REMOVE;
}

void on_status_popup_menu(GtkStatusIcon* status, guint button, guint activate_time, gpointer data) {
  auto* icon = static_cast<LinuxTray::Icon*>(data);
  if (!icon->menu) return;
  gtk_menu_popup(GTK_MENU(icon->menu), nullptr, nullptr, gtk_status_icon_position_menu, status, button,
                 activate_time);
  if (host_options().trace) {
    g_timeout_add(300, trace_menu_items, new std::pair<LinuxTray*, std::string>(icon->tray, icon->id));
  }
}

void on_status_embedded(GObject*, GParamSpec*, gpointer data) {
  auto* icon = static_cast<LinuxTray::Icon*>(data);
  if (icon->status && gtk_status_icon_is_embedded(icon->status)) trace("tray embedded " + icon->id);
  trace_geometry(icon);
}

gboolean on_status_size_changed(GtkStatusIcon*, gint, gpointer data) {
  trace_geometry(static_cast<LinuxTray::Icon*>(data));
  return FALSE;  // GTK scales the pixbuf to the new size
}

void drop_status_icon(LinuxTray::Icon* icon) {
  if (!icon->status) return;
  g_signal_handlers_disconnect_matched(icon->status, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, icon);
  gtk_status_icon_set_visible(icon->status, FALSE);
  g_object_unref(icon->status);
  icon->status = nullptr;
}

LinuxTray::Icon* icon_of(AppIndicator* indicator) {
  auto* icon = static_cast<LinuxTray::Icon*>(g_object_get_data(G_OBJECT(indicator), kIconKey));
  return icon ? icon : g_creating;
}

// No StatusNotifier host: our XEmbed icon.
GtkStatusIcon* indicator_fallback(AppIndicator* indicator) {
  LinuxTray::Icon* icon = icon_of(indicator);
  if (!icon) return nullptr;
  drop_status_icon(icon);
  GtkStatusIcon* status = icon->pixbuf ? gtk_status_icon_new_from_pixbuf(icon->pixbuf) : gtk_status_icon_new();
  gtk_status_icon_set_name(status, "harvel");
  gtk_status_icon_set_title(status, "Harvel");
  gtk_status_icon_set_tooltip_text(status, icon->tooltip.c_str());
  g_signal_connect(status, "button-press-event", G_CALLBACK(on_status_button), icon);
  g_signal_connect(status, "button-release-event", G_CALLBACK(on_status_button), icon);
  g_signal_connect(status, "popup-menu", G_CALLBACK(on_status_popup_menu), icon);
  g_signal_connect(status, "notify::embedded", G_CALLBACK(on_status_embedded), icon);
  g_signal_connect(status, "size-changed", G_CALLBACK(on_status_size_changed), icon);
  gtk_status_icon_set_visible(status, TRUE);
  icon->status = status;
  trace("tray fallback " + icon->id);
  return status;
}

// A StatusNotifier host appeared (or the indicator goes away).
void indicator_unfallback(AppIndicator* indicator, GtkStatusIcon* status) {
  LinuxTray::Icon* icon = icon_of(indicator);
  if (icon && icon->status == status) {
    drop_status_icon(icon);
  } else if (status) {
    gtk_status_icon_set_visible(status, FALSE);
    g_object_unref(status);
  }
}

struct HarvelIndicator {
  AppIndicator parent;
};

struct HarvelIndicatorClass {
  AppIndicatorClass parent_class;
};

void harvel_indicator_class_init(gpointer klass, gpointer) {
  auto* k = static_cast<AppIndicatorClass*>(klass);
  k->fallback = indicator_fallback;
  k->unfallback = indicator_unfallback;
}

GType harvel_indicator_type() {
  static const GType type = g_type_register_static_simple(
      app_indicator_get_type(), "HarvelTrayIndicator", sizeof(HarvelIndicatorClass), harvel_indicator_class_init,
      sizeof(HarvelIndicator), nullptr, static_cast<GTypeFlags>(0));
  return type;
}

// ---- menus ---------------------------------------------------------------------

struct ItemRef {
  LinuxTray* tray;
  std::string icon_id;
  std::string item_id;
  bool checked = false;
  gulong handler = 0;
};

struct MenuChoice {
  LinuxTray* tray;
  std::string icon_id;
  std::string item_id;
};

gboolean run_menu_choice(gpointer data) {
  std::unique_ptr<MenuChoice> choice(static_cast<MenuChoice*>(data));
  LinuxTray::Icon* icon = choice->tray->find(choice->icon_id);
  if (!icon) return G_SOURCE_REMOVE;
  const os::TrayMenuHandler handler = icon->on_menu;
  if (handler) handler(choice->item_id);
  return G_SOURCE_REMOVE;
}

void on_item_activate(GtkMenuItem* item, gpointer data) {
  auto* ref = static_cast<ItemRef*>(data);
  // A check item shows what the program decides, not the click: put the mark
  // back; a changed state brings a new menu.
  if (GTK_IS_CHECK_MENU_ITEM(item)) {
    g_signal_handler_block(item, ref->handler);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), ref->checked);
    g_signal_handler_unblock(item, ref->handler);
  }
  trace("tray menu chosen " + ref->item_id);
  // After the menu has closed: the handler may replace this very menu.
  g_idle_add(run_menu_choice, new MenuChoice{ref->tray, ref->icon_id, ref->item_id});
}

void free_item_ref(gpointer data, GClosure*) { delete static_cast<ItemRef*>(data); }

GtkWidget* build_menu(LinuxTray* tray, const std::string& icon_id, const os::TrayMenu& model) {
  GtkWidget* menu = gtk_menu_new();
  for (const os::TrayMenuItem& m : model) {
    GtkWidget* item = nullptr;
    switch (m.kind) {
      case os::TrayMenuItemKind::Separator:
        item = gtk_separator_menu_item_new();
        break;
      case os::TrayMenuItemKind::Check:
        item = gtk_check_menu_item_new_with_label(m.text.c_str());
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), m.checked);
        break;
      case os::TrayMenuItemKind::Submenu:
        item = gtk_menu_item_new_with_label(m.text.c_str());
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), build_menu(tray, icon_id, m.items));
        break;
      case os::TrayMenuItemKind::Plain:
        item = gtk_menu_item_new_with_label(m.text.c_str());
        break;
    }
    gtk_widget_set_sensitive(item, m.enabled);
    if (m.kind == os::TrayMenuItemKind::Plain || m.kind == os::TrayMenuItemKind::Check) {
      auto* ref = new ItemRef{tray, icon_id, m.id, m.checked, 0};
      ref->handler = g_signal_connect_data(item, "activate", G_CALLBACK(on_item_activate), ref, free_item_ref,
                                           static_cast<GConnectFlags>(0));
      g_object_set_data_full(G_OBJECT(item), "harvel-item-id", g_strdup(m.id.c_str()), g_free);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  return menu;
}

void drop_menu(GtkWidget* menu) {
  if (!menu) return;
  gtk_widget_destroy(menu);
  g_object_unref(menu);
}

std::string image_folder() {
  std::string dir = g_get_user_runtime_dir();
  dir.append("/harvel-tray-").append(std::to_string(getpid()));
  if (g_mkdir_with_parents(dir.c_str(), 0700) != 0) return {};
  return dir;
}

}  // namespace

LinuxTray::LinuxTray(LinuxEventLoop& loop) : loop_(loop) {}

LinuxTray::~LinuxTray() {
  // The host lives until the process ends; only the image files are left to
  // clean up.
  for (auto& [id, icon] : icons_) {
    if (!icon->image_file.empty()) g_unlink(icon->image_file.c_str());
  }
  if (!image_dir_.empty()) g_rmdir(image_dir_.c_str());
}

LinuxTray::Icon* LinuxTray::find(std::string_view id) {
  const auto it = icons_.find(id);
  return it == icons_.end() ? nullptr : it->second.get();
}

bool LinuxTray::create(const os::TraySpec& spec) {
  return loop_.call([&]() -> bool {
    if (spec.id.empty() || icons_.contains(spec.id)) return false;
    auto icon = std::make_unique<Icon>();
    icon->tray = this;
    icon->id = spec.id;
    icon->on_menu = spec.on_menu;
    icon->on_event = spec.on_event;
    icon->model = spec.menu;
    icon->tooltip = spec.tooltip;
    icon->pixbuf = pixbuf_from(spec.image);
    if (!icon->pixbuf) return false;
    icon->menu = build_menu(this, icon->id, icon->model);
    g_object_ref_sink(icon->menu);
    if (image_dir_.empty()) image_dir_ = image_folder();

    Icon* raw = icon.get();
    g_creating = raw;
    GEnumClass* categories = static_cast<GEnumClass*>(g_type_class_ref(APP_INDICATOR_TYPE_INDICATOR_CATEGORY));
    const GEnumValue* category = g_enum_get_value(categories, APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    const std::string indicator_id = "harvel-" + file_safe(raw->id);
    GObject* object = G_OBJECT(g_object_new(harvel_indicator_type(), "id", indicator_id.c_str(), "category",
                                            category ? category->value_nick : "ApplicationStatus",
                                            "icon-theme-path", image_dir_.c_str(), nullptr));
    g_type_class_unref(categories);
    raw->indicator = APP_INDICATOR(object);
    g_object_set_data(object, kIconKey, raw);
    g_creating = nullptr;
    publish_indicator_image(raw, image_dir_);
    app_indicator_set_title(raw->indicator, raw->tooltip.c_str());
    app_indicator_set_menu(raw->indicator, GTK_MENU(raw->menu));
    app_indicator_set_status(raw->indicator, APP_INDICATOR_STATUS_ACTIVE);
    icons_.emplace(raw->id, std::move(icon));
    trace("tray created " + raw->id);
    return true;
  });
}

bool LinuxTray::exists(std::string_view id) {
  return loop_.call([&] { return find(id) != nullptr; });
}

bool LinuxTray::set_image(std::string_view id, const os::TrayImage& image) {
  return loop_.call([&]() -> bool {
    Icon* icon = find(id);
    if (!icon) return false;
    GdkPixbuf* pixbuf = pixbuf_from(image);
    if (!pixbuf) return false;
    if (icon->pixbuf) g_object_unref(icon->pixbuf);
    icon->pixbuf = pixbuf;
    if (icon->status) gtk_status_icon_set_from_pixbuf(icon->status, pixbuf);
    publish_indicator_image(icon, image_dir_);
    return true;
  });
}

bool LinuxTray::set_tooltip(std::string_view id, std::string_view tooltip) {
  return loop_.call([&]() -> bool {
    Icon* icon = find(id);
    if (!icon) return false;
    icon->tooltip = std::string(tooltip);
    app_indicator_set_title(icon->indicator, icon->tooltip.c_str());
    if (icon->status) gtk_status_icon_set_tooltip_text(icon->status, icon->tooltip.c_str());
    trace("tray tooltip " + icon->id + " " + icon->tooltip);
    return true;
  });
}

bool LinuxTray::set_menu(std::string_view id, const os::TrayMenu& menu) {
  return loop_.call([&]() -> bool {
    Icon* icon = find(id);
    if (!icon) return false;
    icon->model = menu;
    GtkWidget* built = build_menu(this, icon->id, icon->model);
    g_object_ref_sink(built);
    app_indicator_set_menu(icon->indicator, GTK_MENU(built));
    drop_menu(std::exchange(icon->menu, built));
    trace("tray menu set " + icon->id);
    return true;
  });
}

void LinuxTray::remove(std::string_view id) {
  loop_.call([&] {
    const auto it = icons_.find(id);
    if (it == icons_.end()) return;
    Icon* icon = it->second.get();
    // Disposed now, so the XEmbed icon goes with it even while other
    // references to the indicator are pending.
    g_object_run_dispose(G_OBJECT(icon->indicator));
    drop_status_icon(icon);
    g_object_set_data(G_OBJECT(icon->indicator), kIconKey, nullptr);
    g_object_unref(icon->indicator);
    drop_menu(icon->menu);
    if (icon->pixbuf) g_object_unref(icon->pixbuf);
    if (!icon->image_file.empty()) g_unlink(icon->image_file.c_str());
    icons_.erase(it);
  });
}

std::optional<os::TrayIconArea> LinuxTray::icon_area(std::string_view id) {
  return loop_.call([&]() -> std::optional<os::TrayIconArea> {
    Icon* icon = find(id);
    if (!icon) return std::nullopt;
    return status_area(icon->status);
  });
}

}  // namespace harvel::linux_host
