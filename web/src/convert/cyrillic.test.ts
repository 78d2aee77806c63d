import { describe, expect, it } from "vitest";
import { convertCyrillic, convertText, countText, detectScript } from "./cyrillic";

const out = (text: string) => convertCyrillic(text).output;

describe("convertCyrillic", () => {
  it.each<[string, string]>([
    ["шаҳар", "şahar"],
    ["Ўзбекистон", "Özbekiston"],
    ["ер", "yer"],
    ["поезд", "poyezd"],
    ["объект", "obyekt"],
    ["маъно", "maʼno"],
    ["пьеса", "pyesa"],
    ["исҳоқ", "isʼhoq"],
    ["ИСҲОҚ", "ISʼHOQ"],
    ["сентябрь", "sentabr"],
    ["Октябрда", "Oktabrda"],
    ["январь", "yanvar"],
    ["лицей", "litsey"],
    ["цирк", "sirk"],
    ["антициклон", "antisiklon"],
    ["Ёлка", "Yolka"],
    ["ЁЛКА", "YOLKA"],
    ["ПИЦЦА", "PITSA"],
    ["Ҳаёт", "Hayot"],
    ["Юлдуз", "Yulduz"],
    ["ЮЛДУЗ", "YULDUZ"],
    ["Чўл ғишт", "Çöl ğişt"],
    ["съезд", "syezd"],
    ["шеърият", "şeʼriyat"],
    ["ўъ", "ö"],
    ["бульон", "bulyon"],
  ])("%s → %s", (input, output) => {
    expect(out(input)).toBe(output);
  });

  it("records whole-word changes and word warnings", () => {
    const r = convertCyrillic("Бу лицей, бу щи.");
    expect(r.output).toBe("Bu litsey, bu щi.");
    expect(r.changes).toEqual([
      { start: 0, end: 2, to: "Bu" },
      { start: 3, end: 8, to: "litsey" },
      { start: 10, end: 12, to: "bu" },
      { start: 13, end: 15, to: "щi" },
    ]);
    expect(r.warnings.map((w) => [w.kind, w.start, w.end])).toEqual([
      ["ts-ambiguous", 3, 8],
      ["foreign-letter", 13, 15],
    ]);
    expect(r).toMatchObject({ profile: "uz-cyr-2026-test", script: "cyrillic" });
  });

  it("prefers foreign-letter over ts-ambiguous", () => {
    expect(convertCyrillic("цыган").warnings.map((w) => w.kind)).toEqual(["foreign-letter"]);
  });

  it("leaves mixed and Latin words, and has no protected spans", () => {
    const r = convertCyrillic("shaҳar cat https://шаҳар.uz");
    expect(r.output).toBe("shaҳar cat https://şahar.uz");
    expect(r.warnings).toEqual([expect.objectContaining({ kind: "mixed-script", start: 0, end: 6 })]);
  });

  it("warns about degraded Cyrillic from 200 converted letters without ў, қ, ғ, ҳ", () => {
    const degraded = convertCyrillic("узбек шахар ".repeat(20)); // 200 letters
    expect(degraded.warnings[0]).toMatchObject({ kind: "degraded-cyrillic", start: 0, end: 0 });
    expect(convertCyrillic("узбек шахар ".repeat(19) + "узбек").warnings).toEqual([]);
    expect(convertCyrillic("узбек шахар ".repeat(20) + "қиш").warnings).toEqual([]);
  });

  it("converts words longer than its buffers, and one far longer than a call takes arguments", () => {
    // 65 letters: the buffers grow inside the word (each length its first time)
    for (const repeats of [13, 50, 200_000]) {
      const r = countText("Шаҳар".repeat(repeats), "cyrillic", undefined, null, true);
      expect(r.failure).toBeNull();
      expect(r.spans!.count).toBe(1);
      expect(r.spans!.to[0]).toBe("Şahar".repeat(repeats));
    }
    expect(convertCyrillic("Шаҳар".repeat(40)).output).toBe("Şahar".repeat(40));
  });
});

describe("detectScript and convertText", () => {
  it.each<[string, string]>([
    ["шаҳар", "cyrillic"],
    ["shahar", "latin"],
    ["ab вг", "latin"],
    ["ab вгд", "cyrillic"],
    ["123 !", "latin"],
    ["", "latin"],
  ])("%j is %s", (text, script) => {
    expect(detectScript(text)).toBe(script);
  });

  it.each<[string, string]>([
    ["a".repeat(100) + "ж".repeat(101), "cyrillic"],
    ["ж".repeat(130) + "a".repeat(130), "latin"],
    ["ж".repeat(130) + "a".repeat(129), "cyrillic"],
    ["a".repeat(64) + " ".repeat(200) + "ж".repeat(65), "cyrillic"],
    ["ж".repeat(64) + "a".repeat(64) + "ж", "cyrillic"],
  ])("a long text's count is settled only by its last letters (%#)", (text, script) => {
    expect(detectScript(text)).toBe(script);
  });

  it.each(["ab вг", "ab вгд", "ww вгд", "W×÷ вгдеж", "𝐀𝐁𝐂 вг", "ŞÇ шч", "ӀӀӀ ab", "", "123", "ж".repeat(70) + "a".repeat(80), "a".repeat(70) + "ж".repeat(80)])(
    "the worker's count of %j picks the converter detectScript picks",
    (text) => {
      expect(countText(text).script).toBe(detectScript(text));
    },
  );

  it("dispatches by choice or by detection", () => {
    expect(convertText("шаҳар")).toMatchObject({ output: "şahar", script: "cyrillic" });
    expect(convertText("shahar")).toMatchObject({ output: "şahar", script: "latin", profile: "uz-new-2026-draft1" });
    expect(convertText("шаҳар", "latin")).toMatchObject({ output: "шаҳар", script: "latin" });
    expect(convertText("shahar", "cyrillic")).toMatchObject({ output: "shahar", script: "cyrillic" });
  });
});
