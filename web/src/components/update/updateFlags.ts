import { useSyncExternalStore } from "react";

// Two page-wide values shared by every view of the main window (home page, settings
// page). They live as long as the page: a reload forgets them.

interface Flags {
  /** An install started from some InstallButton is pending. */
  installing: boolean;
  /** The ready version whose home banner the user put off with "Keyinroq". */
  dismissedReady: string | null;
}

let flags: Flags = { installing: false, dismissedReady: null };
const listeners = new Set<() => void>();

function set(patch: Partial<Flags>) {
  flags = { ...flags, ...patch };
  for (const listener of [...listeners]) listener();
}

function subscribe(listener: () => void) {
  listeners.add(listener);
  return () => void listeners.delete(listener);
}

export function useUpdateFlags(): Flags {
  return useSyncExternalStore(subscribe, () => flags);
}

export const setInstalling = (installing: boolean) => set({ installing });
export const dismissReady = (version: string) => set({ dismissedReady: version });

/** Back to a freshly loaded page (tests). */
export function resetUpdateFlags(): void {
  set({ installing: false, dismissedReady: null });
}
