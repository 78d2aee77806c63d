import { describe, expect, it } from "vitest";
import { addFoundLetters, initialChoice, stepChoice, testHint, type FlowMode } from "./flow";

const ASK = "Maydonda to‘rttala yangi harfni yozib ko‘ring.";

describe("test hint", () => {
  it.each<[FlowMode, string, string]>([
    ["fast", "", `${ASK} Fast: W, C, [ va ] ni bosing.`],
    ["hybrid", "", `${ASK} Hybrid: Right Alt + S, C, O, G.`],
    ["zero", "", `${ASK} Zero-learning: sh, ch, o‘, g‘ yozing.`],
    ["fast", "ç", `${ASK} Yana: Ş (W), Ö ([), Ğ (]).`],
    ["hybrid", "ğş", `${ASK} Yana: Ç (Right Alt+C), Ö (Right Alt+O).`],
    ["zero", "şçö", `${ASK} Yana: Ğ (g‘).`],
    ["zero", "ğöçş", ASK],
  ])("%s with %j found", (mode, found, hint) => {
    expect(testHint(mode, new Set(found))).toBe(hint);
  });
});

describe("found letters", () => {
  it.each<[string, string[], string, string[]]>([
    ["capitals count", [], "ŞAHAR", ["ş"]],
    ["one letter four times counts once", [], "şşşş", ["ş"]],
    ["deleting text loses nothing", ["ş", "ç"], "", ["ş", "ç"]],
    ["all four in any order", ["ö"], "bağ Çiroq şahar", ["ö", "ğ", "ç", "ş"]],
    ["look-alikes do not count", [], "sçğ s c o g", ["ç", "ğ"]],
  ])("%s", (_, before, text, after) => {
    expect([...addFoundLetters(new Set(before), text)].sort()).toEqual([...after].sort());
  });

  it("keeps the same set when nothing is new, so nothing re-renders", () => {
    const found = new Set(["ş"]);
    expect(addFoundLetters(found, "şahar")).toBe(found);
  });
});

describe("mode choice", () => {
  it.each([
    [true, "fast", "fast"],
    [true, "zero", "zero"],
    [true, "english", null],
    [false, "hybrid", null],
  ] as const)("onboarded %s with mode %s starts on %s", (onboarded, mode, expected) => {
    expect(initialChoice(onboarded, mode)).toBe(expected);
  });

  it.each<[FlowMode | null, boolean, FlowMode]>([
    ["fast", true, "hybrid"],
    ["hybrid", true, "zero"],
    ["zero", true, "fast"],
    ["fast", false, "zero"],
    ["zero", false, "hybrid"],
    [null, true, "fast"],
    [null, false, "hybrid"],
  ])("from %s, %s goes to %s", (current, forward, next) => {
    expect(stepChoice(current, forward)).toBe(next);
  });
});
