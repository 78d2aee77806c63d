import { getBridge } from "./bridge";
import type { WindowCall } from "./bridge";

// Window operations of the frameless main window's title bar. Loaded on demand by the
// title bar only, so the pop-up and toast views never fetch this module.

function call<T = void>(name: WindowCall): Promise<T> {
  const bridge = getBridge();
  if (!bridge) return Promise.reject(new Error("no native bridge"));
  return bridge.invoke(name, {}) as Promise<T>;
}

export const minimize = () => call("window_minimize");
export const toggleMaximize = () => call("window_toggle_maximize");
export const isMaximized = () => call<boolean>("window_is_maximized");
export const close = () => call("window_close");
export const startDragging = () => call("window_start_dragging");
