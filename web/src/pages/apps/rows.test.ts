import { describe, expect, it } from "vitest";
import type { AppInfo, AppRule } from "../../lib/types";
import { initial } from "./AppIcon";
import { buildRows, defaultNewMode, filterRows, iconLookup, type AppFilter } from "./rows";

const rule = (name: string, exe: string, mode: AppRule["mode"]): AppRule => ({ name, exe, mode });
const app = (name: string, exe: string, icon?: string): AppInfo => ({ name, exe, mode: null, ...(icon ? { icon } : {}) });

describe("table rows", () => {
  const rules = [rule("Word", "winword.exe", "fast"), rule("Excel", "excel.exe", "off"), rule("Telegram", "telegram.exe", "zero")];
  const running = [app("Notepad", "notepad.exe"), app("Telegram Desktop", "telegram.exe"), app("Chrome", "chrome.exe"), app("Notepad", "notepad.exe")];

  it("puts the rules first, then running programs without one, each by name; the foreground program counts as open", () => {
    const rows = buildRows(rules, running, app("Word", "winword.exe"));
    expect(rows.map((r) => [r.name, r.mode, r.open])).toEqual([
      ["Excel", "off", false],
      ["Telegram", "zero", true],
      ["Word", "fast", true],
      ["Chrome", null, true],
      ["Notepad", null, true],
    ]);
  });

  it("sorts by the locale's collation, not by code points", () => {
    const rows = buildRows([], [app("zoom", "zoom.exe"), app("Ábc", "abc.exe"), app("Bar", "bar.exe")], null);
    expect(rows.map((r) => r.name)).toEqual(["Ábc", "Bar", "zoom"]);
  });

  const rows = buildRows(rules, running, null);
  it.each<[AppFilter, string, string[]]>([
    ["all", "", ["Excel", "Telegram", "Word", "Chrome", "Notepad"]],
    ["rule", "", ["Excel", "Telegram", "Word"]],
    ["open", "", ["Telegram", "Chrome", "Notepad"]],
    ["all", "  WORD ", ["Word"]],
    ["all", "exe", ["Excel", "Telegram", "Word", "Chrome", "Notepad"]],
    ["all", "chrome.E", ["Chrome"]],
    ["rule", "note", []],
    ["open", "tele", ["Telegram"]],
  ])("filter %s, search %j", (filter, search, names) => {
    expect(filterRows(rows, filter, search).map((r) => r.name)).toEqual(names);
  });
});

describe("icons", () => {
  it("takes the running entry's icon before the installed entry's", () => {
    const iconOf = iconLookup(
      [app("A", "a.exe", "data:run-a"), app("B", "b.exe")],
      [app("A", "a.exe", "data:inst-a"), app("B", "b.exe", "data:inst-b")],
    );
    expect([iconOf("a.exe"), iconOf("b.exe"), iconOf("c.exe")]).toEqual(["data:run-a", "data:inst-b", undefined]);
  });

  it.each([
    ["telegram", "T"],
    ["ötkir", "Ö"],
    ["", "?"],
    ["   ", "?"],
  ])("the tile of %j shows %j", (name, letter) => {
    expect(initial(name)).toBe(letter);
  });
});

describe("default mode of a new rule", () => {
  it.each([
    [true, "zero", "zero"],
    [true, "hybrid", "hybrid"],
    [true, "english", "fast"],
    [false, "zero", "fast"],
  ] as const)("enabled %s, mode %s → %s", (enabled, mode, expected) => {
    expect(defaultNewMode({ enabled, mode })).toBe(expected);
  });
});
