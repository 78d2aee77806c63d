// A controllable stand-in for the system's colour preference (jsdom has no matchMedia).

type Listener = (event: MediaQueryListEvent) => void;

let dark = false;
const listeners = new Set<Listener>();

function query(media: string): MediaQueryList {
  const watchesDark = media === "(prefers-color-scheme: dark)";
  return {
    media,
    get matches() {
      return watchesDark && dark;
    },
    onchange: null,
    addEventListener: (_type: string, listener: Listener) => watchesDark && listeners.add(listener),
    removeEventListener: (_type: string, listener: Listener) => listeners.delete(listener),
    addListener: () => {},
    removeListener: () => {},
    dispatchEvent: () => false,
  } as unknown as MediaQueryList;
}

window.matchMedia = query;

/** Switches the system preference and tells every listener, as the system would. */
export function setSystemDark(value: boolean): void {
  dark = value;
  for (const listener of [...listeners]) listener({ matches: value } as MediaQueryListEvent);
}

export function mediaListenerCount(): number {
  return listeners.size;
}

export function resetMedia(): void {
  dark = false;
  listeners.clear();
}
