// The checker's underline and fix pop-up as X11 windows, on a connection of
// the overlay thread's own. Both are override-redirect (no window manager
// frames, moves or focuses them) and raised over the other windows when
// shown; a click never moves the input focus, as nothing here sets it.
#include <cairo-xlib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/linux/linux_checker.h"

// Xlib's macros (None, Bool, Status) clash with names of the program: last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace harvel::linux_host {

namespace {

constexpr uint32_t kDefaultDpi = 96;
// Without a compositor alpha is not blended: the underline window is shaped
// to the pixels at least this opaque and painted with their full colour.
constexpr uint32_t kShapeAlpha = 0x60;

bool standard_masks(const Visual* v) {
  return v->red_mask == 0xFF0000 && v->green_mask == 0xFF00 && v->blue_mask == 0xFF;
}

}  // namespace

struct LinuxOverlayWindows::State {
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0;
  Window under = 0;
  Window pop = 0;
  Visual* under_visual = nullptr;
  int under_depth = 0;
  Visual* pop_visual = nullptr;
  Atom compositor = 0;
  os::OverlayEvents* events = nullptr;
  os::PopupPlacement placement;
  bool pop_shown = false;
};

namespace {

void set_class(Display* dpy, Window w, const char* name) {
  XClassHint hint;
  std::string n = name;
  hint.res_name = n.data();
  hint.res_class = n.data();
  XSetClassHint(dpy, w, &hint);
  XStoreName(dpy, w, name);
}

// Pixels at least kShapeAlpha opaque, as runs of each row.
std::vector<XRectangle> opaque_runs(int32_t width, int32_t height, std::span<const uint32_t> pixels) {
  std::vector<XRectangle> runs;
  for (int32_t r = 0; r < height; ++r) {
    const uint32_t* row = pixels.data() + std::size_t(r) * std::size_t(width);
    int32_t x = 0;
    while (x < width) {
      while (x < width && (row[x] >> 24) < kShapeAlpha) ++x;
      const int32_t from = x;
      while (x < width && (row[x] >> 24) >= kShapeAlpha) ++x;
      if (x > from) {
        runs.push_back(
            XRectangle{static_cast<short>(from), static_cast<short>(r), static_cast<unsigned short>(x - from), 1});
      }
    }
  }
  return runs;
}

void rounded_path(cairo_t* cr, double left, double top, double right, double bottom, double radius) {
  radius = std::max(0.0, std::min({radius, (right - left) / 2, (bottom - top) / 2}));
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - radius, top + radius, radius, -G_PI / 2, 0);
  cairo_arc(cr, right - radius, bottom - radius, radius, 0, G_PI / 2);
  cairo_arc(cr, left + radius, bottom - radius, radius, G_PI / 2, G_PI);
  cairo_arc(cr, left + radius, top + radius, radius, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
}

void set_colour(cairo_t* cr, const os::Rgb& c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

void draw_text(cairo_t* cr, const os::PaintOp& op) {
  const int32_t w = op.rect.right - op.rect.left;
  const int32_t h = op.rect.bottom - op.rect.top;
  if (w <= 0 || h <= 0 || op.text.empty()) return;
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_new();
  // The face the pop-up is drawn in, or the system's sans-serif face.
  pango_font_description_set_family(font, "Segoe UI,Sans");
  // A negative height is the character (em) height.
  const int32_t px = std::max(1, std::abs(op.font.height));
  pango_font_description_set_absolute_size(font, static_cast<double>(px) * PANGO_SCALE);
  pango_font_description_set_weight(font, op.font.weight >= 700 ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  if ((op.format & os::DT_SINGLELINE) != 0) pango_layout_set_single_paragraph_mode(layout, TRUE);
  if ((op.format & os::DT_END_ELLIPSIS) != 0) {
    pango_layout_set_width(layout, w * PANGO_SCALE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  }
  pango_layout_set_text(layout, op.text.c_str(), -1);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  double x = op.rect.left;
  double y = op.rect.top;
  if ((op.format & os::DT_CENTER) != 0) x += (w - logical.width) / 2.0 - logical.x;
  if ((op.format & os::DT_VCENTER) != 0 && (op.format & os::DT_SINGLELINE) != 0) {
    y += (h - logical.height) / 2.0 - logical.y;
  }
  cairo_save(cr);
  cairo_rectangle(cr, op.rect.left, op.rect.top, w, h);
  cairo_clip(cr);
  set_colour(cr, op.colour);
  cairo_move_to(cr, std::floor(x), std::floor(y));
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

void paint_popup(LinuxOverlayWindows::State& s) {
  if (!s.pop_shown || s.events == nullptr) return;
  const int32_t w = s.placement.width;
  const int32_t h = s.placement.height;
  if (w <= 0 || h <= 0) return;
  const std::vector<os::PaintOp> ops = s.events->popup_paint({0, 0, w, h});
  if (ops.empty()) return;
  cairo_surface_t* surface = cairo_xlib_surface_create(s.dpy, s.pop, s.pop_visual, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_push_group(cr);
  for (const os::PaintOp& op : ops) {
    switch (op.kind) {
      case os::PaintOp::Kind::Fill:
        set_colour(cr, op.colour);
        cairo_rectangle(cr, op.rect.left, op.rect.top, op.rect.right - op.rect.left, op.rect.bottom - op.rect.top);
        cairo_fill(cr);
        break;
      case os::PaintOp::Kind::FrameRoundRect:
        // The region's bounds reach one past the last pixel; the frame is the
        // region's innermost pixel ring.
        set_colour(cr, op.colour);
        cairo_set_line_width(cr, 1);
        rounded_path(cr, op.rect.left + 0.5, op.rect.top + 0.5, op.rect.right - 1.5, op.rect.bottom - 1.5,
                     op.corner / 2.0);
        cairo_stroke(cr);
        break;
      case os::PaintOp::Kind::Text:
        draw_text(cr, op);
        break;
    }
  }
  cairo_pop_group_to_source(cr);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  XFlush(s.dpy);
}

// The pop-up's outline as its bounding shape: an ellipse, or a rectangle
// whose corners are quarter ellipses of `corner` × `corner`.
void shape_popup(LinuxOverlayWindows::State& s, const os::PopupPlacement& p) {
  const unsigned w = static_cast<unsigned>(p.width);
  const unsigned h = static_cast<unsigned>(p.height);
  Pixmap mask = XCreatePixmap(s.dpy, s.pop, w, h, 1);
  GC gc = XCreateGC(s.dpy, mask, 0, nullptr);
  XSetForeground(s.dpy, gc, 0);
  XFillRectangle(s.dpy, mask, gc, 0, 0, w, h);
  XSetForeground(s.dpy, gc, 1);
  // An arc of width n touches n + 1 columns: each is drawn one smaller so
  // that it stays within the window's pixels.
  if (p.shape == os::PopupPlacement::Shape::Ellipse) {
    XFillArc(s.dpy, mask, gc, 0, 0, w - 1, h - 1, 0, 360 * 64);
  } else {
    const int c = std::clamp<int>(p.corner, 0, static_cast<int>(std::min(w, h)));
    const int r = c / 2;
    XFillRectangle(s.dpy, mask, gc, r, 0, w - 2 * r, h);
    XFillRectangle(s.dpy, mask, gc, 0, r, w, h - 2 * r);
    if (c > 1) {
      const unsigned a = static_cast<unsigned>(c - 1);
      XFillArc(s.dpy, mask, gc, 0, 0, a, a, 0, 360 * 64);
      XFillArc(s.dpy, mask, gc, static_cast<int>(w) - c, 0, a, a, 0, 360 * 64);
      XFillArc(s.dpy, mask, gc, 0, static_cast<int>(h) - c, a, a, 0, 360 * 64);
      XFillArc(s.dpy, mask, gc, static_cast<int>(w) - c, static_cast<int>(h) - c, a, a, 0, 360 * 64);
    }
  }
  XFreeGC(s.dpy, gc);
  XShapeCombineMask(s.dpy, s.pop, ShapeBounding, 0, 0, mask, ShapeSet);
  XFreePixmap(s.dpy, mask);
}

std::optional<std::vector<long>> cardinals(Display* dpy, Window w, Atom property) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, w, property, 0, 64, False, XA_CARDINAL, &type, &format, &count, &rest, &data) !=
      Success) {
    return std::nullopt;
  }
  std::optional<std::vector<long>> out;
  if (data != nullptr && type == XA_CARDINAL && format == 32) {
    const long* values = reinterpret_cast<const long*>(data);  // format 32 arrives as longs
    out.emplace(values, values + count);
  }
  if (data != nullptr) XFree(data);
  return out;
}

}  // namespace

std::optional<uint32_t> xft_dpi(const char* resources) {
  if (resources == nullptr) return std::nullopt;
  const std::string all = resources;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(at, end - at);
    at = end + 1;
    constexpr std::string_view kKey = "Xft.dpi:";
    if (line.rfind(kKey, 0) != 0) continue;
    const char* value = line.c_str() + kKey.size();
    char* stop = nullptr;
    const double dpi = std::strtod(value, &stop);
    if (stop == value || !(dpi >= 1 && dpi <= 10000)) return std::nullopt;
    return static_cast<uint32_t>(dpi + 0.5);
  }
  return std::nullopt;
}

LinuxOverlayWindows::LinuxOverlayWindows() : s_(new State) {}

LinuxOverlayWindows::~LinuxOverlayWindows() {
  if (s_->dpy != nullptr) XCloseDisplay(s_->dpy);
  delete s_;
}

bool LinuxOverlayWindows::create_windows(os::OverlayEvents* events) {
  State& s = *s_;
  if (s.dpy != nullptr) return s.under != 0 && s.pop != 0;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  s.dpy = XOpenDisplay(nullptr);
  if (s.dpy == nullptr) return false;
  int shape_event = 0;
  int shape_error = 0;
  if (!XShapeQueryExtension(s.dpy, &shape_event, &shape_error)) {
    XCloseDisplay(s.dpy);
    s.dpy = nullptr;
    return false;
  }
  s.screen = DefaultScreen(s.dpy);
  s.root = RootWindow(s.dpy, s.screen);
  s.events = events;
  s.compositor = XInternAtom(s.dpy, ("_NET_WM_CM_S" + std::to_string(s.screen)).c_str(), False);

  // The underline: 32-bit ARGB where the server has such a visual, so a
  // compositor blends its alpha.
  XVisualInfo argb{};
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.border_pixel = 0;
  a.background_pixel = 0;
  unsigned long mask = CWOverrideRedirect | CWBorderPixel | CWBackPixel;
  if (XMatchVisualInfo(s.dpy, s.screen, 32, TrueColor, &argb) && standard_masks(argb.visual)) {
    s.under_visual = argb.visual;
    s.under_depth = 32;
    a.colormap = XCreateColormap(s.dpy, s.root, argb.visual, AllocNone);
    mask |= CWColormap;
  } else {
    s.under_visual = DefaultVisual(s.dpy, s.screen);
    s.under_depth = DefaultDepth(s.dpy, s.screen);
  }
  s.under = XCreateWindow(s.dpy, s.root, 0, 0, 1, 1, 0, s.under_depth, InputOutput, s.under_visual, mask, &a);
  // The pop-up: the screen's own visual, not cleared before painting (the
  // paint covers it).
  s.pop_visual = DefaultVisual(s.dpy, s.screen);
  XSetWindowAttributes p{};
  p.override_redirect = True;
  p.background_pixmap = 0;
  p.border_pixel = 0;
  p.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask;
  s.pop = XCreateWindow(s.dpy, s.root, 0, 0, 1, 1, 0, DefaultDepth(s.dpy, s.screen), InputOutput, s.pop_visual,
                        CWOverrideRedirect | CWBackPixmap | CWBorderPixel | CWEventMask, &p);
  if (s.under == 0 || s.pop == 0 || !standard_masks(s.under_visual)) {
    XCloseDisplay(s.dpy);
    s = State{};
    return false;
  }
  set_class(s.dpy, s.under, "HarvelCheckUnder");
  set_class(s.dpy, s.pop, "HarvelCheckPop");
  // Click-through: an empty input shape sends the mouse to the window below.
  XShapeCombineRectangles(s.dpy, s.under, ShapeInput, 0, 0, nullptr, 0, ShapeSet, YXBanded);
  XSync(s.dpy, False);
  return true;
}

void LinuxOverlayWindows::hide_windows() {
  State& s = *s_;
  if (s.dpy == nullptr) return;
  XUnmapWindow(s.dpy, s.under);
  XUnmapWindow(s.dpy, s.pop);
  s.pop_shown = false;
  XFlush(s.dpy);
}

void LinuxOverlayWindows::pump_messages() {
  State& s = *s_;
  if (s.dpy == nullptr) return;
  bool paint = false;
  while (XPending(s.dpy) > 0) {
    XEvent e;
    XNextEvent(s.dpy, &e);
    if (e.xany.window != s.pop) continue;
    if (e.type == Expose) {
      paint = true;
    } else if (e.type == ButtonRelease && e.xbutton.button == Button1 && s.events != nullptr) {
      if (paint) paint_popup(s);
      paint = false;
      s.events->popup_click({e.xbutton.x, e.xbutton.y});
    }
  }
  if (paint) paint_popup(s);
}

namespace {

struct Pointer {
  os::Point at;
  unsigned buttons = 0;
};

std::optional<Pointer> query_pointer(const LinuxOverlayWindows::State& s) {
  if (s.dpy == nullptr) return std::nullopt;
  Window root_back = 0;
  Window child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned state = 0;
  if (!XQueryPointer(s.dpy, s.root, &root_back, &child, &rx, &ry, &wx, &wy, &state)) return std::nullopt;
  return Pointer{{rx, ry}, state};
}

}  // namespace

bool LinuxOverlayWindows::left_button_down() {
  const auto p = query_pointer(*s_);
  return p && (p->buttons & Button1Mask) != 0;
}

os::Point LinuxOverlayWindows::cursor_position() {
  const auto p = query_pointer(*s_);
  return p ? p->at : os::Point{};
}

std::optional<os::Box> LinuxOverlayWindows::popup_rect() {
  const State& s = *s_;
  if (s.dpy == nullptr) return std::nullopt;
  const os::PopupPlacement& p = s.placement;
  return os::Box{p.x, p.y, p.x + p.width, p.y + p.height};
}

std::optional<uint32_t> LinuxOverlayWindows::monitor_dpi(const os::Box&) {
  const State& s = *s_;
  if (s.dpy == nullptr) return std::nullopt;
  return xft_dpi(XResourceManagerString(s.dpy)).value_or(kDefaultDpi);
}

std::optional<std::size_t> nearest_monitor(std::span<const os::MonitorInfo> monitors, const os::Box& box) {
  std::optional<std::size_t> best;
  int64_t best_overlap = 0;
  int64_t best_distance = 0;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const os::Rect& m = monitors[i].rect;
    const int64_t left = m.x;
    const int64_t top = m.y;
    const int64_t right = left + m.width;
    const int64_t bottom = top + m.height;
    const int64_t across = std::min<int64_t>(right, box.right) - std::max<int64_t>(left, box.left);
    const int64_t down = std::min<int64_t>(bottom, box.bottom) - std::max<int64_t>(top, box.top);
    const int64_t overlap = std::max<int64_t>(0, across) * std::max<int64_t>(0, down);
    // Distance from the box's edges to the monitor's, along each axis.
    const int64_t dx = std::max<int64_t>({0, left - box.right, int64_t{box.left} - right});
    const int64_t dy = std::max<int64_t>({0, top - box.bottom, int64_t{box.top} - bottom});
    const int64_t distance = dx * dx + dy * dy;
    if (!best || overlap > best_overlap || (overlap == best_overlap && distance < best_distance)) {
      best = i;
      best_overlap = overlap;
      best_distance = distance;
    }
  }
  return best;
}

std::optional<os::Box> LinuxOverlayWindows::work_area(const os::Box& nearby) {
  const State& s = *s_;
  if (s.dpy == nullptr) return std::nullopt;
  // The work area of the monitor nearest to the word, as GDK knows them.
  if (os::Monitors* monitors = os::platform().monitors) {
    const std::vector<os::MonitorInfo> all = monitors->monitors();
    if (const auto i = nearest_monitor(all, nearby)) {
      const os::Rect& w = all[*i].work_area;
      if (w.width > 0 && w.height > 0) {
        return os::Box{w.x, w.y, static_cast<int32_t>(w.x + static_cast<int64_t>(w.width)),
                       static_cast<int32_t>(w.y + static_cast<int64_t>(w.height))};
      }
    }
  }
  const auto areas = cardinals(s.dpy, s.root, XInternAtom(s.dpy, "_NET_WORKAREA", False));
  if (areas && areas->size() >= 4) {
    std::size_t desktop = 0;
    const auto current = cardinals(s.dpy, s.root, XInternAtom(s.dpy, "_NET_CURRENT_DESKTOP", False));
    if (current && !current->empty() && (static_cast<std::size_t>((*current)[0]) + 1) * 4 <= areas->size()) {
      desktop = static_cast<std::size_t>((*current)[0]);
    }
    const long* a = areas->data() + desktop * 4;
    if (a[2] > 0 && a[3] > 0) {
      return os::Box{static_cast<int32_t>(a[0]), static_cast<int32_t>(a[1]), static_cast<int32_t>(a[0] + a[2]),
                     static_cast<int32_t>(a[1] + a[3])};
    }
  }
  return os::Box{0, 0, DisplayWidth(s.dpy, s.screen), DisplayHeight(s.dpy, s.screen)};
}

void LinuxOverlayWindows::show_underline(os::Point at, int32_t width, int32_t height,
                                         std::span<const uint32_t> pixels) {
  State& s = *s_;
  if (s.dpy == nullptr || width <= 0 || height <= 0 || width > 32767 || height > 32767) return;
  const std::size_t count = std::size_t(width) * std::size_t(height);
  if (pixels.size() < count) return;
  const bool blended = XGetSelectionOwner(s.dpy, s.compositor) != 0 && s.under_depth == 32;
  // Xlib frees the image's data with the image.
  auto* data = static_cast<uint32_t*>(std::malloc(count * 4));
  if (data == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t px = pixels[i];
    const uint32_t alpha = px >> 24;
    if (blended || alpha == 0) {
      data[i] = blended ? px : 0;
    } else {
      // Unblended: the colour the pixel stands for, at full strength.
      auto channel = [&](int shift) { return std::min<uint32_t>(((px >> shift) & 0xFF) * 255 / alpha, 255) << shift; };
      data[i] = 0xFF000000u | channel(16) | channel(8) | channel(0);
    }
  }
  XImage* image = XCreateImage(s.dpy, s.under_visual, static_cast<unsigned>(s.under_depth), ZPixmap, 0,
                               reinterpret_cast<char*>(data), static_cast<unsigned>(width),
                               static_cast<unsigned>(height), 32, width * 4);
  if (image == nullptr) {
    std::free(data);
    return;
  }
  image->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
  Pixmap pixmap = XCreatePixmap(s.dpy, s.under, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                static_cast<unsigned>(s.under_depth));
  GC gc = XCreateGC(s.dpy, pixmap, 0, nullptr);
  XPutImage(s.dpy, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFreeGC(s.dpy, gc);
  XDestroyImage(image);
  // The server repaints the window from its background on every exposure.
  XSetWindowBackgroundPixmap(s.dpy, s.under, pixmap);
  XFreePixmap(s.dpy, pixmap);
  if (blended) {
    XShapeCombineMask(s.dpy, s.under, ShapeBounding, 0, 0, 0, ShapeSet);
  } else {
    const std::vector<XRectangle> runs = opaque_runs(width, height, pixels);
    XShapeCombineRectangles(s.dpy, s.under, ShapeBounding, 0, 0, const_cast<XRectangle*>(runs.data()),
                            static_cast<int>(runs.size()), ShapeSet, YXBanded);
  }
  XMoveResizeWindow(s.dpy, s.under, at.x, at.y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XMapRaised(s.dpy, s.under);
  XClearWindow(s.dpy, s.under);
  XFlush(s.dpy);
}

void LinuxOverlayWindows::show_popup(const os::PopupPlacement& placement) {
  State& s = *s_;
  if (s.dpy == nullptr || placement.width <= 0 || placement.height <= 0 || placement.width > 32767 ||
      placement.height > 32767) {
    return;
  }
  s.placement = placement;
  XMoveResizeWindow(s.dpy, s.pop, placement.x, placement.y, static_cast<unsigned>(placement.width),
                    static_cast<unsigned>(placement.height));
  shape_popup(s, placement);
  XMapRaised(s.dpy, s.pop);
  s.pop_shown = true;
  paint_popup(s);
}

void LinuxOverlayWindows::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace harvel::linux_host
