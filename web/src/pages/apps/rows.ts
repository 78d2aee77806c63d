import { MODES, OFF_LABEL } from "../../lib/modes";
import type { AppInfo, AppRule, ModeName, RuleMode, Settings, Snapshot } from "../../lib/types";

/** One line of the applications table. */
export interface AppRow {
  exe: string;
  name: string;
  /** The program's rule, or null when the global mode applies. */
  mode: RuleMode | null;
  /** Running now (or the foreground program). */
  open: boolean;
}

export type AppFilter = "all" | "rule" | "open";

/** The rule selector's choices, in order; "default" stands for no rule. */
export const RULE_OPTIONS: { value: RuleMode | "default"; label: string }[] = [
  { value: "default", label: "Umumiy" },
  { value: "english", label: MODES.english.label },
  { value: "fast", label: MODES.fast.label },
  { value: "hybrid", label: MODES.hybrid.label },
  { value: "zero", label: MODES.zero.label },
  { value: "off", label: OFF_LABEL },
];

const collator = new Intl.Collator();

const key = (exe: string) => exe.toLowerCase();

/**
 * Rules first (with their own name and mode), then every running program without a rule;
 * each group sorted by name.
 */
export function buildRows(rules: AppRule[], running: AppInfo[], currentApp: AppInfo | null): AppRow[] {
  const openExes = new Set(running.map((app) => key(app.exe)));
  if (currentApp) openExes.add(key(currentApp.exe));

  const ruled = new Set<string>();
  const withRule: AppRow[] = rules.map((rule) => {
    ruled.add(key(rule.exe));
    return { exe: rule.exe, name: rule.name, mode: rule.mode, open: openExes.has(key(rule.exe)) };
  });

  const seen = new Set(ruled);
  const without: AppRow[] = [];
  for (const app of running) {
    if (seen.has(key(app.exe))) continue;
    seen.add(key(app.exe));
    without.push({ exe: app.exe, name: app.name, mode: null, open: true });
  }

  const byName = (a: AppRow, b: AppRow) => collator.compare(a.name, b.name);
  return [...withRule.sort(byName), ...without.sort(byName)];
}

/** The search as it is matched: trimmed and lower-cased. */
export const normaliseSearch = (text: string) => text.trim().toLowerCase();

export function filterRows(rows: AppRow[], filter: AppFilter, search: string): AppRow[] {
  const s = normaliseSearch(search);
  return rows.filter(
    (row) =>
      (filter === "all" || (filter === "rule" && row.mode !== null) || (filter === "open" && row.open)) &&
      (!s || row.name.toLowerCase().includes(s) || row.exe.toLowerCase().includes(s)),
  );
}

/** The icon of a program: the running entry's, else the installed entry's. */
export function iconLookup(running: AppInfo[], installed: AppInfo[]): (exe: string) => string | undefined {
  const icons = new Map<string, string>();
  for (const app of installed) if (app.icon) icons.set(key(app.exe), app.icon);
  for (const app of running) if (app.icon) icons.set(key(app.exe), app.icon);
  return (exe) => icons.get(key(exe));
}

/** The mode a newly added program starts with. */
export function defaultNewMode(settings: Pick<Settings, "enabled" | "mode">): ModeName {
  return settings.enabled && settings.mode !== "english" ? settings.mode : "fast";
}

/** What "Umumiy" means right now, for the notice after a rule is dropped. */
export function globalLabel(state: Snapshot): string {
  return state.settings.enabled ? MODES[state.settings.mode].label : OFF_LABEL;
}
