import type { ModeName } from "../../lib/types";

export type Screen = "intro" | "mode" | "test" | "fail" | "ready" | "later";

/** The modes the flow offers. */
export type FlowMode = "fast" | "hybrid" | "zero";

export const FLOW_MODES: readonly FlowMode[] = ["fast", "hybrid", "zero"];

/** The four new letters, in the order they are listed. */
export const NEW_LETTERS = ["ş", "ç", "ö", "ğ"] as const;
export type NewLetter = (typeof NEW_LETTERS)[number];

export const MODE_CARDS: Record<FlowMode, { tag: string; text: string; rows: [string, NewLetter][] }> = {
  fast: {
    tag: "Tez yozuvchilarga",
    text: "Eng tez. Bitta tugma, bitta harf.",
    rows: [["W", "ş"], ["C", "ç"], ["[", "ö"], ["]", "ğ"]],
  },
  hybrid: {
    tag: "Kod va matn aralash",
    text: "US belgilar saqlanadi, yangi harf Right Alt bilan.",
    rows: [["R.Alt+S", "ş"], ["R.Alt+C", "ç"], ["R.Alt+O", "ö"], ["R.Alt+G", "ğ"]],
  },
  zero: {
    tag: "Yangi boshlovchilarga",
    text: "Hech narsa yodlamaysiz: odatdagidek yozing.",
    rows: [["sh", "ş"], ["ch", "ç"], ["o‘", "ö"], ["g‘", "ğ"]],
  },
};

/** How each letter is typed, as the test's hints name it. */
export const HINT_KEYS: Record<FlowMode, Record<NewLetter, string>> = {
  fast: { ş: "W", ç: "C", ö: "[", ğ: "]" },
  hybrid: { ş: "Right Alt+S", ç: "Right Alt+C", ö: "Right Alt+O", ğ: "Right Alt+G" },
  zero: { ş: "sh", ç: "ch", ö: "o‘", ğ: "g‘" },
};

const FIRST_HINT: Record<FlowMode, string> = {
  fast: "Fast: W, C, [ va ] ni bosing.",
  hybrid: "Hybrid: Right Alt + S, C, O, G.",
  zero: "Zero-learning: sh, ch, o‘, g‘ yozing.",
};

const ASK = "Maydonda to‘rttala yangi harfni yozib ko‘ring.";

/** The hint above the test box for what has been found so far. */
export function testHint(mode: FlowMode, found: ReadonlySet<string>): string {
  const missing = NEW_LETTERS.filter((letter) => !found.has(letter));
  if (missing.length === NEW_LETTERS.length) return `${ASK} ${FIRST_HINT[mode]}`;
  if (missing.length === 0) return ASK;
  const rest = missing.map((letter) => `${letter.toUpperCase()} (${HINT_KEYS[mode][letter]})`).join(", ");
  return `${ASK} Yana: ${rest}.`;
}

/** The found letters after the box reads `text`: letters are added, never removed. */
export function addFoundLetters(found: ReadonlySet<string>, text: string): ReadonlySet<string> {
  const lower = text.toLowerCase();
  const fresh = NEW_LETTERS.filter((letter) => !found.has(letter) && lower.includes(letter));
  return fresh.length ? new Set([...found, ...fresh]) : found;
}

/** The mode chosen when the flow opens: the current one for a user who has been here before. */
export function initialChoice(onboarded: boolean, mode: ModeName): FlowMode | null {
  return onboarded && mode !== "english" ? mode : null;
}

/** The card an arrow key picks in the mode group; with none chosen, forward picks "fast" and back "hybrid". */
export function stepChoice(current: FlowMode | null, forward: boolean): FlowMode {
  const count = FLOW_MODES.length;
  if (current === null) return forward ? "fast" : "hybrid";
  const i = FLOW_MODES.indexOf(current);
  return FLOW_MODES[(i + (forward ? 1 : count - 1)) % count];
}
