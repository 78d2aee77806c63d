// Whole-file conversion: decoding, the per-type rules that keep a file's structure
// (code, markup, subtitle timings, Word formatting) and the converted file's name.

import { convertText } from "./cyrillic";
import type { ScriptChoice, TextResult } from "./types";
import { DocumentRefusal, REFUSALS, readEntryData, readZipDirectory, writeZip, type RunningTotal } from "./zip";

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

export type Conversion = (text: string) => TextResult;

/** Adds up the changes and warnings of every conversion made for one file. */
export class ConversionTally {
  changed = 0;
  warnings = 0;
  readonly convert: Conversion;

  constructor(convert: Conversion) {
    this.convert = convert;
  }

  /** Converts a text; an empty or whitespace-only one comes back as it is, uncounted. */
  run(text: string): string {
    if (text.trim() === "") return text;
    const result = this.convert(text);
    this.changed += result.changes.length;
    this.warnings += result.warnings.length;
    return result.output;
  }

  /** Converts a long text in pieces cut just after a line feed. */
  chunked(text: string, size = PREVIEW_LENGTH): string {
    if (text.length <= size) return this.run(text);
    let out = "";
    let start = 0;
    while (start < text.length) {
      const lf = text.indexOf("\n", start + size);
      const end = lf < 0 ? text.length : lf + 1;
      out += this.run(text.slice(start, end));
      start = end;
    }
    return out;
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

/** Runs the pieces of a text between the matches of `keep` through `run`; matches stay. */
function convertBetween(text: string, keep: RegExp, run: (piece: string) => string): string {
  let out = "";
  let at = 0;
  keep.lastIndex = 0;
  for (let m = keep.exec(text); m !== null; m = keep.exec(text)) {
    if (m[0].length === 0) {
      keep.lastIndex++;
      continue;
    }
    out += run(text.slice(at, m.index)) + m[0];
    at = m.index + m[0].length;
  }
  return out + run(text.slice(at));
}

const FENCE_OPEN = /^[ \t]{0,3}(`{3,}|~{3,})/;
const TAG_START = /[A-Za-z/!?]/;

/** The characters a regular expression's \s matches: where a web address ends. */
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
 * The spans of a markdown line that stay as written, in order: inline code, web
 * addresses, link targets and angle-bracket tags. Each search for a closing character
 * is remembered for the openers after it, so a line full of unclosed openers is still
 * read in one pass.
 */
export function markdownSpans(line: string): [number, number][] {
  const spans: [number, number][] = [];
  // The next "`", ")", ">" and "<" at or after the last search; -1 when there is none.
  let tick = -2;
  let paren = -2;
  let gt = -2;
  let lt = -2;
  const next = (memo: number, ch: string, from: number) => (memo !== -1 && memo < from ? line.indexOf(ch, from) : memo);
  for (let i = 0; i < line.length; ) {
    const c = line.charCodeAt(i);
    let end = -1;
    if (c === 0x60) {
      tick = next(tick, "`", i + 1);
      if (tick >= 0) end = tick + 1;
    } else if (c === 0x5d) {
      if (line.charCodeAt(i + 1) === 0x28) {
        paren = next(paren, ")", i + 2);
        if (paren >= 0) end = paren + 1;
      }
    } else if (c === 0x3c) {
      if (TAG_START.test(line.charAt(i + 1))) {
        gt = next(gt, ">", i + 2);
        lt = next(lt, "<", i + 2);
        if (gt >= 0 && (lt < 0 || gt < lt)) end = gt + 1;
      }
    } else if ((c | 0x20) === 0x68) {
      const scheme = schemeAt(line, i);
      if (scheme > 0) {
        end = i + scheme;
        while (end < line.length) {
          const u = line.charCodeAt(end);
          if (u === 0x29 || u === 0x3e || u === 0x5d || isJsSpace(u)) break;
          end++;
        }
      }
    }
    if (end < 0) {
      i++;
      continue;
    }
    spans.push([i, end]);
    i = end;
  }
  return spans;
}

export function convertMarkdown(text: string, tally: ConversionTally): string {
  const lines = text.split("\n");
  let fence: string | null = null;
  for (let i = 0; i < lines.length; i++) {
    const line = lines[i];
    if (fence !== null) {
      const m = FENCE_OPEN.exec(line);
      if (m && m[1][0] === fence[0] && m[1].length >= fence.length && line.slice(m[0].length).trim() === "") {
        fence = null;
      }
      continue;
    }
    const open = FENCE_OPEN.exec(line);
    if (open) {
      fence = open[1];
      continue;
    }
    let out = "";
    let at = 0;
    for (const [start, end] of markdownSpans(line)) {
      out += tally.run(line.slice(at, start)) + line.slice(start, end);
      at = end;
    }
    lines[i] = out + tally.run(line.slice(at));
  }
  return lines.join("\n");
}

const HTML_KEPT_ELEMENTS = /(script|style|pre|code)\b/iy;
const HTML_HIDDEN_ELEMENTS = /(script|style)\b/iy;

/**
 * The spans of an HTML text that stay as written, in order: comments, whole elements
 * named by `elements` (both to the end when never closed) and every other tag. A scan
 * that looks for each ">" once, so a text full of unclosed "<" stays linear.
 */
function htmlSpans(text: string, elements: RegExp): [number, number][] {
  const spans: [number, number][] = [];
  let gt = -2; // the first ">" at or after the scan position; -1 when there is none
  for (let i = text.indexOf("<"); i >= 0; i = text.indexOf("<", i)) {
    let end = -1;
    if (text.startsWith("<!--", i)) {
      const close = text.indexOf("-->", i + 4);
      end = close < 0 ? text.length : close + 3;
    } else if (TAG_START.test(text.charAt(i + 1))) {
      if (gt !== -1 && gt < i) gt = text.indexOf(">", i);
      if (gt >= 0) {
        end = gt + 1;
        elements.lastIndex = i + 1;
        const element = elements.exec(text);
        if (element !== null) {
          const closing = new RegExp(`</${element[1]}\\s*>`, "gi");
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
    spans.push([i, end]);
    i = end;
  }
  return spans;
}

/** Comments, whole script, style, pre and code elements and tags stay; the text between is converted. */
export function convertHtml(text: string, tally: ConversionTally): string {
  let out = "";
  let at = 0;
  for (const [start, end] of htmlSpans(text, HTML_KEPT_ELEMENTS)) {
    out += tally.chunked(text.slice(at, start)) + text.slice(start, end);
    at = end;
  }
  return out + tally.chunked(text.slice(at));
}

/** The readable text of an HTML file: no scripts, styles, comments or tags. */
export function htmlText(text: string): string {
  let out = "";
  let at = 0;
  for (const [start, end] of htmlSpans(text, HTML_HIDDEN_ELEMENTS)) {
    out += text.slice(at, start);
    at = end;
  }
  return out + text.slice(at);
}

const SRT_KEEP = /<[^<>\n]*>|\{[^{}\n]*\}/g;

export function convertSubtitles(text: string, tally: ConversionTally): string {
  const lines = text.split("\n");
  for (let i = 0; i < lines.length; i++) {
    const line = lines[i];
    if (/^\s*\d+\s*$/.test(line) || line.includes("-->")) continue;
    lines[i] = convertBetween(line, SRT_KEEP, (piece) => tally.run(piece));
  }
  return lines.join("\n");
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

const escapeXml = (text: string) => text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");

/**
 * Converts the texts of one paragraph's runs as one text, so that a digraph split over
 * two runs still converts; each replacement goes to the run of its first character.
 */
export function convertParagraph(texts: string[], tally: ConversionTally, conversion: Conversion): string[] {
  const joined = texts.join("");
  if (joined.trim() === "") return texts;
  // Normalisation would move offsets across runs: then each run is converted by itself.
  if (joined.normalize("NFC") !== joined) return texts.map((t) => tally.run(t));
  const result = conversion(joined);
  if (result.input !== joined) return texts.map((t) => tally.run(t));
  tally.changed += result.changes.length;
  tally.warnings += result.warnings.length;

  // The run that owns each code point: the last non-empty run starting at or before it.
  const owner: number[] = [];
  const points: string[] = [];
  texts.forEach((t, r) => {
    for (const ch of t) {
      owner.push(r);
      points.push(ch);
    }
  });
  const out = texts.map(() => "");
  let k = 0;
  for (const c of result.changes) {
    for (; k < c.start; k++) out[owner[k]] += points[k];
    if (c.start < owner.length) out[owner[c.start]] += c.to;
    k = c.end;
  }
  for (; k < points.length; k++) out[owner[k]] += points[k];
  return out;
}

/** Rewrites the text runs of a Word XML part, paragraph by paragraph; the rest stays byte for byte. */
export function rewriteWordXml(xml: string, tally: ConversionTally, conversion: Conversion): string {
  interface Run {
    index: number;
    length: number;
    open: string;
    text: string;
  }
  const pieces: string[] = [];
  let at = 0;
  let group: Run[] = [];
  const flush = () => {
    if (group.length === 0) return;
    const texts = convertParagraph(
      group.map((r) => r.text),
      tally,
      conversion,
    );
    group.forEach((r, i) => {
      pieces.push(xml.slice(at, r.index), r.open, escapeXml(texts[i]), "</w:t>");
      at = r.index + r.length;
    });
    group = [];
  };
  WORD_TOKENS.lastIndex = 0;
  for (let m = WORD_TOKENS.exec(xml); m !== null; m = WORD_TOKENS.exec(xml)) {
    if (m[1] === undefined) flush();
    else group.push({ index: m.index, length: m[0].length, open: m[1], text: decodeReferences(m[2]) });
  }
  flush();
  pieces.push(xml.slice(at));
  return pieces.join("");
}

const REWRITTEN_PARTS = /^word\/(?:document|header\d*|footer\d*|footnotes|endnotes|comments)\.xml$/;
const utf8 = (bytes: Uint8Array) => new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }).decode(bytes);

interface Preview {
  source: string;
  chars: number;
}

/** The document's paragraphs as plain text, the first 100,000 code units of it kept. */
async function wordPreview(bytes: Uint8Array): Promise<Preview> {
  const entries = readZipDirectory(bytes);
  const main = entries.find((e) => e.name === "word/document.xml");
  if (main === undefined) throw new DocumentRefusal("Bu Word (.docx) hujjati emas: word/document.xml topilmadi.");
  const xml = utf8(await readEntryData(main, { bytes: 0 }));
  const kept: string[] = [];
  let keptLength = 0;
  let chars = 0;
  const paragraphs = xml.split("</w:p>");
  paragraphs.forEach((piece, i) => {
    let text = "";
    WORD_RUN.lastIndex = 0;
    for (let m = WORD_RUN.exec(piece); m !== null; m = WORD_RUN.exec(piece)) text += decodeReferences(m[2]);
    if (i > 0) text = "\n" + text;
    chars += text.length;
    if (keptLength < PREVIEW_LENGTH) {
      kept.push(text);
      keptLength += text.length;
    }
  });
  return { source: kept.join("").slice(0, PREVIEW_LENGTH), chars };
}

async function convertWord(bytes: Uint8Array, tally: ConversionTally): Promise<Uint8Array> {
  const entries = readZipDirectory(bytes);
  const total: RunningTotal = { bytes: 0 };
  for (const entry of entries) {
    if (!REWRITTEN_PARTS.test(entry.name)) continue;
    const xml = utf8(await readEntryData(entry, total));
    entry.data = new TextEncoder().encode(rewriteWordXml(xml, tally, tally.convert));
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
  // Markdown and web pages keep their character references undecoded: they stay as written.
  const options = ext === "md" || ext === "html" || ext === "htm" ? { keepReferences: true } : undefined;
  const tally = new ConversionTally((text) => {
    const result = convertText(text, script, options);
    if (result.script === "cyrillic") {
      // The Cyrillic converter's own failure fails the file rather than passing it through.
      if (result.warnings.some((w) => w.kind === "internal-error")) throw new Error(result.warnings[0].message);
      if (result.changes.length > 0) usedCyrillic = true;
    }
    return result;
  });

  let out: Uint8Array;
  let preview: Preview;
  if (ext === "docx") {
    preview = await wordPreview(bytes);
    if (bytes[0] !== 0x50 || bytes[1] !== 0x4b) throw new DocumentRefusal(REFUSALS.broken);
    out = await convertWord(bytes, tally);
  } else {
    const text = decodeText(bytes);
    const shown = ext === "html" || ext === "htm" ? htmlText(text) : text;
    preview = { source: shown.slice(0, PREVIEW_LENGTH), chars: shown.length };
    let converted: string;
    if (ext === "md") converted = convertMarkdown(text, tally);
    else if (ext === "html" || ext === "htm") converted = convertHtml(text, tally);
    else if (ext === "srt") converted = convertSubtitles(text, tally);
    else converted = tally.chunked(text);
    out = new TextEncoder().encode(converted);
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
