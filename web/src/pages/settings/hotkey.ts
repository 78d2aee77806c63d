// Turning a key press into the accelerator text the native shortcut parser reads
// ("Control+Shift+U"), and back into key caps for display.

const NAMED_KEYS: Record<string, string> = {
  Space: "Space",
  Enter: "Return",
  Backspace: "Backspace",
  Tab: "Tab",
  ArrowUp: "Up",
  ArrowDown: "Down",
  ArrowLeft: "Left",
  ArrowRight: "Right",
  Minus: "-",
  Equal: "=",
};

// AltGraph is what a right Alt reports on layouts that have one: a modifier too.
const MODIFIER_KEYS = new Set(["Control", "Shift", "Alt", "Meta", "AltGraph"]);

/** The accelerator's main key for a DOM key code, or null for a key the shortcut cannot use. */
export function mainKey(code: string): string | null {
  let m = /^Key([A-Z])$/.exec(code);
  if (m) return m[1];
  m = /^Digit([0-9])$/.exec(code);
  if (m) return m[1];
  if (/^F[0-9]{1,2}$/.test(code)) return code;
  return NAMED_KEYS[code] ?? null;
}

export interface KeyPress {
  key: string;
  code: string;
  ctrlKey: boolean;
  altKey: boolean;
  shiftKey: boolean;
  metaKey: boolean;
}

/** What one key press means to the recorder. */
export type Recorded =
  | { kind: "cancel" }
  | { kind: "ignore" }
  | { kind: "refused" }
  | { kind: "accelerator"; accelerator: string };

export function recordKey(e: KeyPress): Recorded {
  if (e.key === "Escape") return { kind: "cancel" };
  if (MODIFIER_KEYS.has(e.key)) return { kind: "ignore" };
  const key = mainKey(e.code);
  const modifiers = [
    e.ctrlKey && "Control",
    e.altKey && "Alt",
    e.shiftKey && "Shift",
    e.metaKey && "Super",
  ].filter((m): m is string => Boolean(m));
  if (key === null || modifiers.length === 0) return { kind: "refused" };
  return { kind: "accelerator", accelerator: [...modifiers, key].join("+") };
}

/** The parts shown as key caps: "Control" is written "Ctrl". */
export function acceleratorParts(accelerator: string): string[] {
  return accelerator
    .split("+")
    .filter((part) => part !== "")
    .map((part) => (part === "Control" ? "Ctrl" : part));
}
