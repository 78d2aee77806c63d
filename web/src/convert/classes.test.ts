import { describe, expect, it } from "vitest";
import { APOSTROPHE, CYRILLIC, DIGIT, LATIN, LETTER, MARK, OTHER, classOf, keepsNfc, keepsNfcText, protectSpans, splitCodePoints } from "./classes";
import { convertOldLatin } from "./oldLatin";
import type { ConvertWarning } from "./types";

/** The protected stretches of a text, in order. */
function spans(text: string): string[] {
  const points = splitCodePoints(text);
  const prot = protectSpans(points, []);
  const chars = Array.from(text);
  const found: string[] = [];
  let run = "";
  chars.forEach((ch, i) => {
    if (prot[i]) run += ch;
    else if (run) {
      found.push(run);
      run = "";
    }
  });
  if (run) found.push(run);
  return found;
}

describe("classes", () => {
  it.each<[string, number]>([
    ["a", LATIN],
    ["Z", LATIN],
    ["ş", LATIN],
    ["ж", CYRILLIC],
    ["α", LETTER],
    ["\u0301", MARK],
    ["'", APOSTROPHE],
    ["`", APOSTROPHE],
    ["ʼ", APOSTROPHE],
    ["ʻ", APOSTROPHE],
    ["＇", APOSTROPHE],
    ["_", DIGIT],
    ["7", DIGIT],
    ["٣", DIGIT],
    ["½", DIGIT],
    [" ", OTHER],
    ["-", OTHER],
    ["😀", OTHER],
  ])("%j", (ch, cls) => {
    expect(classOf(ch.codePointAt(0)!)).toBe(cls);
  });
});

describe("splitting into code points", () => {
  // ASCII stretches and what may follow them: a BMP letter, an astral character, a
  // lone surrogate; shared buffers reused by a shorter text after a longer one. Each
  // text also after a long ASCII stretch, which is read another way.
  it.each<string>([
    "",
    "shahar choy",
    "ş",
    "shahar o‘g‘il",
    "ab€",
    "ab😀cd",
    "ab\ud800cd",
    "x\udc00",
    "😀 sh",
    "http://a.b/c ".repeat(50) + "ж",
    "sh",
  ])("%j", (short) => {
    for (const [text, shared] of [short, "shahar: https://x.uz ".repeat(20) + short].flatMap((t) => [[t, false], [t, true]] as const)) {
      const { cps, cls, n, trig, nt, latinUnits } = splitCodePoints(text, shared);
      const expected = Array.from(text, (ch) => ch.codePointAt(0)!);
      expect(n).toBe(expected.length);
      expect(Array.from(cps.subarray(0, n))).toEqual(expected);
      expect(Array.from(cls.subarray(0, n))).toEqual(expected.map(classOf));
      expect(latinUnits).toBe(expected.filter((cp) => (cp < 128 && classOf(cp) === LATIN) || (cp >= 0xc0 && cp <= 0x24f)).length);
      const triggers = Array.from(trig.subarray(0, nt));
      // read one code unit at a time when the text does not begin with ASCII
      const slow = splitCodePoints("é" + text);
      expect(triggers).toEqual(Array.from(slow.trig.subarray(0, slow.nt), (t) => t - 1));
    }
  });
});

describe("protected spans", () => {
  // text → the stretches that are protected
  it.each<[string, string[]]>([
    ["ko'ring https://shahar.uz/choy?q=sh, keyin", ["https://shahar.uz/choy?q=sh"]],
    ["(http://a.b/shu).", ["http://a.b/shu"]],
    ["«ftp://x/sh»", ["ftp://x/sh"]],
    ["2shx://path", ["shx://path"]],
    ["svn+ssh://host/shu", ["ssh://host/shu"]],
    ["only:// ", []],
    ["www.shahar.uz/choy.", ["www.shahar.uz/choy"]],
    ["WWW.Shop.com", ["WWW.Shop.com"]],
    ["C:\\Users\\Shoh\\ish.txt", ["C:\\Users\\Shoh\\ish.txt"]],
    ["~/ishlar/shu ./shu ../shu", ["~/ishlar/shu", "./shu", "../shu"]],
    ["fayl: /usr/share/shu", ["/usr/share/shu"]],
    ["/shu/bosh yo'q", []],
    ["shahar.uz", ["shahar.uz"]],
    ["yangi-shahar.toshkent.uz sayti", ["yangi-shahar.toshkent.uz"]],
    ["o'g'il.uz", ["o'g'il.uz"]],
    ["shahar.xyz", []],
    ["shahar.uzb", []],
    ["shahar.uz-x", []],
    ["shahar.uz2", []],
    ["Tugadi.Shahar", []],
    ["#shahar_2024 #", ["#shahar_2024"]],
    ["so'z#shahar", []],
    ["@shahar_choy: salom", ["@shahar_choy"]],
    ["shox@choy", []],
    ["shoh.ali@mail.shahar.uz.", ["shoh.ali@mail.shahar.uz"]],
    [".shoh@mail.uz", ["shoh@mail.uz"]],
    ["shoh@x.u", []],
    ["shoh@.uz", []],
    ["a ``shahar`` b", []],
    ["a ```shahar``` b", ["```shahar```"]],
    ["see www.a.uz/shu\fsh\vx y", ["www.a.uz/shu\fsh\vx"]],
  ])("%j", (text, expected) => {
    expect(spans(text)).toEqual(expected);
  });

  it("protects an unclosed code block to the end with one warning", () => {
    const warnings: ConvertWarning[] = [];
    const text = "shahar ```choy\nshahar";
    const prot = protectSpans(splitCodePoints(text), warnings);
    expect(Array.from(prot).indexOf(1)).toBe(7);
    expect(prot.slice(7).every((p) => p === 1)).toBe(true);
    expect(warnings).toEqual([
      { start: 7, end: 21, kind: "unclosed-code-block", message: "Yopilmagan ``` kod bloki: oxirigacha o‘zgartirilmadi." },
    ]);
    expect(convertOldLatin(text).output).toBe("şahar ```choy\nshahar");
  });

  it("keeps the converter away from protected text", () => {
    expect(convertOldLatin("Shahar: https://shahar.uz/choy, shoh@choy.uz va #shahar.").output).toBe(
      "Şahar: https://shahar.uz/choy, shoh@choy.uz va #shahar.",
    );
  });
});

describe("keepsNfcText", () => {
  it("keeps a text exactly when it keeps each of its code units", () => {
    const differ: number[] = [];
    for (let u = 0; u <= 0xffff; u++) if (keepsNfcText(`a${String.fromCharCode(u)}b`) !== keepsNfc(u)) differ.push(u);
    expect(differ).toEqual([]);
    expect(keepsNfcText("")).toBe(true);
    expect(keepsNfcText("Тошкент — “shahar”")).toBe(true);
    expect(keepsNfcText("😀")).toBe(false);
  });
});
