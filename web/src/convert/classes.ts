// Character classes of code points and the protected spans of a text: stretches
// (code blocks, addresses, paths, domain names, tags, e-mail addresses, handles) that
// the old-Latin converter never touches.

import { MESSAGES, type ConvertWarning } from "./types";

export const OTHER = 0;
export const LATIN = 1;
export const CYRILLIC = 2;
export const LETTER = 3;
export const MARK = 4;
export const APOSTROPHE = 5;
export const DIGIT = 6;

export type CharClass = 0 | 1 | 2 | 3 | 4 | 5 | 6;

/** Apostrophes in ordinary use. */
export const USUAL_APOSTROPHES: readonly number[] = [0x27, 0x60, 0xb4, 0x2018, 0x2019, 0x201b, 0x2bb, 0x2bc];
/** Characters that look like an apostrophe but are rarely meant as one. */
export const UNUSUAL_APOSTROPHES: readonly number[] = [0x2b9, 0x2bd, 0x2c8, 0x2032, 0xff07];

const ASCII = new Uint8Array(128);
for (let c = 0x41; c <= 0x5a; c++) ASCII[c] = LATIN;
for (let c = 0x61; c <= 0x7a; c++) ASCII[c] = LATIN;
for (let c = 0x30; c <= 0x39; c++) ASCII[c] = DIGIT;
ASCII[0x5f] = DIGIT;
ASCII[0x27] = APOSTROPHE;
ASCII[0x60] = APOSTROPHE;

const NOT_CACHED = 0xff;
// The class of each code point, filled on first sight and kept for the page's lifetime:
// a byte per code point of the Basic Multilingual Plane, a map for the rare rest (a
// worker starts with an empty cache, so a table of every code point would cost it more
// to make than most files take to convert).
let cache: Uint8Array | null = null;
const astralClasses = new Map<number, CharClass>();

const MARK_RE = /^\p{M}$/u;
const LATIN_RE = /^\p{Script=Latin}$/u;
const CYRILLIC_RE = /^\p{Script=Cyrillic}$/u;
const LETTER_RE = /^\p{L}$/u;
const NUMBER_RE = /^\p{N}$/u;

function classifySlow(cp: number): CharClass {
  if (USUAL_APOSTROPHES.includes(cp) || UNUSUAL_APOSTROPHES.includes(cp)) return APOSTROPHE;
  const ch = String.fromCodePoint(cp);
  if (MARK_RE.test(ch)) return MARK;
  if (LATIN_RE.test(ch)) return LATIN;
  if (CYRILLIC_RE.test(ch)) return CYRILLIC;
  if (LETTER_RE.test(ch)) return LETTER;
  if (NUMBER_RE.test(ch)) return DIGIT;
  return OTHER;
}

/** The class of one code point. */
export function classOf(cp: number): CharClass {
  if (cp < 128) return ASCII[cp] as CharClass;
  if (cp > 0xffff) {
    let k = astralClasses.get(cp);
    if (k === undefined) astralClasses.set(cp, (k = classifySlow(cp)));
    return k;
  }
  if (cache === null) cache = new Uint8Array(0x10000).fill(NOT_CACHED);
  let c = cache[cp];
  if (c === NOT_CACHED) c = cache[cp] = classifySlow(cp);
  return c as CharClass;
}

// Letters of any script (category L), cached like the classes.
let letterCache: Uint8Array | null = null;
const astralLetters = new Map<number, boolean>();

/** Whether a code point is a letter (Unicode category L). */
export function isLetterCp(cp: number): boolean {
  if (cp < 128) return (cp | 0x20) >= 0x61 && (cp | 0x20) <= 0x7a;
  if (cp > 0xffff) {
    let v = astralLetters.get(cp);
    if (v === undefined) astralLetters.set(cp, (v = LETTER_RE.test(String.fromCodePoint(cp))));
    return v;
  }
  if (letterCache === null) letterCache = new Uint8Array(0x10000).fill(NOT_CACHED);
  let v = letterCache[cp];
  if (v === NOT_CACHED) v = letterCache[cp] = LETTER_RE.test(String.fromCodePoint(cp)) ? 1 : 0;
  return v === 1;
}

export const isLetterClass = (c: number): boolean => c >= LATIN && c <= LETTER;
export const isLetterOrMark = (c: number): boolean => c >= LATIN && c <= MARK;
export const isWordClass = (c: number): boolean => (c >= LATIN && c <= MARK) || c === DIGIT;

export function isUnusualApostrophe(cp: number): boolean {
  return cp === 0x2b9 || cp === 0x2bd || cp === 0x2c8 || cp === 0x2032 || cp === 0xff07;
}

/** Space, line feed, tab, carriage return and the listed non-ASCII spaces (not FF, VT or U+0085). */
export function isSpace(cp: number): boolean {
  if (cp < 0x80) return cp === 0x20 || cp === 0x0a || cp === 0x09 || cp === 0x0d;
  return (
    cp === 0xa0 ||
    cp === 0x1680 ||
    (cp >= 0x2000 && cp <= 0x200a) ||
    cp === 0x2028 ||
    cp === 0x2029 ||
    cp === 0x202f ||
    cp === 0x205f ||
    cp === 0x3000 ||
    cp === 0xfeff
  );
}

/**
 * Whether a code unit is one of the characters that never change under Unicode
 * normalisation form C, whatever their neighbours: everything below U+0300, the
 * Cyrillic letters and the general punctuation. A text made only of them is already in
 * that form, and a scan for them is a few times quicker than asking the platform.
 */
export const keepsNfc = (u: number): boolean =>
  u < 0x300 || (u >= 0x400 && u <= 0x482) || (u >= 0x48a && u <= 0x52f) || (u >= 0x2010 && u <= 0x205f);

// The code units `keepsNfc` does not keep, for a whole text at once: the platform's
// regular expressions scan it several times faster than a loop of code units.
const NOT_KEPT_NFC = /[^\u0000-\u02ff\u0400-\u0482\u048a-\u052f\u2010-\u205f]/;

/** Whether every code unit of a text keeps it in normalisation form C (see `keepsNfc`). */
export const keepsNfcText = (text: string): boolean => !NOT_KEPT_NFC.test(text);

/** The text in Unicode normalisation form C. */
export function toNfc(text: string): string {
  return keepsNfcText(text) ? text : text.normalize("NFC");
}

/** A text split into code points, with one class byte per code point. */
export interface CodePoints {
  cps: Uint32Array;
  cls: Uint8Array;
  n: number;
  /** The text is surely in normalisation form C (see `keepsNfc`). */
  nfc: boolean;
  /** The positions of the characters that may begin a protected span, in order, and their count. */
  trig: Int32Array;
  nt: number;
  /** Code units of the Cyrillic block and of Latin letters (A to Z, U+00C0 to U+024F): what picks the converter. */
  cyrillicUnits: number;
  latinUnits: number;
  /**
   * The text's bytes, one a code point, when it is all ASCII, long enough to have been
   * read through the encoder, and the split is shared (they are overwritten with the
   * arrays); else null.
   */
  ascii: Uint8Array | null;
}

// Buffers kept between calls of the converter, so that a long file converted piece by
// piece does not allocate (and collect) three arrays per piece.
let sharedCps = new Uint32Array(0);
let sharedCls = new Uint8Array(0);
let sharedTrig = new Int32Array(0);
let sharedProt = new Uint8Array(0);
let asciiBytes = new Uint8Array(0);
const asciiEncoder = new TextEncoder();
const grow = (length: number) => Math.max(length, 1024, Math.ceil(length * 1.25));

// What `splitAscii` counted besides the classes.
let asciiTriggers = 0;
let asciiLetters = 0;

/**
 * The classes and triggers of the ASCII bytes that begin `bytes` (up to `written`);
 * answers how many there are. On its own so that the loop is compiled with nothing
 * around it that has not yet run (else the compiled loop was thrown away at its end on
 * every call). Without branches but the loop's own: the position is written at every
 * step and kept (counted) only at a trigger.
 */
function splitAscii(bytes: Uint8Array, written: number, cls: Uint8Array, trig: Int32Array): number {
  let nt = 0;
  let letters = 0;
  let i = 0;
  for (; i < written; i++) {
    const b = bytes[i];
    if (b >= 128) break;
    const k = ASCII_SPLIT[b];
    cls[i] = k & 7;
    letters += k >> 4;
    trig[nt] = i;
    nt += (k >> 3) & 1;
  }
  asciiTriggers = nt;
  asciiLetters = letters;
  return i;
}

/**
 * Splits a text into code points with their classes. With `shared`, the arrays are
 * buffers that the next shared call overwrites, and may be longer than the text.
 */
export function splitCodePoints(text: string, shared = false): CodePoints {
  const len = text.length;
  let cps: Uint32Array;
  let cls: Uint8Array;
  let trig: Int32Array;
  if (shared) {
    if (sharedCps.length < len) {
      sharedCps = new Uint32Array(grow(len));
      sharedCls = new Uint8Array(sharedCps.length);
      sharedTrig = new Int32Array(sharedCps.length);
    }
    cps = sharedCps;
    cls = sharedCls;
    trig = sharedTrig;
  } else {
    cps = new Uint32Array(len);
    cls = new Uint8Array(len);
    trig = new Int32Array(len);
  }
  let n = 0;
  let nt = 0;
  let nfc = true;
  let latinAscii = 0;
  let latinUnits = 0;
  let cyrillicUnits = 0;
  // The leading ASCII stretch (often the whole text) comes from the encoder's fast copy,
  // one byte per code unit, and is read back from those bytes. A short text is read
  // faster directly than the encoder is called.
  let i = 0;
  let ascii: Uint8Array | null = null;
  if (len >= 256 && text.charCodeAt(0) < 128) {
    if (asciiBytes.length < len) asciiBytes = new Uint8Array(grow(len));
    const bytes = asciiBytes.subarray(0, len);
    const { written } = asciiEncoder.encodeInto(text, bytes);
    i = splitAscii(bytes, written, cls, trig);
    nt = asciiTriggers;
    latinAscii = asciiLetters;
    cps.set(bytes.subarray(0, i));
    n = i;
    if (i === len && shared) ascii = bytes;
  }
  for (; i < len; i++) {
    let cp = text.charCodeAt(i);
    if (cp < 128) {
      const k = ASCII_SPLIT[cp];
      if (k > 7) {
        if (k & SPLIT_TRIGGER) trig[nt++] = n;
        if (k & SPLIT_LETTER) latinAscii++;
      }
      cps[n] = cp;
      cls[n++] = k & 7;
      continue;
    }
    if (cp >= 0xc0) {
      if (cp <= 0x24f) latinUnits++;
      else if (cp >= 0x400 && cp <= 0x4ff) cyrillicUnits++;
    }
    if (nfc && !keepsNfc(cp)) nfc = false;
    if (cp >= 0xd800 && cp <= 0xdbff && i + 1 < len) {
      const lo = text.charCodeAt(i + 1);
      if (lo >= 0xdc00 && lo <= 0xdfff) {
        cp = ((cp - 0xd800) << 10) + (lo - 0xdc00) + 0x10000;
        i++;
      }
    }
    cps[n] = cp;
    cls[n++] = classOf(cp);
  }
  return { cps, cls, n, nfc, trig, nt, cyrillicUnits, latinUnits: latinUnits + latinAscii, ascii };
}

// ---- protected spans ----------------------------------------------------------------

const TOKEN_OPENERS = new Set([0x28, 0x5b, 0x7b, 0x22, 0x3c, 0x2c, 0x3b, 0x3a, 0x21, 0x3f, 0xab, 0x201c]);
const TRAILING = new Set([0x2e, 0x2c, 0x3b, 0x3a, 0x21, 0x3f, 0x29, 0x5d, 0x7d, 0x27, 0x22, 0xbb, 0x201d, 0x2019, 0x3e]);
const DOMAIN_ENDINGS = new Set(["uz", "com", "org", "net", "ru", "io", "gov", "edu", "info", "dev", "app", "biz", "co"]);

// 1: may begin a span; 2: an ASCII letter, which may begin one only before a colon.
const TRIGGERS = new Uint8Array(128);
for (let c = 0x41; c <= 0x5a; c++) TRIGGERS[c] = TRIGGERS[c + 32] = 2;
for (const ch of "`:~./#@wW") TRIGGERS[ch.charCodeAt(0)] = 1;
// What the split needs of an ASCII character, in one byte: its class (the low three
// bits), whether it may begin a span, and whether it is a letter.
const SPLIT_TRIGGER = 8;
const SPLIT_LETTER = 16;
const ASCII_SPLIT = new Uint8Array(128);
for (let c = 0; c < 128; c++) {
  ASCII_SPLIT[c] = ASCII[c] | (TRIGGERS[c] === 1 ? SPLIT_TRIGGER : 0) | (ASCII[c] === LATIN ? SPLIT_LETTER : 0);
}
// The same for the tests that need a token start, where ` and : take no part.
const TOKEN_TRIGGERS = TRIGGERS.slice();
TOKEN_TRIGGERS[0x60] = TOKEN_TRIGGERS[0x3a] = 0;

const isAsciiLetter = (cp: number): boolean => (cp | 0x20) >= 0x61 && (cp | 0x20) <= 0x7a;

/**
 * Marks the protected code points of a text (1 = protected) and reports an unclosed
 * code block. Spans never overlap: back-walks stop at anything protected earlier.
 * Only the few ASCII characters that can begin a span are tried, in order, from the
 * positions the split noted.
 */
export function protectSpans(points: CodePoints, warnings: ConvertWarning[], shared = false): Uint8Array {
  const { cps, n, trig, nt } = points;
  let prot: Uint8Array;
  if (shared) {
    if (sharedProt.length < n) sharedProt = new Uint8Array(grow(n));
    prot = sharedProt;
    prot.fill(0, 0, n);
  } else {
    prot = new Uint8Array(n);
  }
  let scan = 0; // everything before it is decided
  for (let t = 0; t < nt && scan >= 0; t++) {
    const p = trig[t];
    // A colon also lets the letter before it begin a drive path.
    if (cps[p] === 0x3a && p - 1 >= scan && cps[p - 1] < 128 && TRIGGERS[cps[p - 1]] === 2 && !prot[p - 1]) {
      scan = spanAt(points, prot, warnings, p - 1);
      if (scan < 0) break;
    }
    if (p >= scan && !prot[p]) scan = spanAt(points, prot, warnings, p);
  }
  return prot;
}

const tokenStart = (cps: Uint32Array, p: number) => p === 0 || isSpace(cps[p - 1]) || TOKEN_OPENERS.has(cps[p - 1]);

/** The end of an address that starts at `from`, trailing punctuation taken off down to `floor`. */
function addressEnd(cps: Uint32Array, n: number, from: number, floor: number): number {
  let end = from;
  while (end < n) {
    const c = cps[end];
    if (isSpace(c) || c === 0x3c || c === 0x3e || c === 0x22) break;
    end++;
  }
  while (end > floor && TRAILING.has(cps[end - 1])) end--;
  return end;
}

/**
 * Tries the tests at `p`, which holds a character that may begin a span: protects the
 * first span found and answers where the scan goes on (-1: nothing after it is tested).
 */
function spanAt({ cps, cls, n }: CodePoints, prot: Uint8Array, warnings: ConvertWarning[], p: number): number {
  const c = cps[p];
  // 1. Code block.
  if (c === 0x60) {
    if (p + 2 < n && cps[p + 1] === 0x60 && cps[p + 2] === 0x60) {
      let q = p + 3;
      while (q + 2 < n && !(cps[q] === 0x60 && cps[q + 1] === 0x60 && cps[q + 2] === 0x60)) q++;
      if (q + 2 < n) {
        prot.fill(1, p, q + 3);
        return q + 3;
      }
      prot.fill(1, p, n);
      warnings.push({ start: p, end: n, kind: "unclosed-code-block", message: MESSAGES["unclosed-code-block"] });
      return -1;
    }
    return p + 1;
  }

  // 2. Address with a scheme.
  if (c === 0x3a) {
    if (p + 2 < n && cps[p + 1] === 0x2f && cps[p + 2] === 0x2f) {
      let s = p;
      while (s > 0 && !prot[s - 1] && cps[s - 1] < 128 && isWordClass(cls[s - 1])) s--;
      while (s < p && cls[s] !== LATIN) s++;
      if (s < p) {
        const end = addressEnd(cps, n, p + 3, p + 3);
        if (end > p + 3) {
          prot.fill(1, s, end);
          return end;
        }
      }
    }
    return p + 1;
  }

  // Only these characters can begin a span at a token start.
  const atToken = TOKEN_TRIGGERS[c] === 1 || (TOKEN_TRIGGERS[c] === 2 && cps[p + 1] === 0x3a) ? tokenStart(cps, p) : false;

  if (atToken) {
    // 3. Web host.
    if (
      (c | 0x20) === 0x77 &&
      p + 3 < n &&
      (cps[p + 1] | 0x20) === 0x77 &&
      (cps[p + 2] | 0x20) === 0x77 &&
      cps[p + 3] === 0x2e
    ) {
      const end = addressEnd(cps, n, p + 4, p + 4);
      if (end > p + 4) {
        prot.fill(1, p, end);
        return end;
      }
    }
    // 4. Drive path.
    if (isAsciiLetter(c) && p + 2 < n && cps[p + 1] === 0x3a && cps[p + 2] === 0x5c) {
      const end = addressEnd(cps, n, p + 3, p + 3);
      if (end > p + 3) {
        prot.fill(1, p, end);
        return end;
      }
    }
    // 5. Home or relative path.
    if (
      p + 1 < n &&
      (((c === 0x7e || c === 0x2e) && cps[p + 1] === 0x2f) ||
        (c === 0x2e && cps[p + 1] === 0x2e && p + 2 < n && cps[p + 2] === 0x2f))
    ) {
      const end = addressEnd(cps, n, p + 2, p + 2);
      if (end > p + 2) {
        prot.fill(1, p, end);
        return end;
      }
    }
    // 6. Rooted path.
    if (c === 0x2f && p + 1 < n && isLetterClass(cls[p + 1])) {
      let q = p;
      let slashes = 0;
      while (q < n && !isSpace(cps[q])) {
        if (cps[q] === 0x2f) slashes++;
        q++;
      }
      if (slashes >= 3) {
        let end = q;
        while (end > p + 1 && TRAILING.has(cps[end - 1])) end--;
        prot.fill(1, p, end);
      }
      return q;
    }
  }

  // 7. Domain name.
  if (c === 0x2e) {
    if (p > 0 && (isWordClass(cls[p - 1]) || cls[p - 1] === APOSTROPHE)) {
      let q = p + 1;
      let ending = "";
      while (q < n && q - p - 1 < 8 && isAsciiLetter(cps[q])) ending += String.fromCharCode(cps[q++] | 0x20);
      const after = q < n ? cps[q] : -1;
      if (DOMAIN_ENDINGS.has(ending) && !(after >= 0 && (isWordClass(cls[q]) || after === 0x2d))) {
        let s = p;
        while (s > 0 && !prot[s - 1]) {
          const k = cls[s - 1];
          const b = cps[s - 1];
          if (isWordClass(k) || k === APOSTROPHE || b === 0x2d || b === 0x2e) s--;
          else break;
        }
        prot.fill(1, s, q);
        return q;
      }
    }
    return p + 1;
  }

  // 8. Hashtag.
  if (c === 0x23) {
    if (atToken && p + 1 < n && isWordClass(cls[p + 1])) {
      let q = p + 1;
      while (q < n && (isWordClass(cls[q]) || cls[q] === APOSTROPHE)) q++;
      prot.fill(1, p, q);
      return q;
    }
    return p + 1;
  }

  // 9. E-mail address or handle.
  if (c === 0x40) {
    let s = p;
    while (s > 0 && !prot[s - 1]) {
      const k = cls[s - 1];
      const b = cps[s - 1];
      if (isWordClass(k) || k === APOSTROPHE || b === 0x2e || b === 0x5f || b === 0x25 || b === 0x2b || b === 0x2d) s--;
      else break;
    }
    while (s < p && (cps[s] === 0x2e || cps[s] === 0x2d || cps[s] === 0x2b || cps[s] === 0x25 || cls[s] === APOSTROPHE)) s++;
    let e = p + 1;
    while (e < n && (isWordClass(cls[e]) || cps[e] === 0x2e || cps[e] === 0x2d)) e++;
    while (e > p + 1 && (cps[e - 1] === 0x2e || cps[e - 1] === 0x2d)) e--;
    if (s < p && e > p + 1) {
      let dot = -1;
      for (let k = e - 1; k > p; k--) {
        if (cps[k] === 0x2e) {
          dot = k;
          break;
        }
      }
      if (dot > p + 1 && e - dot - 1 >= 2) {
        let letters = true;
        for (let k = dot + 1; k < e; k++) if (!isLetterClass(cls[k])) letters = false;
        if (letters) {
          prot.fill(1, s, e);
          return e;
        }
      }
    }
    if (s === p && atToken) {
      let q = p + 1;
      while (q < n && (isWordClass(cls[q]) || cls[q] === APOSTROPHE)) q++;
      if (q > p + 1) {
        prot.fill(1, p, q);
        return q;
      }
    }
    return p + 1;
  }

  return p + 1;
}

const isDecimal = (cp: number): boolean => cp >= 0x30 && cp <= 0x39;
const isHex = (cp: number): boolean => isDecimal(cp) || ((cp | 0x20) >= 0x61 && (cp | 0x20) <= 0x66);

/**
 * Marks the character references of markup text (&name;, &#123;, &#x1F;) as protected:
 * they are written markup, not words, and stay exactly as they are.
 */
export function protectReferences({ cps, n }: CodePoints, prot: Uint8Array): void {
  for (let p = 0; p < n; p++) {
    if (cps[p] !== 0x26) continue;
    let q = p + 1;
    if (q < n && cps[q] === 0x23) {
      q++;
      const hex = q < n && (cps[q] | 0x20) === 0x78;
      if (hex) q++;
      const digits = q;
      while (q < n && (hex ? isHex(cps[q]) : isDecimal(cps[q]))) q++;
      if (q === digits) continue;
    } else {
      if (q >= n || !isAsciiLetter(cps[q])) continue;
      while (q < n && (isAsciiLetter(cps[q]) || isDecimal(cps[q]))) q++;
    }
    if (q < n && cps[q] === 0x3b) {
      prot.fill(1, p, q + 1);
      p = q;
    }
  }
}
