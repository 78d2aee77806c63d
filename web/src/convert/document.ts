// Whole-file conversion: decoding, the per-type rules that keep a file's structure
// (code, markup, subtitle timings, Word formatting) and the converted file's name.

import { toNfc } from "./classes";
import { countText } from "./cyrillic";
import { Utf8Sink } from "./output";
import type { Counted, ScriptChoice } from "./types";
import { DocumentRefusal, REFUSALS, countEntry, readEntryData, readZipDirectory, writeZip, type RunningTotal } from "./zip";

export { DocumentRefusal } from "./zip";

export const ACCEPTED_EXTENSIONS = ["txt", "md", "html", "htm", "srt", "docx"] as const;
export type Extension = (typeof ACCEPTED_EXTENSIONS)[number];
export const MAX_FILE_BYTES = 20 * 1024 * 1024;
export const PREVIEW_LENGTH = 100_000;

export const MIME_TYPES: Record<Extension, string> = {
  txt: "text/plain;charset=utf-8",
  md: "text/markdown;charset=utf-8",
  html: "text/html;charset=utf-8",
  htm: "text/html;charset=utf-8",
  srt: "application/x-subrip;charset=utf-8",
  docx: "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
};

export const GENERIC_FAILURE = "Faylni o‘girib bo‘lmadi. Fayl buzilgan bo‘lishi mumkin.";

/** A conversion with its change spans, for a Word paragraph spread over runs. */
export type Conversion = (text: string) => Counted;
/**
 * A conversion with its counts only, for everything else. Given a sink it writes its
 * output there and answers a null `output`.
 */
export type Counting = (text: string, sink: Utf8Sink | null) => Counted;

/** Whether a text is empty or whitespace only (what `trim` would empty). */
function isBlank(text: string): boolean {
  for (let i = 0; i < text.length; i++) if (!isJsSpace(text.charCodeAt(i))) return false;
  return true;
}

/**
 * Adds up the changes and warnings of every conversion made for one file, and gathers
 * the file's output as UTF-8.
 */
export class ConversionTally {
  changed = 0;
  warnings = 0;
  readonly count: Counting;
  private readonly out: Utf8Sink;

  /** `expected`: about how many bytes of output to expect; `reuse`: bytes to write the output over. */
  constructor(count: Counting, expected = 0, reuse: Uint8Array | null = null) {
    this.count = count;
    this.out = new Utf8Sink(expected, reuse);
  }

  /** Converts a text; an empty or whitespace-only one comes back as it is, uncounted. */
  run(text: string): string {
    if (isBlank(text)) return text;
    const result = this.count(text, null);
    this.changed += result.changes;
    this.warnings += result.warnings;
    return result.output ?? "";
  }

  /** Converts a text into the output; an empty or whitespace-only one goes there as it is, uncounted. */
  write(text: string): void {
    if (isBlank(text)) {
      this.out.write(text);
      return;
    }
    const result = this.count(text, this.out);
    this.changed += result.changes;
    this.warnings += result.warnings;
    if (result.output !== null) this.out.write(result.output);
  }

  /** Puts the code units `from` to `to` of a text into the output as they are. */
  keep(text: string, from: number, to: number): void {
    this.out.writeUnits(text, from, to);
  }

  /** Converts the code units `from` to `to` of a text into the output, a long stretch in pieces cut just after a line feed. */
  writeChunked(text: string, from: number, to: number, size = PREVIEW_LENGTH): void {
    if (to - from <= size) {
      if (from < to) this.write(from === 0 && to === text.length ? text : text.slice(from, to));
      return;
    }
    const whole = text.slice(from, to);
    for (let start = 0; start < whole.length; ) {
      const lf = whole.indexOf("\n", start + size);
      const end = lf < 0 ? whole.length : lf + 1;
      this.write(whole.slice(start, end));
      start = end;
    }
  }

  /** The output so far. */
  bytes(): Uint8Array {
    return this.out.result();
  }
}

/** The extension after the last full stop, lower-cased ("" when there is none). */
export function extensionOf(name: string): string {
  const dot = name.lastIndexOf(".");
  return dot < 0 ? "" : name.slice(dot + 1).toLowerCase();
}

/** The converted file's name: ".uz" before the extension. */
export function outputName(name: string): string {
  const base = name.slice(Math.max(name.lastIndexOf("/"), name.lastIndexOf("\\")) + 1) || "hujjat";
  const dot = base.lastIndexOf(".");
  return dot > 0 ? `${base.slice(0, dot)}.uz${base.slice(dot)}` : `${base}.uz`;
}

/** Size in MiB with one decimal. */
export const mib = (bytes: number): string => (bytes / 1048576).toFixed(1);

/** Refuses a file by its name and size before any of it is read. */
export function checkFile(name: string, size: number): void {
  const ext = extensionOf(name);
  if (ext === "pdf") throw new DocumentRefusal("PDF qo‘llab-quvvatlanmaydi. Matnni nusxalab, .txt fayl qilib yuklang.");
  if (ext === "doc") {
    throw new DocumentRefusal("Eski .doc formati qo‘llanmaydi. Faylni Word‘da .docx qilib saqlab, qayta yuklang.");
  }
  if (!(ACCEPTED_EXTENSIONS as readonly string[]).includes(ext)) {
    const list = ACCEPTED_EXTENSIONS.map((e) => `.${e}`).join(", ");
    throw new DocumentRefusal(`“.${ext || "?"}” formati qo‘llanmaydi. Mumkin: ${list}.`);
  }
  if (size === 0) throw new DocumentRefusal("Fayl bo‘sh.");
  if (size > MAX_FILE_BYTES) {
    throw new DocumentRefusal(`Fayl juda katta (${mib(size)} MB). Chegara: ${MAX_FILE_BYTES / 1048576} MB.`);
  }
}

/** Reads a text file: a UTF-16 byte-order mark, else strict UTF-8, else windows-1251. */
export function decodeText(bytes: Uint8Array): string {
  if (bytes.length >= 2 && bytes[0] === 0xff && bytes[1] === 0xfe) {
    return new TextDecoder("utf-16le", { fatal: true, ignoreBOM: true }).decode(bytes.subarray(2));
  }
  if (bytes.length >= 2 && bytes[0] === 0xfe && bytes[1] === 0xff) {
    return new TextDecoder("utf-16be", { fatal: true, ignoreBOM: true }).decode(bytes.subarray(2));
  }
  try {
    return new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  } catch {
    return new TextDecoder("windows-1251").decode(bytes);
  }
}

// ---- text types ------------------------------------------------------------------------

/** The characters a regular expression's \s matches (and `trim` removes): where a web address ends. */
function isJsSpace(u: number): boolean {
  return (
    u === 0x20 ||
    (u >= 0x09 && u <= 0x0d) ||
    u === 0xa0 ||
    u === 0x1680 ||
    (u >= 0x2000 && u <= 0x200a) ||
    u === 0x2028 ||
    u === 0x2029 ||
    u === 0x202f ||
    u === 0x205f ||
    u === 0x3000 ||
    u === 0xfeff
  );
}

const isTagStart = (u: number) => ((u | 0x20) >= 0x61 && (u | 0x20) <= 0x7a) || u === 0x2f || u === 0x21 || u === 0x3f;
const lowerAt = (text: string, i: number) => text.charCodeAt(i) | 0x20;

/** The length of "http://" or "https://" (any case) at `i`, else 0. */
function schemeAt(text: string, i: number): number {
  if (lowerAt(text, i) !== 0x68 || lowerAt(text, i + 1) !== 0x74 || lowerAt(text, i + 2) !== 0x74 || lowerAt(text, i + 3) !== 0x70) {
    return 0;
  }
  const s = lowerAt(text, i + 4) === 0x73 ? 1 : 0;
  return text.startsWith("://", i + 4 + s) ? 7 + s : 0;
}

/**
 * The next `ch` at or after `from`, from a search remembered in `memo` (-2 before the
 * first, -1 when there is none). Searches only move forward, so all the searches of a
 * scan together read the text once.
 */
function nextOf(text: string, ch: string, from: number, memo: number): number {
  return memo !== -1 && memo < from ? text.indexOf(ch, from) : memo;
}

/**
 * Goes through the markdown line from `from` to `to`: the spans that stay as written
 * (inline code, web addresses, link targets and angle-bracket tags) go to `keep`, the
 * stretches between them to `piece`, in order. `memos` keeps the searches for closing
 * characters ("`", ")", ">", "<") from line to line.
 */
function scanMarkdownLine(
  text: string,
  from: number,
  to: number,
  memos: Int32Array,
  piece: (from: number, to: number) => void,
  keep: (from: number, to: number) => void,
): void {
  let at = from;
  for (let i = from; i < to; ) {
    const c = text.charCodeAt(i);
    let end = -1;
    if (c === 0x60) {
      const tick = (memos[0] = nextOf(text, "`", i + 1, memos[0]));
      if (tick >= 0 && tick < to) end = tick + 1;
    } else if (c === 0x5d) {
      if (i + 1 < to && text.charCodeAt(i + 1) === 0x28) {
        const paren = (memos[1] = nextOf(text, ")", i + 2, memos[1]));
        if (paren >= 0 && paren < to) end = paren + 1;
      }
    } else if (c === 0x3c) {
      if (i + 1 < to && isTagStart(text.charCodeAt(i + 1))) {
        const gt = (memos[2] = nextOf(text, ">", i + 2, memos[2]));
        const lt = (memos[3] = nextOf(text, "<", i + 2, memos[3]));
        if (gt >= 0 && gt < to && (lt < 0 || gt < lt)) end = gt + 1;
      }
    } else if ((c | 0x20) === 0x68) {
      const scheme = i + 7 <= to ? schemeAt(text, i) : 0;
      if (scheme > 0 && i + scheme <= to) {
        end = i + scheme;
        while (end < to) {
          const u = text.charCodeAt(end);
          if (u === 0x29 || u === 0x3e || u === 0x5d || isJsSpace(u)) break;
          end++;
        }
      }
    }
    if (end < 0) {
      i++;
      continue;
    }
    if (at < i) piece(at, i);
    keep(i, end);
    at = i = end;
  }
  if (at < to) piece(at, to);
}

const freshMemos = () => new Int32Array(4).fill(-2);

/** The spans of a markdown line that stay as written, in order (see `scanMarkdownLine`). */
export function markdownSpans(line: string): [number, number][] {
  const spans: [number, number][] = [];
  scanMarkdownLine(line, 0, line.length, freshMemos(), () => {}, (from, to) => spans.push([from, to]));
  return spans;
}

/** The fence that a markdown line opens ("```", "~~~~"...) as its character and length, or 0. */
function fenceAt(text: string, from: number, to: number): { ch: number; length: number; end: number } | null {
  let i = from;
  while (i < to && i - from < 3 && (text.charCodeAt(i) === 0x20 || text.charCodeAt(i) === 0x09)) i++;
  const ch = text.charCodeAt(i);
  if (ch !== 0x60 && ch !== 0x7e) return null;
  let end = i;
  while (end < to && text.charCodeAt(end) === ch) end++;
  return end - i >= 3 ? { ch, length: end - i, end } : null;
}

function isBlankRange(text: string, from: number, to: number): boolean {
  for (let i = from; i < to; i++) if (!isJsSpace(text.charCodeAt(i))) return false;
  return true;
}

/** Fenced blocks, inline code, addresses, link targets and tags stay; the rest of each line is converted. */
export function convertMarkdown(text: string, tally: ConversionTally): void {
  const memos = freshMemos();
  const piece = (from: number, to: number) => tally.write(text.slice(from, to));
  const keep = (from: number, to: number) => tally.keep(text, from, to);
  let fence: { ch: number; length: number } | null = null;
  for (let start = 0; ; ) {
    const lf = text.indexOf("\n", start);
    const end = lf < 0 ? text.length : lf;
    if (fence !== null) {
      const close = fenceAt(text, start, end);
      if (close !== null && close.ch === fence.ch && close.length >= fence.length && isBlankRange(text, close.end, end)) fence = null;
      keep(start, end);
    } else {
      fence = fenceAt(text, start, end);
      if (fence !== null) keep(start, end);
      else scanMarkdownLine(text, start, end, memos, piece, keep);
    }
    if (lf < 0) break;
    tally.keep(text, lf, lf + 1);
    start = lf + 1;
  }
}

// The closing tags of the elements kept whole, by name in lower case.
const CLOSING = new Map<string, RegExp>();
function closingTag(name: string): RegExp {
  const lower = name.toLowerCase();
  let re = CLOSING.get(lower);
  if (re === undefined) CLOSING.set(lower, (re = new RegExp(`</${lower}\\s*>`, "gi")));
  return re;
}

const HTML_KEPT_ELEMENTS = /(script|style|pre|code)\b/iy;
const HTML_HIDDEN_ELEMENTS = /(script|style)\b/iy;

/**
 * Goes through the spans of an HTML text that stay as written, in order: comments,
 * whole elements named by `elements` (both to the end when never closed) and every other
 * tag. Each ">" is looked for once, so a text full of unclosed "<" stays linear.
 */
function scanHtml(text: string, elements: RegExp, span: (from: number, to: number) => void): void {
  let gt = -2; // the first ">" at or after the scan position; -1 when there is none
  for (let i = text.indexOf("<"); i >= 0; i = text.indexOf("<", i)) {
    let end = -1;
    if (text.startsWith("<!--", i)) {
      const close = text.indexOf("-->", i + 4);
      end = close < 0 ? text.length : close + 3;
    } else if (isTagStart(text.charCodeAt(i + 1))) {
      if (gt !== -1 && gt < i) gt = text.indexOf(">", i);
      if (gt >= 0) {
        end = gt + 1;
        elements.lastIndex = i + 1;
        const element = elements.exec(text);
        if (element !== null) {
          const closing = closingTag(element[1]);
          closing.lastIndex = end;
          const close = closing.exec(text);
          end = close === null ? text.length : close.index + close[0].length;
        }
      }
    }
    if (end < 0) {
      i++;
      continue;
    }
    span(i, end);
    i = end;
  }
}

/** Comments, whole script, style, pre and code elements and tags stay; the text between is converted. */
export function convertHtml(text: string, tally: ConversionTally): void {
  let at = 0;
  scanHtml(text, HTML_KEPT_ELEMENTS, (start, end) => {
    tally.writeChunked(text, at, start);
    tally.keep(text, start, end);
    at = end;
  });
  tally.writeChunked(text, at, text.length);
}

/**
 * The readable text of an HTML file (no scripts, styles, comments or tags): its first
 * `limit` code units and its whole length, which is counted without building the rest.
 */
export function htmlPreview(text: string, limit = PREVIEW_LENGTH): Preview {
  const parts: string[] = [];
  let kept = 0;
  let chars = 0;
  const take = (from: number, to: number) => {
    chars += to - from;
    if (kept >= limit || from >= to) return;
    const piece = text.slice(from, Math.min(to, from + limit - kept));
    parts.push(piece);
    kept += piece.length;
  };
  let at = 0;
  scanHtml(text, HTML_HIDDEN_ELEMENTS, (start, end) => {
    take(at, start);
    at = end;
  });
  take(at, text.length);
  return { source: parts.join(""), chars };
}

/** The whole readable text of an HTML file. */
export const htmlText = (text: string): string => htmlPreview(text, Infinity).source;

/** Whether a subtitle line holds only a cue number (whitespace around it allowed). */
function isCueNumber(text: string, from: number, to: number): boolean {
  let i = from;
  while (i < to && isJsSpace(text.charCodeAt(i))) i++;
  const digits = i;
  while (i < to && text.charCodeAt(i) >= 0x30 && text.charCodeAt(i) <= 0x39) i++;
  if (i === digits) return false;
  while (i < to && isJsSpace(text.charCodeAt(i))) i++;
  return i === to;
}

/** Cue numbers and timing lines stay; in other lines tags and brace groups stay and the rest is converted. */
export function convertSubtitles(text: string, tally: ConversionTally): void {
  // The next "-->", "<", ">", "{" and "}", remembered from line to line.
  let arrow = -2;
  let lt = -2;
  let gt = -2;
  let open = -2;
  let close = -2;
  for (let start = 0; ; ) {
    const lf = text.indexOf("\n", start);
    const end = lf < 0 ? text.length : lf;
    arrow = nextOf(text, "-->", start, arrow);
    if ((arrow >= 0 && arrow + 3 <= end) || isCueNumber(text, start, end)) {
      tally.keep(text, start, end);
    } else {
      let at = start;
      for (let i = start; i < end; ) {
        const c = text.charCodeAt(i);
        let stop = -1;
        if (c === 0x3c) {
          lt = nextOf(text, "<", i + 1, lt);
          gt = nextOf(text, ">", i + 1, gt);
          if (gt >= 0 && gt < end && (lt < 0 || gt < lt)) stop = gt + 1;
        } else if (c === 0x7b) {
          open = nextOf(text, "{", i + 1, open);
          close = nextOf(text, "}", i + 1, close);
          if (close >= 0 && close < end && (open < 0 || close < open)) stop = close + 1;
        }
        if (stop < 0) {
          i++;
          continue;
        }
        if (at < i) tally.write(text.slice(at, i));
        tally.keep(text, i, stop);
        at = i = stop;
      }
      if (at < end) tally.write(text.slice(at, end));
    }
    if (lf < 0) break;
    tally.keep(text, lf, lf + 1);
    start = lf + 1;
  }
}

// ---- Word documents -------------------------------------------------------------------

// A paragraph start, a paragraph end, or a text run (not self-closing) with its text.
// A tag's attributes never hold "<", so each attempt stops at the next tag: a crafted
// part full of unclosed "<w:t " tags is still read in linear time.
const WORD_TOKENS = /<w:p(?=[\s>/])|<\/w:p>|(<w:t(?:\s(?:[^<>]*[^<>/])?)?>)([^<]*)<\/w:t>/g;
const WORD_RUN = /(<w:t(?:\s(?:[^<>]*[^<>/])?)?>)([^<]*)<\/w:t>/g;

const NAMED: Record<string, string> = { amp: "&", lt: "<", gt: ">", quot: '"', apos: "'" };

/** Decodes the five named references and numeric ones; any other stays as written. */
export function decodeReferences(text: string): string {
  if (!text.includes("&")) return text;
  return text.replace(/&(?:#[xX]([0-9a-fA-F]+)|#([0-9]+)|([A-Za-z]+));/g, (whole, hex, dec, name) => {
    if (name !== undefined) return NAMED[name.toLowerCase()] ?? whole;
    const value = hex !== undefined ? parseInt(hex, 16) : parseInt(dec, 10);
    return value >= 1 && value <= 0x10ffff ? String.fromCodePoint(value) : whole;
  });
}

/** The code-unit offset of each code point of a text, or null when they are the same. */
function unitOffsets(text: string): Uint32Array | null {
  let n = 0;
  for (let i = 0; i < text.length; i++, n++) {
    const u = text.charCodeAt(i);
    if (u >= 0xd800 && u <= 0xdbff && i + 1 < text.length && (text.charCodeAt(i + 1) & 0xfc00) === 0xdc00) i++;
  }
  if (n === text.length) return null;
  const at = new Uint32Array(n + 1);
  let k = 0;
  for (let i = 0; i < text.length; i++) {
    at[k++] = i;
    const u = text.charCodeAt(i);
    if (u >= 0xd800 && u <= 0xdbff && i + 1 < text.length && (text.charCodeAt(i + 1) & 0xfc00) === 0xdc00) i++;
  }
  at[k] = text.length;
  return at;
}

/** A paragraph converted as one text: the joined runs and the conversion's changes. */
interface JoinedParagraph {
  joined: string;
  spans: NonNullable<Counted["spans"]>;
}

/**
 * Converts a paragraph's runs as one text, so that a digraph split over two runs still
 * converts. Answers its changes; "as-is" when the runs stay as they are; or "each-run"
 * when each run must be converted by itself (normalisation would move offsets across
 * runs).
 */
function convertJoined(texts: string[], tally: ConversionTally, conversion: Conversion): JoinedParagraph | "as-is" | "each-run" {
  const joined = texts.length === 1 ? texts[0] : texts.join("");
  if (isBlank(joined)) return "as-is";
  if (toNfc(joined) !== joined) return "each-run";
  const result = conversion(joined);
  if (result.input !== joined) return "each-run";
  tally.changed += result.changes;
  tally.warnings += result.warnings;
  const spans = result.spans!;
  return spans.count === 0 ? "as-is" : { joined, spans };
}

/**
 * Writes the new text of each run, XML-escaped, after `beginRun`. Each run keeps its own
 * code units, less those of a change that begins in an earlier run; a change's
 * replacement goes to the run that holds its first unit.
 */
function placeRuns(texts: string[], { joined, spans }: JoinedParagraph, beginRun: () => void, sink: Utf8Sink): void {
  const unitAt = unitOffsets(joined);
  const unit = (cp: number) => (unitAt === null ? cp : unitAt[cp]);
  let c = 0;
  let k = 0; // the next unit of the joined text to place
  let runEnd = 0;
  for (const text of texts) {
    runEnd += text.length;
    beginRun();
    while (k < runEnd) {
      const start = c < spans.count ? unit(spans.start[c]) : Infinity;
      if (start < runEnd) {
        if (start > k) sink.writeEscaped(joined, k, start);
        sink.writeEscaped(spans.to[c]);
        k = unit(spans.end[c]);
        c++;
      } else {
        sink.writeEscaped(joined, k, runEnd);
        k = runEnd;
      }
    }
  }
}

/** Rewrites the text runs of a Word XML part, paragraph by paragraph, into `sink`; the rest stays byte for byte. */
function writeWordXml(xml: string, tally: ConversionTally, conversion: Conversion, sink: Utf8Sink): void {
  // The runs of the current paragraph: where each lies in the part and its decoded text.
  // The part's own text goes out unchanged around each run's new text: up to the end of
  // its opening tag, and again from its closing tag on. (The arrays of places are reused
  // from paragraph to paragraph.)
  const textStarts: number[] = [];
  const textEnds: number[] = [];
  let texts: string[] = [];
  let at = 0;
  let run = 0;
  // The runs' new text goes straight into the sink, each after the part's text before it.
  const beginRun = () => {
    sink.writeUnits(xml, at, textStarts[run]);
    at = textEnds[run++];
  };
  const flush = () => {
    if (texts.length === 0) return;
    const joined = convertJoined(texts, tally, conversion);
    run = 0;
    if (typeof joined === "object") {
      placeRuns(texts, joined, beginRun, sink);
    } else {
      for (const text of texts) {
        const own = joined === "each-run" ? tally.run(text) : text;
        beginRun();
        sink.writeEscaped(own);
      }
    }
    texts = [];
  };
  WORD_TOKENS.lastIndex = 0;
  for (let m = WORD_TOKENS.exec(xml); m !== null; m = WORD_TOKENS.exec(xml)) {
    if (m[1] === undefined) {
      flush();
    } else {
      textStarts[texts.length] = m.index + m[1].length;
      textEnds[texts.length] = m.index + m[0].length - 6; // "</w:t>"
      texts.push(decodeReferences(m[2]));
    }
  }
  flush();
  sink.writeUnits(xml, at, xml.length);
}

/** Rewrites the text runs of a Word XML part, paragraph by paragraph; the rest stays byte for byte. */
export function rewriteWordXml(xml: string, tally: ConversionTally, conversion: Conversion): string {
  const sink = new Utf8Sink(xml.length);
  writeWordXml(xml, tally, conversion, sink);
  return new TextDecoder().decode(sink.result());
}

const REWRITTEN_PARTS = /^word\/(?:document|header\d*|footer\d*|footnotes|endnotes|comments)\.xml$/;
const MAIN_PART = "word/document.xml";
const utf8 = (bytes: Uint8Array) => new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }).decode(bytes);

interface Preview {
  source: string;
  chars: number;
}

/** The main part of a Word document, read once for the preview and again for the rewrite. */
interface MainPart {
  xml: string;
  /** Its inflated size. */
  size: number;
  /** Its inflated bytes when they are the worker's own (not a stored part of the file). */
  spare: Uint8Array | null;
}

/**
 * The length of the plain text of a Word part's paragraphs from `from` on, `more` when a
 * paragraph came before (each after the first begins a line). A run's text holds no "<",
 * so no run reaches over a paragraph's end: the runs are counted in one scan.
 */
function restLength(xml: string, from: number, more: boolean): number {
  let chars = more ? 1 : 0;
  for (let at = xml.indexOf("</w:p>", from); at >= 0; at = xml.indexOf("</w:p>", at + 6)) chars++;
  WORD_RUN.lastIndex = from;
  for (let m = WORD_RUN.exec(xml); m !== null; m = WORD_RUN.exec(xml)) chars += decodeReferences(m[2]).length;
  return chars;
}

/** The document's paragraphs as plain text, the first 100,000 code units of it kept. */
async function wordPreview(bytes: Uint8Array): Promise<Preview & { main: MainPart }> {
  const entries = readZipDirectory(bytes);
  const main = entries.find((e) => e.name === MAIN_PART);
  if (main === undefined) throw new DocumentRefusal("Bu Word (.docx) hujjati emas: word/document.xml topilmadi.");
  const data = await readEntryData(main, { bytes: 0 });
  const xml = utf8(data);
  const kept: string[] = [];
  let keptLength = 0;
  let chars = 0;
  let from = 0;
  for (let i = 0; ; i++) {
    if (keptLength >= PREVIEW_LENGTH) {
      chars += restLength(xml, from, i > 0);
      break;
    }
    const close = xml.indexOf("</w:p>", from);
    const piece = xml.slice(from, close < 0 ? xml.length : close);
    let text = i > 0 ? "\n" : "";
    WORD_RUN.lastIndex = 0;
    for (let m = WORD_RUN.exec(piece); m !== null; m = WORD_RUN.exec(piece)) text += decodeReferences(m[2]);
    chars += text.length;
    if (keptLength < PREVIEW_LENGTH) {
      kept.push(text);
      keptLength += text.length;
    }
    if (close < 0) break;
    from = close + 6;
  }
  const spare = main.method === 8 ? data : null;
  return { source: kept.join("").slice(0, PREVIEW_LENGTH), chars, main: { xml, size: data.length, spare } };
}

async function convertWord(bytes: Uint8Array, tally: ConversionTally, conversion: Conversion, main: MainPart): Promise<Uint8Array> {
  const entries = readZipDirectory(bytes);
  const total: RunningTotal = { bytes: 0 };
  const first = entries.findIndex((e) => e.name === MAIN_PART);
  for (const [i, entry] of entries.entries()) {
    if (!REWRITTEN_PARTS.test(entry.name)) continue;
    let xml: string;
    // Inflated bytes, once decoded, may take the rewritten part (memory already in use
    // costs less to write than fresh memory); a stored part's bytes are the file's own.
    let spare: Uint8Array | null;
    if (i === first) {
      // Read already for the preview: counted again, not inflated again.
      countEntry(total, main.size);
      xml = main.xml;
      spare = main.spare;
    } else {
      const data = await readEntryData(entry, total);
      xml = utf8(data);
      spare = entry.method === 8 ? data : null;
    }
    const sink = new Utf8Sink(xml.length * 1.1 + 1024, spare);
    writeWordXml(xml, tally, conversion, sink);
    entry.data = sink.view();
  }
  return writeZip(entries);
}

export interface ConvertedDocument {
  name: string;
  bytes: Uint8Array;
  mime: string;
  changed: number;
  warnings: number;
  usedCyrillic: boolean;
  source: string;
  truncated: boolean;
  chars: number;
}

/** Converts one file. Throws a `DocumentRefusal` for files it will not take. */
export async function convertDocument(name: string, bytes: Uint8Array, script: ScriptChoice | string): Promise<ConvertedDocument> {
  checkFile(name, bytes.length);
  const ext = extensionOf(name) as Extension;

  let usedCyrillic = false;
  // The Cyrillic converter's own failure fails the file rather than passing it through.
  const note = (script: string, changes: number, failure: string | null) => {
    if (script !== "cyrillic") return;
    if (failure !== null) throw new Error(failure);
    if (changes > 0) usedCyrillic = true;
  };
  // Markdown and web pages keep their character references undecoded: they stay as written.
  const options = ext === "md" || ext === "html" || ext === "htm" ? { keepReferences: true } : undefined;
  const tally = new ConversionTally(
    (text, sink) => {
      const result = countText(text, script, options, sink);
      note(result.script, result.changes, result.failure);
      return result;
    },
    ext === "docx" ? 0 : bytes.length,
    // A text file's bytes are decoded before any output is written: the output may go over them.
    ext === "docx" ? null : bytes,
  );
  const paragraph: Conversion = (text) => {
    const result = countText(text, script, undefined, null, true);
    note(result.script, result.changes, result.failure);
    return result;
  };

  let out: Uint8Array;
  let preview: Preview;
  if (ext === "docx") {
    const word = await wordPreview(bytes);
    preview = word;
    if (bytes[0] !== 0x50 || bytes[1] !== 0x4b) throw new DocumentRefusal(REFUSALS.broken);
    out = await convertWord(bytes, tally, paragraph, word.main);
  } else {
    const text = decodeText(bytes);
    preview = ext === "html" || ext === "htm" ? htmlPreview(text) : { source: text.slice(0, PREVIEW_LENGTH), chars: text.length };
    if (ext === "md") convertMarkdown(text, tally);
    else if (ext === "html" || ext === "htm") convertHtml(text, tally);
    else if (ext === "srt") convertSubtitles(text, tally);
    else tally.writeChunked(text, 0, text.length);
    out = tally.bytes();
  }

  return {
    name: outputName(name),
    bytes: out,
    mime: MIME_TYPES[ext],
    changed: tally.changed,
    warnings: tally.warnings,
    usedCyrillic,
    source: preview.source,
    truncated: preview.chars > preview.source.length,
    chars: preview.chars,
  };
}
