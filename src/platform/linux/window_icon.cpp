// The program icon as the default icon of every GTK window (the X11 window
// icon, _NET_WM_ICON), decoded from the PNG files embedded at build time.
#include "platform/linux/window_icon.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <span>

namespace harvel {
std::span<const uint8_t> app_icon_32_png();
std::span<const uint8_t> app_icon_128_png();
}  // namespace harvel

namespace harvel::linux_host {

namespace {

GdkPixbuf* decode_png(std::span<const uint8_t> bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  if (loader == nullptr) return nullptr;
  GdkPixbuf* pixbuf = nullptr;
  if (gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf != nullptr) g_object_ref(pixbuf);
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return pixbuf;
}

}  // namespace

bool install_window_icon() {
  GList* icons = nullptr;
  for (std::span<const uint8_t> png : {app_icon_32_png(), app_icon_128_png()}) {
    if (GdkPixbuf* pixbuf = decode_png(png)) icons = g_list_append(icons, pixbuf);
  }
  const bool whole = g_list_length(icons) == 2;
  if (icons != nullptr) gtk_window_set_default_icon_list(icons);
  g_list_free_full(icons, g_object_unref);
  return whole;
}

}  // namespace harvel::linux_host
