import type { Settings, Snapshot } from "../lib/types";

/** A complete Snapshot as a fresh, onboarded program sends it; `settings` and the rest can be overridden. */
export function makeSnapshot(
  overrides: Omit<Partial<Snapshot>, "settings"> & { settings?: Partial<Settings> } = {},
): Snapshot {
  const { settings, ...rest } = overrides;
  return {
    settings: {
      mode: "hybrid",
      enabled: true,
      hotkey: "Control+Shift+U",
      startup: false,
      theme: "system",
      offers: true,
      hybridKey: "ralt",
      fastKeys: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight" },
      onboarded: true,
      checker: false,
      checkerToast: false,
      apps: [],
      siteUrl: "https://harvel.uz",
      ...settings,
    },
    hook: "on",
    hookError: null,
    hotkeyOk: true,
    killSwitch: { active: false, message: null },
    update: {
      phase: "idle",
      latest: null,
      sizeMb: null,
      pct: 0,
      checkedAt: 0,
      outdated: false,
      portable: false,
      portableUrl: null,
      sigConfigured: true,
      error: null,
    },
    currentApp: null,
    ads: { slot: "desktop.about", campaign: null, top: null, home: null, side: null },
    layout: { compatible: true, name: "US", reason: null },
    version: "0.1.7",
    platform: "win32",
    ...rest,
  };
}
