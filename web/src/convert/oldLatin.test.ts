import { describe, expect, it, vi } from "vitest";
import { FOREIGN_NAME_PREFIXES, FOREIGN_WORDS, convertOldLatin, foreignKind } from "./oldLatin";
import type { ConvertResult } from "./types";

const out = (text: string) => convertOldLatin(text).output;
const kinds = (r: ConvertResult) => r.warnings.map((w) => w.kind);
const rules = (r: ConvertResult) => r.changes.map((c) => c.rule);

describe("rules", () => {
  it("converts the four digraphs with one change each", () => {
    const r = convertOldLatin("shahar choy o'g'il");
    expect(r.output).toBe("şahar çoy öğil");
    expect(r.changes).toEqual([
      { start: 0, end: 2, from: "sh", to: "ş", rule: "A-01" },
      { start: 7, end: 9, from: "ch", to: "ç", rule: "A-02" },
      { start: 12, end: 14, from: "o'", to: "ö", rule: "A-03" },
      { start: 14, end: 16, from: "g'", to: "ğ", rule: "A-04" },
    ]);
    expect(r.warnings).toEqual([]);
    expect(r.profile).toBe("uz-new-2026-draft1");
  });

  // input → output, rules, warning kinds
  it.each<[string, string, string[], string[]]>([
    ["Shahar", "Şahar", ["A-01"], []],
    ["SHAHAR", "ŞAHAR", ["A-01"], []],
    ["sHahar", "şahar", ["A-01"], []],
    ["CHOY Choy cHoy", "ÇOY Çoy çoy", ["A-02", "A-02", "A-02"], []],
    ["O'zbek G‘alaba", "Özbek Ğalaba", ["A-03", "A-04"], []],
    ["ma'no", "maʼno", ["A-06"], []],
    ["maʼno", "maʼno", [], []],
    ["maʻno", "maʼno", ["A-06"], ["unknown-apostrophe"]],
    ["oʻzbek", "özbek", ["A-03"], []],
    ["oʼzbek", "özbek", ["A-03"], ["tutuq-after-og"]],
    ["oʹzbek", "özbek", ["A-03"], ["unknown-apostrophe"]],
    ["maʹno", "maʼno", ["A-06"], ["unknown-apostrophe"]],
    ["Așa Ș", "Aşa Ş", ["P-01", "P-01"], []],
    ["bog'.", "boğ.", ["A-04"], []],
    ["bo'", "bö", ["A-03"], []],
    ["bog'' ", "bog'' ", [], []],
    ["'bog'", "'bog'", [], ["quote-vs-apostrophe"]],
    ["bog's", "boğs", ["A-04"], []],
    ["coca", "coca", [], []],
    ["", "", [], []],
  ])("%j → %j", (input, output, rs, ks) => {
    const r = convertOldLatin(input);
    expect(r.output).toBe(output);
    expect(rules(r)).toEqual(rs);
    expect(kinds(r)).toEqual(ks);
  });

  it("gives a tutuq after o or g its alternative in the suggestion", () => {
    expect(convertOldLatin("oʼzbek").warnings[0]).toMatchObject({ start: 0, end: 6, suggestion: "oʼzbek" });
    const trailing = convertOldLatin("bogʼ");
    expect(trailing.output).toBe("boğ");
    expect(trailing.warnings[0]).toMatchObject({ kind: "tutuq-after-og", suggestion: "bogʼ" });
  });
});

describe("split stems", () => {
  it.each<[string, string, string]>([
    ["mushaf", "musʼhaf", "muşaf"],
    ["mushaflar", "musʼhaflar", "muşaflar"],
    ["Ishoq", "Isʼhoq", "Işoq"],
    ["ASHOBI", "ASʼHOBI", "AŞOBI"],
  ])("%s keeps s and h apart", (input, output, suggestion) => {
    const r = convertOldLatin(input);
    expect(r.output).toBe(output);
    expect(rules(r)).toEqual(["A-09"]);
    expect(r.warnings).toEqual([expect.objectContaining({ kind: "sh-boundary-restored", suggestion })]);
  });

  it.each([
    ["more than 8 letters longer than the stem", "mushaflarimizdagi", "muşaflarimizdagi"],
    ["the s elsewhere in the word", "ishoqish", "isʼhoqiş"],
    ["an inner apostrophe", "mushaf'lar", "muşafʼlar"],
    ["a stem not at the start", "bashob", "başob"],
  ])("merges with %s", (_, input, output) => {
    expect(out(input)).toBe(output);
  });
});

describe("words left alone", () => {
  // input, kind, suggestion
  it.each<[string, string, string]>([
    ["check", "foreign-pattern", "çeck"],
    ["it's", "foreign-pattern", "itʼs"],
    ["Chess", "foreign-dict", "Çess"],
    ["fish", "foreign-dict", "fiş"],
    ["Michaelson", "foreign-dict", "Miçaelson"],
    ["Michaelgaö", "foreign-dict", "Miçaelgaö"],
    ["Rich'ardson", "foreign-dict", "Riçʼardson"],
    ["Chevrolet", "foreign-dict", "Çevrolet"],
    ["shower", "foreign-pattern", "şower"],
    ["chécher", "foreign-pattern", "çéçer"],
    ["chacun", "foreign-pattern", "çacun"],
    ["shahar2", "alnum-token", "şahar"],
    ["x_shahar", "alnum-token", "şahar"],
  ])("%s → %s", (input, kind, suggestion) => {
    const r = convertOldLatin(input);
    expect(r.output).toBe(input);
    expect(r.changes).toEqual([]);
    expect(r.warnings).toEqual([expect.objectContaining({ kind, suggestion })]);
  });

  it("reads plain ASCII words to the same foreign verdict as the test on their key", () => {
    // Such words are read in one pass that runs the letter patterns itself.
    const words = [
      ...FOREIGN_WORDS,
      ...FOREIGN_NAME_PREFIXES.flatMap((p) => [p, `${p}son`, p.slice(0, -1)]),
      ...["whish", "photo", "thin", "schach", "sch", "chc", "chac", "ch'c", "sh'ch", "cash'", "ck", "shc"],
      ...["it's", "don't", "we're", "they've", "we'll", "ch's", "bog's", "bo's", "o'g'il", "ma'no", "sh'a"],
      ...["shahar", "choy", "qishloq", "mushaf", "ishoq", "chiroq", "Ishoq", "SHAHAR", "cHesS", "Mich'ael"],
    ];
    for (const word of words.flatMap((w) => [w, w.toUpperCase(), w.replace(/'/g, "\u2018")])) {
      const key = Array.from(word.toLowerCase(), (ch) => (/['\u2018]/.test(ch) ? 0x27 : ch.codePointAt(0)!));
      const r = convertOldLatin(word);
      const verdict = r.warnings.find((w) => w.kind.startsWith("foreign-"))?.kind ?? null;
      // (A word without a candidate change is never tested.)
      if (verdict !== null || r.changes.length > 0) expect([word, verdict]).toEqual([word, foreignKind(key)]);
    }
  });

  it("leaves mixed-script words and reports a Cyrillic run once", () => {
    const r = convertOldLatin("shaҳar va бу уч сўз, кейин shahar");
    expect(r.output).toBe("shaҳar va бу уч сўз, кейин şahar");
    expect(r.warnings.map((w) => [w.kind, w.start, w.end])).toEqual([
      ["mixed-script", 0, 6],
      ["cyrillic-unsupported", 10, 26],
    ]);
  });

  it("keeps a Cyrillic run open across words of other scripts", () => {
    const r = convertOldLatin("бир αβ икки");
    expect(r.warnings).toEqual([expect.objectContaining({ kind: "cyrillic-unsupported", start: 0, end: 11 })]);
  });

  it("drops a change followed by a combining mark", () => {
    const r = convertOldLatin("ș\u0301a");
    expect(r.output).toBe("ș\u0301a");
    expect(kinds(r)).toEqual(["odd-combining-mark"]);
    // only the guarded candidate goes; the rest of the word converts
    const word = convertOldLatin("shaxo'\u0301");
    expect(word.output).toBe("şaxo'\u0301");
    expect(kinds(word)).toEqual(["odd-combining-mark"]);
  });
});

describe("plain stretches between changes", () => {
  // Runs of plain ASCII words are passed quickly; what ends them must still be seen:
  // an h after s or c, apostrophes, digits, protected text, other letters, a Cyrillic run.
  it.each<[string, string, number[], [string, number, number][]]>([
    ["kitob bor shahar", "kitob bor şahar", [10], []],
    ["kitobh bor chh, hosil", "kitobh bor çh, hosil", [11], []],
    ["ab s h sh", "ab s h ş", [7], []],
    ["bilan bog' va tog'", "bilan boğ va toğ", [8, 16], []],
    ["kitob qog‘oz", "kitob qoğoz", [8], []],
    ["kitob2 shahar3 ko'r", "kitob2 shahar3 kör", [16], [["alnum-token", 7, 13]]],
    ["kitob https://x.uz/sh choy", "kitob https://x.uz/sh çoy", [22], []],
    ["kitob va ș", "kitob va ş", [9], []],
    ["бир икки kitob va shahar", "бир икки kitob va şahar", [18], [["cyrillic-unsupported", 0, 8]]],
    ["бир kitob va икки", "бир kitob va икки", [], [["cyrillic-unsupported", 0, 3], ["cyrillic-unsupported", 13, 17]]],
    ["бир, икки. kitob ", "бир, икки. kitob ", [], [["cyrillic-unsupported", 0, 9]]],
    ["da'vo ma'no", "daʼvo maʼno", [2, 8], []],
  ])("%j", (input, output, starts, warnings) => {
    const r = convertOldLatin(input);
    expect(r.output).toBe(output);
    expect(r.changes.map((c) => c.start)).toEqual(starts);
    expect(r.warnings.map((w) => [w.kind, w.start, w.end])).toEqual(warnings);
  });
});

describe("offsets and input", () => {
  it("counts code points, not code units", () => {
    const r = convertOldLatin("😀 shahar");
    expect(r.changes[0]).toMatchObject({ start: 2, end: 4 });
    expect(r.output).toBe("😀 şahar");
  });

  it("normalises to NFC first", () => {
    const r = convertOldLatin("s\u030Ch"); // š then h: no digraph
    expect(r.input).toBe("šh");
    expect(convertOldLatin("cafe\u0301 shahar").changes[0]).toMatchObject({ start: 5, end: 7 });
  });

  it("takes any value and never throws", () => {
    expect(convertOldLatin(undefined).output).toBe("");
    expect(convertOldLatin(null).output).toBe("");
    expect(convertOldLatin(12).output).toBe("12");
    const hostile = {
      toString() {
        throw new Error("boom");
      },
    };
    expect(convertOldLatin(hostile)).toEqual({
      output: "",
      changes: [],
      warnings: [{ start: 0, end: 0, kind: "internal-error", message: "Ichki xato: matn o‘zgartirilmadi. boom" }],
      input: "",
      profile: "uz-new-2026-draft1",
    });
  });

  it("converts a text the same after a longer one with protected stretches", () => {
    // The longer text's addresses lie where the shorter one's words are.
    convertOldLatin("x ".repeat(3) + "https://shahar.uz/choy " + "chap ".repeat(20) + "`shox` ~/shahar/o'g'il " + "ch".repeat(500));
    expect(out("shahar choy o'g'il chap shox")).toBe("şahar çoy öğil çap şox");
    expect(out("o'g'il https://a.uz shahar")).toBe("öğil https://a.uz şahar");
  });

  it("sorts warnings by start, then end", () => {
    const r = convertOldLatin("check ```\nshahar");
    expect(r.warnings.map((w) => w.kind)).toEqual(["foreign-pattern", "unclosed-code-block"]);
  });
});

// The key of a word is written into a buffer that grows for a long word: the first long
// word a fresh converter (a fresh document worker, the live box's first conversion) meets
// must be tested on all its letters.
describe("the first long word of a fresh converter", () => {
  // input, output, warning kinds
  const cases: [string, string, string, string[]][] = [
    ["holds a change past its 61st letter", "ö" + "a".repeat(59) + "cha", "ö" + "a".repeat(59) + "ça", []],
    ["holds a w past its 61st letter", "ö" + "sha" + "a".repeat(70) + "w", "ö" + "sha" + "a".repeat(70) + "w", ["foreign-pattern"]],
    ["is far longer than the buffer", "ö" + "sha" + "a".repeat(1000) + "ph", "ö" + "sha" + "a".repeat(1000) + "ph", ["foreign-pattern"]],
  ];

  it.each(cases)("converts a word that %s on the first call", async (_, input, output, ks) => {
    vi.resetModules();
    const fresh = await import("./oldLatin");
    const r = fresh.convertOldLatin(input);
    expect([r.output, kinds(r)]).toEqual([output, ks]);
    // and the same again
    const again = fresh.convertOldLatin(input);
    expect([again.output, kinds(again)]).toEqual([output, ks]);
  });

  it.each(cases)("counts a word that %s on the first call", async (_, input, output, ks) => {
    vi.resetModules();
    const fresh = await import("./oldLatin");
    const r = fresh.countOldLatin(input);
    expect([r.output, r.changes, r.warnings]).toEqual([output, output === input ? 0 : 1, ks.length]);
  });
});
