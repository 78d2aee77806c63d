import { describe, expect, it, vi } from "vitest";
import {
  convertHtml,
  ConversionTally,
  type Counting,
  decodeText,
  htmlText,
  markdownSpans,
  outputName,
  rewriteWordXml,
} from "./document";
import type { Utf8Sink } from "./output";
import type { Counted } from "./types";
import { countText } from "./cyrillic";
import { handleRequest, type DocFailure, type DocReply, type DocSuccess } from "./protocol";
import { crc32, readEntryData, readZipDirectory } from "./zip";

const enc = (text: string) => new TextEncoder().encode(text);
const dec = (bytes: ArrayBuffer | Uint8Array) => new TextDecoder().decode(bytes);

// Fixtures deflate the same large parts more than once: each is compressed once.
const deflated = new WeakMap<Uint8Array, Promise<Uint8Array>>();
function deflateOnce(data: Uint8Array): Promise<Uint8Array> {
  let packed = deflated.get(data);
  if (packed === undefined) deflated.set(data, (packed = deflate(data)));
  return packed;
}

async function deflate(data: Uint8Array): Promise<Uint8Array> {
  const stream = new ReadableStream<BufferSource>({
    start(c) {
      c.enqueue(data as Uint8Array<ArrayBuffer>);
      c.close();
    },
  }).pipeThrough(new CompressionStream("deflate-raw"));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

interface FixtureEntry {
  name: string;
  data: Uint8Array | string;
  method?: 0 | 8;
  flags?: number;
  /** Overrides of the central header's declared uncompressed size. */
  usize?: number;
}

/** Builds a ZIP archive by hand: local headers with an extra field, a commented directory. */
async function zip(entries: FixtureEntry[], { count }: { count?: number } = {}): Promise<Uint8Array> {
  const locals: Uint8Array[] = [];
  const centrals: Uint8Array[] = [];
  let offset = 0;
  for (const e of entries) {
    const data = typeof e.data === "string" ? enc(e.data) : e.data;
    const method = e.method ?? 8;
    const body = method === 8 ? await deflateOnce(data) : data;
    const name = enc(e.name);
    const extra = new Uint8Array([0xfe, 0xca, 0, 0]);
    const crc = crc32(data);
    const local = new Uint8Array(30 + name.length + extra.length + body.length);
    const lv = new DataView(local.buffer);
    lv.setUint32(0, 0x04034b50, true);
    lv.setUint16(4, 20, true);
    lv.setUint16(6, e.flags ?? 0, true);
    lv.setUint16(8, method, true);
    lv.setUint32(14, crc, true);
    lv.setUint32(18, body.length, true);
    lv.setUint32(22, data.length, true);
    lv.setUint16(26, name.length, true);
    lv.setUint16(28, extra.length, true);
    local.set(name, 30);
    local.set(extra, 30 + name.length);
    local.set(body, 30 + name.length + extra.length);
    const comment = enc("c");
    const central = new Uint8Array(46 + name.length + comment.length);
    const cv = new DataView(central.buffer);
    cv.setUint32(0, 0x02014b50, true);
    cv.setUint16(8, e.flags ?? 0, true);
    cv.setUint16(10, method, true);
    cv.setUint16(12, 0x6000, true);
    cv.setUint16(14, 0x5a21, true);
    cv.setUint32(16, crc, true);
    cv.setUint32(20, body.length, true);
    cv.setUint32(24, e.usize ?? data.length, true);
    cv.setUint16(28, name.length, true);
    cv.setUint16(32, comment.length, true);
    cv.setUint32(42, offset, true);
    central.set(name, 46);
    central.set(comment, 46 + name.length);
    locals.push(local);
    centrals.push(central);
    offset += local.length;
  }
  const dirSize = centrals.reduce((s, c) => s + c.length, 0);
  const end = new Uint8Array(22);
  const ev = new DataView(end.buffer);
  ev.setUint32(0, 0x06054b50, true);
  ev.setUint16(8, count ?? entries.length, true);
  ev.setUint16(10, count ?? entries.length, true);
  ev.setUint32(12, dirSize, true);
  ev.setUint32(16, offset, true);
  const out = new Uint8Array(offset + dirSize + 22);
  let at = 0;
  for (const part of [...locals, ...centrals, end]) {
    out.set(part, at);
    at += part.length;
  }
  return out;
}

const W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"';
const body = (paragraphs: string) => `<?xml version="1.0"?><w:document ${W}><w:body>${paragraphs}</w:body></w:document>`;
const para = (...runs: string[]) => `<w:p><w:pPr/>${runs.map((r) => `<w:r><w:t xml:space="preserve">${r}</w:t></w:r>`).join("")}</w:p>`;

/** The worker's own counting conversion. */
const counting = (text: string, sink: Utf8Sink | null) => countText(text, "auto", undefined, sink);

/** The conversion of a Word paragraph, with its change spans. */
const spanning = (text: string) => countText(text, "auto", undefined, null, true);

/** A web page converted by `convertHtml`, as text. */
function html(text: string, count: Counting = counting): string {
  const tally = new ConversionTally(count);
  convertHtml(text, tally);
  return dec(tally.bytes());
}

async function request(name: string, bytes: Uint8Array, script: "auto" | "latin" | "cyrillic" = "auto"): Promise<DocReply> {
  const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength) as ArrayBuffer;
  return handleRequest({ id: 7, name, buffer, script });
}
async function ok(name: string, bytes: Uint8Array | string, script?: "auto" | "latin" | "cyrillic"): Promise<DocSuccess> {
  const reply = await request(name, typeof bytes === "string" ? enc(bytes) : bytes, script);
  if (!reply.ok) throw new Error(`refused: ${reply.error}`);
  return reply;
}
async function refused(name: string, bytes: Uint8Array | string): Promise<string> {
  const reply = await request(name, typeof bytes === "string" ? enc(bytes) : bytes);
  expect(reply.ok).toBe(false);
  return (reply as DocFailure).error;
}

describe("names and refusals", () => {
  it.each([
    ["Maqola.md", "Maqola.uz.md"],
    [".txt", ".txt.uz"],
    ["C:\\Hujjatlar\\Reja.2025.docx", "Reja.2025.uz.docx"],
    ["papka/", "hujjat.uz"],
    ["eslatma", "eslatma.uz"],
  ])("%s is saved as %s", (name, out) => {
    expect(outputName(name)).toBe(out);
  });

  it.each([
    ["kitob.PDF", "x", "PDF qo‘llab-quvvatlanmaydi. Matnni nusxalab, .txt fayl qilib yuklang."],
    ["eski.doc", "x", "Eski .doc formati qo‘llanmaydi. Faylni Word‘da .docx qilib saqlab, qayta yuklang."],
    ["rasm.png", "x", "“.png” formati qo‘llanmaydi. Mumkin: .txt, .md, .html, .htm, .srt, .docx."],
    ["README", "shahar", "“.?” formati qo‘llanmaydi. Mumkin: .txt, .md, .html, .htm, .srt, .docx."],
    ["bo'sh.txt", "", "Fayl bo‘sh."],
  ])("%s is refused", async (name, text, message) => {
    expect(await refused(name, text)).toBe(message);
  });

  it("refuses a file over 20 MiB with its size", async () => {
    const reply = await handleRequest({ id: 3, name: "katta.txt", buffer: new ArrayBuffer(21 * 1048576), script: "auto" });
    expect(reply).toEqual({ id: 3, ok: false, error: "Fayl juda katta (21.0 MB). Chegara: 20 MB." });
  });

  it("reports any other failure with the generic message", async () => {
    // a UTF-16 file cut in the middle of a character
    expect(await refused("yarim.txt", new Uint8Array([0xff, 0xfe, 0x41, 0x00, 0x42]))).toBe(
      "Faylni o‘girib bo‘lmadi. Fayl buzilgan bo‘lishi mumkin.",
    );
  });
});

describe("text files", () => {
  it("answers with the converted bytes, counts and preview", async () => {
    const reply = await ok("xat.txt", "shahar choy\nmushaf\n");
    expect(reply).toMatchObject({
      id: 7,
      ok: true,
      name: "xat.uz.txt",
      mime: "text/plain;charset=utf-8",
      changed: 3,
      warnings: 1,
      usedCyrillic: false,
      source: "shahar choy\nmushaf\n",
      truncated: false,
      chars: 19,
    });
    expect(dec(reply.buffer)).toBe("şahar çoy\nmusʼhaf\n");
    expect(reply.buffer.byteLength).toBe(enc("şahar çoy\nmusʼhaf\n").length);
  });

  it.each<[string, Uint8Array]>([
    ["UTF-8 with a byte-order mark", new Uint8Array([0xef, 0xbb, 0xbf, ...enc("shahar")])],
    ["UTF-16LE", new Uint8Array([0xff, 0xfe, ...[..."shahar"].flatMap((c) => [c.charCodeAt(0), 0])])],
    ["UTF-16BE", new Uint8Array([0xfe, 0xff, ...[..."shahar"].flatMap((c) => [0, c.charCodeAt(0)])])],
  ])("reads %s and writes UTF-8 without a byte-order mark", async (_, bytes) => {
    const reply = await ok("a.txt", bytes);
    expect([...new Uint8Array(reply.buffer)]).toEqual([...enc("şahar")]);
  });

  it("reads bytes that are not UTF-8 as windows-1251", async () => {
    const cp1251 = new Uint8Array([0xf8, 0xe0, 0xfa, 0xe0, 0xf0]); // шаъар
    expect(decodeText(cp1251)).toBe("шаъар");
    const reply = await ok("kirill.txt", cp1251);
    expect(dec(reply.buffer)).toBe("şaʼar");
    expect(reply.usedCyrillic).toBe(true);
  });

  it("follows the script choice", async () => {
    const reply = await ok("k.txt", "шаҳар", "latin");
    expect(dec(reply.buffer)).toBe("шаҳар");
    expect(reply).toMatchObject({ usedCyrillic: false, warnings: 1 });
  });

  it("cuts the preview of a long text and converts it in pieces after line feeds", async () => {
    const line = "shahar ".repeat(14) + "\n"; // 99 code units
    const text = line.repeat(1010) + "x".repeat(101_001 - line.length * 1010);
    expect(text.length).toBe(101_001);
    const reply = await ok("uzun.txt", text);
    expect(reply).toMatchObject({ truncated: true, chars: 101_001, changed: 14 * 1010 });
    expect(reply.source.length).toBe(100_000);
    expect(dec(reply.buffer)).toBe(text.replaceAll("sh", "ş"));

    const calls: string[] = [];
    const tally = new ConversionTally((t, sink) => (calls.push(t), countText(t, "auto", undefined, sink)));
    tally.writeChunked("abc\nd\nefgh\ni", 0, 13, 2);
    expect(calls).toEqual(["abc\n", "d\nefgh\n", "i"]);
    expect(dec(tally.bytes())).toBe("abc\nd\nefgh\ni");
    expect(new ConversionTally(counting).run("  \n")).toBe("  \n");
  });
});

describe("markdown, subtitles and web pages", () => {
  it("keeps fenced blocks, inline code, addresses, link targets and tags", async () => {
    const md = [
      "# Shahar",
      "````",
      "shahar",
      "```",
      "choy",
      "````",
      "Bu `shahar` emas, [shahar](shahar.md) va http://x.uz/sh <span class=\"ch\">choy</span>",
      "  ~~~",
      "shu",
      "~~~",
      "Oxiri: shu",
    ].join("\n");
    const reply = await ok("m.md", md);
    expect(dec(reply.buffer)).toBe(
      [
        "# Şahar",
        "````",
        "shahar",
        "```",
        "choy",
        "````",
        "Bu `shahar` emas, [şahar](shahar.md) va http://x.uz/sh <span class=\"ch\">çoy</span>",
        "  ~~~",
        "shu",
        "~~~",
        "Oxiri: şu",
      ].join("\n"),
    );
    expect(reply.mime).toBe("text/markdown;charset=utf-8");
  });

  it("keeps cue numbers, timings, tags and brace groups of subtitles byte for byte", async () => {
    const srt = "1\r\n00:00:01,000 --> 00:00:02,500\r\n<i>Shahar</i> {\\an8}choy\r\n\r\n 12 \r\n";
    const reply = await ok("film.srt", srt);
    expect(dec(reply.buffer)).toBe("1\r\n00:00:01,000 --> 00:00:02,500\r\n<i>Şahar</i> {\\an8}çoy\r\n\r\n 12 \r\n");
    expect(reply.mime).toBe("application/x-subrip;charset=utf-8");
  });

  it("converts only the text of a web page", async () => {
    const html =
      '<!doctype html><html><head><title>Shahar</title><style>.sh{}</style></head>' +
      '<body class="shahar"><!-- shahar --><p title="shahar">Shahar &amp; choy</p>' +
      "<PRE>shahar</pre><code>choy</code><script>var shahar = 1;</SCRIPT><p>shu</p></body></html>";
    const reply = await ok("sahifa.html", html);
    expect(dec(reply.buffer)).toBe(
      html.replace("<title>Shahar", "<title>Şahar").replace(">Shahar &amp; choy", ">Şahar &amp; çoy").replace("<p>shu", "<p>şu"),
    );
    expect(reply.source).toBe("ShaharShahar &amp; choyshaharchoyshu");
    expect(reply.mime).toBe("text/html;charset=utf-8");
  });

  it.each(["p.html", "p.htm", "p.md"])("keeps every character reference of %s as written", async (name) => {
    const text =
      "Shahar &mdash; choy&ndash;sho&#39;rva, o&#x27;g&apos;il &Hacek;&chi;&check;&frac12; " +
      "&#x5C1;&#8212;sh &NotANamedOne; &shahar ch& &#; &#xg; &#x;";
    const reply = await ok(name, `<p>${text}</p>`);
    expect(dec(reply.buffer)).toBe(
      "<p>Şahar &mdash; çoy&ndash;şo&#39;rva, o&#x27;g&apos;il &Hacek;&chi;&check;&frac12; " +
        "&#x5C1;&#8212;ş &NotANamedOne; &şahar ç& &#; &#xg; &#x;</p>",
    );
    expect(reply.changed).toBe(6);
    // a plain text file has no references: its text converts as written
    expect(dec((await ok("p.txt", "&mdash;")).buffer)).toBe("&mdaş;");
  });

  it("keeps an unclosed script to the end of the page", async () => {
    const reply = await ok("b.htm", "<p>shu</p><script>const shahar = 'choy';");
    expect(dec(reply.buffer)).toBe("<p>şu</p><script>const shahar = 'choy';");
  });
});

describe("markdown spans", () => {
  // The rules as one regular expression: right, but quadratic on a line full of "](".
  const KEEP = /`[^`\n]*`|https?:\/\/[^\s)>\]]*|\]\([^)\n]*\)|<[A-Za-z/!?][^<>\n]*>/gi;

  it("keeps the same spans as the plain rules on many small lines", () => {
    const bits = ["`", "](", "]", "(", ")", "<", ">", "a", "/", "!", " ", "\u00a0", "\u2003", "http://", "HTTPS://", "htt", "hTtp:/", "x", "]", "<b", "</i>", "<1"];
    let seed = 777;
    const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
    for (let n = 0; n < 3000; n++) {
      let line = "";
      for (let k = Math.floor(next() * 12); k > 0; k--) line += bits[Math.floor(next() * bits.length)];
      const expected = [...line.matchAll(KEEP)].map((m) => [m.index, m.index + m[0].length]);
      expect(markdownSpans(line), line).toEqual(expected);
    }
  });

  // Quickest of three runs, in milliseconds.
  async function quickest(name: string, text: string): Promise<number> {
    const bytes = enc(text);
    let best = Infinity;
    for (let k = 0; k < 3; k++) {
      const started = performance.now();
      await ok(name, bytes);
      best = Math.min(best, performance.now() - started);
    }
    return best;
  }

  it.each([
    ["links never closed", "m.md", "a](b "],
    ["link texts never closed", "m.md", "[a]("],
    ["tags never closed", "m.md", "<b a "],
    ["code spans never closed", "m.md", "`a "],
    ["tags never closed", "s.srt", "<i a "],
    ["brace groups never closed", "s.srt", "{a "],
  ])("converts a line of %s (%s) in time proportional to its length", async (_, name, unit) => {
    const size = 200_000;
    const hostile = unit.repeat(size / unit.length);
    const plain = "shahar choy o'g'il ".repeat(size / 19);
    const expected = await quickest(name, plain);
    expect(await quickest(name, hostile)).toBeLessThan(20 * expected + 200);
  }, 60_000);
});

describe("web page spans", () => {
  // The rules as single regular expressions: right, but slow on text full of unclosed "<".
  const KEEP = /<!--[\s\S]*?(?:-->|$)|<(script|style|pre|code)\b[^>]*>[\s\S]*?(?:<\/\1\s*>|$)|<[A-Za-z/!?][^>]*>/gi;
  const HIDDEN = /<!--[\s\S]*?(?:-->|$)|<(script|style)\b[^>]*>[\s\S]*?(?:<\/\1\s*>|$)|<[A-Za-z/!?][^>]*>/gi;
  // Marks every converted piece, so that where the pieces were cut shows in the output.
  const mark = (text: string): Counted => ({ output: `[${text}]`, changes: 0, warnings: 0, input: text, failure: null, script: "latin" });
  const reference = (text: string) =>
    text.replace(KEEP, "\u0000$&\u0000").split("\u0000").map((p, i) => (i % 2 === 1 ? p : p.trim() === "" ? p : `[${p}]`)).join("");

  it("keeps the same spans as the plain rules on many small pages", () => {
    const bits = ["<", ">", "!", "-", "--", "/", " ", "\n", "a", "b", "x<y", "pre", "PRE", "script", "Style", "codex", "<!--", "-->", "</pre>", "</PRE >", "</script>", "<p>", "?", "<pre>", "<SCRIPT>", "<code a>", "<style>", "</style\t>"];
    let seed = 12345;
    const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
    for (let n = 0; n < 3000; n++) {
      let text = "";
      for (let k = Math.floor(next() * 14); k > 0; k--) text += bits[Math.floor(next() * bits.length)];
      expect(htmlText(text), text).toBe(text.replace(HIDDEN, ""));
      expect(html(text, mark), text).toBe(reference(text));
    }
  });

  it("reads a page full of unclosed tags in linear time", () => {
    const text = "<p>shu</p>" + "a <b ".repeat(400_000);
    const started = performance.now();
    expect(htmlText(text)).toBe("shu" + "a <b ".repeat(400_000));
    expect(html("<p>shu</p>" + "<code ".repeat(400_000))).toBe("<p>şu</p>" + "<code ".repeat(400_000));
    expect(performance.now() - started).toBeLessThan(5000);
  });
});

describe("Word documents", () => {
  const styles = '<?xml version="1.0"?><w:styles><w:style>shahar</w:style></w:styles>';
  const image = new Uint8Array([0x89, 0x50, 0x4e, 0x47, 1, 2, 3, 4, 5]);

  async function docx(documentXml: string, extra: FixtureEntry[] = []) {
    return zip([
      { name: "[Content_Types].xml", data: "<Types/>" },
      { name: "word/document.xml", data: documentXml, flags: 0x0808 },
      ...extra,
      { name: "word/styles.xml", data: styles },
      { name: "word/media/image1.png", data: image, method: 0 },
    ]);
  }

  it("converts the runs of every paragraph, across run boundaries", async () => {
    const xml = body(para("S", "hahar va ", "c") + para("h", "oy &amp; o&#x27;g&apos;il &lt;b&gt;") + '<w:p/><w:tbl/>');
    const reply = await ok("reja.docx", await docx(xml));
    expect(reply).toMatchObject({
      name: "reja.uz.docx",
      mime: "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
      changed: 3,
      source: "Shahar va c\nhoy & o'g'il <b>\n",
      truncated: false,
      chars: 29,
    });
    const out = new Uint8Array(reply.buffer);
    const entries = readZipDirectory(out);
    const main = entries.find((e) => e.name === "word/document.xml")!;
    const inflated = dec(await readEntryData(main, { bytes: 0 }));
    // the paragraph end splits "c" from "h"; within a paragraph the digraph lands in its first run
    expect(inflated).toBe(
      body(para("Ş", "ahar va ", "c") + para("h", "oy &amp; öğil &lt;b&gt;") + '<w:p/><w:tbl/>'),
    );
    expect(main.crc).toBe(crc32(enc(inflated)));
    expect(main.flags).toBe(0x0800); // no data descriptor
    expect(main.method).toBe(8);
  });

  it("converts headers, footers and footnotes and copies every other part as stored", async () => {
    const source = await docx(body(para("choy")), [
      { name: "word/header1.xml", data: `<w:hdr ${W}>${para("Shahar")}</w:hdr>` },
      { name: "word/footnotes.xml", data: `<w:footnotes ${W}>${para("mushaf")}</w:footnotes>` },
      { name: "word/headerA.xml", data: `<w:hdr ${W}>${para("shu")}</w:hdr>` },
    ]);
    const reply = await ok("h.docx", source);
    expect(reply).toMatchObject({ changed: 3, warnings: 1 });
    const before = readZipDirectory(source);
    const after = readZipDirectory(new Uint8Array(reply.buffer));
    expect(after.map((e) => e.name)).toEqual(before.map((e) => e.name));
    for (const name of ["[Content_Types].xml", "word/headerA.xml", "word/styles.xml", "word/media/image1.png"]) {
      const a = before.find((e) => e.name === name)!;
      const b = after.find((e) => e.name === name)!;
      expect([b.method, b.crc, b.csize, b.usize]).toEqual([a.method, a.crc, a.csize, a.usize]);
      expect([...b.raw]).toEqual([...a.raw]);
    }
  });

  it("distributes a paragraph's changes over its runs", () => {
    const tally = new ConversionTally(counting);
    const rewrite = (...runs: string[]) => rewriteWordXml(body(para(...runs)), tally, spanning);
    expect(rewrite("", "s", "", "h", "o'", "g", "'il &lt;")).toBe(body(para("", "ş", "", "", "ö", "ğ", "il &lt;")));
    expect(tally.changed).toBe(3);
    expect(rewrite(" ", "\t")).toBe(body(para(" ", "\t")));
    // text that normalisation would change is converted run by run
    expect(rewrite("s", "h", "e\u0301")).toBe(body(para("s", "h", "é")));
  });

  it("leaves self-closing text tags and look-alike tags alone", () => {
    const xml = '<w:p><w:t/><w:tab/><w:tbl>shahar</w:tbl><w:t xml:space="preserve">choy</w:t></w:p><w:pPr><w:t>shu</w:t>';
    const out = rewriteWordXml(xml, new ConversionTally(counting), spanning);
    expect(out).toBe('<w:p><w:t/><w:tab/><w:tbl>shahar</w:tbl><w:t xml:space="preserve">çoy</w:t></w:p><w:pPr><w:t>şu</w:t>');
  });

  it("reads a part full of unclosed text tags in linear time", async () => {
    const junk = "<w:t ".repeat(200_000);
    const xml = body(para("shahar") + junk + para("choy"));
    const started = performance.now();
    expect(rewriteWordXml(xml, new ConversionTally(counting), spanning)).toBe(body(para("şahar") + junk + para("çoy")));
    const reply = await ok("j.docx", await docx(xml));
    expect(reply.source).toBe("shahar\nchoy\n");
    expect(performance.now() - started).toBeLessThan(5000);
  }, 20_000);

  it("reports the preview of a short document whole", async () => {
    const reply = await ok("q.docx", await docx(body(para("Bir") + para("Ikki"))));
    expect(reply).toMatchObject({ source: "Bir\nIkki\n", truncated: false, chars: 9 });
  });

  it("counts the whole text of a document beyond its preview", async () => {
    // 1,200 paragraphs of two runs (one with references), empty ones, and a last one
    const paragraphs = para("s".repeat(60), "h &amp; x".repeat(5)).repeat(1200) + "<w:p></w:p>".repeat(3) + para("oxir");
    const reply = await ok("l.docx", await docx(body(paragraphs)));
    const line = "s".repeat(60) + "h & x".repeat(5);
    // a line feed after every paragraph's end
    expect(reply).toMatchObject({ truncated: true, chars: line.length * 1200 + "oxir".length + 1204 });
    expect(reply.source).toBe((line + "\n").repeat(1200).slice(0, 100_000));
  });

  it("flags a Cyrillic document", async () => {
    const reply = await ok("k.docx", await docx(body(para("Шаҳар"))));
    expect(reply.usedCyrillic).toBe(true);
  });
});

describe("archive limits", () => {
  const doc = { name: "word/document.xml", data: body(para("shahar")) };

  it.each<[string, () => Promise<Uint8Array>, string]>([
    ["not an archive", async () => enc("shahar"), "Fayl buzilgan yoki haqiqiy .docx emas."],
    ["an archive with junk in front", async () => new Uint8Array([0x41, 0x42, ...(await zip([doc]))]), "Fayl buzilgan yoki haqiqiy .docx emas."],
    ["no document part", async () => zip([{ name: "word/styles.xml", data: "<x/>" }]), "Bu Word (.docx) hujjati emas: word/document.xml topilmadi."],
    ["an encrypted entry", async () => zip([doc, { name: "x", data: "x", flags: 1 }]), "Parol bilan himoyalangan hujjat qo‘llanmaydi."],
    ["4,001 entries", async () => zip([doc], { count: 4001 }), "Faylda ichki qismlar juda ko‘p; xavfsizlik uchun rad etildi."],
    ["a ZIP64 marker", async () => zip([doc], { count: 0xffff }), "ZIP64 (juda katta) fayllar qo‘llanmaydi."],
    ["a declared 50 MiB part", async () => zip([{ ...doc, usize: 50 * 1048576 }]), "Hujjat ichidagi qism haddan tashqari katta; rad etildi."],
    ["a broken deflate stream", async () => {
      const bytes = await zip([doc]);
      bytes.fill(0xff, 30 + 17 + 4, 30 + 17 + 4 + 6);
      return bytes;
    }, "Fayl buzilgan yoki haqiqiy .docx emas."],
    ["a part that inflates beyond 40 MiB", async () => zip([{ ...doc, data: new Uint8Array(41 * 1048576).fill(32), usize: 1000 }]), "Hujjat ichidagi qism haddan tashqari katta (ZIP-bomba ehtimoli); rad etildi."],
    ["parts that inflate beyond 120 MiB together", async () => {
      const big = new Uint8Array(35 * 1048576).fill(32);
      return zip(["document", "header1", "header2", "footer1"].map((p) => ({ name: `word/${p}.xml`, data: big })));
    }, "Hujjat ochilganda haddan tashqari katta bo‘ladi (ZIP-bomba ehtimoli); rad etildi."],
  ])("refuses %s", async (_, build, message) => {
    expect(await refused("x.docx", await build())).toBe(message);
  }, 60_000);

  // A browser inflates each piece it is given whole, so a bomb handed over in one piece
  // would fill the memory before the output limit could stop it.
  it("hands a bomb to the inflater in small pieces and refuses it", async () => {
    const packed = await deflate(new Uint8Array(120 * 1048576));
    const [entry] = readZipDirectory(await zip([{ name: "word/document.xml", data: "x", usize: 10 }]));
    const Real = globalThis.DecompressionStream;
    const pieces: number[] = [];
    // The real inflater behind a counter of the compressed bytes it is given.
    vi.stubGlobal(
      "DecompressionStream",
      class {
        readonly writable: WritableStream<BufferSource>;
        readonly readable: ReadableStream<Uint8Array>;
        constructor(format: CompressionFormat) {
          const counter = new TransformStream<BufferSource, BufferSource>({
            transform(chunk, controller) {
              pieces.push(chunk.byteLength);
              controller.enqueue(chunk);
            },
          });
          this.writable = counter.writable;
          this.readable = counter.readable.pipeThrough(new Real(format));
        }
      },
    );
    try {
      await expect(readEntryData({ ...entry, raw: packed }, { bytes: 0 })).rejects.toThrow(
        "Hujjat ichidagi qism haddan tashqari katta (ZIP-bomba ehtimoli); rad etildi.",
      );
    } finally {
      vi.unstubAllGlobals();
    }
    expect(pieces.length).toBeGreaterThan(4);
    expect(Math.max(...pieces)).toBeLessThanOrEqual(64 * 1024);
  }, 20_000);

  it("computes the ZIP CRC-32", () => {
    expect(crc32(enc("123456789"))).toBe(0xcbf43926);
    expect(crc32(new Uint8Array())).toBe(0);
    // Every length around the eight-byte steps, from an odd offset, against the bit-by-bit definition.
    const bitwise = (bytes: Uint8Array) => {
      let c = 0xffffffff;
      for (const b of bytes) {
        c ^= b;
        for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      }
      return (c ^ 0xffffffff) >>> 0;
    };
    const noise = Uint8Array.from({ length: 80 }, (_, i) => (i * 167 + 13) ^ (i >> 2) * 251);
    for (let len = 0; len <= 40; len++) expect(crc32(noise.subarray(3, 3 + len)), `length ${len}`).toBe(bitwise(noise.subarray(3, 3 + len)));
    expect(crc32(new Uint8Array(1000).fill(0xff))).toBe(bitwise(new Uint8Array(1000).fill(0xff)));
  });
});

describe("worker", () => {
  it("answers one message with one reply whose buffer is transferred", async () => {
    const post = vi.spyOn(window, "postMessage").mockImplementation(() => {});
    await import("./doc.worker");
    const buffer = enc("choy").buffer as ArrayBuffer;
    window.onmessage!(new MessageEvent("message", { data: { id: 1, name: "a.txt", buffer, script: "auto" } }));
    await vi.waitFor(() => expect(post).toHaveBeenCalledTimes(1));
    const [reply, transfer] = post.mock.calls[0] as unknown as [DocSuccess, ArrayBuffer[]];
    expect(reply).toMatchObject({ id: 1, ok: true, name: "a.uz.txt" });
    expect(transfer).toEqual([reply.buffer]);
  });
});
