// Throughput of the converters and of the document worker, for old-Latin and Cyrillic
// text in every accepted format. Not a test: it prints MB/s (10^6 bytes of input per
// second) to be read by eye.
//
//   node scripts/bench-convert.mjs [megabytes]
//   xvfb-run -a node scripts/bench-convert.mjs [megabytes] --webkit
//
// With --webkit the measurements run in the Linux build's web engine (a page of WebKitGTK's
// MiniBrowser under WebKitWebDriver) instead of node's.
//
// Each document is converted in a fresh worker thread, as the page starts a fresh worker
// per file: a cold engine and an empty class cache. The worker's own handler is timed
// from the request's bytes to the reply's bytes. For .docx the figure counts the bytes
// of the rewritten XML (what the worker inflates, converts and deflates); the file
// itself is a few times smaller.

import { existsSync } from "node:fs";
import { mkdtemp, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { Worker, isMainThread, parentPort, workerData } from "node:worker_threads";
import { measure } from "./bench-measure.mjs";
import { zipArchive } from "./zip-archive.mjs";

const here = fileURLToPath(new URL(".", import.meta.url));

// ---- sample text ------------------------------------------------------------------------

// News-like old-Latin prose, and a denser salad of words that nearly all hold a digraph.
const LATIN_PROSE = `O'zbekiston Respublikasi Prezidenti bugun Toshkent shahrida bo'lib o'tgan xalqaro forumda nutq so'zladi.
Unda mamlakatimizda amalga oshirilayotgan islohotlar, ayniqsa ta'lim va sog'liqni saqlash sohasidagi o'zgarishlar haqida gapirildi.
Forum ishtirokchilari yangi loyihalar bo'yicha fikr almashdilar.
Shu bilan birga, qishloq xo'jaligi mahsulotlarini eksport qilish hajmi o'tgan yilga nisbatan sezilarli darajada oshgani ta'kidlandi.
Yoshlarning bo'sh vaqtini mazmunli o'tkazish, ularni kitob o'qishga jalb qilish masalalari ham muhokama qilindi.
Mutaxassislarning fikricha, bu yo'nalishdagi ishlar kelgusida yanada kengayadi.
Batafsil ma'lumot uchun https://kun.uz/news saytiga murojaat qiling yoki info@gov.uz manziliga yozing.
Bog'bonlar erta bahorda daraxtlarni butab, o'g'it solishni boshlaydilar.
Chorvachilik fermalarida sut va go'sht ishlab chiqarish ko'paydi.
Farg'ona vodiysida paxta hosili yig'ib olindi, 2024-yilda 150 ming gektar yerga g'alla ekildi.
Choyxonada o'tirgan keksalar suhbatlashib, shoshmasdan choy ichishardi.
`;
const LATIN_WORDS = (
  "o'zbek tili shahar choy bog' o'g'il qishloq ko'cha maktab kitob o'qituvchi yoshlar bilan uchun " +
  "ham lekin chunki shunday keyin hozir g'alaba o'rta sharq chiroq ishchi bo'lib qo'shiq so'z ma'no " +
  "Toshkent Samarqand O'zbekiston xalq davlat yangi alifbo kompyuter dastur ishlaydi yozish o'quvchi " +
  "tog' yo'l og'ir to'g'ri sho'rva choyxona chaqaloq shoir ashula qirg'oq bog'cha o'n besh olti " +
  "mushaflar Ishoq it's check chess shahar2 2024 yil may oyi"
).split(" ");

// The same kind of news in Uzbek Cyrillic.
const CYRILLIC_PROSE = `Ўзбекистон Республикаси Президенти бугун Тошкент шаҳрида бўлиб ўтган халқаро форумда нутқ сўзлади.
Унда мамлакатимизда амалга оширилаётган ислоҳотлар, айниқса таълим ва соғлиқни сақлаш соҳасидаги ўзгаришлар ҳақида гапирилди.
Форум иштирокчилари янги лойиҳалар бўйича фикр алмашдилар, объектлар қурилиши ҳам муҳокама қилинди.
Шу билан бирга, қишлоқ хўжалиги маҳсулотларини экспорт қилиш ҳажми ўтган йилга нисбатан сезиларли даражада ошгани таъкидланди.
Ёшларнинг бўш вақтини мазмунли ўтказиш, уларни китоб ўқишга жалб қилиш масалалари ҳам кўриб чиқилди.
Мутахассисларнинг фикрича, бу йўналишдаги ишлар сентябрь ва октябрь ойларида янада кенгаяди.
Батафсил маълумот учун https://kun.uz/news сайтига мурожаат қилинг ёки info@gov.uz манзилига ёзинг.
Боғбонлар эрта баҳорда дарахтларни бутаб, ўғит солишни бошлайдилар; лицей ўқувчилари ҳам ёрдам беришди.
Чорвачилик фермаларида сут ва гўшт ишлаб чиқариш кўпайди, пьеса ва концерт дастурлари тайёрланди.
Фарғона водийсида пахта ҳосили йиғиб олинди, 2024 йилда 150 минг гектар ерга ғалла экилди.
Чойхонада ўтирган кексалар суҳбатлашиб, шошмасдан чой ичишарди.
`;

let seed = 42;
const random = () => (seed = (seed * 1103515245 + 12345) >>> 0) / 2 ** 32;

const repeatTo = (unit, bytes) => unit.repeat(Math.ceil(bytes / Buffer.byteLength(unit)));

function salad(bytes) {
  const lines = [];
  let size = 0;
  while (size < bytes) {
    const words = [];
    const count = 8 + Math.floor(random() * 14);
    for (let i = 0; i < count; i++) words.push(LATIN_WORDS[Math.floor(random() * LATIN_WORDS.length)]);
    const line = words.join(" ") + ".";
    lines.push(line[0].toUpperCase() + line.slice(1));
    size += Buffer.byteLength(line) + 1;
  }
  return lines.join("\n") + "\n";
}

// ---- documents ---------------------------------------------------------------------------

const sentences = (text) => text.split("\n").filter((line) => line !== "");

function markdown(text) {
  const out = [];
  sentences(text).forEach((line, i) => {
    if (i % 11 === 0) out.push("", `## ${line.slice(0, 40)}`, "");
    if (i % 37 === 5) out.push("```", "const shahar = `choy`;", "```");
    const words = line.split(" ");
    if (words.length > 6) {
      words[2] = `**${words[2]}**`;
      words[4] = `\`${words[4]}\``;
      words[6] = `[${words[6]}](https://example.uz/${i})`;
    }
    out.push((i % 5 === 0 ? "- " : "") + words.join(" "));
  });
  return out.join("\n") + "\n";
}

function html(text) {
  const body = sentences(text).map((line, i) => {
    const words = line.split(" ");
    if (words.length > 6) {
      words[1] = `<b>${words[1]}</b>`;
      words[3] = `<a href="/p/${i}" class="shahar">${words[3]}</a>`;
      words[5] += "&nbsp;&mdash;";
    }
    const p = `<p>${words.join(" ")}</p>`;
    return i % 29 === 0 ? `${p}\n<!-- ${line.slice(0, 20)} -->\n<pre>shahar choy</pre>` : p;
  });
  return `<!doctype html>\n<html lang="uz"><head><meta charset="utf-8"><title>Yangiliklar</title>
<style>.shahar { color: #027e6f; }</style><script>const choy = "shahar";</script></head>
<body>\n${body.join("\n")}\n</body></html>\n`;
}

function subtitles(text) {
  const time = (s) => {
    const p = (n, w = 2) => String(n).padStart(w, "0");
    return `${p(Math.floor(s / 3600))}:${p(Math.floor(s / 60) % 60)}:${p(s % 60)},${p((s * 37) % 1000, 3)}`;
  };
  return sentences(text)
    .map((line, i) => {
      const words = line.split(" ");
      const half = Math.ceil(words.length / 2);
      const first = words.slice(0, half).join(" ");
      const second = words.slice(half).join(" ");
      const styled = i % 4 === 0 ? `{\\an8}<i>${first}</i>` : first;
      return `${i + 1}\r\n${time(i * 3)} --> ${time(i * 3 + 2)}\r\n${styled}\r\n${second}\r\n`;
    })
    .join("\r\n");
}

const escapeXml = (s) => s.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");

/** A Word document: each sentence a paragraph of a few formatted runs. */
function wordXml(text) {
  const W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"';
  const paragraphs = sentences(text).map((line) => {
    const runs = [];
    for (let at = 0; at < line.length; ) {
      const end = Math.min(line.length, at + 20 + Math.floor(random() * 60));
      const bold = runs.length % 3 === 1 ? "<w:b/>" : "";
      runs.push(`<w:r><w:rPr>${bold}<w:sz w:val="24"/></w:rPr><w:t xml:space="preserve">${escapeXml(line.slice(at, end))}</w:t></w:r>`);
      at = end;
    }
    return `<w:p><w:pPr><w:pStyle w:val="Normal"/></w:pPr>${runs.join("")}</w:p>`;
  });
  return `<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document ${W}><w:body>${paragraphs.join("")}</w:body></w:document>`;
}

const MAX_FILE = 20 * 1024 * 1024;

/** The file of one format built from a text, cut to the largest file (or Word XML) accepted. */
function documentOf(ext, text) {
  for (;;) {
    const doc = buildDocument(ext, text);
    const size = Math.max(doc.bytes.length, doc.size);
    if (size <= MAX_FILE) return doc;
    const cut = text.lastIndexOf("\n", Math.floor((text.length * MAX_FILE) / size) - 1000);
    text = text.slice(0, cut + 1);
  }
}

/** The file of one format built from a text; `size` is what the MB/s figure counts. */
function buildDocument(ext, text) {
  if (ext === "docx") {
    const xml = wordXml(text);
    const file = zipArchive(
      [
        ["[Content_Types].xml", '<?xml version="1.0"?><Types/>'],
        ["word/document.xml", xml],
        ["word/styles.xml", '<?xml version="1.0"?><w:styles/>'],
      ],
      { deflate: true },
    );
    return { bytes: new Uint8Array(file), size: Buffer.byteLength(xml), note: `file ${(file.length / 1e6).toFixed(1)} MB` };
  }
  const body = ext === "md" ? markdown(text) : ext === "html" || ext === "htm" ? html(text) : ext === "srt" ? subtitles(text) : text;
  const bytes = new TextEncoder().encode(body);
  return { bytes, size: bytes.length, note: "" };
}

if (!isMainThread) {
  const { dir, job } = workerData;
  parentPort.postMessage(await measure(job, (name) => import(pathToFileURL(join(dir, `${name}.js`)).href)));
} else {
  const args = process.argv.slice(2);
  const megabytes = Number(args.find((a) => !a.startsWith("--")) ?? 20);
  const { build } = await import("vite");

  // Bundle the converters (TypeScript) into modules that node can import.
  const dir = await mkdtemp(join(tmpdir(), "harvel-bench-"));
  const src = (name) => resolve(here, `../src/convert/${name}.ts`);
  await build({
    configFile: false,
    logLevel: "silent",
    build: {
      outDir: dir,
      emptyOutDir: true,
      minify: false,
      lib: {
        entry: {
          protocol: src("protocol"),
          oldLatin: src("oldLatin"),
          cyrillic: src("cyrillic"),
          ...(existsSync(src("output")) ? { output: src("output") } : {}),
        },
        formats: ["es"],
        fileName: (_, name) => `${name}.js`,
      },
    },
  });

  const nodeRun = (job, transfer = []) =>
    new Promise((done, fail) => {
      const worker = new Worker(fileURLToPath(import.meta.url), { workerData: { dir, job }, transferList: transfer });
      worker.once("message", done);
      worker.once("error", fail);
    });
  const row = (label, bytes, { ms, changes }, note = "") =>
    console.log(
      `  ${label.padEnd(34)} ${((bytes / 1e6) / (ms / 1000)).toFixed(1).padStart(6)} MB/s  ` +
        `(${(ms / 1000).toFixed(2)} s, ${changes.toLocaleString("en")} changes${note ? `, ${note}` : ""})`,
    );

  // --webkit: every measurement in the web engine of the Linux build instead.
  const webkit = args.includes("--webkit") ? await (await import("./bench-webkit.mjs")).startWebKit(dir) : null;
  const run = webkit?.run ?? nodeRun;
  console.log(webkit ? "in WebKitGTK (MiniBrowser)" : `in node ${process.version}`);

  const bytes = megabytes * 1e6;
  // Older converters have no counting form.
  const counting = existsSync(join(dir, "output.js")) && "countText" in (await import(pathToFileURL(join(dir, "cyrillic.js")).href));
  const texts = [
    ["old Latin, prose", "latin", repeatTo(LATIN_PROSE, bytes)],
    ["old Latin, digraph-dense words", "latin", salad(bytes)],
    ["Cyrillic, prose", "cyrillic", repeatTo(CYRILLIC_PROSE, bytes)],
  ];
  for (const [name, script, text] of texts) {
    const size = Buffer.byteLength(text);
    console.log(`${name}: ${(size / 1e6).toFixed(1)} MB of text`);
    row(`${script === "latin" ? "convertOldLatin" : "convertCyrillic"}, 100,000-unit pieces`, size, await run({ kind: "converter", script, text }));
    if (counting) row("  counting into UTF-8, as the worker", size, await run({ kind: "counting", script, text }));
    const live = await run({ kind: "live", script, text });
    console.log(`  ${"live box, 200,000 units".padEnd(34)} ${live.ms.toFixed(1).padStart(6)} ms per conversion`);
    for (const ext of ["txt", "md", "html", "htm", "srt", "docx"]) {
      const doc = documentOf(ext, text);
      row(`.${ext} in the worker`, doc.size, await run({ kind: "document", ext, script: "auto", bytes: doc.bytes }, [doc.bytes.buffer]), doc.note);
    }
  }
  await webkit?.close();
  await rm(dir, { recursive: true, force: true });
}
