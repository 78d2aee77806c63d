import { describe, expect, it } from "vitest";
import { makeSnapshot } from "../test/fixtures";
import { downloadPageUrl, layoutPaused, layoutPauseRelevant, selfUpdatePossible } from "./derived";
import { ruleLabel } from "./modes";
import type { AppRule, ModeName, UpdateInfo } from "./types";

const update = (fields: Partial<UpdateInfo>) => makeSnapshot({ update: { ...makeSnapshot().update, ...fields } });

describe("self-update", () => {
  it.each([
    [false, true, true],
    [true, true, false],
    [false, false, false],
    [true, false, false],
  ])("portable %s, signature key %s → %s", (portable, sigConfigured, expected) => {
    expect(selfUpdatePossible(update({ portable, sigConfigured }))).toBe(expected);
  });
});

describe("download page", () => {
  it.each([
    [true, "https://harvel.uz/portable", "https://harvel.uz/portable"],
    [true, "", "https://harvel.uz/yuklab-olish"],
    [true, null, "https://harvel.uz/yuklab-olish"],
    [false, "https://harvel.uz/portable", "https://harvel.uz/yuklab-olish"],
  ])("portable %s with portableUrl %j → %s", (portable, portableUrl, expected) => {
    expect(downloadPageUrl(update({ portable, portableUrl }))).toBe(expected);
  });
});

describe("layout pause", () => {
  const rule = (mode: AppRule["mode"]): AppRule => ({ name: "App", exe: "app.exe", mode });

  // enabled, global mode, rule modes, layout compatible → relevant, paused
  it.each<[boolean, ModeName, AppRule["mode"][], boolean, boolean, boolean]>([
    [true, "fast", [], false, true, true],
    [true, "hybrid", [], false, true, true],
    [true, "hybrid", [], true, true, false],
    [true, "zero", [], false, false, false],
    [true, "english", ["off", "zero", "english"], false, false, false],
    [true, "english", ["zero", "fast"], false, true, true],
    [true, "zero", ["hybrid"], false, true, true],
    [false, "fast", ["hybrid"], false, false, false],
  ])("enabled %s, mode %s, rules %j, compatible %s → relevant %s, paused %s", (enabled, mode, rules, compatible, relevant, paused) => {
    const state = makeSnapshot({
      settings: { enabled, mode, apps: rules.map(rule) },
      layout: { compatible, name: "Русская", reason: compatible ? null : "bu tartibda W, C harflari yo‘q" },
    });
    expect(layoutPauseRelevant(state)).toBe(relevant);
    expect(layoutPaused(state)).toBe(paused);
  });
});

describe("mode labels", () => {
  it.each([
    ["english", "English"],
    ["fast", "Fast"],
    ["hybrid", "Hybrid"],
    ["zero", "Zero-learning"],
    ["off", "O‘chiq"],
  ] as const)("%s → %s", (mode, label) => {
    expect(ruleLabel(mode)).toBe(label);
  });
});
