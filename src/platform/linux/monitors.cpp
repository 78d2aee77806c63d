// Monitors from GDK, in place of the Windows monitor queries. GDK reports
// application pixels; the seam speaks physical pixels, so every rectangle is
// multiplied by the monitor's scale.
#include <gtk/gtk.h>

#include <algorithm>

#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

os::Rect physical(const GdkRectangle& r, int scale) {
  return {r.x * scale, r.y * scale, static_cast<uint32_t>(std::max(0, r.width * scale)),
          static_cast<uint32_t>(std::max(0, r.height * scale))};
}

std::vector<os::MonitorInfo> read_monitors() {
  std::vector<os::MonitorInfo> out;
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return out;
  const int n = gdk_display_get_n_monitors(display);
  for (int i = 0; i < n; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    if (monitor == nullptr) continue;
    const int scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
    GdkRectangle geometry;
    GdkRectangle work;
    gdk_monitor_get_geometry(monitor, &geometry);
    gdk_monitor_get_workarea(monitor, &work);
    out.push_back({physical(geometry, scale), physical(work, scale), static_cast<double>(scale),
                   gdk_monitor_is_primary(monitor) != FALSE});
  }
  return out;
}

}  // namespace

std::vector<os::MonitorInfo> LinuxMonitors::monitors() {
  return loop_.call([] { return read_monitors(); });
}

std::optional<os::MonitorInfo> LinuxMonitors::primary_monitor() {
  return loop_.call([]() -> std::optional<os::MonitorInfo> {
    const std::vector<os::MonitorInfo> all = read_monitors();
    for (const os::MonitorInfo& m : all) {
      if (m.primary) return m;
    }
    // X servers without a RandR primary (Xvfb) name none: the first stands in.
    if (!all.empty()) return all.front();
    return std::nullopt;
  });
}

}  // namespace harvel::linux_host
