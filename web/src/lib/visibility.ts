import { useSyncExternalStore } from "react";

// Whether the page's window is shown. A hidden window (the main window closed to the
// tray, the pop-up put away) keeps its page loaded so it comes up at once; its timers
// stop meanwhile, so a program sitting in the tray does no work.

function subscribe(onChange: () => void): () => void {
  document.addEventListener("visibilitychange", onChange);
  return () => document.removeEventListener("visibilitychange", onChange);
}

const visible = () => document.visibilityState !== "hidden";

export function usePageVisible(): boolean {
  return useSyncExternalStore(subscribe, visible, () => true);
}
