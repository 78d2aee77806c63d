// The page's own copy of the keyboard engine's typing rules. It watches the key events of
// one text box and rewrites that box's text (never the system's), so the practice boxes
// behave like typing anywhere else with the same mode and keys.

import type { ModeName } from "../lib/types";
import { ENGLISH_WORDS } from "./english";
import {
  DEFAULT_KEYS,
  HYBRID_LETTERS,
  SLOTS,
  SLOT_LETTERS,
  effectiveFastKeys,
  extraKeyById,
  fastKeyChoice,
  type ExtraKey,
  type KeySet,
} from "./keys";

/** What the mode rules see of one key-down. */
export interface KeyInput {
  code: string;
  shift: boolean;
  caps: boolean;
  ctrl: boolean;
  alt: boolean;
  /** The extra key is held. */
  altGr: boolean;
  meta: boolean;
}

export type Decision = { kind: "pass" } | { kind: "emit"; text: string };

export type TextBox = HTMLTextAreaElement | HTMLInputElement;

/** The parts of a DOM or React keyboard event the engine reads. */
export interface KeyEventLike {
  code: string;
  key: string;
  shiftKey: boolean;
  ctrlKey: boolean;
  altKey: boolean;
  metaKey: boolean;
  repeat?: boolean;
  isComposing?: boolean;
  keyCode?: number;
  nativeEvent?: { isComposing?: boolean };
  target: EventTarget | null;
  currentTarget?: EventTarget | null;
  getModifierState(key: string): boolean;
  preventDefault(): void;
}

/** The apostrophe-like characters of Zero-learning: ' ‘ ’ ʻ ` ´ */
export const APOSTROPHES: ReadonlySet<string> = new Set(["'", "\u2018", "\u2019", "\u02BB", "`", "\u00B4"]);

// ---- page-wide key state ----

// Which keys are down, seen by window listeners in the capture phase before any box
// sees the key; and whether the engine typed a character since the extra key went down.
const held = new Map<string, boolean>();
let emitted = false;

function installKeyState(win: Window): void {
  win.addEventListener("keydown", (e) => held.set(e.code, true), true);
  win.addEventListener("keyup", (e) => held.set(e.code, false), true);
  // Keys released while another window has the focus never report their key-up here.
  // (Only the window's own blur: an element's blur does not bubble up to it.)
  win.addEventListener("blur", (e) => {
    if (!(e.target instanceof Node)) for (const code of held.keys()) held.set(code, false);
  });
}

if (typeof window !== "undefined") installKeyState(window);

const isHeld = (code: string) => held.get(code) === true;

/** Forgets every held key and the emitted flag (for tests). */
export function resetKeyState(): void {
  held.clear();
  emitted = false;
}

// ---- decisions ----

const PASS: Decision = { kind: "pass" };
const emit = (text: string): Decision => ({ kind: "emit", text });

/** The mode rules of Fast and Hybrid for one key-down. */
export function decideKey(mode: ModeName, input: KeyInput, keys: KeySet = DEFAULT_KEYS): Decision {
  if (mode === "english" || mode === "zero" || input.ctrl || input.meta || input.alt) return PASS;

  if (mode === "fast") {
    const fast = effectiveFastKeys(keys.fast);
    const slot = SLOTS.find((s) => fast[s] === input.code);
    const choice = fastKeyChoice(input.code);
    if (!slot || !choice) return PASS;
    const upper = choice.letter ? input.shift !== input.caps : input.shift;
    // With the extra key held a fast key types its own character.
    if (input.altGr) return emit(upper ? choice.upper : choice.lower);
    return emit(upper ? SLOT_LETTERS[slot].upper : SLOT_LETTERS[slot].lower);
  }

  if (!input.altGr || !Object.hasOwn(HYBRID_LETTERS, input.code)) return PASS;
  const letter = HYBRID_LETTERS[input.code];
  return emit(input.shift !== input.caps ? letter.upper : letter.lower);
}

function keyInput(event: KeyEventLike, extra: ExtraKey): KeyInput {
  const extraHeld = isHeld(extra.code) || (extra.id === "ralt" && event.getModifierState("AltGraph"));
  // The extra key on the right-hand copy of a modifier does not count as that modifier.
  const rightOnly = (id: string, left: string, right: string) =>
    extra.id === id && isHeld(right) && !isHeld(left);
  const raltHeld = extra.id === "ralt" && extraHeld;
  return {
    code: event.code,
    shift: event.shiftKey && !rightOnly("rshift", "ShiftLeft", "ShiftRight"),
    caps: extra.id !== "caps" && event.getModifierState("CapsLock"),
    ctrl: event.ctrlKey && !rightOnly("rctrl", "ControlLeft", "ControlRight") && !raltHeld,
    alt: event.altKey && !raltHeld,
    altGr: extraHeld,
    meta: event.metaKey && !rightOnly("rwin", "MetaLeft", "MetaRight"),
  };
}

function isComposing(event: KeyEventLike): boolean {
  return Boolean(event.isComposing || event.nativeEvent?.isComposing) || event.keyCode === 229;
}

function isTextBox(target: EventTarget | null | undefined): target is TextBox {
  return target instanceof HTMLTextAreaElement || target instanceof HTMLInputElement;
}

function boxOf(event: KeyEventLike): TextBox | null {
  if (isTextBox(event.currentTarget)) return event.currentTarget;
  return isTextBox(event.target) ? event.target : null;
}

const usesExtraKey = (mode: ModeName) => mode === "fast" || mode === "hybrid";

// ---- Zero-learning ----

const PAIRS: Record<string, { next: (k: string) => boolean; lower: string; upper: string }> = {
  s: { next: (k) => k === "h" || k === "H", ...SLOT_LETTERS.sh },
  c: { next: (k) => k === "h" || k === "H", ...SLOT_LETTERS.ch },
  o: { next: (k) => APOSTROPHES.has(k), ...SLOT_LETTERS.o },
  g: { next: (k) => APOSTROPHES.has(k), ...SLOT_LETTERS.g },
};

/** The new letter that `previous` and `typed` make together, in the case of `previous`. */
function pairLetter(previous: string, typed: string): string | null {
  const lower = previous.toLowerCase();
  if (lower.length !== 1 || !Object.hasOwn(PAIRS, lower)) return null;
  const pair = PAIRS[lower];
  if (!pair.next(typed)) return null;
  return previous === lower ? pair.lower : pair.upper;
}

const LETTER = /^\p{Alphabetic}$/u;
const isWordChar = (c: string) => LETTER.test(c) || APOSTROPHES.has(c);

const TO_DIGRAPH: Record<string, string> = { ş: "sh", Ş: "Sh", ç: "ch", Ç: "Ch", ö: "o'", Ö: "O'", ğ: "g'", Ğ: "G'" };
const TO_DIGRAPH_CAPS: Record<string, string> = { ş: "SH", Ş: "SH", ç: "CH", Ç: "CH", ö: "O'", Ö: "O'", ğ: "G'", Ğ: "G'" };

/** The single character a key types, or null (named keys, dead keys). */
function keyChar(key: string): string | null {
  return [...key].length === 1 ? key : null;
}

/** The word (letters and apostrophes) at the end of `text`, stepping over whole characters. */
function trailingWord(text: string): string {
  let start = text.length;
  for (;;) {
    if (start === 0) break;
    let prev = start - 1;
    const unit = text.charCodeAt(prev);
    if (unit >= 0xdc00 && unit <= 0xdfff && prev > 0) {
      const high = text.charCodeAt(prev - 1);
      if (high >= 0xd800 && high <= 0xdbff) prev -= 1;
    }
    if (!isWordChar(text.slice(prev, start))) break;
    start = prev;
  }
  return text.slice(start);
}

// How far back a finished word is looked for (UTF-16 units, as the box counts its caret).
const LOOK_BACK = 80;
const WORD_WINDOW = 64;

function zeroKeyDown(event: KeyEventLike, box: TextBox | null): boolean {
  if (event.ctrlKey || event.metaKey || event.altKey || !box) return false;
  const { selectionStart, selectionEnd, value } = box;
  if (selectionStart !== null && selectionEnd !== null && selectionStart !== selectionEnd) return false;
  const caret = selectionStart ?? value.length;
  const typed = keyChar(event.key);

  // sh, ch, o‘ and g‘ become one letter as soon as the second character is typed.
  if (typed !== null && caret > 0) {
    const letter = pairLetter(value[caret - 1], typed);
    if (letter) {
      event.preventDefault();
      insertAtBox(box, letter, caret - 1);
      return true;
    }
  }

  // At a word's end an English word gets its digraphs back.
  let wordEnd: string | null = null;
  if (typed !== null && !isWordChar(typed)) wordEnd = typed;
  else if (event.key === "Enter" && box instanceof HTMLTextAreaElement) wordEnd = "\n";
  if (wordEnd === null) return false;

  const taken = value.slice(Math.max(0, caret - LOOK_BACK), caret);
  const examined = taken.slice(-WORD_WINDOW);
  const run = trailingWord(examined);
  if (!run) return false;
  // The word may go on beyond what was examined: leave it alone.
  if (examined.length < taken.length && run.length === examined.length) return false;

  const allCaps = run === run.toUpperCase() && run !== run.toLowerCase();
  const table = allCaps ? TO_DIGRAPH_CAPS : TO_DIGRAPH;
  const spelling = [...run].map((c) => table[c] ?? c).join("");
  if (spelling === run) return false;
  const bare = [...spelling.toLowerCase()].filter((c) => !APOSTROPHES.has(c)).join("");
  if (!ENGLISH_WORDS.has(bare)) return false;

  event.preventDefault();
  insertAtBox(box, spelling + wordEnd, caret - run.length);
  return true;
}

// ---- key handlers ----

/** Runs the engine on a key-down in `mode`; true when the engine took the key. */
export function handleKeyDown(event: KeyEventLike, mode: ModeName, keys: KeySet = DEFAULT_KEYS): boolean {
  if (mode === "english" || isComposing(event)) return false;
  const extra = extraKeyById(keys.hybrid);

  if (usesExtraKey(mode) && event.code === extra.code) {
    // Auto-repeat while the key is held does not start a new press.
    if (!event.repeat) emitted = false;
    if (!extra.tap) return false;
    event.preventDefault();
    return true;
  }

  const box = boxOf(event);
  if (mode === "zero") return zeroKeyDown(event, box);

  const decision = decideKey(mode, keyInput(event, extra), keys);
  if (decision.kind === "pass" || !box) return false;
  emitted = true;
  event.preventDefault();
  insertAtBox(box, decision.text);
  return true;
}

/** Runs the engine on a key-up; true when it typed the extra key's tap character. */
export function handleKeyUp(event: KeyEventLike, mode: ModeName, keys: KeySet = DEFAULT_KEYS): boolean {
  const extra = extraKeyById(keys.hybrid);
  if (!extra.tap || event.code !== extra.code || !usesExtraKey(mode) || emitted) return false;
  const box = boxOf(event);
  if (!box) return false;
  event.preventDefault();
  emitted = true;
  insertAtBox(box, event.shiftKey ? extra.tap.shifted : extra.tap.plain);
  return true;
}

function setValue(box: TextBox, value: string): void {
  // The prototype's setter: a view that controls the box must see the change as the user's.
  const setter = Object.getOwnPropertyDescriptor(Object.getPrototypeOf(box), "value")?.set;
  if (setter) setter.call(box, value);
  else box.value = value;
}

/**
 * Replaces the box's text from `from` (default: the selection start) to the selection end
 * with `text`, leaves the caret after it and tells the box's views with an "input" event.
 * With no selection known, the text goes at the end.
 */
export function insertAtBox(box: TextBox, text: string, from?: number): void {
  const { selectionStart, selectionEnd, value } = box;
  const start = from ?? selectionStart ?? value.length;
  const end = selectionStart === null ? value.length : (selectionEnd ?? selectionStart);

  // The editing command keeps the browser's undo history; where it is not available
  // the text is set directly.
  if (selectionStart !== null && box.ownerDocument.activeElement === box) {
    const doc = box.ownerDocument;
    box.setSelectionRange(start, end);
    if (typeof doc.execCommand === "function" && doc.execCommand("insertText", false, text)) return;
  }
  if (selectionStart !== null) {
    box.setRangeText(text, start, end, "end");
  } else {
    setValue(box, value.slice(0, start) + text + value.slice(end));
  }
  box.dispatchEvent(new Event("input", { bubbles: true }));
}

/** The engine as one object, for pages that pass it around. */
export const InPageEngine = { decideKey, handleKeyDown, handleKeyUp, insertAtBox } as const;
