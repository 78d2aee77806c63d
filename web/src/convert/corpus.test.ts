// A guard for the converters' output: a fixed corpus of generated texts and documents
// (old Latin and Cyrillic, every format, hostile shapes) whose complete results are kept
// as digests. Any change of an output byte, a change record, a warning or a count shows
// here by the name of its case. After a deliberate change of the rules, rewrite the
// digests with `npx vitest run -u src/convert/corpus.test.ts`.

import { describe, expect, it } from "vitest";
import { convertCyrillic, convertText, detectScript } from "./cyrillic";
import { convertOldLatin } from "./oldLatin";
import { handleRequest } from "./protocol";
import { crc32, readZipDirectory } from "./zip";

// ---- generated text ----------------------------------------------------------------------

const LATIN = [
  "shahar", "Shahar", "SHAHAR", "sHahar", "choy", "CHOY", "cHoy", "o'g'il", "O‘zbek", "G‘alaba", "oʻzbek", "oʼzbek",
  "oʹzbek", "o`zbek", "o´zbek", "o’zbek", "gʻisht", "ma'no", "maʼno", "maʻno", "maʹno", "ta’lim", "bog'", "bo'",
  "bog''", "'bog'", "‘bog’", "bog's", "bogʼ", "boʽ", "oˈg", "sho′r", "o＇g", "it's", "don't", "we're", "they'll",
  "check", "chess", "chocolate", "Michael", "Manchester", "Zurich", "mushaf", "mushaflar", "Ishoq", "ashob",
  "ashobiykahfmmmmmm", "shahar2", "x_shahar", "Așa", "Ș", "ș\u0301", "s\u0301h", "sh\u0301", "o\u0301'", "e\u0301",
  "coca", "whish", "photo", "thin", "school", "Çoy", "şahar", "naïve", "café", "ﬁsh", "Ａsh", "𝐀sh", "kitob",
  "o'qituvchi", "qo'shiq", "chiroq", "sho'rva", "Farg'ona", "yig'ib", "ko'cha", "g'oya", "Sh", "CH", "s", "h", "o",
  "g", "'", "''", "2024", "150", "½", "٣", "_", "__init__", "Шаҳар", "шаhар", "shaҳar", "Ελλάδα", "مرحبا", "中文",
  "😀", "https://kun.uz/shahar", "http://x.uz/sh)", "ftp+ssh://host/ch", "www.shahar.uz", "WWW.choy.com.",
  "C:\\shahar\\choy", "~/shahar", "./choy", "../sh/ch", "/usr/share/chrome", "/sh/ch", "shahar.uz", "choy-bog'.com",
  "sh.co", "sh.coms", "sh.uz-", "info@shahar.uz", "a.b@c.d", "@shahar", "x@shahar", "#shahar", "#sh'ch", "a#sh",
  "```shahar```", "```choy", "``", "`sh`", "&mdash;", "&#39;", "&#x27;", "&shahar;", "AT&T;", "&amp;choy",
];
const CYRILLIC = [
  "шаҳар", "Шаҳар", "ШАҲАР", "Ўзбекистон", "ер", "поезд", "объект", "маъно", "пьеса", "исҳоқ", "ИСҲОҚ", "сентябрь",
  "Октябрда", "январь", "цирк", "лицей", "антициклон", "эпицентр", "геоцентрик", "экстрацеллюляр", "Ёлка", "ЁЛКА",
  "ПИЦЦА", "пицца", "Ҳаёт", "Юлдуз", "ЮЛДУЗ", "съезд", "Съезд", "ъ", "Ъе", "ўъ", "щука", "мы", "ЩИ", "ёжик", "Яхши",
  "ЯХШИ", "Ўғил", "ҒИШТ", "Қишлоқ", "сҳ", "СҲ", "ьи", "Ьо", "ь", "ЦЦ", "Ц", "ц", "еее", "ЕЁ", "Меҳмон", "маъъно", "Ӏ",
  "ӏ", "Ѐ", "ѐ", "Ґ", "Ҷ", "ҷ", "ма'но", "маʼно", "ўзбекʼ", "Αшаҳар", "İстанбул", "𝐀шаҳар", "и\u0306ил", "е\u0308лка",
  "китоб", "ўқувчи", "қўшиқ", "чироқ", "шўрва", "Фарғона", "йиғиб", "кўча", "ғоя", "2024", "йил", "ва", "билан",
];
// Cyrillic words without ў, қ, ғ, ҳ: a long run of them reads as "degraded" Cyrillic.
const DEGRADED = ["узбек", "шахар", "тил", "китоб", "мактаб", "укитувчи", "бола", "уй", "ёзув", "дарс"];
const GAPS = [
  " ", " ", " ", " ", "  ", "\n", "\n", "\r\n", "\t", "\u00a0", "\u2028", "\f", "\v", "\u0085", ".", ",", ";", ":",
  "!", "?", "(", ")", "[", "]", "{", "}", '"', "«", "»", "“", "”", "'", "’", "-", "—", "<", ">", "/", "\\", "|", "*",
  "#", "@", "&", "=", "`",
];

/** A small deterministic generator, so that the corpus is the same on every run. */
function generator(seed: number) {
  let state = seed >>> 0;
  const next = () => (state = (Math.imul(state, 1103515245) + 12345) >>> 0) / 2 ** 32;
  const pick = <T>(list: readonly T[]): T => list[Math.floor(next() * list.length)];
  return { next, pick };
}

/** A text of `tokens` words from the pools, each pool taken with its weight. */
function text(seed: number, tokens: number, weights: [latin: number, cyrillic: number, degraded: number]): string {
  const { next, pick } = generator(seed);
  const total = weights[0] + weights[1] + weights[2];
  let out = "";
  for (let k = 0; k < tokens; k++) {
    const r = next() * total;
    out += pick(r < weights[0] ? LATIN : r < weights[0] + weights[1] ? CYRILLIC : DEGRADED);
    out += next() < 0.8 ? " " : pick(GAPS);
  }
  return out;
}

const TEXTS: [string, string][] = [
  ["empty", ""],
  ["spaces", " \n\t\u00a0 "],
  ["one word", "shahar"],
  ["latin, short", text(1, 40, [1, 0, 0])],
  ["latin, long", text(2, 3000, [1, 0, 0])],
  ["cyrillic, short", text(3, 40, [0, 1, 0])],
  ["cyrillic, long", text(4, 3000, [0, 1, 0])],
  ["degraded cyrillic", text(5, 300, [0, 0, 1])],
  ["mixed", text(6, 3000, [1, 1, 0.2])],
  ["mostly latin", text(7, 800, [4, 1, 0])],
  ["mostly cyrillic", text(8, 800, [1, 4, 1])],
  ["one long word", "shchoʻg'".repeat(4000)],
  ["apostrophes", "a'".repeat(3000) + "o'".repeat(3000) + "g’".repeat(3000)],
  ["code fences", "```sh\nshahar\n```choy``` ``` choy".repeat(50)],
  ["addresses", "https://a.uz/sh:// ://sh www. www.x :/ a:// C:\\ ~/ ../ /a/b /a/b/c x.uz@ @@ a@b.uz. #sh #".repeat(40)],
  ["astral", "😀shahar 𝐀 choy 😀 шаҳар 𝐀sh".repeat(200)],
];

// ---- documents ---------------------------------------------------------------------------

const enc = (s: string) => new TextEncoder().encode(s);
const lines = (s: string) => s.split(/\r?\n/);

function markdown(seed: number, body: string): string {
  const { next, pick } = generator(seed);
  const out: string[] = [];
  for (const line of lines(body)) {
    const r = next();
    if (r < 0.05) out.push(pick(["```", "````", "~~~", "   ```js", "    ```", "``", "~~~~~"]));
    else if (r < 0.1) out.push(`[${line}](${pick(["shahar.md", "a ch", "x"])}) \`${line}\` <${pick(["b", "/i", "!x", "?p", "1"])} ${line}>`);
    else if (r < 0.13) out.push("](".repeat(20) + line + "`".repeat(3) + "<a".repeat(10));
    else out.push(line);
  }
  return out.join("\n");
}

function html(seed: number, body: string): string {
  const { pick } = generator(seed);
  const bits = [
    "<p>", "</p>", "<b class=\"shahar\">", "</b>", "<!-- shahar -->", "<!--", "-->", "<script>var sh = 1;</script>",
    "<SCRIPT>choy", "</script >", "<style>.ch{}</style>", "<pre>shahar</PRE>", "<code>choy</code>", "<codex>",
    "<pre a=1>", "</pre>", "&mdash;", "&nbsp;", "&#39;", "&#x27;", "&ch;", "< shahar", "<", ">", "<br/>", "<?x?>",
  ];
  return lines(body)
    .map((line) => `${pick(bits)}${line}${pick(bits)}`)
    .join("\n");
}

function subtitles(seed: number, body: string): string {
  const { next, pick } = generator(seed);
  const cues: string[] = [];
  lines(body).forEach((line, i) => {
    const styled = next() < 0.3 ? `<i>${line}</i> {\\an8}` : next() < 0.1 ? `{${line}` : line;
    cues.push(`${i + 1}${pick(["", " ", "\r"])}\n00:00:0${i % 10},000 --> 00:00:0${i % 10},500\n${styled}\n`);
  });
  return cues.join(pick(["\n", "\r\n"]));
}

const escapeXml = (s: string) => s.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");

/** Word XML whose paragraphs are cut into runs at random places, digraphs included. */
function wordXml(seed: number, body: string): string {
  const { next, pick } = generator(seed);
  const paragraphs = lines(body).map((line) => {
    const runs: string[] = [];
    const chars = Array.from(line);
    for (let at = 0; at < chars.length; ) {
      const end = Math.min(chars.length, at + 1 + Math.floor(next() * 12));
      const t = escapeXml(chars.slice(at, end).join("")).replace(/'/g, () => pick(["'", "&apos;", "&#39;", "&#x27;"]));
      runs.push(next() < 0.05 ? "<w:r><w:t/></w:r>" : `<w:r><w:t${next() < 0.5 ? ' xml:space="preserve"' : ""}>${t}</w:t></w:r>`);
      at = end;
    }
    return `<w:p${pick(["", ' w:rsidR="1"'])}>${runs.join("")}</w:p>${next() < 0.1 ? "<w:tbl/><w:pPr/>" : ""}`;
  });
  return `<?xml version="1.0"?><w:document xmlns:w="urn:w"><w:body>${paragraphs.join("")}</w:body></w:document>`;
}

function through(data: Uint8Array, transform: CompressionStream | DecompressionStream): Promise<Uint8Array> {
  const source = new ReadableStream<BufferSource>({
    start(c) {
      c.enqueue(data as Uint8Array<ArrayBuffer>);
      c.close();
    },
  });
  return new Response(source.pipeThrough(transform)).arrayBuffer().then((b) => new Uint8Array(b));
}
const deflate = (data: Uint8Array) => through(data, new CompressionStream("deflate-raw"));
const inflate = (data: Uint8Array) => through(data, new DecompressionStream("deflate-raw"));

/** A ZIP archive of the given parts, the first one stored, the others deflated. */
async function zip(parts: [string, string][]): Promise<Uint8Array> {
  const chunks: Uint8Array[] = [];
  const central: Uint8Array[] = [];
  let offset = 0;
  for (const [i, [name, content]] of parts.entries()) {
    const data = enc(content);
    const method = i === 0 ? 0 : 8;
    const packed = method === 0 ? data : await deflate(data);
    const nameBytes = enc(name);
    const header = (size: number, signature: number) => {
      const h = new Uint8Array(size);
      const v = new DataView(h.buffer);
      v.setUint32(0, signature, true);
      const at = size === 30 ? 4 : 6;
      v.setUint16(at, 20, true);
      v.setUint16(at + 4, method, true);
      v.setUint32(at + 10, crc32(data), true);
      v.setUint32(at + 14, packed.length, true);
      v.setUint32(at + 18, data.length, true);
      v.setUint16(at + 22, nameBytes.length, true);
      if (size === 46) v.setUint32(42, offset, true);
      return h;
    };
    chunks.push(header(30, 0x04034b50), nameBytes, packed);
    central.push(header(46, 0x02014b50), nameBytes);
    offset += 30 + nameBytes.length + packed.length;
  }
  const dirSize = central.reduce((sum, c) => sum + c.length, 0);
  const end = new Uint8Array(22);
  const v = new DataView(end.buffer);
  v.setUint32(0, 0x06054b50, true);
  v.setUint16(8, parts.length, true);
  v.setUint16(10, parts.length, true);
  v.setUint32(12, dirSize, true);
  v.setUint32(16, offset, true);
  const all = [...chunks, ...central, end];
  const out = new Uint8Array(all.reduce((sum, c) => sum + c.length, 0));
  let at = 0;
  for (const c of all) {
    out.set(c, at);
    at += c.length;
  }
  return out;
}

// The bytes of windows-1251, for the texts it can hold.
const CP1251 = new Map([...new TextDecoder("windows-1251").decode(Uint8Array.from({ length: 256 }, (_, i) => i))].map((ch, i) => [ch, i]));
const cp1251 = (s: string) => Uint8Array.from([...s].filter((ch) => CP1251.has(ch)), (ch) => CP1251.get(ch)!);
const utf16 = (s: string, littleEndian: boolean) => {
  const out = new Uint8Array(2 + s.length * 2);
  const v = new DataView(out.buffer);
  v.setUint16(0, 0xfeff, littleEndian);
  for (let i = 0; i < s.length; i++) v.setUint16(2 + 2 * i, s.charCodeAt(i), littleEndian);
  return out;
};

async function documents(): Promise<[string, string, Uint8Array][]> {
  const docs: [string, string, Uint8Array][] = [];
  const bodies = TEXTS.filter(([name]) => !["empty", "one long word"].includes(name));
  for (const [i, [name, body]] of bodies.entries()) {
    docs.push([`${name}.txt`, "t.txt", enc(body)]);
    docs.push([`${name}.md`, "t.md", enc(markdown(i, body))]);
    docs.push([`${name}.html`, "t.html", enc(html(i, body))]);
    docs.push([`${name}.htm`, "t.HTM", enc(html(i + 100, body))]);
    docs.push([`${name}.srt`, "t.srt", enc(subtitles(i, body))]);
    const parts: [string, string][] = [
      ["[Content_Types].xml", "<Types/>"],
      ["word/document.xml", wordXml(i, body)],
      ["word/header1.xml", wordXml(i + 1, body.slice(0, 300))],
      ["word/footnotes.xml", wordXml(i + 2, body.slice(-300))],
      ["word/styles.xml", "<w:styles>shahar choy</w:styles>"],
    ];
    docs.push([`${name}.docx`, "t.docx", await zip(parts)]);
  }
  // Texts longer than one piece of the worker, with and without line feeds.
  const long = text(20, 40_000, [1, 1, 0.2]);
  docs.push(["long.txt", "long.txt", enc(long)]);
  docs.push(["long line.txt", "line.txt", enc(long.replace(/[\n\r\u2028]/g, " "))]);
  docs.push(["long.html", "long.html", enc(`<p>${long}</p>`)]);
  docs.push(["long.docx", "long.docx", await zip([["x", ""], ["word/document.xml", wordXml(21, long)]])]);
  // Encodings.
  const cyr = text(22, 400, [0, 1, 1]);
  docs.push(["utf-8 bom.txt", "b.txt", new Uint8Array([0xef, 0xbb, 0xbf, ...enc(cyr)])]);
  docs.push(["utf-16le.md", "le.md", utf16(cyr, true)]);
  docs.push(["utf-16be.srt", "be.srt", utf16(subtitles(23, cyr), false)]);
  docs.push(["windows-1251.txt", "w.txt", cp1251(cyr)]);
  // Refusals.
  docs.push(["broken.docx", "b.docx", enc("PK but not a zip")]);
  docs.push(["no document.docx", "n.docx", await zip([["word/styles.xml", "<x/>"]])]);
  docs.push(["empty.txt", "e.txt", new Uint8Array()]);
  docs.push(["no extension", "README", enc("shahar")]);
  return docs;
}

// ---- digests -----------------------------------------------------------------------------

async function digest(value: unknown): Promise<string> {
  const bytes = typeof value === "string" ? enc(value) : value instanceof Uint8Array ? value : enc(JSON.stringify(value));
  const hash = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes as Uint8Array<ArrayBuffer>));
  return Array.from(hash.subarray(0, 10), (b) => b.toString(16).padStart(2, "0")).join("");
}

/** A Word file's digest: its parts' names, fields and inflated contents (deflated bytes may differ by zlib). */
async function wordDigest(bytes: Uint8Array): Promise<string> {
  const parts = [];
  for (const e of readZipDirectory(bytes)) {
    const content = e.method === 8 ? await inflate(e.raw) : e.raw;
    parts.push([e.name, e.method, e.flags, e.time, e.date, e.crc, e.usize, await digest(content)]);
  }
  return digest(parts);
}

const table = (entries: [string, string][]) => Object.fromEntries(entries);

describe("converter corpus", () => {
  it("converts every text as it did", async () => {
    const rows: [string, string][] = [];
    for (const [name, t] of TEXTS) {
      rows.push([`${name}: old Latin`, await digest(convertOldLatin(t))]);
      rows.push([`${name}: Cyrillic`, await digest(convertCyrillic(t))]);
      rows.push([`${name}: auto`, await digest([detectScript(t), convertText(t, "auto")])]);
    }
    await expect(JSON.stringify(table(rows), null, 1) + "\n").toMatchFileSnapshot("__snapshots__/corpus-texts.json");
  });

  it("converts every document as it did", async () => {
    const rows: [string, string][] = [];
    for (const [name, file, bytes] of await documents()) {
      for (const script of ["auto", "latin", "cyrillic"] as const) {
        const buffer = bytes.slice().buffer as ArrayBuffer;
        const reply = await handleRequest({ id: 1, name: file, buffer, script });
        let out = "";
        if (reply.ok) {
          const data = new Uint8Array(reply.buffer);
          out = file.endsWith(".docx") ? await wordDigest(data) : await digest(data);
          reply.buffer = new ArrayBuffer(0);
        }
        rows.push([`${name}, ${script}`, await digest([reply, out])]);
      }
    }
    await expect(JSON.stringify(table(rows), null, 1) + "\n").toMatchFileSnapshot("__snapshots__/corpus-documents.json");
  }, 120_000);
});
