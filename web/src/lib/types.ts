// JSON shapes of the state the native side sends ("state-changed", `state_get`)
// and of the records the commands answer with. Keys are listed in the order the
// native side writes them.

export type ModeName = "english" | "fast" | "hybrid" | "zero";

/** A per-application rule: a mode, or "off" for no conversion in that program. */
export type RuleMode = ModeName | "off";

/** "system", "light" or "dark"; an older settings file may hold any text. */
export type Theme = "system" | "light" | "dark" | (string & {});

export interface FastKeys {
  sh: string;
  ch: string;
  o: string;
  g: string;
}

export interface AppRule {
  name: string;
  exe: string;
  mode: RuleMode;
}

export interface Settings {
  mode: ModeName;
  enabled: boolean;
  hotkey: string;
  startup: boolean;
  theme: Theme;
  offers: boolean;
  hybridKey: string;
  fastKeys: FastKeys;
  onboarded: boolean;
  checker: boolean;
  checkerToast: boolean;
  apps: AppRule[];
  siteUrl: string;
}

export interface KillInfo {
  active: boolean;
  /** The switch's message while it is on (possibly empty); null while it is off. */
  message: string | null;
}

export type UpdatePhase = "idle" | "checking" | "available" | "downloading" | "ready" | "error";

export interface UpdateInfo {
  phase: UpdatePhase;
  latest: string | null;
  sizeMb: number | null;
  /** Download progress, 0 to 100. */
  pct: number;
  /** Unix milliseconds of the last manifest fetch attempt; 0 = never. */
  checkedAt: number;
  outdated: boolean;
  portable: boolean;
  portableUrl: string | null;
  sigConfigured: boolean;
  error: "network" | "integrity" | null;
}

export interface AppInfo {
  /** Executable file name in lower case, e.g. "notepad.exe". */
  exe: string;
  name: string;
  /** The program's rule, or null when it has none. */
  mode: RuleMode | null;
  /** "data:image/png;base64,…"; absent when the program has no icon. */
  icon?: string;
}

export type AdTheme = "green" | "blue" | "dark" | "amber" | "violet" | "rose";

export interface AdCard {
  id: string;
  title: string;
  text: string;
  url: string;
  /** Always "Reklama". */
  label: string;
  theme?: AdTheme;
  image?: string;
  video?: string;
}

export interface AdsInfo {
  slot: "desktop.about";
  campaign: AdCard | null;
  top: AdCard | null;
  home: AdCard | null;
  side: AdCard | null;
}

export interface LayoutInfo {
  /** The foreground keyboard layout types all of W, C, S, O and G. */
  compatible: boolean;
  name: string;
  reason: string | null;
}

export type HookStatus = "on" | "error" | "off";

export interface Snapshot {
  settings: Settings;
  hook: HookStatus;
  hookError: string | null;
  hotkeyOk: boolean;
  killSwitch: KillInfo;
  update: UpdateInfo;
  currentApp: AppInfo | null;
  ads: AdsInfo;
  layout: LayoutInfo;
  version: string;
  platform: "win32";
}

/** The answer of a command that can be refused; `reason` is absent on success. */
export interface Outcome {
  ok: boolean;
  reason?: string;
}

export type ToastKind = "info" | "off" | "warn" | "ok" | "error";

/** One native notice, set as `window.__toast` by the toast window's start script. */
export interface ToastData {
  title: string;
  body: string;
  kind: ToastKind | (string & {});
}
