// Uzbek Cyrillic to the new Latin alphabet, word by word (a test mode), and the
// dispatcher that picks this converter or the old-Latin one.

import { isLetterCp } from "./classes";
import { convertOldLatin, type LatinOptions } from "./oldLatin";
import {
  CYRILLIC_MESSAGES,
  CYRILLIC_PROFILE,
  asText,
  codePointLength,
  internalErrorMessage,
  type CyrillicResult,
  type CyrillicWarning,
  type CyrillicWarningKind,
  type ScriptChoice,
  type TextResult,
  type WordChange,
} from "./types";

const TABLE: Record<string, string> = {
  а: "a", б: "b", в: "v", г: "g", д: "d", ж: "j", з: "z",
  й: "y", к: "k", л: "l", м: "m", н: "n", о: "o", п: "p",
  с: "s", т: "t", у: "u", ф: "f", х: "x", ч: "ç", и: "i",
  ҳ: "h", қ: "q", ў: "ö", ғ: "ğ", ш: "ş", э: "e", р: "r",
};
const CONTEXT = new Set(["е", "ё", "ю", "я", "ц", "ъ", "ь"]);
const VOWELS = new Set(["а", "е", "ё", "и", "о", "у", "э", "ю", "я", "ў", "ы"]);
const MONTH_STEMS = ["сентябр", "октябр"];
const TS_PREFIXES = ["антиц", "эпиц", "геоц", "экстрац"];
const PROPER = new Set(["ў", "қ", "ғ", "ҳ"]);

const isCyrillicCp = (cp: number) => cp >= 0x400 && cp <= 0x4ff;
const isLatinCp = (cp: number) => (cp >= 0x41 && cp <= 0x5a) || (cp >= 0x61 && cp <= 0x7a) || (cp >= 0xc0 && cp <= 0x24f);

const isWordCp = (cp: number) => cp === 0x2bc || isLetterCp(cp);

/** "cyrillic" when the text has more Cyrillic than Latin characters, else "latin". */
export function detectScript(value?: unknown): "cyrillic" | "latin" {
  const text = asText(value);
  let cyr = 0;
  let lat = 0;
  for (let i = 0; i < text.length; i++) {
    const u = text.charCodeAt(i);
    if (isCyrillicCp(u)) cyr++;
    else if (isLatinCp(u)) lat++;
  }
  return cyr > lat ? "cyrillic" : "latin";
}

/** Upper-cases the first character that has a capital (a leading ʼ has none). */
function capitalise(s: string): string {
  const first = s[0] === "ʼ" && s.length > 1 ? 1 : 0;
  return s.slice(0, first) + s[first].toUpperCase() + s.slice(first + 1);
}

interface WordOutcome {
  text: string;
  kind: "foreign-letter" | "ts-ambiguous" | null;
}

/** Converts one Cyrillic word given as characters. */
function convertWord(chars: string[]): WordOutcome {
  const lower = chars.map((ch) => ch.toLowerCase());
  const isCap = (k: number) => k >= 0 && k < chars.length && chars[k] !== lower[k];
  const word = lower.join("");
  const month = MONTH_STEMS.find((stem) => word.startsWith(stem));
  const tsPrefix = TS_PREFIXES.some((p) => word.startsWith(p));
  let foreign = false;
  let hasTs = false;
  let out = "";

  for (let k = 0; k < chars.length; k++) {
    const l = lower[k];
    const prev = k > 0 ? lower[k - 1] : "";
    const next = k + 1 < chars.length ? lower[k + 1] : "";
    let to: string;
    let pairEnd = k;
    switch (l) {
      case "е":
        to = k === 0 || VOWELS.has(prev) || prev === "ъ" || prev === "ь" ? "ye" : "e";
        break;
      case "ё":
        to = "yo";
        break;
      case "ю":
        to = "yu";
        break;
      case "я":
        to = month !== undefined && k === month.indexOf("я") ? "a" : "ya";
        break;
      case "ц":
        hasTs = true;
        if (next === "ц") {
          to = "ts";
          pairEnd = k + 1;
        } else {
          to = VOWELS.has(prev) && VOWELS.has(next) && !tsPrefix ? "ts" : "s";
        }
        break;
      case "ъ":
        to = k === 0 || k === chars.length - 1 || prev === "ў" || (next !== "" && "еёюя".includes(next)) ? "" : "ʼ";
        break;
      case "ь":
        to = next === "и" || next === "о" ? "y" : "";
        break;
      default:
        if (l === "ҳ" && prev === "с") to = "ʼh";
        else if (Object.hasOwn(TABLE, l)) to = TABLE[l];
        else {
          to = chars[k];
          const cp = chars[k].codePointAt(0)!;
          if (isCyrillicCp(cp) && !CONTEXT.has(l)) foreign = true;
          out += to;
          continue;
        }
    }
    if (to !== "" && isCap(k)) {
      const allCaps = to.length > 1 && (isCap(k - 1) || isCap(k + 1));
      to = allCaps ? to.toUpperCase() : capitalise(to);
    }
    out += to;
    k = pairEnd;
  }
  return { text: out, kind: foreign ? "foreign-letter" : hasTs ? "ts-ambiguous" : null };
}

/** Converts Uzbek Cyrillic text to the new Latin alphabet. Never throws. */
export function convertCyrillic(value?: unknown): CyrillicResult {
  try {
    return convert(asText(value));
  } catch (error) {
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
}

function convert(raw: string): CyrillicResult {
  const input = raw.normalize("NFC");
  const chars = Array.from(input);
  const n = chars.length;
  const parts: string[] = [];
  const changes: WordChange[] = [];
  const warnings: CyrillicWarning[] = [];
  const warn = (start: number, end: number, kind: CyrillicWarningKind) =>
    warnings.push({ start, end, kind, message: CYRILLIC_MESSAGES[kind as keyof typeof CYRILLIC_MESSAGES] });
  let converted = 0;
  let proper = 0;

  let i = 0;
  while (i < n) {
    if (!isWordCp(chars[i].codePointAt(0)!)) {
      parts.push(chars[i++]);
      continue;
    }
    const start = i;
    let cyr = false;
    let lat = false;
    let hasProper = false;
    while (i < n) {
      const cp = chars[i].codePointAt(0)!;
      if (!isWordCp(cp)) break;
      if (isCyrillicCp(cp)) {
        cyr = true;
        if (PROPER.has(chars[i].toLowerCase())) hasProper = true;
      } else if (isLatinCp(cp)) lat = true;
      i++;
    }
    const word = chars.slice(start, i);
    const text = word.join("");
    if (!cyr) {
      parts.push(text);
      continue;
    }
    if (lat) {
      parts.push(text);
      warn(start, i, "mixed-script");
      continue;
    }
    const result = convertWord(word);
    parts.push(result.text);
    if (result.text !== text) changes.push({ start, end: i, to: result.text });
    if (result.kind !== null) warn(start, i, result.kind);
    converted += word.length;
    if (hasProper) proper++;
  }

  if (converted >= 200 && proper === 0) {
    warnings.unshift({ start: 0, end: 0, kind: "degraded-cyrillic", message: CYRILLIC_MESSAGES["degraded-cyrillic"] });
  }
  return { output: parts.join(""), changes, warnings, input, profile: CYRILLIC_PROFILE, script: "cyrillic" };
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
