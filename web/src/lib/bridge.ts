/**
 * The page's link to the native program.
 *
 * Before any page script runs, the native host defines the global
 * `window.__HARVEL_IPC__` in every web view it creates ("main", "popup", "toast").
 * The page relies on exactly this much of it:
 *
 * - `invoke(name, args)` sends one call to the native side. `name` is one of the
 *   program's commands (see `CommandName`) or one of the window calls below; `args`
 *   is always a plain object whose keys are the argument names (an empty object when
 *   the call takes none). The returned promise settles exactly once: it resolves with
 *   the JSON answer already parsed (null for calls without a result) or rejects with
 *   the native side's error text (a string). The page never retries a call.
 *
 * - `listen(event, handler)` registers `handler` for one native event and returns a
 *   function that removes it again; registration and removal take effect at once.
 *   Whenever the native side emits that event to this web view, every handler
 *   registered for it is called with the event's payload already parsed from JSON
 *   (undefined when the event carries none). Events in use:
 *     "state-changed" — payload: a `Snapshot`;
 *     "navigate"      — payload: a route text such as "/settings" (main window);
 *     "popup-shown"   — no payload (pop-up window).
 *
 * Window calls, sent through `invoke` with an empty argument object; each acts on the
 * web view's own window:
 *     "window_minimize", "window_toggle_maximize", "window_close" (the ordinary close
 *     request: the native side decides whether the window hides or closes),
 *     "window_start_dragging" (starts a move with the mouse button held),
 *     "window_is_maximized" (answers a boolean).
 *
 * Without the global (the page opened in an ordinary browser) no facade is installed
 * and the page says that it needs the program.
 */
export interface HarvelBridge {
  invoke(name: string, args: Record<string, unknown>): Promise<unknown>;
  listen(event: string, handler: (payload: unknown) => void): () => void;
}

/** The native events the page listens to. */
export type NativeEvent = "state-changed" | "navigate" | "popup-shown";

/** The program's 26 commands. */
export type CommandName =
  | "state_get"
  | "mode_set"
  | "enabled_set"
  | "settings_patch"
  | "hotkey_set"
  | "settings_reset"
  | "apps_running"
  | "apps_set"
  | "apps_pick_file"
  | "onboarding_done"
  | "hook_retry"
  | "apps_installed"
  | "debug_mode"
  | "debug_log"
  | "update_check"
  | "update_cancel"
  | "update_download"
  | "update_install"
  | "popup_close"
  | "popup_fit"
  | "toast_close"
  | "main_show"
  | "open_external"
  | "hide_window"
  | "app_quit"
  | "app_relaunch";

/** The title bar's calls on its own window. */
export type WindowCall =
  | "window_minimize"
  | "window_toggle_maximize"
  | "window_is_maximized"
  | "window_close"
  | "window_start_dragging";

export function getBridge(): HarvelBridge | undefined {
  return window.__HARVEL_IPC__;
}
