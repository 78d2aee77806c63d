import { describe, expect, it } from "vitest";
import { makeSnapshot } from "../test/fixtures";
import { statusSummary } from "./statusSummary";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;
const paused = { layout: { compatible: false, name: "Русская", reason: "bu tartibda W harflari yo‘q" } };
const kill = { killSwitch: { active: true, message: "" } };

describe("sidebar status summary: the first matching row wins", () => {
  it.each<[string, Over, string, string]>([
    ["kill switch over everything", { ...kill, ...paused, hook: "error", settings: { enabled: false } }, "warning", "Vaqtincha o‘chirilgan"],
    ["switched off over a hook error", { hook: "error", settings: { enabled: false } }, "muted", "O‘chirilgan"],
    ["hook error over a layout pause", { ...paused, hook: "error" }, "danger", "Xato"],
    ["hook error even in English", { hook: "error", settings: { mode: "english" } }, "danger", "Xato"],
    ["layout pause", { ...paused, settings: { mode: "fast" } }, "warning", "Pauzada · Русская"],
    ["a rule makes the pause relevant", { ...paused, settings: { mode: "english", apps: [{ name: "W", exe: "w.exe", mode: "hybrid" }] } }, "warning", "Pauzada · Русская"],
    ["English", { settings: { mode: "english" } }, "muted", "English · oddiy klaviatura"],
    ["Zero-learning ignores the layout", { ...paused, settings: { mode: "zero" } }, "success", "Yoqilgan · Zero-learning"],
    ["on", {}, "success", "Yoqilgan · Hybrid"],
  ])("%s", (_, over, tone, text) => {
    expect(statusSummary(makeSnapshot(over))).toMatchObject({ tone, text });
  });

  it.each<[string, Over["update"] | undefined, string]>([
    ["idle", undefined, "Tray‘da ishlaydi"],
    ["ready with a version", { ...makeSnapshot().update, phase: "ready", latest: "0.2.0" }, "Yangilash tayyor: 0.2.0"],
    ["ready without a version", { ...makeSnapshot().update, phase: "ready", latest: null }, "Tray‘da ishlaydi"],
    ["available", { ...makeSnapshot().update, phase: "available", latest: "0.2.0" }, "Tray‘da ishlaydi"],
  ])("the line below, update %s", (_, update, note) => {
    expect(statusSummary(makeSnapshot(update ? { update } : {})).note).toBe(note);
  });
});
