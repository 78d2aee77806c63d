#include "app/window_styles.h"

namespace harvel {

WindowStyle window_style_for(const os::WindowSpec& spec) {
  WindowStyle s;
  s.style = kWsClipChildren | (spec.frameless ? kWsPopup : kWsCaption);
  if (spec.resizable) s.style |= kWsThickFrame;
  if (can_minimize(spec)) s.style |= kWsMinimizeBox;
  if (can_maximize(spec)) s.style |= kWsMaximizeBox;
  // The system menu carries minimise, maximise and close for the task bar
  // and Alt+Space; a window with neither box has no use for it.
  if (!spec.frameless || can_minimize(spec) || can_maximize(spec)) s.style |= kWsSysMenu;
  if (spec.skip_taskbar) s.ex_style |= kWsExToolWindow;
  if (spec.always_on_top) s.ex_style |= kWsExTopmost;
  if (!spec.focus) s.ex_style |= kWsExNoActivate;
  if (spec.transparent) s.ex_style |= kWsExNoRedirectionBitmap;
  return s;
}

}  // namespace harvel
