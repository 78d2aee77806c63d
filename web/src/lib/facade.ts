import type { CommandName, HarvelBridge } from "./bridge";
import type { AppInfo, ModeName, Outcome, RuleMode, Settings, Snapshot } from "./types";

/**
 * `window.uz`: the only road from the page to the native side. Each method sends one
 * command and returns its promise; `debugLog` and `cancelUpdate` send and return
 * nothing. The page never changes state itself: effects show up in the next Snapshot.
 */
export interface UzFacade {
  getState(): Promise<Snapshot>;
  setMode(mode: ModeName): Promise<void>;
  setEnabled(on: boolean): Promise<void>;
  patchSettings(patch: Partial<Settings>): Promise<void>;
  setHotkey(accelerator: string): Promise<Outcome>;
  resetDefaults(): Promise<void>;
  listRunningApps(): Promise<AppInfo[]>;
  listInstalledApps(): Promise<AppInfo[]>;
  /** A null name and mode remove the program's rule. */
  setAppMode(exe: string, name: string | null, mode: RuleMode | null): Promise<void>;
  pickAppFile(): Promise<AppInfo | null>;
  finishOnboarding(): Promise<void>;
  retryHook(): Promise<void>;
  debugMode(): Promise<boolean>;
  debugLog(line: string): void;
  checkUpdate(): Promise<void>;
  downloadUpdate(): Promise<void>;
  cancelUpdate(): void;
  installUpdate(): Promise<Outcome>;
  closePopup(): Promise<void>;
  fitPopup(height: number): Promise<void>;
  /** Shows the main window, at `route` when given. */
  showMain(route?: string): Promise<void>;
  closeToast(): Promise<void>;
  openExternal(url: string): Promise<void>;
  hideWindow(): Promise<void>;
  quit(): Promise<void>;
  relaunch(): Promise<void>;

  /** Each listener returns a function that stops it. */
  onState(cb: (state: Snapshot) => void): () => void;
  onNavigate(cb: (route: string) => void): () => void;
  onPopupShown(cb: () => void): () => void;
}

export function createFacade(bridge: HarvelBridge): UzFacade {
  const call = <T = void>(name: CommandName, args: Record<string, unknown> = {}) =>
    bridge.invoke(name, args) as Promise<T>;
  // Fire and forget: nobody awaits these, so a refusal must not surface as an
  // unhandled rejection.
  const send = (name: CommandName, args: Record<string, unknown> = {}) => {
    bridge.invoke(name, args).catch(() => {});
  };

  return {
    getState: () => call<Snapshot>("state_get"),
    setMode: (mode) => call("mode_set", { mode }),
    setEnabled: (on) => call("enabled_set", { on }),
    patchSettings: (patch) => call("settings_patch", { patch }),
    setHotkey: (accelerator) => call<Outcome>("hotkey_set", { accelerator }),
    resetDefaults: () => call("settings_reset"),
    listRunningApps: () => call<AppInfo[]>("apps_running"),
    listInstalledApps: () => call<AppInfo[]>("apps_installed"),
    setAppMode: (exe, name, mode) => call("apps_set", { exe, name, mode }),
    pickAppFile: () => call<AppInfo | null>("apps_pick_file"),
    finishOnboarding: () => call("onboarding_done"),
    retryHook: () => call("hook_retry"),
    debugMode: () => call<boolean>("debug_mode"),
    debugLog: (line) => send("debug_log", { line }),
    checkUpdate: () => call("update_check"),
    downloadUpdate: () => call("update_download"),
    cancelUpdate: () => send("update_cancel"),
    installUpdate: () => call<Outcome>("update_install"),
    closePopup: () => call("popup_close"),
    fitPopup: (height) => call("popup_fit", { height }),
    showMain: (route) => call("main_show", { route: route ?? null }),
    closeToast: () => call("toast_close"),
    openExternal: (url) => call("open_external", { url }),
    hideWindow: () => call("hide_window"),
    quit: () => call("app_quit"),
    relaunch: () => call("app_relaunch"),

    onState: (cb) => bridge.listen("state-changed", (payload) => cb(payload as Snapshot)),
    onNavigate: (cb) =>
      bridge.listen("navigate", (payload) => {
        if (typeof payload === "string") cb(payload);
      }),
    onPopupShown: (cb) => bridge.listen("popup-shown", () => cb()),
  };
}

/** Puts the facade on the window when the native bridge is there; otherwise leaves none. */
export function installFacade(win: Window = window): void {
  const bridge = win.__HARVEL_IPC__;
  if (bridge) win.uz = createFacade(bridge);
}
