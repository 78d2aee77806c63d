// What the key map draws for a mode and a key set: the rows of the on-screen keyboard
// with the extra key and the keys of the new letters marked, and the texts around it.

import { MODES } from "../../lib/modes";
import type { ModeName } from "../../lib/types";
import {
  DEFAULT_KEYS,
  LETTER_LEGEND,
  SLOTS,
  SLOT_LETTERS,
  effectiveFastKeys,
  extraKeyById,
  fastKeyChoice,
  type KeySet,
} from "../../typing/keys";

export interface DrawnKey {
  /** What the key cap reads; empty for the space bar. */
  label: string;
  /** Width in pixels; keys are 48 px high. */
  width: number;
  /** A modifier key (drawn in the modifier colour). */
  modifier?: boolean;
  /** The extra key of the key set. */
  extra?: boolean;
  /** The new letter this key types, shown as a badge. */
  badge?: string;
}

export interface DrawnRow {
  /** Space before the first key, in pixels. */
  indent: number;
  keys: DrawnKey[];
}

export const KEY_SIZE = 48;

const letters = (text: string): DrawnKey[] => Array.from(text, (label) => ({ label, width: KEY_SIZE }));

const HYBRID_BADGES: Record<string, string> = { S: "ş", C: "ç", O: "ö", G: "ğ" };

/** The keyboard of Fast or Hybrid with the user's keys. */
export function keyboardRows(mode: "fast" | "hybrid", keys: KeySet = DEFAULT_KEYS): DrawnRow[] {
  const extra = extraKeyById(keys.hybrid);
  const caps = extra.id === "caps";
  const rows: DrawnRow[] = [
    { indent: 0, keys: letters("QWERTYUIOP[]\\") },
    {
      indent: caps ? 0 : 22,
      keys: [...(caps ? [{ label: "Caps", width: 70, modifier: true, extra: true }] : []), ...letters("ASDFGHJKL;'")],
    },
    { indent: 52, keys: letters("ZXCVBNM") },
    {
      indent: 0,
      keys: [
        { label: "Ctrl", width: 66, modifier: true },
        { label: "Alt", width: 66, modifier: true },
        { label: "", width: 250, modifier: true },
        { label: "Right Alt", width: 96, modifier: true, extra: extra.id === "ralt" },
        { label: "Right Ctrl", width: 86, modifier: true, extra: extra.id === "rctrl" },
        ...(["ralt", "rctrl", "caps"].includes(extra.id)
          ? []
          : [{ label: extra.caption, width: 96, modifier: true, extra: true }]),
      ],
    },
  ];

  // Which drawn key types which new letter, found by the key's label.
  const badges = new Map<string, string>();
  if (mode === "fast") {
    const fast = effectiveFastKeys(keys.fast);
    for (const slot of SLOTS) {
      const caption = fastKeyChoice(fast[slot])?.caption;
      if (caption) badges.set(caption.toUpperCase(), SLOT_LETTERS[slot].lower);
    }
  } else {
    for (const [label, letter] of Object.entries(HYBRID_BADGES)) badges.set(label, letter);
  }
  for (const row of rows.slice(0, 3)) {
    for (const key of row.keys) {
      if (key.modifier) continue;
      const badge = badges.get(key.label.toUpperCase());
      if (badge) key.badge = badge;
    }
  }
  return rows;
}

/** The four spellings of Zero-learning ("—" for English) with the letters they become. */
export function spellingCards(mode: "zero" | "english"): { spelling: string; letter: string }[] {
  return LETTER_LEGEND.map((row) => ({ spelling: mode === "english" ? "—" : row.zero, letter: row.letter }));
}

const KEYMAP_MODE_NAMES = ["fast", "hybrid", "zero"] as const;

export type KeymapMode = (typeof KEYMAP_MODE_NAMES)[number];

/** The modes the key map can show, in tab order, labelled as everywhere else. */
export const KEYMAP_MODES: readonly { value: KeymapMode; label: string }[] = KEYMAP_MODE_NAMES.map((value) => ({
  value,
  label: MODES[value].label,
}));

/** The mode the key map opens with: the global one, Hybrid in place of English. */
export function initialKeymapMode(mode: ModeName): KeymapMode {
  return KEYMAP_MODES.find((m) => m.value === mode)?.value ?? "hybrid";
}

export const KEYMAP_DESCRIPTIONS: Record<KeymapMode, string> = {
  fast: "Fast: har harf bitta tugma.",
  hybrid: "Hybrid: oddiy klaviatura saqlanadi, qo‘shimcha tugma bilan yangi harf.",
  zero: "Zero-learning: odatdagidek yozing.",
};

export const ZERO_NOTE =
  "Odatdagidek yozing. Ikki harf (sh, ch, o‘, g‘) yozilgan zahoti yangi harfga aylanadi. Inglizcha so‘z (masalan shop) tugagach asl holiga qaytadi.";

/** The note under the keyboard of Fast or Hybrid; `extra` is the extra key's caption. */
export function keyboardNote(mode: "fast" | "hybrid", extra: string): string {
  const middle =
    mode === "fast"
      ? `${extra} + tugma: tugmaning asl belgisi. Fast’da to‘rt tugma o‘zbekcha harfga aylanadi.`
      : "Boshqa tugmalar o‘zgarmaydi.";
  return `Shift: katta harf. ${middle} Bu yerda faqat ko‘rsatiladi; haqiqiy rejim Asosiy yoki tray’da almashtiriladi.`;
}
