// Throughput of the old-Latin converter on ~20 MB of text. Not a test: it prints MB/s
// (10^6 bytes of UTF-8 input per second) to be read by eye.
//
//   node scripts/bench-convert.mjs [megabytes]

import { mkdtemp, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { build } from "vite";

const here = fileURLToPath(new URL(".", import.meta.url));
const megabytes = Number(process.argv[2] ?? 20);

// Bundle the converters (TypeScript) into modules that node can import.
const outDir = await mkdtemp(join(tmpdir(), "harvel-bench-"));
await build({
  configFile: false,
  logLevel: "silent",
  build: {
    outDir,
    emptyOutDir: true,
    minify: false,
    lib: {
      entry: { document: resolve(here, "../src/convert/document.ts"), oldLatin: resolve(here, "../src/convert/oldLatin.ts") },
      formats: ["es"],
      fileName: (_, name) => `${name}.js`,
    },
  },
});
const load = (name) => import(pathToFileURL(join(outDir, `${name}.js`)).href);
const { convertDocument } = await load("document");
const { convertOldLatin } = await load("oldLatin");

// ---- old-Latin Uzbek text ----------------------------------------------------------------

// News-like prose, and a denser salad of words that nearly all hold a digraph.
const PROSE = `O'zbekiston Respublikasi Prezidenti bugun Toshkent shahrida bo'lib o'tgan xalqaro forumda nutq so'zladi.
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
const WORDS = (
  "o'zbek tili shahar choy bog' o'g'il qishloq ko'cha maktab kitob o'qituvchi yoshlar bilan uchun " +
  "ham lekin chunki shunday keyin hozir g'alaba o'rta sharq chiroq ishchi bo'lib qo'shiq so'z ma'no " +
  "Toshkent Samarqand O'zbekiston xalq davlat yangi alifbo kompyuter dastur ishlaydi yozish o'quvchi " +
  "tog' yo'l og'ir to'g'ri sho'rva choyxona chaqaloq shoir ashula qirg'oq bog'cha o'n besh olti " +
  "mushaflar Ishoq it's check chess shahar2 2024 yil may oyi"
).split(" ");
let seed = 42;
const random = () => ((seed = (seed * 1103515245 + 12345) >>> 0) / 2 ** 32);

const prose = (bytes) => PROSE.repeat(Math.ceil(bytes / Buffer.byteLength(PROSE)));

function salad(bytes) {
  const lines = [];
  let size = 0;
  while (size < bytes) {
    const words = [];
    const count = 8 + Math.floor(random() * 14);
    for (let i = 0; i < count; i++) words.push(WORDS[Math.floor(random() * WORDS.length)]);
    const line = words.join(" ") + ".";
    lines.push(line[0].toUpperCase() + line.slice(1));
    size += Buffer.byteLength(line) + 1;
  }
  return lines.join("\n") + "\n";
}

// ---- measuring ---------------------------------------------------------------------------

async function bench(name, text) {
  const mb = Buffer.byteLength(text) / 1e6;
  const report = (label, seconds, changes) =>
    console.log(
      `  ${label.padEnd(40)} ${(mb / seconds).toFixed(1).padStart(6)} MB/s  (${seconds.toFixed(2)} s, ${changes.toLocaleString("en")} changes)`,
    );
  console.log(`${name}: ${mb.toFixed(1)} MB`);

  // A new worker converts one file with a cold engine: the first run is the one that counts.
  const file = new TextEncoder().encode(text);
  for (const label of ["convertDocument .txt, cold", "convertDocument .txt, warm"]) {
    const t0 = performance.now();
    const doc = await convertDocument("matn.txt", file, "auto");
    report(label, (performance.now() - t0) / 1000, doc.changed);
  }

  // The converter alone, fed the pieces the worker cuts (100,000 code units, after a line feed).
  const pieces = [];
  for (let start = 0; start < text.length; ) {
    const lf = text.indexOf("\n", start + 100_000);
    const end = lf < 0 ? text.length : lf + 1;
    pieces.push(text.slice(start, end));
    start = end;
  }
  const t0 = performance.now();
  let changes = 0;
  for (const piece of pieces) changes += convertOldLatin(piece).changes.length;
  report("convertOldLatin, 100,000-unit pieces", (performance.now() - t0) / 1000, changes);
}

await bench("prose", prose(megabytes * 1e6));
await bench("digraph-dense words", salad(megabytes * 1e6));
await rm(outDir, { recursive: true, force: true });
