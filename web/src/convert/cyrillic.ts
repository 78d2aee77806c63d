// Uzbek Cyrillic to the new Latin alphabet, word by word (a test mode), and the
// dispatcher that picks this converter or the old-Latin one.

import { isLetterCp, keepsNfcText, splitCodePoints } from "./classes";
import { convertOldLatin, countOldLatin, type LatinOptions } from "./oldLatin";
import { OutputBuffer, WordBuffer, type Utf8Sink } from "./output";
import {
  CYRILLIC_MESSAGES,
  CYRILLIC_PROFILE,
  asText,
  codePointLength,
  internalErrorMessage,
  type Counted,
  type CyrillicResult,
  type CyrillicWarning,
  type CyrillicWarningKind,
  type ScriptChoice,
  type TextResult,
  type WordChange,
} from "./types";

const isCyrillicCp = (cp: number) => cp >= 0x400 && cp <= 0x4ff;
const isLatinCp = (cp: number) => (cp >= 0x41 && cp <= 0x5a) || (cp >= 0x61 && cp <= 0x7a) || (cp >= 0xc0 && cp <= 0x24f);

const isWordCp = (cp: number) => cp === 0x2bc || isLetterCp(cp);

/** "cyrillic" when the text has more Cyrillic than Latin characters, else "latin". */
export function detectScript(value?: unknown): "cyrillic" | "latin" {
  const text = asText(value);
  return moreCyrillic(text, text.length) ? "cyrillic" : "latin";
}

// What each code unit below U+0500 counts for: 1 a Latin letter, 2 a Cyrillic one.
const SCRIPT_OF = new Uint8Array(0x500);
for (let u = 0; u < 0x500; u++) SCRIPT_OF[u] = isCyrillicCp(u) ? 2 : isLatinCp(u) ? 1 : 0;

/** Whether the first letter among the first 16 code units is Cyrillic. */
function firstLetterIsCyrillic(text: string): boolean {
  const limit = Math.min(text.length, 16);
  for (let i = 0; i < limit; i++) {
    const u = text.charCodeAt(i);
    const kind = u < 0x500 ? SCRIPT_OF[u] : 0;
    if (kind !== 0) return kind === 2;
  }
  return false;
}

/**
 * Whether the first `limit` code units hold more Cyrillic than Latin letters. Counted
 * without branches (letters and the rest alternate too often to guess), and only until
 * the units left could no longer change the answer.
 */
function moreCyrillic(text: string, limit: number): boolean {
  let cyr = 0;
  let lat = 0;
  for (let i = 0; i < limit; ) {
    const stop = Math.min(limit, i + 64);
    for (; i < stop; i++) {
      const u = text.charCodeAt(i);
      const kind = u < 0x500 ? SCRIPT_OF[u] : 0;
      lat += kind & 1;
      cyr += kind >> 1;
    }
    if (cyr > lat + (limit - i) || lat >= cyr + (limit - i)) break;
  }
  return cyr > lat;
}

// ---- letters ----------------------------------------------------------------------------

// The lower-case Cyrillic letters the rules name, as code points.
const C_A = 0x430, C_YE = 0x435, C_I = 0x438, C_O = 0x43e, C_U = 0x443, C_S = 0x441, C_TS = 0x446, C_HARD = 0x44a;
const C_YERU = 0x44b, C_SOFT = 0x44c, C_E = 0x44d, C_YU = 0x44e, C_YA = 0x44f, C_YO = 0x451, C_SHORT_U = 0x45e;
const C_GH = 0x493, C_Q = 0x49b, C_H = 0x4b3;

/** The letters written by the table alone, lower-case Cyrillic to Latin. */
const TABLE: Record<string, string> = {
  а: "a", б: "b", в: "v", г: "g", д: "d", ж: "j", з: "z",
  й: "y", к: "k", л: "l", м: "m", н: "n", о: "o", п: "p",
  с: "s", т: "t", у: "u", ф: "f", х: "x", ч: "ç", и: "i",
  ҳ: "h", қ: "q", ў: "ö", ғ: "ğ", ш: "ş", э: "e", р: "r",
};
const MONTH_STEMS = ["сентябр", "октябр"];
const TS_PREFIXES = ["антиц", "эпиц", "геоц", "экстрац"];
// The first letters of those (all Cyrillic), by their place in the Cyrillic block.
const STEM_INITIALS = new Uint8Array(0x100);
for (const stem of [...MONTH_STEMS, ...TS_PREFIXES]) STEM_INITIALS[stem.charCodeAt(0) - 0x400] = 1;

const isVowel = (l: number) => l === C_A || l === C_YE || l === C_YO || l === C_I || l === C_O || l === C_U || l === C_E || l === C_YU || l === C_YA || l === C_SHORT_U || l === C_YERU;
const isProper = (l: number) => l === C_SHORT_U || l === C_Q || l === C_GH || l === C_H;
const isIotated = (l: number) => l === C_YE || l === C_YO || l === C_YU || l === C_YA;

/** A Latin spelling with its two capital forms: the first letter, and all letters. */
interface Spelling {
  lower: string;
  first: string;
  all: string;
  /** The lower case's one code unit, 0 when it has more. */
  unit: number;
}

function spelling(lower: string): Spelling {
  // A leading ʼ has no capital: the letter after it takes it.
  const at = lower[0] === "ʼ" && lower.length > 1 ? 1 : 0;
  const first = lower.slice(0, at) + lower[at].toUpperCase() + lower.slice(at + 1);
  return { lower, first, all: lower.toUpperCase(), unit: lower.length === 1 ? lower.charCodeAt(0) : 0 };
}

const YE = spelling("ye"), E = spelling("e"), YO = spelling("yo"), YU = spelling("yu"), A = spelling("a"), YA = spelling("ya");
const TS = spelling("ts"), S = spelling("s"), TUTUQ = spelling("ʼ"), Y = spelling("y"), TUTUQ_H = spelling("ʼh");

// The table by code point (U+0400 to U+04FF); built on first use.
let tableByCp: (Spelling | undefined)[] | null = null;
function tableOf(l: number): Spelling | undefined {
  if (tableByCp === null) {
    tableByCp = new Array(0x100);
    for (const [from, to] of Object.entries(TABLE)) tableByCp[from.charCodeAt(0) - 0x400] = spelling(to);
  }
  return isCyrillicCp(l) ? tableByCp[l - 0x400] : undefined;
}

// Each BMP code point's case, filled on first sight: its single lower-case code point
// times four (-4 when it lower-cases to several), plus two when it belongs in a word (a
// letter or ʼ), plus one when it is a capital (lower-casing changes it).
const NOT_SEEN = -16;
const IN_WORD = 2;
let caseBmp: Int32Array | null = null;

function caseOf(cp: number): number {
  const ch = String.fromCodePoint(cp);
  const lower = ch.toLowerCase();
  const single = lower.codePointAt(0)!;
  const code = lower.length === (single > 0xffff ? 2 : 1) ? single * 4 : -4;
  return code + (isWordCp(cp) ? IN_WORD : 0) + (lower !== ch ? 1 : 0);
}

/** The case of a code point, as `caseOf` answers it. */
function caseIn(cases: Int32Array, cp: number): number {
  if (cp > 0xffff) return caseOf(cp);
  const c = cases[cp];
  return c !== NOT_SEEN ? c : (cases[cp] = caseOf(cp));
}

// ---- words ------------------------------------------------------------------------------

// The word being converted: code points, their lower case and capital flags.
let wordCps = new Int32Array(64);
let wordLower = new Int32Array(64);
let wordCapital = new Uint8Array(64);

const FOREIGN = 1;
const TS_AMBIGUOUS = 2;

/** Whether the word's lower case begins with `stem`. */
function beginsWith(len: number, stem: string): boolean {
  if (len < stem.length || wordLower[0] !== stem.charCodeAt(0)) return false;
  for (let k = 0; k < stem.length; k++) if (wordLower[k] !== stem.charCodeAt(k)) return false;
  return true;
}

/**
 * Writes the Latin form of the word held in the word buffers (`len` code points) and
 * answers FOREIGN, TS_AMBIGUOUS or 0 for the warning it calls for.
 */
function convertWord(len: number, out: WordBuffer): number {
  const lower = wordLower;
  const capital = wordCapital;
  let month = -1;
  let tsPrefix = false;
  const initial = lower[0] - 0x400;
  if (initial >= 0 && initial < 0x100 && STEM_INITIALS[initial] === 1) {
    for (const stem of MONTH_STEMS) if (month < 0 && beginsWith(len, stem)) month = stem.indexOf("я");
    for (const prefix of TS_PREFIXES) if (!tsPrefix && beginsWith(len, prefix)) tsPrefix = true;
  }
  let foreign = false;
  let hasTs = false;

  for (let k = 0; k < len; k++) {
    const l = lower[k];
    const prev = k > 0 ? lower[k - 1] : NOT_SEEN;
    const next = k + 1 < len ? lower[k + 1] : NOT_SEEN;
    let to: Spelling;
    let pairEnd = k;
    switch (l) {
      case C_YE:
        to = k === 0 || isVowel(prev) || prev === C_HARD || prev === C_SOFT ? YE : E;
        break;
      case C_YO:
        to = YO;
        break;
      case C_YU:
        to = YU;
        break;
      case C_YA:
        to = k === month ? A : YA;
        break;
      case C_TS:
        hasTs = true;
        if (next === C_TS) {
          to = TS;
          pairEnd = k + 1;
        } else {
          to = isVowel(prev) && isVowel(next) && !tsPrefix ? TS : S;
        }
        break;
      case C_HARD:
        if (k === 0 || k === len - 1 || prev === C_SHORT_U || isIotated(next)) continue;
        to = TUTUQ;
        break;
      case C_SOFT:
        if (next !== C_I && next !== C_O) continue;
        to = Y;
        break;
      default: {
        const letter = l === C_H && prev === C_S ? TUTUQ_H : tableOf(l);
        if (letter === undefined) {
          // Copied as it is; a Cyrillic letter outside the alphabet is foreign.
          const cp = wordCps[k];
          if (isCyrillicCp(cp)) foreign = true;
          out.pushCodePoint(cp);
          continue;
        }
        to = letter;
      }
    }
    if (capital[k]) {
      const allCaps = to.lower.length > 1 && ((k > 0 && capital[k - 1] === 1) || (k + 1 < len && capital[k + 1] === 1));
      out.push(allCaps ? to.all : to.first);
    } else if (to.unit !== 0) {
      out.pushUnit(to.unit);
    } else {
      out.push(to.lower);
    }
    k = pairEnd;
  }
  return foreign ? FOREIGN : hasTs ? TS_AMBIGUOUS : 0;
}

const KINDS: Record<number, CyrillicWarningKind> = { [FOREIGN]: "foreign-letter", [TS_AMBIGUOUS]: "ts-ambiguous" };

// ---- the converter ------------------------------------------------------------------------

/** What one pass over a text found; records are kept only when `detail` is set. */
interface Pass {
  /** The text after normalisation. */
  input: string;
  output: string;
  changes: WordChange[];
  warnings: CyrillicWarning[];
  changeCount: number;
  warningCount: number;
}

const output = new OutputBuffer();
const word = new WordBuffer();

// The changed words of the last conversion that asked for them.
const spanStart: number[] = [];
const spanEnd: number[] = [];
const spanTo: string[] = [];

// Where each recorded change's new spelling lies in the output, until the output is made.
const toStart: number[] = [];
const toEnd: number[] = [];

// The conversion in progress, kept here so that its scan can be a function of its own:
// a loop this hot is compiled while it runs, and only calls whose feedback is already
// known should be in the same function.
const pass = {
  input: "",
  detail: false,
  sink: null as Utf8Sink | null,
  withSpans: false,
  changes: [] as WordChange[],
  warnings: [] as CyrillicWarning[],
  changeCount: 0,
  warningCount: 0,
  /** Code units of the input already in the sink. */
  copied: 0,
  converted: 0,
  proper: 0,
};

/**
 * Converts a text: into `sink` when there is one, else into a string; with `withSpans`
 * the changed words are kept as spans and no output is made. The text is normalised
 * first, unless a scan finds it surely normal already.
 */
function run(raw: string, detail: boolean, sink: Utf8Sink | null, withSpans = false): Pass {
  const input = keepsNfcText(raw) ? raw : raw.normalize("NFC");
  output.reset(input);
  if (caseBmp === null) caseBmp = new Int32Array(0x10000).fill(NOT_SEEN);
  pass.input = input;
  pass.detail = detail;
  pass.sink = sink;
  pass.withSpans = withSpans;
  pass.changes = [];
  pass.warnings = [];
  pass.changeCount = pass.warningCount = pass.copied = pass.converted = pass.proper = 0;
  scanWords(input, caseBmp);

  const { changes, warnings } = pass;
  let text = "";
  if (withSpans) {
    // no output made
  } else if (sink === null) {
    text = output.finish();
    for (let c = 0; c < changes.length; c++) changes[c].to = text.slice(toStart[c], toEnd[c]);
  } else {
    sink.writeUnits(input, pass.copied, input.length);
  }
  if (pass.converted >= 200 && pass.proper === 0) {
    pass.warningCount++;
    if (detail) warnings.unshift({ start: 0, end: 0, kind: "degraded-cyrillic", message: CYRILLIC_MESSAGES["degraded-cyrillic"] });
  }
  return { input, output: text, changes, warnings, changeCount: pass.changeCount, warningCount: pass.warningCount };
}

function warn(start: number, end: number, kind: CyrillicWarningKind) {
  pass.warningCount++;
  if (pass.detail) pass.warnings.push({ start, end, kind, message: CYRILLIC_MESSAGES[kind as keyof typeof CYRILLIC_MESSAGES] });
}

/** The words of the text, each converted where it stands. */
function scanWords(input: string, cases: Int32Array) {
  const n = input.length;
  let cpIndex = 0; // code points before unit i
  let i = 0;
  while (i < n) {
    let cp = input.charCodeAt(i);
    if (cp < 0x80) {
      if (!((cp | 0x20) >= 0x61 && (cp | 0x20) <= 0x7a)) {
        i++;
        cpIndex++;
        continue;
      }
    } else {
      cp = input.codePointAt(i)!;
      if ((caseIn(cases, cp) & IN_WORD) === 0) {
        i += cp > 0xffff ? 2 : 1;
        cpIndex++;
        continue;
      }
    }

    // The word: a run of letters and ʼ, with the lower case and capitals of each.
    const startUnit = i;
    const start = cpIndex;
    let cyr = false;
    let lat = false;
    let hasProper = false;
    let len = 0;
    while (i < n) {
      cp = input.codePointAt(i)!;
      const c = caseIn(cases, cp);
      if ((c & IN_WORD) === 0) break;
      const lower = c >> 2;
      if (isCyrillicCp(cp)) {
        cyr = true;
        if (isProper(lower)) hasProper = true;
      } else if (isLatinCp(cp)) lat = true;
      if (len === wordCps.length) growWord();
      wordCps[len] = cp;
      wordLower[len] = lower;
      wordCapital[len++] = c & 1;
      i += cp > 0xffff ? 2 : 1;
    }
    cpIndex += len;
    if (!cyr) continue;
    if (lat) {
      warn(start, cpIndex, "mixed-script");
      continue;
    }
    changeWord(startUnit, i, start, cpIndex, len);
    if (hasProper) pass.proper++;
  }
}

/** Converts the word held in the word buffers, input code units `from` to `to`, code points `start` to `end`. */
function changeWord(from: number, to: number, start: number, end: number, len: number) {
  word.clear();
  const kind = convertWord(len, word);
  if (!word.equals(pass.input, from, to)) {
    const count = pass.changeCount++;
    if (pass.withSpans) {
      spanStart[count] = start;
      spanEnd[count] = end;
      spanTo[count] = word.text();
    } else if (pass.sink === null) {
      const at = output.replaceUnits(from, to, word.units, word.length);
      if (pass.detail) {
        toStart[pass.changes.length] = at;
        toEnd[pass.changes.length] = at + word.length;
        pass.changes.push({ start, end, to: "" });
      }
    } else {
      pass.sink.writeUnits(pass.input, pass.copied, from);
      pass.sink.writeUnitArray(word.units, word.length);
      pass.copied = to;
    }
  }
  if (kind !== 0) warn(start, end, KINDS[kind]);
  pass.converted += len;
}

/** Doubles the word buffers, keeping the letters already read. */
function growWord() {
  const size = wordCps.length * 2;
  const cps = new Int32Array(size);
  cps.set(wordCps);
  wordCps = cps;
  const lower = new Int32Array(size);
  lower.set(wordLower);
  wordLower = lower;
  const capital = new Uint8Array(size);
  capital.set(wordCapital);
  wordCapital = capital;
}

function failed(value: unknown, error: unknown): CyrillicResult {
  const text = typeof value === "string" ? value : "";
  return {
    output: text,
    changes: [],
    warnings: [{ start: 0, end: codePointLength(text), kind: "internal-error", message: internalErrorMessage(error) }],
    input: text,
    profile: CYRILLIC_PROFILE,
    script: "cyrillic",
  };
}

/** Converts Uzbek Cyrillic text to the new Latin alphabet. Never throws. */
export function convertCyrillic(value?: unknown): CyrillicResult {
  try {
    const { input, output, changes, warnings } = run(asText(value), true, null);
    return { output, changes, warnings, input, profile: CYRILLIC_PROFILE, script: "cyrillic" };
  } catch (error) {
    return failed(value, error);
  }
}

/**
 * The same conversion, counting its changes and warnings instead of recording them.
 * With a sink the output goes there as UTF-8; with the spans asked for it is not made.
 * Either way `output` is then null.
 */
export function countCyrillic(text: string, sink: Utf8Sink | null = null, withSpans = false): Counted {
  const written = sink === null ? 0 : sink.size();
  try {
    const { input, output, changeCount, warningCount } = run(text, false, sink, withSpans);
    const made = sink === null && !withSpans;
    const counted: Counted = { output: made ? output : null, input, changes: changeCount, warnings: warningCount, failure: null, script: "cyrillic" };
    if (withSpans) counted.spans = { count: changeCount, start: spanStart, end: spanEnd, to: spanTo };
    return counted;
  } catch (error) {
    sink?.truncate(written);
    return { output: text, input: text, changes: 0, warnings: 1, failure: internalErrorMessage(error), script: "cyrillic" };
  }
}

/**
 * Converts with the chosen converter; "auto" picks it by counting letters. The options
 * reach the old-Latin converter (Cyrillic words never hold a character reference).
 */
export function convertText(value?: unknown, script: ScriptChoice | string = "auto", options?: LatinOptions): TextResult {
  const chosen = script === "auto" ? detectScript(value) : script;
  if (chosen === "cyrillic") return convertCyrillic(value);
  return { ...convertOldLatin(value, options), script: "latin" };
}

/** `convertText` for a caller that needs only the output (or has it written into a sink) and the counts. */
export function countText(
  text: string,
  script: ScriptChoice | string = "auto",
  options?: LatinOptions,
  sink: Utf8Sink | null = null,
  withSpans = false,
): Counted {
  if (script !== "auto") return script === "cyrillic" ? countCyrillic(text, sink, withSpans) : countOldLatin(text, options, sink, withSpans);
  // The split the old-Latin converter starts with counts the letters that pick the
  // converter. A text whose first letter is Cyrillic is counted on its own instead: the
  // Cyrillic converter has no use for the split.
  if (firstLetterIsCyrillic(text)) {
    return moreCyrillic(text, text.length) ? countCyrillic(text, sink, withSpans) : countOldLatin(text, options, sink, withSpans);
  }
  const points = splitCodePoints(text, true);
  if (points.cyrillicUnits > points.latinUnits) return countCyrillic(text, sink, withSpans);
  return countOldLatin(text, options, sink, withSpans, points);
}
