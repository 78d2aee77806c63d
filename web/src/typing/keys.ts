// Key tables shared by every page that names or types the new letters: the fast-key
// choices, the extra-key table, the letter legend and the example words. They mirror the
// native key tables, so the page and the keyboard engine agree on every code and order.

import type { FastKeys, ModeName } from "../lib/types";

/** The four letter slots, in search order. */
export type Slot = keyof FastKeys;
export const SLOTS: readonly Slot[] = ["sh", "ch", "o", "g"];

export const SLOT_LETTERS: Record<Slot, { lower: string; upper: string }> = {
  sh: { lower: "ş", upper: "Ş" },
  ch: { lower: "ç", upper: "Ç" },
  o: { lower: "ö", upper: "Ö" },
  g: { lower: "ğ", upper: "Ğ" },
};

export interface FastKeyChoice {
  code: string;
  lower: string;
  upper: string;
  /** A letter key: Caps Lock inverts its case. */
  letter: boolean;
  caption: string;
}

/** The ten keys that may serve as fast keys, in the native table's order. */
export const FAST_KEY_CHOICES: readonly FastKeyChoice[] = [
  { code: "KeyW", lower: "w", upper: "W", letter: true, caption: "W" },
  { code: "KeyC", lower: "c", upper: "C", letter: true, caption: "C" },
  { code: "BracketLeft", lower: "[", upper: "{", letter: false, caption: "[" },
  { code: "BracketRight", lower: "]", upper: "}", letter: false, caption: "]" },
  { code: "KeyQ", lower: "q", upper: "Q", letter: true, caption: "Q" },
  { code: "KeyX", lower: "x", upper: "X", letter: true, caption: "X" },
  { code: "Backslash", lower: "\\", upper: "|", letter: false, caption: "\\" },
  { code: "Backquote", lower: "`", upper: "~", letter: false, caption: "`" },
  { code: "Semicolon", lower: ";", upper: ":", letter: false, caption: ";" },
  { code: "Quote", lower: "'", upper: '"', letter: false, caption: "'" },
];

export function fastKeyChoice(code: string): FastKeyChoice | undefined {
  return FAST_KEY_CHOICES.find((choice) => choice.code === code);
}

export interface ExtraKey {
  /** The settings value of "hybridKey". */
  id: string;
  caption: string;
  /** DOM key code of the physical key. */
  code: string;
  /** What a tap of the key types when nothing was typed while it was held. */
  tap?: { plain: string; shifted: string };
}

const FUNCTION_KEYS: ExtraKey[] = Array.from({ length: 12 }, (_, i) => {
  const name = `F${13 + i}`;
  return { id: name.toLowerCase(), caption: name, code: name };
});

/** The values of "hybridKey"; the first row is the default and the fallback. */
export const EXTRA_KEYS: readonly ExtraKey[] = [
  { id: "ralt", caption: "Right Alt", code: "AltRight" },
  { id: "rctrl", caption: "Right Ctrl", code: "ControlRight" },
  { id: "caps", caption: "Caps Lock", code: "CapsLock" },
  { id: "apps", caption: "Menu", code: "ContextMenu" },
  { id: "insert", caption: "Insert", code: "Insert" },
  { id: "scroll", caption: "Scroll Lock", code: "ScrollLock" },
  { id: "pause", caption: "Pause", code: "Pause" },
  { id: "rwin", caption: "Right Win", code: "MetaRight" },
  { id: "rshift", caption: "Right Shift", code: "ShiftRight" },
  { id: "backquote", caption: "` (~)", code: "Backquote", tap: { plain: "`", shifted: "~" } },
  ...FUNCTION_KEYS,
];

/** The row of `id`; an unknown id yields the first row ("ralt"). */
export function extraKeyById(id: string): ExtraKey {
  return EXTRA_KEYS.find((row) => row.id === id) ?? EXTRA_KEYS[0];
}

export function extraKeyLabel(id: string): string {
  return extraKeyById(id).caption;
}

/** The user's keys: the extra key of Hybrid (and of Fast's own characters) and the four fast keys. */
export interface KeySet {
  hybrid: string;
  fast: FastKeys;
}

export const DEFAULT_FAST_KEYS: Readonly<FastKeys> = Object.freeze({
  sh: "KeyW",
  ch: "KeyC",
  o: "BracketLeft",
  g: "BracketRight",
});

export const DEFAULT_KEYS: Readonly<KeySet> = Object.freeze({ hybrid: "ralt", fast: DEFAULT_FAST_KEYS });

/** The key set a page builds from the settings. */
export function keySetFromSettings(settings: { hybridKey: string; fastKeys: FastKeys }): KeySet {
  return { hybrid: settings.hybridKey, fast: settings.fastKeys };
}

/**
 * The fast keys the keyboard engine actually uses: the user's four when each is one of the
 * ten choices and no two are the same key, else the defaults (a stored set can hold names
 * that do not resolve; the native engine then falls back to the defaults too).
 */
export function effectiveFastKeys(fast: FastKeys): FastKeys {
  const codes = SLOTS.map((slot) => fast[slot]);
  const resolves = codes.every((code) => fastKeyChoice(code) !== undefined) && new Set(codes).size === 4;
  return resolves ? fast : DEFAULT_FAST_KEYS;
}

/** The extra key sits on one of the four fast keys. */
export function hasKeyConflict(keys: KeySet): boolean {
  const { code } = extraKeyById(keys.hybrid);
  return SLOTS.some((slot) => keys.fast[slot] === code);
}

/** Hybrid letters: the letter keys that give a new letter while the extra key is held. */
export const HYBRID_LETTERS: Readonly<Record<string, { lower: string; upper: string }>> = {
  KeyS: SLOT_LETTERS.sh,
  KeyC: SLOT_LETTERS.ch,
  KeyO: SLOT_LETTERS.o,
  KeyG: SLOT_LETTERS.g,
};

export interface LegendRow {
  letter: string;
  slot: Slot;
  fast: string;
  hybrid: string;
  zero: string;
  example: string;
}

/** How each new letter is typed in each mode, with the default keys. */
export const LETTER_LEGEND: readonly LegendRow[] = [
  { letter: "ş", slot: "sh", fast: "W", hybrid: "Right Alt + S", zero: "sh", example: "şahar" },
  { letter: "ç", slot: "ch", fast: "C", hybrid: "Right Alt + C", zero: "ch", example: "çiroyli" },
  { letter: "ö", slot: "o", fast: "[", hybrid: "Right Alt + O", zero: "o‘", example: "özbek" },
  { letter: "ğ", slot: "g", fast: "]", hybrid: "Right Alt + G", zero: "g‘", example: "bağ" },
];

/** The example word of each new letter. */
export const EXAMPLE_WORDS: Readonly<Record<string, string>> = Object.fromEntries(
  LETTER_LEGEND.map((row) => [row.letter, row.example]),
);

/** How a letter is typed in `mode` with `keys`; "—" for modes that type no new letters. */
export function keyCaption(mode: ModeName | (string & {}), row: LegendRow, keys: KeySet = DEFAULT_KEYS): string {
  switch (mode) {
    case "fast": {
      const code = effectiveFastKeys(keys.fast)[row.slot];
      return fastKeyChoice(code)?.caption ?? row.fast;
    }
    case "hybrid": {
      const letterKey = row.hybrid.slice(row.hybrid.indexOf(" + ") + 3);
      return `${extraKeyLabel(keys.hybrid)} + ${letterKey}`;
    }
    case "zero":
      return row.zero;
    default:
      return "—";
  }
}
