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
} from "./classes";
import {
  LATIN_PROFILE,
  MESSAGES,
  asText,
  codePointLength,
  internalErrorMessage,
  type Change,
  type ConvertResult,
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

// A candidate is a Change whose `from` is filled in when it is applied; its optional
// alternative replacement is kept beside it.
type Candidate = Change;

const FLAG_UNKNOWN = 1;
const FLAG_TUTUQ = 2;
const FLAG_QUOTE = 4;
const FLAG_SH = 8;
const FLAG_MARK = 16;

const isOG = (cp: number) => cp === 0x6f || cp === 0x4f || cp === 0x67 || cp === 0x47;
const isH = (cp: number) => cp === 0x68 || cp === 0x48;
const isUpperAscii = (cp: number) => cp >= 0x41 && cp <= 0x5a;
const chr = String.fromCharCode;

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
// string is built for them.
const shape = (length: number, first: number, last: number) => length * 0x40000 + first * 0x200 + last;
const WORD_SHAPES = new Set([...FOREIGN_WORDS].map((w) => shape(w.length, w.charCodeAt(0), w.charCodeAt(w.length - 1))));
const PREFIX_INITIALS = new Set(FOREIGN_NAME_PREFIXES.map((p) => p.charCodeAt(0)));

const isAz = (c: number) => c >= 0x61 && c <= 0x7a;

/** An English contraction: two or more letters, an apostrophe, then s, t, re, ve or ll. */
function isContraction(key: ArrayLike<number>, len: number): boolean {
  let q = 0;
  while (q < len && isAz(key[q])) q++;
  if (q < 2 || q >= len || key[q] !== 0x27) return false;
  const rest = len - q - 1;
  const a = key[q + 1];
  const b = rest === 2 ? key[q + 2] : -1;
  const tail =
    rest === 1
      ? a === 0x73 || a === 0x74 // s t
      : rest === 2 && ((a === 0x72 && b === 0x65) || (a === 0x76 && b === 0x65) || (a === 0x6c && b === 0x6c)); // re ve ll
  if (!tail) return false;
  // bog's, bo's: an Uzbek ending after o' or g', not a contraction
  return !(rest === 1 && a === 0x73 && (key[q - 1] === 0x6f || key[q - 1] === 0x67));
}

/** The foreign test on a word key (lower case, apostrophes as U+0027) of `len` code points. */
export function foreignKind(key: ArrayLike<number>, len: number = key.length): "foreign-pattern" | "foreign-dict" | null {
  let apostrophes = 0;
  for (let i = 0; i < len; i++) {
    const c = key[i];
    const next = i + 1 < len ? key[i + 1] : -1;
    if (c === 0x77) return "foreign-pattern"; // w (and wh)
    if (next === 0x68 && (c === 0x70 || c === 0x74)) return "foreign-pattern"; // ph th
    if (c === 0x63 && next === 0x6b) return "foreign-pattern"; // ck
    if (c === 0x73 && next === 0x63 && i + 2 < len && key[i + 2] === 0x68) return "foreign-pattern"; // sch
    if (c === 0x27) apostrophes++;
  }
  if (apostrophes > 0 && isContraction(key, len)) return "foreign-pattern";
  for (let i = 0; i < len; i++) {
    const c = key[i];
    if (c === 0x63 && (i + 1 >= len || key[i + 1] !== 0x68)) return "foreign-pattern";
    if (c >= 0x80 && classOf(c) === LATIN && !ALLOWED_LATIN.has(c)) return "foreign-pattern";
  }

  // The word without apostrophes against the list and the name prefixes.
  let first = -1;
  let last = -1;
  for (let i = 0; i < len; i++) {
    if (key[i] === 0x27) continue;
    if (first < 0) first = key[i];
    last = key[i];
  }
  if (first < 0 || first > 0x7f) return null;
  const bareLength = len - apostrophes;
  if (last <= 0x7f && WORD_SHAPES.has(shape(bareLength, first, last))) {
    let bare = "";
    for (let i = 0; i < len; i++) if (key[i] !== 0x27) bare += String.fromCodePoint(key[i]);
    if (FOREIGN_WORDS.has(bare)) return "foreign-dict";
  }
  if (PREFIX_INITIALS.has(first)) {
    for (const prefix of FOREIGN_NAME_PREFIXES) {
      if (prefix.charCodeAt(0) !== first || prefix.length > bareLength) continue;
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

/** Converts old-Latin text to the new alphabet. Never throws. */
export function convertOldLatin(value?: unknown, options?: LatinOptions): ConvertResult {
  try {
    return convert(asText(value), options?.keepReferences === true);
  } catch (error) {
    return internalError(value, error);
  }
}

function convert(raw: string, keepReferences: boolean): ConvertResult {
  const input = raw.normalize("NFC");
  const points = splitCodePoints(input, true);
  const { cps, cls, n } = points;
  const warnings: ConvertWarning[] = [];
  const prot = protectSpans(points, warnings, true);
  if (keepReferences) protectReferences(points, prot);
  const changes: Change[] = [];

  // Code-unit offset of each code point only when the text has astral characters.
  let unitAt: Uint32Array | null = null;
  if (n !== input.length) {
    unitAt = new Uint32Array(n + 1);
    let u = 0;
    for (let i = 0; i < n; i++) {
      unitAt[i] = u;
      u += cps[i] > 0xffff ? 2 : 1;
    }
    unitAt[n] = u;
  }
  const slice = (from: number, to: number) =>
    unitAt === null ? input.slice(from, to) : input.slice(unitAt[from], unitAt[to]);

  let runStart = -1;
  let runEnd = -1;
  const closeRun = () => {
    if (runStart >= 0) {
      warnings.push({
        start: runStart,
        end: runEnd,
        kind: "cyrillic-unsupported",
        message: MESSAGES["cyrillic-unsupported"],
      });
      runStart = runEnd = -1;
    }
  };
  const warn = (start: number, end: number, kind: WarningKind, suggestion?: string) => {
    const w: ConvertWarning = { start, end, kind, message: MESSAGES[kind as keyof typeof MESSAGES] };
    if (suggestion !== undefined) w.suggestion = suggestion;
    warnings.push(w);
  };

  // The word's candidates, reused from word to word.
  const cands: Candidate[] = [];
  const alts: (string | undefined)[] = [];
  let nc = 0;
  const add = (start: number, end: number, to: string, rule: RuleId, alt?: string) => {
    cands[nc] = { start, end, from: "", to, rule };
    alts[nc++] = alt;
  };
  const addOG = (start: number, end: number, letter: number, withAlt: boolean) => {
    const o = (letter | 0x20) === 0x6f;
    const upper = isUpperAscii(letter);
    add(start, end, o ? (upper ? "Ö" : "ö") : upper ? "Ğ" : "ğ", o ? "A-03" : "A-04", withAlt ? chr(letter) + "ʼ" : undefined);
  };

  // The word's text with each candidate replaced by its `to` (or its alternative).
  const applied = (start: number, end: number, useAlt: boolean) => {
    let out = "";
    let k = start;
    for (let c = 0; c < nc; c++) {
      const alt = alts[c];
      out += slice(k, cands[c].start) + (useAlt && alt !== undefined ? alt : cands[c].to);
      k = cands[c].end;
    }
    if (k < end) out += slice(k, end);
    return out;
  };

  let i = 0;
  while (i < n) {
    const ci = cls[i];
    if (prot[i] || !isLetterClass(ci)) {
      i++;
      continue;
    }

    // The word: unprotected letters and marks, and apostrophes between letters.
    const start = i;
    let latin = 0;
    let cyrillic = 0;
    let others = 0;
    let inner = false;
    let j = i;
    while (j < n && !prot[j]) {
      const c = cls[j];
      if (c === LATIN) latin++;
      else if (c === CYRILLIC) cyrillic++;
      else if (c === LETTER) others++;
      else if (c === MARK) {
        // part of the word, not counted
      } else if (
        c === APOSTROPHE &&
        j > start &&
        isLetterOrMark(cls[j - 1]) &&
        j + 1 < n &&
        !prot[j + 1] &&
        isLetterClass(cls[j + 1])
      ) {
        inner = true;
      } else break;
      j++;
    }
    const end = j;
    i = end;

    const kinds = (latin > 0 ? 1 : 0) + (cyrillic > 0 ? 1 : 0) + (others > 0 ? 1 : 0);
    if (kinds >= 2) {
      closeRun();
      warn(start, end, "mixed-script");
      continue;
    }
    if (cyrillic > 0) {
      if (runStart < 0) runStart = start;
      runEnd = end;
      continue;
    }
    if (latin === 0) continue;
    closeRun();

    // Candidates, left to right.
    nc = 0;
    let flags = 0;
    for (let k = start; k < end; k++) {
      const cp = cps[k];
      if (cp === 0x218 || cp === 0x219) {
        add(k, k + 1, cp === 0x218 ? "Ş" : "ş", "P-01");
      } else if ((cp | 0x20) === 0x73 && k + 1 < end && isH(cps[k + 1])) {
        const upper = cp === 0x53;
        if (!inner && splitStemAt(cps, start, end, k)) {
          add(k, k + 2, chr(cp) + "ʼ" + chr(cps[k + 1]), "A-09", upper ? "Ş" : "ş");
          flags |= FLAG_SH;
        } else {
          add(k, k + 2, upper ? "Ş" : "ş", "A-01");
        }
        k++;
      } else if ((cp | 0x20) === 0x63 && k + 1 < end && isH(cps[k + 1])) {
        add(k, k + 2, cp === 0x43 ? "Ç" : "ç", "A-02");
        k++;
      } else if (cls[k] === APOSTROPHE) {
        const unusual = isUnusualApostrophe(cp);
        if (unusual) flags |= FLAG_UNKNOWN;
        const before = cps[k - 1];
        if (isOG(before)) {
          if (cp === TUTUQ) flags |= FLAG_TUTUQ;
          addOG(k - 1, k + 1, before, cp === TUTUQ || unusual);
        } else {
          if (cp === 0x2bb) flags |= FLAG_UNKNOWN;
          if (cp !== TUTUQ) add(k, k + 1, "ʼ", "A-06");
        }
      }
    }

    // A trailing apostrophe after a final o or g.
    if (
      end < n &&
      !prot[end] &&
      cls[end] === APOSTROPHE &&
      (end + 1 >= n || cls[end + 1] !== APOSTROPHE) &&
      isOG(cps[end - 1])
    ) {
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

    // A combining mark right after a replaced letter would land on the wrong letter.
    if (nc > 0) {
      let w = 0;
      for (let c = 0; c < nc; c++) {
        const cand = cands[c];
        if (cand.rule !== "A-06" && cand.rule !== "A-09" && cand.end < n && cls[cand.end] === MARK) {
          flags |= FLAG_MARK;
        } else {
          cands[w] = cand;
          alts[w++] = alts[c];
        }
      }
      nc = w;
    }

    if (nc > 0) {
      const keyLength = wordKey(cps, cls, start, end);
      const kind = foreignKind(keyBuffer, keyLength);
      if (kind !== null) {
        warn(start, end, kind, applied(start, end, false));
        continue;
      }
      if ((start > 0 && cls[start - 1] === DIGIT) || (end < n && cls[end] === DIGIT)) {
        warn(start, end, "alnum-token", applied(start, end, false));
        continue;
      }
      for (let c = 0; c < nc; c++) {
        const cand = cands[c];
        cand.from = slice(cand.start, cand.end);
        changes.push(cand);
      }
    }

    if (flags & FLAG_UNKNOWN) warn(start, end, "unknown-apostrophe");
    else if (flags & FLAG_TUTUQ) warn(start, end, "tutuq-after-og", applied(start, end, true));
    else if (flags & FLAG_QUOTE) warn(start, end, "quote-vs-apostrophe");
    else if (flags & FLAG_SH) warn(start, end, "sh-boundary-restored", applied(start, end, true));
    else if (flags & FLAG_MARK) warn(start, end, "odd-combining-mark");
  }
  closeRun();

  const output = changes.length === 0 ? input : applyChanges(cps, n, changes);
  warnings.sort((a, b) => a.start - b.start || a.end - b.end);
  return { output, changes, warnings, input, profile: LATIN_PROFILE };
}

// The output's UTF-16 code units, written into a buffer kept between calls and turned
// into a string in large pieces: far fewer allocations than joining small strings.
let outUnits = new Uint16Array(0);
const UNIT_PIECE = 8192;

function applyChanges(cps: Uint32Array, n: number, changes: Change[]): string {
  let room = 2 * n + 16;
  for (const c of changes) room += c.to.length;
  if (outUnits.length < room) outUnits = new Uint16Array(Math.ceil(room * 1.25));
  const units = outUnits;
  let o = 0;
  const bmp = cps.length === n; // one code unit per code point: copy natively
  const copy = (from: number, to: number) => {
    if (bmp && to - from > 64) {
      units.set(cps.subarray(from, to), o);
      o += to - from;
      return;
    }
    for (let k = from; k < to; k++) {
      const cp = cps[k];
      if (cp < 0x10000) units[o++] = cp;
      else {
        units[o++] = 0xd800 + ((cp - 0x10000) >> 10);
        units[o++] = 0xdc00 + ((cp - 0x10000) & 0x3ff);
      }
    }
  };
  let k = 0;
  for (const c of changes) {
    copy(k, c.start);
    for (let t = 0; t < c.to.length; t++) units[o++] = c.to.charCodeAt(t);
    k = c.end;
  }
  copy(k, n);
  let out = "";
  for (let at = 0; at < o; at += UNIT_PIECE) {
    out += String.fromCharCode.apply(null, units.subarray(at, Math.min(o, at + UNIT_PIECE)) as unknown as number[]);
  }
  return out;
}

/** Whether the s at `at` is the s of a split stem that the word begins with. */
function splitStemAt(cps: Uint32Array, start: number, end: number, at: number): boolean {
  const offset = at - start;
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
