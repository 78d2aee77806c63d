import { describe, expect, it } from "vitest";
import type { FastKeys } from "../../lib/types";
import type { KeySet } from "../../typing/keys";
import { initialKeymapMode, keyboardNote, keyboardRows, spellingCards, type DrawnRow } from "./keymap";

const keys = (hybrid = "ralt", fast: Partial<FastKeys> = {}): KeySet => ({
  hybrid,
  fast: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight", ...fast },
});

const badges = (rows: DrawnRow[]) =>
  Object.fromEntries(rows.flatMap((r) => r.keys.filter((k) => k.badge).map((k) => [k.label, k.badge])));
const extras = (rows: DrawnRow[]) => rows.flatMap((r) => r.keys.filter((k) => k.extra).map((k) => `${k.label}/${k.width}`));
const rowText = (row: DrawnRow) => row.keys.map((k) => k.label || "␣").join(" ");

describe("on-screen keyboard", () => {
  it("draws the fixed rows with their indents and widths", () => {
    const rows = keyboardRows("hybrid", keys());
    expect(rows.map(rowText)).toEqual([
      "Q W E R T Y U I O P [ ] \\",
      "A S D F G H J K L ; '",
      "Z X C V B N M",
      "Ctrl Alt ␣ Right Alt Right Ctrl",
    ]);
    expect(rows.map((r) => r.indent)).toEqual([0, 22, 52, 0]);
    expect(rows[3].keys.map((k) => k.width)).toEqual([66, 66, 250, 96, 86]);
    expect(rows.slice(0, 3).every((r) => r.keys.every((k) => k.width === 48))).toBe(true);
  });

  // mode, keys → badges by key label, highlighted extra key(s)
  it.each<[string, "fast" | "hybrid", KeySet, Record<string, string>, string[]]>([
    ["hybrid marks S, C, O and G", "hybrid", keys(), { S: "ş", C: "ç", O: "ö", G: "ğ" }, ["Right Alt/96"]],
    ["hybrid ignores the fast keys", "hybrid", keys("rctrl", { sh: "KeyQ" }), { S: "ş", C: "ç", O: "ö", G: "ğ" }, ["Right Ctrl/86"]],
    ["fast marks the default keys", "fast", keys(), { W: "ş", C: "ç", "[": "ö", "]": "ğ" }, ["Right Alt/96"]],
    [
      "fast marks the user's keys",
      "fast",
      keys("ralt", { sh: "KeyQ", ch: "KeyX", o: "Semicolon", g: "Quote" }),
      { Q: "ş", X: "ç", ";": "ö", "'": "ğ" },
      ["Right Alt/96"],
    ],
    ["a fast key on Backquote has no drawn key", "fast", keys("ralt", { sh: "Backquote", o: "Backslash" }), { C: "ç", "\\": "ö", "]": "ğ" }, ["Right Alt/96"]],
    ["fast keys that do not resolve fall back to the defaults", "fast", keys("ralt", { sh: "KeyC" }), { W: "ş", C: "ç", "[": "ö", "]": "ğ" }, ["Right Alt/96"]],
    ["Caps Lock as the extra key leads the home row", "fast", keys("caps"), { W: "ş", C: "ç", "[": "ö", "]": "ğ" }, ["Caps/70"]],
    ["any other extra key is added with its label", "hybrid", keys("f13"), { S: "ş", C: "ç", O: "ö", G: "ğ" }, ["F13/96"]],
    ["the backquote extra key", "fast", keys("backquote"), { W: "ş", C: "ç", "[": "ö", "]": "ğ" }, ["` (~)/96"]],
    ["an unknown extra key is Right Alt", "hybrid", keys("nonsense"), { S: "ş", C: "ç", O: "ö", G: "ğ" }, ["Right Alt/96"]],
  ])("%s", (_, mode, set, expectedBadges, expectedExtras) => {
    const rows = keyboardRows(mode, set);
    expect(badges(rows)).toEqual(expectedBadges);
    expect(extras(rows)).toEqual(expectedExtras);
  });

  it("the Caps key takes the home row's indent", () => {
    const rows = keyboardRows("hybrid", keys("caps"));
    expect(rows[1].indent).toBe(0);
    expect(rowText(rows[1])).toBe("Caps A S D F G H J K L ; '");
    expect(rowText(rows[3])).toBe("Ctrl Alt ␣ Right Alt Right Ctrl");
  });
});

describe("texts", () => {
  it.each([
    ["hybrid", "hybrid"],
    ["fast", "fast"],
    ["zero", "zero"],
    ["english", "hybrid"],
  ] as const)("global mode %s opens the key map on %s", (mode, shown) => {
    expect(initialKeymapMode(mode)).toBe(shown);
  });

  it("spelling cards of Zero-learning, dashes for English", () => {
    expect(spellingCards("zero").map((c) => `${c.spelling}→${c.letter}`)).toEqual(["sh→ş", "ch→ç", "o‘→ö", "g‘→ğ"]);
    expect(spellingCards("english").map((c) => c.spelling)).toEqual(["—", "—", "—", "—"]);
  });

  it.each([
    [
      "fast",
      "Right Ctrl",
      "Shift: katta harf. Right Ctrl + tugma: tugmaning asl belgisi. Fast’da to‘rt tugma o‘zbekcha harfga aylanadi. Bu yerda faqat ko‘rsatiladi; haqiqiy rejim Asosiy yoki tray’da almashtiriladi.",
    ],
    [
      "hybrid",
      "Right Alt",
      "Shift: katta harf. Boshqa tugmalar o‘zgarmaydi. Bu yerda faqat ko‘rsatiladi; haqiqiy rejim Asosiy yoki tray’da almashtiriladi.",
    ],
  ] as const)("the %s note", (mode, extra, text) => expect(keyboardNote(mode, extra)).toBe(text));
});
