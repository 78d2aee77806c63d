import { describe, expect, it, vi } from "vitest";
import { createFakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { createFacade, installFacade, type UzFacade } from "./facade";

type Method = keyof UzFacade;

// method, its arguments, the command it sends, the argument object sent
const commands: [Method, unknown[], string, Record<string, unknown>][] = [
  ["getState", [], "state_get", {}],
  ["setMode", ["zero"], "mode_set", { mode: "zero" }],
  ["setEnabled", [false], "enabled_set", { on: false }],
  ["patchSettings", [{ theme: "dark" }], "settings_patch", { patch: { theme: "dark" } }],
  ["setHotkey", ["Control+Alt+H"], "hotkey_set", { accelerator: "Control+Alt+H" }],
  ["resetDefaults", [], "settings_reset", {}],
  ["listRunningApps", [], "apps_running", {}],
  ["listInstalledApps", [], "apps_installed", {}],
  ["setAppMode", ["word.exe", "Word", "fast"], "apps_set", { exe: "word.exe", name: "Word", mode: "fast" }],
  ["setAppMode", ["word.exe", null, null], "apps_set", { exe: "word.exe", name: null, mode: null }],
  ["pickAppFile", [], "apps_pick_file", {}],
  ["finishOnboarding", [], "onboarding_done", {}],
  ["retryHook", [], "hook_retry", {}],
  ["debugMode", [], "debug_mode", {}],
  ["checkUpdate", [], "update_check", {}],
  ["downloadUpdate", [], "update_download", {}],
  ["installUpdate", [], "update_install", {}],
  ["closePopup", [], "popup_close", {}],
  ["fitPopup", [312], "popup_fit", { height: 312 }],
  ["showMain", ["/lab"], "main_show", { route: "/lab" }],
  ["showMain", [], "main_show", { route: null }],
  ["closeToast", [], "toast_close", {}],
  ["openExternal", ["https://harvel.uz/r/a%20b"], "open_external", { url: "https://harvel.uz/r/a%20b" }],
  ["hideWindow", [], "hide_window", {}],
  ["quit", [], "app_quit", {}],
  ["relaunch", [], "app_relaunch", {}],
];

function call(uz: UzFacade, method: Method, args: unknown[]) {
  return (uz[method] as (...a: unknown[]) => unknown)(...args);
}

describe("command facade", () => {
  it.each(commands)("%s(%j) sends %s with %j and returns its answer", async (method, args, name, sent) => {
    const fake = createFakeBridge();
    const answer = { from: name };
    fake.invoke.mockResolvedValueOnce(answer);
    const result = call(createFacade(fake.bridge), method, args);

    expect(fake.invoke).toHaveBeenCalledTimes(1);
    expect(fake.invoke).toHaveBeenCalledWith(name, sent);
    await expect(result).resolves.toBe(answer);
  });

  it.each([
    ["debugLog", ["hook: ok"], "debug_log", { line: "hook: ok" }],
    ["cancelUpdate", [], "update_cancel", {}],
  ] as [Method, unknown[], string, object][])("%s sends %s and returns nothing, even when refused", async (method, args, name, sent) => {
    const fake = createFakeBridge();
    fake.invoke.mockRejectedValueOnce("refused");
    // A refusal of these is dropped: Vitest fails the run on an unhandled rejection.
    expect(call(createFacade(fake.bridge), method, args)).toBeUndefined();
    expect(fake.invoke).toHaveBeenCalledWith(name, sent);
    await new Promise((resolve) => setTimeout(resolve, 0));
  });

  it("passes a refusal on to the caller once, without retrying", async () => {
    const fake = createFakeBridge();
    fake.invoke.mockRejectedValueOnce("invalid args `accelerator`");
    await expect(createFacade(fake.bridge).setHotkey("x")).rejects.toBe("invalid args `accelerator`");
    expect(fake.invoke).toHaveBeenCalledTimes(1);
  });
});

describe("event listeners", () => {
  it("onState hands each Snapshot payload over until stopped", () => {
    const fake = createFakeBridge();
    const cb = vi.fn();
    const stop = createFacade(fake.bridge).onState(cb);
    const snapshot = makeSnapshot();

    fake.emit("state-changed", snapshot);
    expect(cb).toHaveBeenCalledWith(snapshot);

    stop();
    fake.emit("state-changed", snapshot);
    expect(cb).toHaveBeenCalledTimes(1);
    expect(fake.listenerCount("state-changed")).toBe(0);
  });

  it("onNavigate hands over route texts and skips payloads that are not text", () => {
    const fake = createFakeBridge();
    const cb = vi.fn();
    createFacade(fake.bridge).onNavigate(cb);

    fake.emit("navigate", "/settings");
    fake.emit("navigate", { route: "/lab" });
    fake.emit("navigate");
    expect(cb.mock.calls).toEqual([["/settings"]]);
  });

  it("onPopupShown calls back with nothing", () => {
    const fake = createFakeBridge();
    const cb = vi.fn();
    const stop = createFacade(fake.bridge).onPopupShown(cb);

    fake.emit("popup-shown", null);
    expect(cb).toHaveBeenCalledWith();
    stop();
    expect(fake.listenerCount("popup-shown")).toBe(0);
  });

  it("listens to each event under its own name only", () => {
    const fake = createFakeBridge();
    const uz = createFacade(fake.bridge);
    const onState = vi.fn();
    const onNavigate = vi.fn();
    const onShown = vi.fn();
    uz.onState(onState);
    uz.onNavigate(onNavigate);
    uz.onPopupShown(onShown);

    fake.emit("navigate", "/lab");
    expect(onState).not.toHaveBeenCalled();
    expect(onShown).not.toHaveBeenCalled();
    expect(onNavigate).toHaveBeenCalledOnce();
  });
});

describe("installFacade", () => {
  it("installs window.uz only when the native bridge is present", async () => {
    installFacade();
    expect(window.uz).toBeUndefined();

    const fake = createFakeBridge();
    window.__HARVEL_IPC__ = fake.bridge;
    installFacade();
    await window.uz?.setMode("fast");
    expect(fake.invoke).toHaveBeenCalledWith("mode_set", { mode: "fast" });
  });
});
