import { act, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { beforeEach, describe, expect, it } from "vitest";
import { bannersIn, renderAt, sent, withFacade, type BannerText } from "../components/testUtils";
import { resetUpdateFlags } from "../components/update/updateFlags";
import type { AppInfo } from "../lib/types";
import { makeSnapshot } from "../test/fixtures";
import { HomePage } from "./HomePage";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;

beforeEach(resetUpdateFlags);

function home(over: Over = {}) {
  const fake = withFacade();
  const view = renderAt(<HomePage state={makeSnapshot(over)} />);
  return { fake, ...view };
}

const app = (mode: AppInfo["mode"], name = "Telegram"): AppInfo => ({ exe: "telegram.exe", name, mode });
const kill = (message: string | null = null) => ({ killSwitch: { active: true, message } });
const hookError = (error: string | null = "SetWindowsHookEx: 5") => ({ hook: "error" as const, hookError: error });
const russian = (reason: string | null = "bu tartibda W, C harflari yo‘q") => ({
  layout: { compatible: false, name: "Русская", reason },
});

describe("status card", () => {
  // snapshot → badge, title, note, header subtitle, switch on, switch locked
  it.each<[string, Over, string, string, string, string, boolean, boolean]>([
    ["kill", { ...kill(), settings: { enabled: false } }, "Vaqtincha o‘chirilgan", "Harvel vaqtincha o‘chirilgan", "Xizmat tomonidan to‘xtatilgan. Yozganingiz o‘zgarmaydi.", "Hozircha yoqib bo‘lmaydi.", false, true],
    ["off", { settings: { enabled: false }, ...hookError() }, "O‘chirilgan", "Harvel o‘chirilgan", "Yozganingiz o‘zgarmaydi. Qayta yoqish uchun tugmani bosing.", "Harvel hozir o‘chirilgan.", false, false],
    ["hook down", hookError(), "To‘xtagan", "Hozir: kuzatuv to‘xtagan", "Harflar almashmayapti.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
    ["English, even with the hook down", { settings: { mode: "english" }, ...hookError() }, "English", "English: oddiy klaviatura", "Harflar almashmayapti, yozganingiz o‘zgarmaydi.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
    ["on, no program", {}, "Yoqilgan", "Yoqilgan", "Yoqilgan. Istalgan dasturda yozing.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
    ["on, program without a rule", { currentApp: app(null, "Word") }, "Yoqilgan", "Hozir: Word — Hybrid (umumiy rejim)", "Bu dastur uchun qoida yo‘q, umumiy rejim ishlayapti.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
    ["on, program with a rule", { currentApp: app("zero") }, "Yoqilgan", "Hozir: Telegram — Zero-learning (qoida)", "Bu dastur uchun alohida qoida ishlayapti.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
    ["on, rule off", { currentApp: app("off") }, "Yoqilgan", "Hozir: Telegram — O‘chiq (qoida)", "Bu dastur uchun alohida qoida ishlayapti.", "Yangi harflar ş, ç, ö, ğ — barcha dasturlarda.", true, false],
  ])("%s", (_, over, badge, title, note, subtitle, on, locked) => {
    const { container } = home(over);
    const card = screen.getByRole("region", { name: "Holat" });
    expect(card.querySelector("[data-tone]")).toHaveTextContent(badge);
    expect(card.querySelector("[data-status-title]")).toHaveTextContent(title, { normalizeWhitespace: false });
    expect(card.querySelector("[data-status-note]")).toHaveTextContent(note);
    expect(container.querySelector("header p:last-child")).toHaveTextContent(subtitle);

    const master = screen.getByRole("switch", { name: "Harvel yoqilgan" });
    expect(master).toHaveAttribute("aria-checked", String(on));
    expect(master.hasAttribute("disabled")).toBe(locked);
  });

  it("the switch sends enabled_set", async () => {
    const { fake } = home();
    await userEvent.click(screen.getByRole("switch", { name: "Harvel yoqilgan" }));
    expect(sent(fake)).toEqual([["enabled_set", { on: false }]]);
  });
});

describe("banners", () => {
  const b = (tone: string, title: string | null, text: string | null, buttons: string[] = []): BannerText => ({
    tone,
    title,
    text,
    buttons,
  });
  const KILL = "Bu sizning sozlamangiz emas. Xizmat qayta yoqilgach o‘zi ishlaydi.";
  const HOOK = "Yozganingiz o‘zgarmaydi. Qayta ishga tushirib ko‘ring.";
  const SWITCH = "Win+Space bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting. Zero-learning bu tartibda ham ishlaydi.";

  it.each<[string, Over, BannerText[]]>([
    ["none when all is well", {}, []],
    ["kill with its message", kill("Texnik ishlar."), [b("warning", "Harvel vaqtincha o‘chirilgan", `${KILL} Texnik ishlar.`)]],
    ["kill with an empty message", kill(""), [b("warning", "Harvel vaqtincha o‘chirilgan", KILL)]],
    ["kill hides the hook and layout banners", { ...kill(), ...hookError(), ...russian(), settings: { mode: "fast" } }, [b("warning", "Harvel vaqtincha o‘chirilgan", KILL)]],
    ["hook down with its error", hookError(), [b("danger", "Klaviatura kuzatuvi ishlamayapti", `${HOOK} SetWindowsHookEx: 5`, ["Qayta ishga tushirish"])]],
    ["hook down without an error text", hookError(null), [b("danger", "Klaviatura kuzatuvi ishlamayapti", HOOK, ["Qayta ishga tushirish"])]],
    ["no hook banner in English", { ...hookError(), settings: { mode: "english" } }, []],
    ["no hook banner while off", { ...hookError(), settings: { enabled: false } }, []],
    ["layout pause with a reason", { ...russian(), settings: { mode: "fast" } }, [b("warning", "Fast/Hybrid pauzada · Русская", `Sabab: bu tartibda W, C harflari yo‘q. ${SWITCH}`)]],
    ["layout pause without a reason", { ...russian(null) }, [b("warning", "Fast/Hybrid pauzada · Русская", SWITCH)]],
    ["no pause for Zero-learning", { ...russian(), settings: { mode: "zero" } }, []],
    ["shortcut taken", { hotkeyOk: false }, [b("warning", null, "Tez tugma band bo‘lgani uchun ishlamayapti. Boshqasini tanlang.", ["Sozlamalar"])]],
    [
      "in their order",
      { ...hookError(), ...russian(null), hotkeyOk: false, update: { ...makeSnapshot().update, outdated: true, phase: "available", latest: "0.3.0" } },
      [
        b("danger", "Klaviatura kuzatuvi ishlamayapti", `${HOOK} SetWindowsHookEx: 5`, ["Qayta ishga tushirish"]),
        b("warning", "Fast/Hybrid pauzada · Русская", SWITCH),
        b("warning", "Versiyangiz eskirgan, yangilang", "0.1.7 endi qo‘llab-quvvatlanmaydi. Yozish bloklanmaydi, lekin yangilash zarur. Banner yangilangunga qadar turadi.", ["Yangilash"]),
        b("warning", null, "Tez tugma band bo‘lgani uchun ishlamayapti. Boshqasini tanlang.", ["Sozlamalar"]),
      ],
    ],
  ])("%s", (_, over, expected) => {
    const { container } = home(over);
    expect(bannersIn(container)).toEqual(expected);
  });

  it("the hook banner retries and the shortcut banner opens the settings", async () => {
    const view = home({ ...hookError(), hotkeyOk: false });
    await userEvent.click(screen.getByRole("button", { name: "Qayta ishga tushirish" }));
    expect(sent(view.fake)).toEqual([["hook_retry", {}]]);
    await userEvent.click(screen.getByRole("button", { name: "Sozlamalar" }));
    expect(view.where()).toBe("/settings");
  });
});

describe("mode tabs", () => {
  const tabs = () => screen.getAllByRole("tab");
  const selected = () => screen.getByRole("tab", { selected: true }).textContent;

  it("lists the five choices in order", () => {
    home();
    expect(tabs().map((t) => t.textContent)).toEqual(["Fast", "Hybrid", "Zero-learning", "English", "O‘chiq"]);
  });

  // snapshot → heading, its note, selected tab, all disabled, card dimmed
  it.each<[string, Over, string, string, string, boolean, boolean]>([
    ["global mode", { settings: { mode: "zero" } }, "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "Zero-learning", false, false],
    ["off", { settings: { enabled: false } }, "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "O‘chiq", false, true],
    ["kill", kill(), "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "Hybrid", true, true],
    ["hook down", hookError(), "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "Hybrid", false, true],
    ["program rule", { currentApp: app("fast") }, "Shu dastur rejimi", "Dasturlar sahifasida o‘zgartiriladi", "Fast", true, false],
    ["program rule off", { currentApp: app("off") }, "Shu dastur rejimi", "Dasturlar sahifasida o‘zgartiriladi", "O‘chiq", true, false],
    ["program without a rule", { currentApp: app(null) }, "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "Hybrid", false, false],
    ["a rule is not shown while off", { currentApp: app("fast"), settings: { enabled: false } }, "Umumiy rejim", "Qoidasi yo‘q dasturlar uchun", "O‘chiq", false, true],
  ])("%s", (_, over, heading, note, tab, locked, dim) => {
    home(over);
    const card = screen.getByRole("region", { name: heading });
    expect(card).toHaveTextContent(note);
    expect(selected()).toBe(tab);
    expect(tabs().every((t) => t.hasAttribute("disabled"))).toBe(locked);
    expect(card.hasAttribute("data-dim")).toBe(dim);
    expect(screen.getByRole("textbox", { name: "Tezkor sinov" }).hasAttribute("disabled")).toBe(dim);
  });

  it.each<[string, Over, string, [string, unknown][]]>([
    ["a mode while off: mode_set, then enabled_set", { settings: { enabled: false } }, "English", [["mode_set", { mode: "english" }], ["enabled_set", { on: true }]]],
    ["a mode while on: mode_set only", {}, "Fast", [["mode_set", { mode: "fast" }]]],
    ["O‘chiq: switches conversion off", {}, "O‘chiq", [["enabled_set", { on: false }]]],
    ["the current global mode while off switches on", { settings: { enabled: false } }, "Hybrid", [["mode_set", { mode: "hybrid" }], ["enabled_set", { on: true }]]],
  ])("choosing %s", async (_, over, tab, expected) => {
    const { fake } = home(over);
    await userEvent.click(screen.getByRole("tab", { name: tab }));
    await act(async () => {});
    expect(sent(fake)).toEqual(expected);
  });

  it("waits for mode_set before switching on", async () => {
    const { fake } = home({ settings: { enabled: false } });
    let answer!: () => void;
    fake.invoke.mockImplementationOnce(() => new Promise<null>((done) => (answer = () => done(null))));
    await userEvent.click(screen.getByRole("tab", { name: "Fast" }));
    expect(sent(fake)).toEqual([["mode_set", { mode: "fast" }]]);
    await act(async () => answer());
    expect(sent(fake).map(([name]) => name)).toEqual(["mode_set", "enabled_set"]);
  });
});

describe("legend", () => {
  const captions = () =>
    [...document.querySelectorAll("[data-letter] [data-caption]")].map((el) => el.textContent);
  const note = () => document.querySelector("[data-legend-note]")?.textContent ?? null;
  const dashes = ["—", "—", "—", "—"];

  it.each<[string, Over, (string | null)[], string | null]>([
    ["hybrid", {}, ["Right Alt + S", "Right Alt + C", "Right Alt + O", "Right Alt + G"], "Oddiy s, c, o, g o‘zgarmaydi. Right Alt bilan yangi harf chiqadi."],
    ["hybrid on Right Ctrl", { settings: { hybridKey: "rctrl" } }, ["Right Ctrl + S", "Right Ctrl + C", "Right Ctrl + O", "Right Ctrl + G"], "Oddiy s, c, o, g o‘zgarmaydi. Right Ctrl bilan yangi harf chiqadi."],
    ["fast with the user's keys", { settings: { mode: "fast", hybridKey: "caps", fastKeys: { sh: "KeyQ", ch: "KeyX", o: "Semicolon", g: "Quote" } } }, ["Q", "X", ";", "'"], "Caps Lock bosib turilsa tugmaning asl belgisi chiqadi."],
    ["zero", { settings: { mode: "zero" } }, ["sh", "ch", "o‘", "g‘"], "Odatdagidek yozing: sh, ch, o‘, g‘ yozilgan zahoti ş, ç, ö, ğ ga aylanadi."],
    ["english", { settings: { mode: "english" } }, dashes, null],
    ["a rule off", { currentApp: app("off") }, dashes, null],
    ["a rule's mode", { currentApp: app("zero") }, ["sh", "ch", "o‘", "g‘"], "Odatdagidek yozing: sh, ch, o‘, g‘ yozilgan zahoti ş, ç, ö, ğ ga aylanadi."],
    ["off: the global mode, dimmed with the card", { settings: { enabled: false, mode: "fast" } }, ["W", "C", "[", "]"], "Right Alt bosib turilsa tugmaning asl belgisi chiqadi."],
    ["kill: the global mode", { ...kill(), currentApp: app("off"), settings: { mode: "zero" } }, ["sh", "ch", "o‘", "g‘"], "Odatdagidek yozing: sh, ch, o‘, g‘ yozilgan zahoti ş, ç, ö, ğ ga aylanadi."],
  ])("%s", (_, over, expected, text) => {
    home(over);
    expect(captions()).toEqual(expected);
    expect(note()).toBe(text);
  });
});

describe("quick test box", () => {
  async function typeIn(over: Over, keys: string) {
    home(over);
    const box = screen.getByRole("textbox", { name: "Tezkor sinov" });
    expect(box).toHaveAttribute("placeholder", "Shu yerga yozib ko‘ring: şahar, çiroq…");
    await userEvent.type(box, keys);
    return (box as HTMLTextAreaElement).value;
  }

  it.each<[string, Over, string, string]>([
    ["runs the global mode", { settings: { mode: "zero" } }, "shahar", "şahar"],
    ["runs the program's rule", { settings: { mode: "english" }, currentApp: app("zero") }, "shahar", "şahar"],
    ["runs English for a rule off", { settings: { mode: "zero" }, currentApp: app("off") }, "shahar", "shahar"],
    ["uses the user's fast keys", { settings: { mode: "fast", fastKeys: { sh: "KeyQ", ch: "KeyC", o: "BracketLeft", g: "BracketRight" } } }, "qw", "şw"],
  ])("%s", async (_, over, keys, text) => {
    expect(await typeIn(over, keys)).toBe(text);
  });
});

describe("home advertisement", () => {
  const card = { id: "c1", title: "Savodxon", text: "Lug‘at", url: "https://savodxon.uz", label: "Reklama" };
  it.each([
    [true, true],
    [false, false],
  ])("offers %s → banner shown %s", (offers, shown) => {
    const { container } = home({ settings: { offers }, ads: { ...makeSnapshot().ads, home: card } });
    expect(container.querySelector("[data-variant=banner]") !== null).toBe(shown);
  });
});
