// Old Uzbek Latin (sh, ch, o', g') to the new letters (ş, ç, ö, ğ). Protected spans,
// foreign-looking words and words glued to digits are left alone; every change and
// every doubtful place is reported with its code-point span.

import {
  APOSTROPHE,
  CYRILLIC,
  DIGIT,
  LATIN,
  LETTER,
  MARK,
  classOf,
  isLetterClass,
  isLetterOrMark,
  isUnusualApostrophe,
  protectReferences,
  protectSpans,
  splitCodePoints,
  type CodePoints,
} from "./classes";
import { unitsToString, withoutSurrogates, type Utf8Sink } from "./output";
import {
  LATIN_PROFILE,
  MESSAGES,
  asText,
  codePointLength,
  internalErrorMessage,
  type Change,
  type ConvertResult,
  type Counted,
  type ConvertWarning,
  type RuleId,
  type WarningKind,
} from "./types";

const TUTUQ = 0x2bc;

/** English words written with sh or ch (or o/g and an apostrophe) that stay as they are. */
export const FOREIGN_WORDS: ReadonlySet<string> = new Set([
  // shared with the keyboard's exception list
  "should", "show", "shows", "shown", "shop", "shops", "shot", "ship", "shall", "shell", "she", "sheet",
  "shut", "shy", "shift", "share", "sharp", "check", "checks", "chat", "chart", "change", "changes",
  "channel", "charge", "chance", "chair", "cheap", "cheese", "chief", "child", "children", "choose",
  "chose", "church", "chip", "chips", "chrome", "much", "such", "each", "which", "rich", "teach", "reach",
  "research", "search", "touch", "push", "wash", "fish", "dish", "wish", "english", "finish", "publish",
  "cash", "crash", "flash", "fresh", "brush", "machine", "technology", "school", "echo", "anchor",
  "architecture", "chaos", "character", "chemistry", "orchestra", "ghost", "bash", "gnash",
  // the converter's own additions
  "shopping", "checking", "chocolate", "champion", "champions", "chicken", "church", "chess", "chip",
  "machines", "schools", "sheep", "shirt",
]);

/**
 * Beginnings of foreign proper names written with sh or ch: people, cities and one
 * product. Names the pattern test already catches (th, ck, a lone c) need no entry.
 */
export const FOREIGN_NAME_PREFIXES: readonly string[] = [
  "michael", "richard", "charles", "charlotte", "mitchell", "fletcher", "shakespear", "joshua", "rachel",
  "churchill", "manchester", "zurich", "munich", "chevrolet",
];

/** Words whose s and h are two sounds, with the position of that s. */
const SPLIT_STEMS: readonly [stem: string, at: number][] = [
  ["ishoq", 1],
  ["ashob", 1],
  ["mushaf", 2],
];

// For each first letter of a stem, the positions of the s in the stems it begins (one bit each).
const STEM_INITIALS = new Uint8Array(128);
for (const [stem, at] of SPLIT_STEMS) STEM_INITIALS[stem.charCodeAt(0)] |= 1 << at;

const FLAG_UNKNOWN = 1;
const FLAG_TUTUQ = 2;
const FLAG_QUOTE = 4;
const FLAG_SH = 8;
const FLAG_MARK = 16;

const isOG = (cp: number) => cp === 0x6f || cp === 0x4f || cp === 0x67 || cp === 0x47;
const isH = (cp: number) => cp === 0x68 || cp === 0x48;

// Every replacement text, written once: the new letters and the spellings of a split s-h.
// (As arrays over ASCII: indexed by a letter without a look-up by key.)
const asciiTable = (entries: Record<number, string>): string[] => {
  const table: string[] = new Array(128).fill("");
  for (const [cp, text] of Object.entries(entries)) table[Number(cp)] = text;
  return table;
};
const NEW_LETTER = asciiTable({ 0x73: "ş", 0x53: "Ş", 0x63: "ç", 0x43: "Ç", 0x6f: "ö", 0x4f: "Ö", 0x67: "ğ", 0x47: "Ğ" });
const WITH_TUTUQ = asciiTable({ 0x6f: "oʼ", 0x4f: "Oʼ", 0x67: "gʼ", 0x47: "Gʼ" });

// Every replacement the converter makes, by number: its text, its rule, the alternative
// a warning offers, and its one code unit (0 when it has more). Candidates and changes
// keep only the number.
const REPLACEMENT_TO: string[] = [];
const REPLACEMENT_RULE: RuleId[] = [];
const REPLACEMENT_ALT: (string | undefined)[] = [];
function replacement(to: string, rule: RuleId, alt?: string): number {
  REPLACEMENT_TO.push(to);
  REPLACEMENT_RULE.push(rule);
  REPLACEMENT_ALT.push(alt);
  return REPLACEMENT_TO.length - 1;
}
const byLetter = (letters: string, make: (cp: number) => number) => {
  const table = new Uint8Array(128);
  for (const ch of letters) table[ch.charCodeAt(0)] = make(ch.charCodeAt(0));
  return table;
};
/** s h and c h (by the s or c). */
const DIGRAPH = byLetter("sScC", (cp) => replacement(NEW_LETTER[cp], (cp | 0x20) === 0x73 ? "A-01" : "A-02"));
/** o and g before an apostrophe, without and with the spelling with U+02BC as alternative. */
const OG = byLetter("oOgG", (cp) => replacement(NEW_LETTER[cp], (cp | 0x20) === 0x6f ? "A-03" : "A-04"));
const OG_WITH_ALT = byLetter("oOgG", (cp) => replacement(NEW_LETTER[cp], (cp | 0x20) === 0x6f ? "A-03" : "A-04", WITH_TUTUQ[cp]));
/** An s and h of a split stem, by the s's case (2 for capital) and the h's (1). */
const SPLIT_SH = ["sʼh", "sʼH", "Sʼh", "SʼH"].map((to) => replacement(to, "A-09", NEW_LETTER[to.charCodeAt(0)]));
const APOSTROPHE_CHANGE = replacement("ʼ", "A-06");
const S_COMMA = replacement("ş", "P-01");
const S_COMMA_CAPITAL = replacement("Ş", "P-01");
const LONGEST_REPLACEMENT = Math.max(...REPLACEMENT_TO.map((to) => to.length));
const REPLACEMENT_UNIT = Uint16Array.from(REPLACEMENT_TO, (to) => (to.length === 1 ? to.charCodeAt(0) : 0));
const REPLACEMENT_UTF8 = REPLACEMENT_TO.map((to) => new TextEncoder().encode(to)); // for the output of ASCII text

// Lower-cased forms of code points beyond ASCII, for word keys.
const lowerCache = new Map<number, number[]>();
function lowerOf(cp: number): number[] {
  let lower = lowerCache.get(cp);
  if (lower === undefined) {
    lower = Array.from(String.fromCodePoint(cp).toLowerCase(), (ch) => ch.codePointAt(0)!);
    lowerCache.set(cp, lower);
  }
  return lower;
}

const ALLOWED_LATIN = new Set([0xe7, 0x15f, 0x11f, 0xf6, 0x219]);
// Length, first and last letter of every listed word: most keys fail this before any
// string is built for them. One bit per length for each pair of first and last
// letters; a word of 32 letters or more goes to the list itself.
const WORD_SHAPES = new Uint32Array(128 * 128);
for (const w of FOREIGN_WORDS) if (w.length < 32) WORD_SHAPES[w.charCodeAt(0) * 128 + w.charCodeAt(w.length - 1)] |= 1 << w.length;
const hasWordShape = (length: number, first: number, last: number) =>
  length >= 32 || (WORD_SHAPES[first * 128 + last] & (1 << length)) !== 0;
// The listed words of up to ten letters as numbers (five bits a letter, a = 1), so that
// an ASCII word is looked up without a string made of it.
const PACKED_LETTERS = 10;
const PACKED_WORDS = new Set<number>();
for (const w of FOREIGN_WORDS) {
  if (w.length > PACKED_LETTERS) continue;
  let packed = 0;
  for (let k = 0; k < w.length; k++) packed = packed * 32 + (w.charCodeAt(k) - 0x60);
  PACKED_WORDS.add(packed);
}
// The name prefixes by their first letter (all ASCII).
const PREFIXES_BY_INITIAL: (readonly string[] | undefined)[] = new Array(128).fill(undefined);
for (const prefix of FOREIGN_NAME_PREFIXES) {
  const initial = prefix.charCodeAt(0);
  PREFIXES_BY_INITIAL[initial] = [...(PREFIXES_BY_INITIAL[initial] ?? []), prefix];
}

// The first two letters of every name prefix.
const PREFIX_PAIRS = new Uint8Array(128 * 128);
for (const prefix of FOREIGN_NAME_PREFIXES) PREFIX_PAIRS[(prefix.charCodeAt(0) << 7) | prefix.charCodeAt(1)] = 1;

const isAz = (c: number) => c >= 0x61 && c <= 0x7a;

// ASCII characters that the scan may pass without a look at their words: all but the
// apostrophes and h (which makes a change after s or c).
const QUIET_ASCII = new Uint8Array(128).fill(1);
QUIET_ASCII[0x27] = QUIET_ASCII[0x60] = QUIET_ASCII[0x68] = QUIET_ASCII[0x48] = 0;

/** An English contraction: two or more letters, an apostrophe, then s, t, re, ve or ll. */
function isContraction(key: ArrayLike<number>, len: number): boolean {
  let q = 0;
  while (q < len && isAz(key[q])) q++;
  if (q < 2 || q >= len || key[q] !== 0x27) return false;
  const rest = len - q - 1;
  return isContractionTail(rest, key[q + 1], rest === 2 ? key[q + 2] : -1, key[q - 1]);
}

/**
 * Whether the `rest` (1 or 2) characters `a` and `b` after a contraction's apostrophe
 * are s, t, re, ve or ll, `before` being the letter before the apostrophe.
 */
function isContractionTail(rest: number, a: number, b: number, before: number): boolean {
  const tail =
    rest === 1
      ? a === 0x73 || a === 0x74 // s t
      : rest === 2 && ((a === 0x72 && b === 0x65) || (a === 0x76 && b === 0x65) || (a === 0x6c && b === 0x6c)); // re ve ll
  // bog's, bo's: an Uzbek ending after o' or g', not a contraction
  return tail && !(rest === 1 && a === 0x73 && (before === 0x6f || before === 0x67));
}

/** The foreign test on a word key (lower case, apostrophes as U+0027) of `len` code points. */
export function foreignKind(key: ArrayLike<number>, len: number = key.length): "foreign-pattern" | "foreign-dict" | null {
  // One pass: the letter patterns of foreign words, and what the list test needs.
  let apostrophes = 0;
  let first = -1;
  let last = -1;
  for (let i = 0; i < len; i++) {
    const c = key[i];
    if (c === 0x27) {
      apostrophes++;
      continue;
    }
    if (first < 0) first = c;
    last = c;
    const next = i + 1 < len ? key[i + 1] : -1;
    if (c === 0x77) return "foreign-pattern"; // w (and wh)
    if (c === 0x63 && next !== 0x68) return "foreign-pattern"; // a c not before h (and ck)
    if (next === 0x68 && (c === 0x70 || c === 0x74)) return "foreign-pattern"; // ph th
    if (c === 0x73 && next === 0x63 && i + 2 < len && key[i + 2] === 0x68) return "foreign-pattern"; // sch
    if (c >= 0x80 && classOf(c) === LATIN && !ALLOWED_LATIN.has(c)) return "foreign-pattern";
  }
  if (apostrophes > 0 && isContraction(key, len)) return "foreign-pattern";

  // The word without apostrophes against the list and the name prefixes.
  if (first < 0 || first > 0x7f) return null;
  const bareLength = len - apostrophes;
  if (last <= 0x7f && hasWordShape(bareLength, first, last)) {
    let bare = "";
    for (let i = 0; i < len; i++) if (key[i] !== 0x27) bare += String.fromCodePoint(key[i]);
    if (FOREIGN_WORDS.has(bare)) return "foreign-dict";
  }
  const prefixes = PREFIXES_BY_INITIAL[first];
  if (prefixes !== undefined) {
    for (const prefix of prefixes) {
      if (prefix.length > bareLength) continue;
      let k = 0;
      for (let i = 0; i < len && k < prefix.length; i++) {
        if (key[i] === 0x27) continue;
        if (key[i] !== prefix.charCodeAt(k)) break;
        k++;
      }
      if (k === prefix.length) return "foreign-dict";
    }
  }
  return null;
}

function internalError(value: unknown, error: unknown): ConvertResult {
  const text = typeof value === "string" ? value : "";
  return {
    output: text,
    changes: [],
    warnings: [
      { start: 0, end: codePointLength(text), kind: "internal-error", message: internalErrorMessage(error) },
    ],
    input: text,
    profile: LATIN_PROFILE,
  };
}

export interface LatinOptions {
  /** Leave character references (&mdash;, &#39;) of markup text as they are. */
  keepReferences?: boolean;
}

const byPlace = (a: ConvertWarning, b: ConvertWarning) => a.start - b.start || a.end - b.end;

function inOrder(warnings: ConvertWarning[]): boolean {
  for (let k = 1; k < warnings.length; k++) if (byPlace(warnings[k - 1], warnings[k]) > 0) return false;
  return true;
}

/** Converts old-Latin text to the new alphabet. Never throws. */
export function convertOldLatin(value?: unknown, options?: LatinOptions): ConvertResult {
  try {
    const input = begin(asText(value), options?.keepReferences === true, true);
    const output = finish(null);
    const changes = changeRecords();
    const { warnings } = state;
    // They come nearly always in order already; a stable sort would keep that order.
    if (!inOrder(warnings)) warnings.sort(byPlace);
    return { output, changes, warnings, input, profile: LATIN_PROFILE };
  } catch (error) {
    return internalError(value, error);
  }
}

/**
 * The same conversion, counting its changes and warnings instead of recording them.
 * With a sink the output goes there as UTF-8; with the spans asked for it is not made.
 * Either way `output` is then null.
 */
export function countOldLatin(
  text: string,
  options?: LatinOptions,
  sink: Utf8Sink | null = null,
  withSpans = false,
  split: CodePoints | null = null,
): Counted {
  const written = sink === null ? 0 : sink.size();
  try {
    const input = begin(text, options?.keepReferences === true, false, split);
    // Whoever asks for the spans places the replacements itself.
    const output = withSpans ? null : finish(sink);
    const counted: Counted = { output: sink === null ? output : null, input, changes: state.changeCount, warnings: state.warningCount, failure: null, script: "latin" };
    if (withSpans) counted.spans = { count: state.changeCount, start: changeStart, end: changeEnd, to: changeTexts() };
    return counted;
  } catch (error) {
    sink?.truncate(written);
    return { output: text, input: text, changes: 0, warnings: 1, failure: internalErrorMessage(error), script: "latin" };
  }
}

// The conversion in progress. One text is converted at a time, so its state lives here
// rather than in closures made anew for every text (many texts are a few words long).
const state = {
  input: "",
  points: null as unknown as CodePoints,
  prot: new Uint8Array(0) as Uint8Array,
  /** Code-unit offset of each code point, when records are kept of a text with astral characters. */
  unitAt: null as Uint32Array | null,
  detail: false,
  warnings: [] as ConvertWarning[],
  changeCount: 0,
  warningCount: 0,
  /** The pending run of Cyrillic words, -1 when there is none. */
  runStart: -1,
  runEnd: -1,
};

// The candidates of the word being examined, reused from word to word.
let nc = 0;
const candStart: number[] = [];
const candEnd: number[] = [];
/** The replacements, by number. */
const candCode: number[] = [];

// The changes applied so far: code-point spans, their replacements and rules, in order.
let changeStart = new Int32Array(1024);
let changeEnd = new Int32Array(1024);
let changeCode = new Uint8Array(1024);

/** The replacement texts of the changes, in order. */
function changeTexts(): string[] {
  const texts: string[] = new Array(state.changeCount);
  for (let c = 0; c < texts.length; c++) texts[c] = REPLACEMENT_TO[changeCode[c]];
  return texts;
}

/** The changes as records, made at once in an array of their number. */
function changeRecords(): Change[] {
  const { cps } = state.points;
  const count = state.changeCount;
  const records: Change[] = new Array(count);
  for (let c = 0; c < count; c++) {
    const at = changeStart[c];
    const from = changeEnd[c] - at === 1 ? spelled(cps[at], -1) : spelled(cps[at], cps[at + 1]);
    const code = changeCode[c];
    records[c] = { start: at, end: changeEnd[c], from, to: REPLACEMENT_TO[code], rule: REPLACEMENT_RULE[code] };
  }
  return records;
}

const NO_SUGGESTION = 0;
const CANDIDATES = 1;
const ALTERNATIVES = 2;


/** A warning; its suggestion (the word with its candidates applied, or their alternatives) is spelled out only when records are kept. */
function warn(start: number, end: number, kind: WarningKind, suggestion: number) {
  state.warningCount++;
  if (!state.detail) return;
  const message = MESSAGES[kind as keyof typeof MESSAGES];
  // Each shape made whole at once, rather than a property added after.
  state.warnings.push(
    suggestion === NO_SUGGESTION
      ? { start, end, kind, message }
      : { start, end, kind, message, suggestion: applied(start, end, suggestion === ALTERNATIVES) },
  );
}

function closeRun() {
  if (state.runStart < 0) return;
  state.warningCount++;
  if (state.detail) {
    state.warnings.push({ start: state.runStart, end: state.runEnd, kind: "cyrillic-unsupported", message: MESSAGES["cyrillic-unsupported"] });
  }
  state.runStart = state.runEnd = -1;
}

function add(start: number, end: number, code: number) {
  candStart[nc] = start;
  candEnd[nc] = end;
  candCode[nc++] = code;
}

function addOG(start: number, end: number, letter: number, withAlt: boolean) {
  add(start, end, withAlt ? OG_WITH_ALT[letter] : OG[letter]);
}

/** Whether the apostrophe at `j` stands between letters (or a mark and a letter) of the word from `start`. */
const isInnerApostrophe = (cls: Uint8Array, start: number, j: number, limit: number) =>
  j > start && isLetterOrMark(cls[j - 1]) && j + 1 < limit && isLetterClass(cls[j + 1]);

/** The candidate of the apostrophe `cp` at `j`, inside a word; answers the flags it gives the word. */
function addApostrophe(cps: Uint32Array, j: number, cp: number): number {
  let flags = 0;
  const unusual = isUnusualApostrophe(cp);
  if (unusual) flags |= FLAG_UNKNOWN;
  const before = cps[j - 1];
  if (isOG(before)) {
    if (cp === TUTUQ) flags |= FLAG_TUTUQ;
    addOG(j - 1, j + 1, before, cp === TUTUQ || unusual);
  } else {
    if (cp === 0x2bb) flags |= FLAG_UNKNOWN;
    if (cp !== TUTUQ) add(j, j + 1, APOSTROPHE_CHANGE);
  }
  return flags;
}

/** The word's text with each candidate replaced by its `to` (or its alternative). */
function applied(start: number, end: number, useAlt: boolean): string {
  const { input, unitAt } = state;
  let out = "";
  let k = unitAt === null ? start : unitAt[start];
  for (let c = 0; c < nc; c++) {
    const code = candCode[c];
    const alt = REPLACEMENT_ALT[code];
    const at = unitAt === null ? candStart[c] : unitAt[candStart[c]];
    out += (at > k ? input.slice(k, at) : "") + (useAlt && alt !== undefined ? alt : REPLACEMENT_TO[code]);
    k = unitAt === null ? candEnd[c] : unitAt[candEnd[c]];
  }
  const last = unitAt === null ? end : unitAt[end];
  if (k < last) out += input.slice(k, last);
  return out;
}

/**
 * Normalises and converts a text, leaving its changes and warnings in `state`; answers
 * the normalised text. `split`: the text already split (by the last shared split).
 */
function begin(raw: string, keepReferences: boolean, detail: boolean, split: CodePoints | null = null): string {
  let input = raw;
  let points = split ?? splitCodePoints(raw, true);
  if (!points.nfc) {
    input = raw.normalize("NFC");
    if (input !== raw) points = splitCodePoints(input, true);
  }
  const { cps, n } = points;
  state.input = input;
  state.points = points;
  state.detail = detail;
  state.warnings = [];
  state.changeCount = 0;
  state.runStart = state.runEnd = -1;
  const prot = (state.prot = protectSpans(points, state.warnings, true));
  if (keepReferences) protectReferences(points, prot);
  state.warningCount = state.warnings.length;
  if (!detail) state.warnings = NO_WARNINGS;

  // Only the records are spelled from the text by code-unit offsets.
  state.unitAt = null;
  if (detail && n !== input.length) {
    const unitAt = (state.unitAt = new Uint32Array(n + 1));
    let u = 0;
    for (let i = 0; i < n; i++) {
      unitAt[i] = u;
      u += cps[i] > 0xffff ? 2 : 1;
    }
    unitAt[n] = u;
  }

  scanWords(points.cls, prot, n);
  closeRun();
  return input;
}

// The scan on its own: a loop this hot is compiled while it runs, and only calls whose
// feedback is already known should be in the same function.
// Protected spans are rare: the scan goes from one to the next, so that the words
// between them need not look at each code point's protection.
// Between them, a stretch of ASCII without apostrophes, without an h after s or c, is
// passed at once: its words can neither change nor be reported, and (with no Cyrillic
// words pending) looking at them does nothing. The scan goes on from the start of the
// letters before the first character that ends such a stretch.
function scanWords(cls: Uint8Array, prot: Uint8Array, n: number) {
  const { cps } = state.points;
  const marks = prot.subarray(0, n); // the shared buffer may hold older marks beyond n
  let i = 0;
  while (i < n) {
    let limit = marks.indexOf(1, i);
    if (limit < 0) limit = n;
    while (i < limit) {
      if (state.runStart < 0) {
        let p = i;
        while (p < limit) {
          const cp = cps[p];
          if (cp < 0x80 && QUIET_ASCII[cp] !== 0) p++;
          else if ((cp | 0x20) === 0x68 && p > 0 && (cps[p - 1] | 0x20) !== 0x73 && (cps[p - 1] | 0x20) !== 0x63) p++;
          else break;
        }
        if (p === limit) {
          i = limit;
          break;
        }
        while (p > i && cls[p - 1] === LATIN) p--;
        i = p;
      }
      if (!isLetterClass(cls[i])) i++;
      else i = word(i, limit);
    }
    while (i < n && prot[i]) i++;
  }
}

// A stand-in for the warnings of a conversion that only counts (never written to).
const NO_WARNINGS: ConvertWarning[] = [];

// What the reading of a word tells its foreign test: a letter pattern was found, or
// the word is not plain ASCII and the test builds its key (any other value: an ASCII
// word without a pattern, with that many apostrophes).
const PATTERN_FOUND = -2;
const ASK_KEY = -1;

/**
 * Examines the word that starts at `i`, before the protected code point at `limit` (or
 * the end); answers where it ends. Words of ASCII letters and apostrophes (nearly all of
 * an old-Latin text) are read here in one pass that also runs the foreign test's letter
 * patterns; a word with any other letter or mark is read again by `otherWord`.
 */
function word(i: number, limit: number): number {
  const { cps, cls } = state.points;
  const start = i;
  let inner = false;
  let flags = 0;
  let pattern = false;
  let apostrophes = 0;
  // The last two characters of the word's key: lower case, apostrophes as U+0027.
  let k1 = -1;
  let k2 = -1;
  nc = 0;
  let j = i;
  while (j < limit) {
    const c = cls[j];
    const cp = cps[j];
    let key: number;
    if (c === LATIN) {
      if (cp >= 0x80) return otherWord(start, limit);
      key = cp | 0x20;
      if (key === 0x68) {
        if (k1 === 0x73 || k1 === 0x63) {
          add(j - 1, j + 1, DIGRAPH[cps[j - 1]]);
          if (k1 === 0x63 && k2 === 0x73) pattern = true; // sch
        } else if (k1 === 0x70 || k1 === 0x74) {
          pattern = true; // ph th
        }
      } else if (key === 0x77) {
        pattern = true; // w (and wh)
      }
    } else if (c === APOSTROPHE) {
      if (!isInnerApostrophe(cls, start, j, limit)) break;
      inner = true;
      apostrophes++;
      key = 0x27;
      flags |= addApostrophe(cps, j, cp);
    } else if (c === CYRILLIC || c === LETTER || c === MARK) {
      return otherWord(start, limit);
    } else {
      break;
    }
    if (k1 === 0x63 && key !== 0x68) pattern = true; // a c not before h (and ck)
    k2 = k1;
    k1 = key;
    j++;
  }
  if (k1 === 0x63) pattern = true;
  closeRun();
  return settle(start, j, inner, flags, pattern ? PATTERN_FOUND : apostrophes);
}

const asciiKeyAt = (cps: Uint32Array, cls: Uint8Array, k: number) => (cls[k] === APOSTROPHE ? 0x27 : cps[k] | 0x20);

/** The rest of the foreign test (contraction, list, name prefixes) for an ASCII word without a letter pattern. */
function asciiForeign(start: number, end: number, apostrophes: number): "foreign-pattern" | "foreign-dict" | null {
  const { cps, cls } = state.points;
  if (apostrophes > 0) {
    // An English contraction: two or more letters, an apostrophe, then s, t, re, ve or ll.
    let q = start;
    while (q < end && cls[q] === LATIN) q++;
    const rest = end - q - 1;
    if (
      q - start >= 2 &&
      (rest === 1 || rest === 2) &&
      isContractionTail(rest, asciiKeyAt(cps, cls, q + 1), rest === 2 ? asciiKeyAt(cps, cls, q + 2) : -1, cps[q - 1] | 0x20)
    ) {
      return "foreign-pattern";
    }
  }
  // The word without apostrophes against the list and the name prefixes.
  const first = cps[start] | 0x20;
  const bareLength = end - start - apostrophes;
  if (hasWordShape(bareLength, first, cps[end - 1] | 0x20)) {
    if (bareLength <= PACKED_LETTERS) {
      let packed = 0;
      for (let k = start; k < end; k++) if (cls[k] !== APOSTROPHE) packed = packed * 32 + ((cps[k] | 0x20) - 0x60);
      if (PACKED_WORDS.has(packed)) return "foreign-dict";
    } else {
      let bare = "";
      for (let k = start; k < end; k++) if (cls[k] !== APOSTROPHE) bare += String.fromCharCode(cps[k] | 0x20);
      if (FOREIGN_WORDS.has(bare)) return "foreign-dict";
    }
  }
  const second = bareLength < 2 ? 0 : cls[start + 1] === APOSTROPHE ? cps[start + 2] | 0x20 : cps[start + 1] | 0x20;
  const prefixes = PREFIX_PAIRS[(first << 7) | (second & 0x7f)] === 1 ? PREFIXES_BY_INITIAL[first] : undefined;
  if (prefixes !== undefined) {
    for (const prefix of prefixes) {
      if (prefix.length > bareLength) continue;
      let m = 0;
      for (let k = start; k < end && m < prefix.length; k++) {
        if (cls[k] === APOSTROPHE) continue;
        if ((cps[k] | 0x20) !== prefix.charCodeAt(m)) break;
        m++;
      }
      if (m === prefix.length) return "foreign-dict";
    }
  }
  return null;
}

/** `word` for a word with letters beyond ASCII, marks, or letters of other scripts. */
function otherWord(i: number, limit: number): number {
  const { cps, cls } = state.points;

  // The word: unprotected letters and marks, and apostrophes between letters. Its
  // candidates are found on the same pass, left to right; they count only for a word
  // of Latin letters.
  const start = i;
  let latin = 0;
  let cyrillic = 0;
  let others = 0;
  let inner = false;
  let flags = 0;
  nc = 0;
  let j = i;
  while (j < limit) {
    const c = cls[j];
    const cp = cps[j];
    if (c === LATIN) {
      latin++;
      if (cp === 0x218 || cp === 0x219) {
        add(j, j + 1, cp === 0x218 ? S_COMMA_CAPITAL : S_COMMA);
      } else if (((cp | 0x20) === 0x73 || (cp | 0x20) === 0x63) && j + 1 < limit && isH(cps[j + 1])) {
        add(j, j + 2, DIGRAPH[cp]);
      }
    } else if (c === CYRILLIC) cyrillic++;
    else if (c === LETTER) others++;
    else if (c === MARK) {
      // part of the word, not counted
    } else if (c === APOSTROPHE && isInnerApostrophe(cls, start, j, limit)) {
      inner = true;
      flags |= addApostrophe(cps, j, cp);
    } else break;
    j++;
  }
  const end = j;

  const kinds = (latin > 0 ? 1 : 0) + (cyrillic > 0 ? 1 : 0) + (others > 0 ? 1 : 0);
  if (kinds >= 2) {
    closeRun();
    warn(start, end, "mixed-script", NO_SUGGESTION);
    return end;
  }
  if (cyrillic > 0) {
    if (state.runStart < 0) state.runStart = start;
    state.runEnd = end;
    return end;
  }
  if (latin === 0) return end;
  closeRun();
  return settle(start, end, inner, flags, ASK_KEY);
}

/**
 * What follows the reading of a Latin word from `start` to `end` with its candidates:
 * the split stems, a trailing apostrophe, marks after replaced letters, the foreign and
 * digit tests, then the changes and the word's warning; answers `end`. `ascii`: what
 * the reading found for the foreign test (`PATTERN_FOUND`, `ASK_KEY` or a count of
 * apostrophes).
 */
function settle(start: number, end: number, inner: boolean, flags: number, ascii: number): number {
  const { cps, cls, n } = state.points;
  const prot = state.prot;

  // An s and h of a split stem (at most the word's second or third letter) keep both.
  if (!inner) {
    for (let c = 0; c < nc && candStart[c] - start <= 2; c++) {
      const at = candStart[c];
      if (REPLACEMENT_RULE[candCode[c]] === "A-01" && splitStemAt(cps, start, end, at)) {
        candCode[c] = SPLIT_SH[(cps[at] === 0x53 ? 2 : 0) + (cps[at + 1] === 0x48 ? 1 : 0)];
        flags |= FLAG_SH;
      }
    }
  }

  // A trailing apostrophe after a final o or g.
  if (end < n && !prot[end] && cls[end] === APOSTROPHE && (end + 1 >= n || cls[end + 1] !== APOSTROPHE) && isOG(cps[end - 1])) {
    const opensWithQuote =
      start > 0 && !prot[start - 1] && cls[start - 1] === APOSTROPHE && (start === 1 || !isLetterOrMark(cls[start - 2]));
    if (opensWithQuote) {
      flags |= FLAG_QUOTE;
    } else {
      const t = cps[end];
      const unusual = isUnusualApostrophe(t);
      if (unusual) flags |= FLAG_UNKNOWN;
      if (t === TUTUQ) flags |= FLAG_TUTUQ;
      addOG(end - 1, end + 1, cps[end - 1], t === TUTUQ || unusual);
    }
  }

  // A combining mark right after a replaced letter would land on the wrong letter. (An
  // ASCII word holds none: only the two places after it can.)
  if (nc > 0 && (ascii === ASK_KEY || (end < n && cls[end] === MARK) || (end + 1 < n && cls[end + 1] === MARK))) {
    let w = 0;
    for (let c = 0; c < nc; c++) {
      const rule = REPLACEMENT_RULE[candCode[c]];
      if (rule !== "A-06" && rule !== "A-09" && candEnd[c] < n && cls[candEnd[c]] === MARK) {
        flags |= FLAG_MARK;
      } else if (w !== c) {
        candStart[w] = candStart[c];
        candEnd[w] = candEnd[c];
        candCode[w++] = candCode[c];
      } else {
        w++;
      }
    }
    nc = w;
  }

  if (nc > 0) {
    const kind =
      ascii === ASK_KEY
        ? foreignKey(cps, cls, start, end)
        : ascii === PATTERN_FOUND
          ? "foreign-pattern"
          : asciiForeign(start, end, ascii);
    if (kind !== null) {
      warn(start, end, kind, CANDIDATES);
      return end;
    }
    if ((start > 0 && cls[start - 1] === DIGIT) || (end < n && cls[end] === DIGIT)) {
      warn(start, end, "alnum-token", CANDIDATES);
      return end;
    }
    let count = state.changeCount;
    if (count + nc > changeStart.length) growChanges(count + nc);
    for (let c = 0; c < nc; c++) {
      changeStart[count] = candStart[c];
      changeEnd[count] = candEnd[c];
      changeCode[count++] = candCode[c];
    }
    state.changeCount = count;
  }

  if (flags & FLAG_UNKNOWN) warn(start, end, "unknown-apostrophe", NO_SUGGESTION);
  else if (flags & FLAG_TUTUQ) warn(start, end, "tutuq-after-og", ALTERNATIVES);
  else if (flags & FLAG_QUOTE) warn(start, end, "quote-vs-apostrophe", NO_SUGGESTION);
  else if (flags & FLAG_SH) warn(start, end, "sh-boundary-restored", ALTERNATIVES);
  else if (flags & FLAG_MARK) warn(start, end, "odd-combining-mark", NO_SUGGESTION);
  return end;
}

// A change replaces one or two code points; their texts repeat endlessly ("sh", "o'"),
// so each is made once: in a table when both are ASCII (or the second is absent), else
// in maps.
const asciiSpellings: (string | undefined)[] = new Array(128 * 129).fill(undefined);
const spellings = new Map<number, Map<number, string>>();
function spelled(first: number, second: number): string {
  if (first < 128 && second < 128) {
    const at = first * 129 + second + 1;
    let text = asciiSpellings[at];
    if (text === undefined) {
      text = second < 0 ? String.fromCharCode(first) : String.fromCharCode(first, second);
      asciiSpellings[at] = text;
    }
    return text;
  }
  let row = spellings.get(first);
  if (row === undefined) spellings.set(first, (row = new Map()));
  let text = row.get(second);
  if (text === undefined) {
    text = second < 0 ? String.fromCodePoint(first) : String.fromCodePoint(first, second);
    row.set(second, text);
  }
  return text;
}

function growChanges(size: number) {
  const start = new Int32Array(size * 2);
  start.set(changeStart);
  changeStart = start;
  const end = new Int32Array(size * 2);
  end.set(changeEnd);
  changeEnd = end;
  const code = new Uint8Array(size * 2);
  code.set(changeCode);
  changeCode = code;
}

// The output's UTF-16 code units, written into a buffer kept between calls.
let outUnits = new Uint16Array(0);

/** Writes code points `from` to `to` as UTF-16 at `o`; answers where the next unit goes. */
function copyUnits(units: Uint16Array, o: number, cps: Uint32Array, from: number, to: number, bmp: boolean): number {
  if (bmp) {
    if (to - from > 64) {
      units.set(cps.subarray(from, to), o);
      return o + (to - from);
    }
    for (let k = from; k < to; k++) units[o++] = cps[k];
    return o;
  }
  for (let k = from; k < to; k++) {
    const cp = cps[k];
    if (cp < 0x10000) units[o++] = cp;
    else {
      units[o++] = 0xd800 + ((cp - 0x10000) >> 10);
      units[o++] = 0xdc00 + ((cp - 0x10000) & 0x3ff);
    }
  }
  return o;
}

/** The converted text: into the sink (answering "") or as a string. */
function finish(sink: Utf8Sink | null): string {
  const { input, points } = state;
  const { cps, n } = points;
  const count = state.changeCount;
  const bmp = n === input.length; // one code unit per code point
  if (sink !== null) {
    if (count === 0) {
      sink.write(input);
      return "";
    }
    if (points.ascii !== null) {
      sink.writeAsciiSpliced(points.ascii, { starts: changeStart, ends: changeEnd, codes: changeCode, count }, REPLACEMENT_UTF8);
      return "";
    }
    let k = 0;
    for (let c = 0; c < count; c++) {
      sink.writeCodePoints(cps, k, changeStart[c], bmp ? input : null);
      const code = changeCode[c];
      if (REPLACEMENT_UNIT[code] !== 0) sink.writeCodePoint(REPLACEMENT_UNIT[code]);
      else sink.write(REPLACEMENT_TO[code]);
      k = changeEnd[c];
    }
    sink.writeCodePoints(cps, k, n, bmp ? input : null);
    return "";
  }
  if (count === 0) return input;

  const room = 2 * n + LONGEST_REPLACEMENT * count + 16;
  if (outUnits.length < room) outUnits = new Uint16Array(Math.ceil(room * 1.25));
  const units = outUnits;
  let o = 0;
  let k = 0;
  for (let c = 0; c < count; c++) {
    o = copyUnits(units, o, cps, k, changeStart[c], bmp);
    const code = changeCode[c];
    const single = REPLACEMENT_UNIT[code];
    if (single !== 0) {
      units[o++] = single;
    } else {
      const to = REPLACEMENT_TO[code];
      for (let t = 0; t < to.length; t++) units[o++] = to.charCodeAt(t);
    }
    k = changeEnd[c];
  }
  o = copyUnits(units, o, cps, k, n, bmp);
  return unitsToString(units, o, points.nfc || withoutSurrogates(input));
}

/** Whether the s at `at` is the s of a split stem that the word begins with. */
function splitStemAt(cps: Uint32Array, start: number, end: number, at: number): boolean {
  const offset = at - start;
  if ((STEM_INITIALS[(cps[start] | 0x20) & 0x7f] & (1 << offset)) === 0) return false;
  const len = end - start;
  for (const [stem, pos] of SPLIT_STEMS) {
    if (pos !== offset || len < stem.length || len > stem.length + 8) continue;
    let ok = true;
    for (let k = 0; k < len && ok; k++) {
      const lower = cps[start + k] | 0x20;
      if (cps[start + k] > 0x7a || lower < 0x61 || lower > 0x7a) ok = false;
      else if (k < stem.length && lower !== stem.charCodeAt(k)) ok = false;
    }
    if (ok) return true;
  }
  return false;
}

// The key of the word being tested, grown when a longer word comes.
let keyBuffer = new Uint32Array(64);

/** The foreign test on the word's key. */
function foreignKey(cps: Uint32Array, cls: Uint8Array, start: number, end: number): ReturnType<typeof foreignKind> {
  // The key is written first: a long word's key replaces the buffer with a larger one.
  const len = wordKey(cps, cls, start, end);
  return foreignKind(keyBuffer, len);
}

/** Writes the word lower-cased, apostrophes as U+0027, into `keyBuffer`; answers its length. */
function wordKey(cps: Uint32Array, cls: Uint8Array, start: number, end: number): number {
  let len = 0;
  for (let k = start; k < end; k++) {
    if (len + 4 > keyBuffer.length) {
      const grown = new Uint32Array(keyBuffer.length * 2 + (end - start) * 3);
      grown.set(keyBuffer);
      keyBuffer = grown;
    }
    const cp = cps[k];
    if (cls[k] === APOSTROPHE) keyBuffer[len++] = 0x27;
    else if (cp < 0x80) keyBuffer[len++] = cp >= 0x41 && cp <= 0x5a ? cp + 32 : cp;
    else for (const l of lowerOf(cp)) keyBuffer[len++] = l;
  }
  return len;
}
