import { describe, expect, it } from "vitest";
import { SENTENCES, pickRunText } from "./sentences";

describe("run text", () => {
  it("the seven sentences hold no ü", () => {
    expect(SENTENCES).toHaveLength(7);
    expect(SENTENCES.join(" ")).not.toContain("ü");
    expect(SENTENCES[1]).toBe("Bugun töğri yöl bilan şaharga bordik, ğalaba uçun emas, yaxşilik uçun.");
    expect(SENTENCES[6]).toBe("Taşakkur, yaxşi kun tilaymiz, ğam çekmang.");
  });

  it.each([
    [30, 3],
    [60, 5],
  ] as const)("%i seconds: %i distinct sentences joined with single blanks", (duration, n) => {
    for (let i = 0; i < 20; i++) {
      const text = pickRunText(duration);
      const parts = SENTENCES.filter((s) => text.includes(s));
      expect(parts).toHaveLength(n);
      expect(text.length).toBe(parts.reduce((sum, s) => sum + s.length, 0) + n - 1);
      expect(text).not.toMatch(/\s{2}|^\s|\s$/);
    }
  });

  it("each pick is among the sentences left", () => {
    expect(pickRunText(30, () => 0)).toBe(SENTENCES.slice(0, 3).join(" "));
    // The last one left each time, even from a source that returns 1.
    expect(pickRunText(30, () => 1)).toBe([SENTENCES[6], SENTENCES[5], SENTENCES[4]].join(" "));
    const seq = [0.5, 0, 0.99];
    expect(pickRunText(30, () => seq.shift()!)).toBe([SENTENCES[3], SENTENCES[0], SENTENCES[6]].join(" "));
  });
});
