import { describe, expect, it } from "vitest";
import {
  EXAMPLE_WORDS,
  LETTER_LEGEND,
  extraKeyById,
  extraKeyLabel,
  hasKeyConflict,
  keyCaption,
  type KeySet,
} from "./keys";

const keys = (hybrid: string, fast: Partial<KeySet["fast"]> = {}): KeySet => ({
  hybrid,
  fast: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight", ...fast },
});

describe("extra keys", () => {
  it.each([
    ["ralt", "Right Alt", "AltRight"],
    ["rctrl", "Right Ctrl", "ControlRight"],
    ["apps", "Menu", "ContextMenu"],
    ["rwin", "Right Win", "MetaRight"],
    ["backquote", "` (~)", "Backquote"],
    ["f13", "F13", "F13"],
    ["f24", "F24", "F24"],
    // Unknown ids, also the capital spelling, fall back to Right Alt.
    ["F24", "Right Alt", "AltRight"],
    ["", "Right Alt", "AltRight"],
    ["toString", "Right Alt", "AltRight"],
  ])("%j → %s on %s", (id, caption, code) => {
    expect(extraKeyById(id)).toMatchObject({ caption, code });
    expect(extraKeyLabel(id)).toBe(caption);
  });

  it("only the backquote key types a character when tapped", () => {
    expect(extraKeyById("backquote").tap).toEqual({ plain: "`", shifted: "~" });
    expect(extraKeyById("ralt").tap).toBeUndefined();
  });

  it.each<[string, KeySet, boolean]>([
    ["the default keys", keys("ralt"), false],
    ["backquote on a backquote fast key", keys("backquote", { g: "Backquote" }), true],
    ["backquote with other fast keys", keys("backquote", { sh: "KeyQ" }), false],
    ["an unknown extra key", keys("nope", { sh: "KeyQ" }), false],
  ])("key conflict with %s: %s", (_, set, conflict) => {
    expect(hasKeyConflict(set)).toBe(conflict);
  });
});

describe("keyCaption", () => {
  const [sh, ch, o, g] = LETTER_LEGEND;

  it.each<[string, string, (typeof LETTER_LEGEND)[number], KeySet | undefined, string]>([
    ["fast", "default", sh, undefined, "W"],
    ["fast", "default", g, undefined, "]"],
    ["fast", "the user's key", ch, keys("ralt", { ch: "Quote" }), "'"],
    ["fast", "the user's key", o, keys("ralt", { o: "Backslash" }), "\\"],
    ["fast", "the user's key", sh, keys("ralt", { sh: "Backquote" }), "`"],
    // Keys that do not resolve are typed with the defaults.
    ["fast", "a code that is not a choice", sh, keys("ralt", { sh: "KeyZ" }), "W"],
    ["fast", "one key named twice", ch, keys("ralt", { sh: "KeyQ", ch: "KeyQ" }), "C"],
    ["hybrid", "default", sh, undefined, "Right Alt + S"],
    ["hybrid", "Right Ctrl", ch, keys("rctrl"), "Right Ctrl + C"],
    ["hybrid", "backquote", g, keys("backquote"), "` (~) + G"],
    ["hybrid", "an unknown extra key", o, keys("nope"), "Right Alt + O"],
    ["zero", "default", o, undefined, "o‘"],
    ["zero", "the user's keys", g, keys("rctrl", { g: "KeyQ" }), "g‘"],
    ["english", "default", sh, undefined, "—"],
    ["off", "default", ch, undefined, "—"],
  ])("%s, %s: %s → %s", (mode, _, row, set, caption) => {
    expect(keyCaption(mode, row, set)).toBe(caption);
  });

  it("the legend lists the letters in slot order with their example words", () => {
    expect(LETTER_LEGEND.map((row) => [row.letter, row.fast, row.hybrid, row.zero])).toEqual([
      ["ş", "W", "Right Alt + S", "sh"],
      ["ç", "C", "Right Alt + C", "ch"],
      ["ö", "[", "Right Alt + O", "o‘"],
      ["ğ", "]", "Right Alt + G", "g‘"],
    ]);
    expect(EXAMPLE_WORDS).toEqual({ ş: "şahar", ç: "çiroyli", ö: "özbek", ğ: "bağ" });
  });
});
