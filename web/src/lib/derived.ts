import type { Snapshot } from "./types";

// Values several views derive from the state; pure functions of the Snapshot.

/** The program can download and install its own updates. */
export function selfUpdatePossible(state: Snapshot): boolean {
  return !state.update.portable && state.update.sigConfigured;
}

const LAYOUT_MODES = new Set(["fast", "hybrid"]);

/** Fast and Hybrid depend on the keyboard layout; the pause matters only while one of them is in use. */
export function layoutPauseRelevant(state: Snapshot): boolean {
  const { settings } = state;
  return (
    settings.enabled &&
    (LAYOUT_MODES.has(settings.mode) || settings.apps.some((rule) => LAYOUT_MODES.has(rule.mode)))
  );
}

export function layoutPaused(state: Snapshot): boolean {
  return layoutPauseRelevant(state) && !state.layout.compatible;
}

/** Where to send the user to get a new version by hand. */
export function downloadPageUrl(state: Snapshot): string {
  const { portable, portableUrl } = state.update;
  if (portable && portableUrl) return portableUrl;
  return `${state.settings.siteUrl}/yuklab-olish`;
}
