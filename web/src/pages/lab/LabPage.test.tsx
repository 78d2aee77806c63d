import { act, fireEvent, screen } from "@testing-library/react";
import { afterEach, beforeEach, describe, expect, it, vi } from "vitest";
import { bannersIn, renderAt, sent, withFacade, type BannerText } from "../../components/testUtils";
import { makeSnapshot } from "../../test/fixtures";
import { resetKeyState } from "../../typing/engine";
import { SimKeyboard } from "../../typing/simulate";
import { LabPage } from "../LabPage";
import { HISTORY_KEY, type HistoryRecord } from "./history";
import { SENTENCES } from "./sentences";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;

const START = new Date("2025-03-01T10:00:00.000Z");
// With a random source of 0 every run types the first sentences in order.
const TEXT30 = SENTENCES.slice(0, 3).join(" ");

beforeEach(() => {
  localStorage.clear();
  resetKeyState();
  vi.useFakeTimers({ now: START, toFake: ["Date", "setInterval", "clearInterval", "setTimeout", "clearTimeout"] });
  vi.spyOn(Math, "random").mockReturnValue(0);
});
afterEach(() => vi.useRealTimers());

function lab(over: Over = {}) {
  const fake = withFacade();
  const view = renderAt(<LabPage state={makeSnapshot(over)} />, "/lab");
  return { fake, ...view };
}

const click = (name: string) => fireEvent.click(screen.getByRole("button", { name }));
const field = () => screen.getByRole("textbox", { name: "Matnni yozing" }) as HTMLTextAreaElement;
const input = (value: string) => fireEvent.change(field(), { target: { value } });
const wait = (ms: number) => act(() => vi.advanceTimersByTime(ms));
const title = () => [screen.getByRole("heading", { level: 1 }).textContent, document.querySelector("header p:last-child")?.textContent];
const figure = (label: string) => document.querySelector(`[data-figure="${label}"]`)?.textContent;
const stored = (): HistoryRecord[] | null => JSON.parse(localStorage.getItem(HISTORY_KEY) ?? "null");
const rec = (wpm: number, i = 0, over: Partial<HistoryRecord> = {}): HistoryRecord => ({
  wpm,
  accuracy: 90 + i,
  errors: i,
  seconds: 30,
  date: `2025-02-0${1 + i}T08:00:00.000Z`,
  ...over,
});

/** Types the first character, waits `seconds`, then the rest of the run's text. */
function typePerfectly(seconds: number, text = TEXT30) {
  input(text[0]);
  wait(seconds * 1000);
  input(text);
}

describe("notice and lock", () => {
  const KILL: BannerText = {
    tone: "warning",
    title: "Harvel vaqtincha o‘chirilgan",
    text: "Bu sizning sozlamangiz emas. Xizmat qayta yoqilgach o‘zi ishlaydi.",
    buttons: [],
  };
  const notice = (text: string, buttons: string[] = ["Yoqish"]): BannerText => ({ tone: "warning", title: null, text, buttons });
  const OFF = "Harvel o‘chiq: yangi harflar chiqmaydi. Mashq uchun yoqing.";
  const HOOK = "Klaviatura kuzatuvi ishlamayapti: yangi harflar chiqmaydi.";
  const kill = { killSwitch: { active: true, message: "Texnik ishlar." } };

  // snapshot → banners above the exercise (the key map's note left out), what "Yoqish" sends
  it.each<[string, Over, BannerText[], [string, unknown][]]>([
    ["conversion off", { settings: { enabled: false } }, [notice(OFF)], [["enabled_set", { on: true }]]],
    ["off and English", { settings: { enabled: false, mode: "english" } }, [notice(OFF)], [["mode_set", { mode: "hybrid" }]]],
    // Switching on would leave English as it is: a mode that types the new letters is chosen.
    ["English", { settings: { mode: "english" } }, [notice(OFF)], [["mode_set", { mode: "hybrid" }]]],
    ["hook down", { hook: "error", hookError: "x" }, [notice(HOOK)], [["hook_retry", {}]]],
    ["kill switch", kill, [KILL, notice("Harvel vaqtincha o‘chirilgan: yangi harflar chiqmaydi.", [])], []],
    ["kill switch before the hook", { ...kill, hook: "error" }, [KILL, notice("Harvel vaqtincha o‘chirilgan: yangi harflar chiqmaydi.", [])], []],
  ])("%s", (_, over, banners, commands) => {
    const { fake } = lab(over);
    const exercise = screen.getByTestId("exercise");
    expect(bannersIn(document.body).filter((b) => b.tone === "warning")).toEqual(banners);
    expect(exercise).toHaveAttribute("data-disabled");
    expect(screen.getByRole("button", { name: "Birinchi mashqni boshlash" })).toBeDisabled();
    if (banners.at(-1)!.buttons.length) click("Yoqish");
    expect(sent(fake)).toEqual(commands);
  });

  it("no notice when all is well", () => {
    lab();
    expect(bannersIn(document.body).filter((b) => b.tone === "warning")).toEqual([]);
    expect(screen.getByTestId("exercise")).not.toHaveAttribute("data-disabled");
  });
});

describe("select screen", () => {
  it("empty history: a first-run card, then the header and tabs", () => {
    lab();
    expect(title()).toEqual(["Mashq", "30 yoki 60 soniyada yozing, tezlik va aniqligingizni ko‘ring."]);
    expect(screen.getByText("Hali mashq qilinmagan")).toBeInTheDocument();
    expect(screen.getByText("Faqat shu brauzerda")).toBeInTheDocument();
    const tabs = screen.getByRole("tablist", { name: "Davomiyligi" });
    expect([...tabs.querySelectorAll("[role=tab]")].map((t) => t.textContent)).toEqual(["30 soniya", "60 soniya"]);
    expect(screen.queryByRole("button", { name: "Tugatish" })).toBeNull();
    // The key map sits under the exercise.
    expect(screen.getByRole("heading", { name: "Tugmalar xaritasi" })).toBeInTheDocument();
  });

  it.each([
    ["a broken value", "{not json"],
    ["a foreign value", JSON.stringify({ wpm: 99 })],
  ])("%s reads as an empty history and is replaced by the next run", (_, value) => {
    localStorage.setItem(HISTORY_KEY, value);
    localStorage.setItem("harvel.other", "kept");
    lab();
    expect(screen.getByText("Hali mashq qilinmagan")).toBeInTheDocument();
    click("Birinchi mashqni boshlash");
    typePerfectly(12);
    expect(stored()).toHaveLength(1);
    expect(localStorage.getItem("harvel.other")).toBe("kept");
  });

  it("with a history: best speed and the last five, newest first", () => {
    const history = [rec(40, 0), rec(64, 1), rec(20, 2), rec(64, 3), rec(32, 4, { seconds: 60 }), rec(16, 5), rec(48, 6)];
    localStorage.setItem(HISTORY_KEY, JSON.stringify(history));
    const { where } = lab();
    const cards = [...screen.getByTestId("exercise").querySelectorAll("h2")].map((h) => h.textContent);
    expect(cards).toEqual(["Barmoq joylashuvi", "Davomiyligi", "Bu mashqdagi 4 harf", "Progress"]);
    expect(screen.getByText(/^Eng yaxshi:/).textContent).toBe("Eng yaxshi: 64 WPM · oxirgi natijalar");
    const rows = [...screen.getByRole("list", { name: "Oxirgi natijalar" }).querySelectorAll("li")];
    expect(rows.map((r) => r.textContent)).toEqual([
      "48 WPM96% · 30s",
      "16 WPM95% · 30s",
      "32 WPM94% · 60s",
      "64 WPM93% · 30s",
      "20 WPM92% · 30s",
    ]);
    const bars = rows.map((r) => r.querySelector("[role=progressbar]")?.getAttribute("aria-valuenow"));
    expect(bars).toEqual(["75", "25", "50", "100", "31"]);
    expect(screen.getByRole("img", { name: "şahar" })).toHaveTextContent("ş");
    expect(screen.getByRole("img", { name: "bağ" })).toHaveTextContent("ğ");
    click("Tugatish");
    expect(where()).toBe("/");
  });
});

describe("a run", () => {
  it("runs with the chosen duration, hides the key map and ends when the text is complete", () => {
    lab();
    fireEvent.mouseDown(screen.getByRole("tab", { name: "60 soniya" }));
    click("Birinchi mashqni boshlash");
    expect(title()).toEqual(["Mashq · 60 soniya", "Yozishda davom eting."]);
    expect(screen.queryByRole("heading", { name: "Tugmalar xaritasi" })).toBeNull();
    expect(field()).toHaveFocus();
    expect([figure("VAQT"), figure("TEZLIK (WPM)"), figure("ANIQLIK")]).toEqual(["1:00", "0", "100%"]);

    const text = SENTENCES.slice(0, 5).join(" ");
    expect(screen.getByTestId("run-text").textContent).toBe(text);
    input("Öz");
    wait(20_500);
    expect([figure("VAQT"), figure("TEZLIK (WPM)")]).toEqual(["0:40", "1"]);
    expect(screen.getByRole("progressbar", { name: "Vaqt o‘tishi" })).toHaveAttribute("aria-valuenow", "34");

    input(text);
    const c = Array.from(text).length;
    const wpm = Math.round(c / 5 / (20.5 / 60));
    expect(title()).toEqual(["Natija", "60 soniyalik mashq tugadi."]);
    expect([figure("TEZLIK (WPM)"), figure("ANIQLIK"), figure("XATOLAR")]).toEqual([String(wpm), "100%", "0"]);
    expect(stored()).toEqual([{ wpm, accuracy: 100, errors: 0, seconds: 60, date: "2025-03-01T10:00:20.500Z" }]);
    expect(bannersIn(document.body)[0]).toMatchObject({ tone: "success", title: "Natija shu brauzerda saqlandi", text: "Serverga hech narsa yuborilmadi." });
    expect(screen.queryByTestId("previous-best")).toBeNull();
    expect(screen.getByRole("heading", { name: "Tugmalar xaritasi" })).toBeInTheDocument();
  });

  it("shows each character's state", () => {
    lab();
    click("Birinchi mashqni boshlash");
    input("Özx");
    const states = [...screen.getByTestId("run-text").children].slice(0, 5).map((s) => s.getAttribute("data-state"));
    expect(states).toEqual(["ok", "ok", "wrong", "next", "rest"]);
  });

  it("ends when the time is up", () => {
    lab();
    click("Birinchi mashqni boshlash");
    input("Özbek");
    wait(29_900);
    expect(title()[0]).toBe("Mashq · 30 soniya");
    wait(100);
    expect(title()).toEqual(["Natija", "30 soniyalik mashq tugadi."]);
    expect(stored()).toEqual([{ wpm: 2, accuracy: 100, errors: 0, seconds: 30, date: "2025-03-01T10:00:30.000Z" }]);
  });

  it("Escape before any input goes back without a record", () => {
    lab();
    click("Birinchi mashqni boshlash");
    fireEvent.keyDown(field(), { key: "Escape", code: "Escape" });
    expect(title()[0]).toBe("Mashq");
    expect(screen.getByText("Hali mashq qilinmagan")).toBeInTheDocument();
    expect(stored()).toBeNull();
  });

  it("Escape after half a second counts one second and ends early", () => {
    lab();
    click("Birinchi mashqni boshlash");
    input("Özbek");
    wait(500);
    fireEvent.keyDown(field(), { key: "Escape", code: "Escape" });
    expect(title()).toEqual(["Natija", "Mashq to‘xtatildi."]);
    // 5 correct characters in 1 second.
    expect(stored()![0]).toMatchObject({ wpm: 60, accuracy: 100, errors: 0, seconds: 30 });
  });

  it("blocks pasting; Enter types nothing", () => {
    lab();
    click("Birinchi mashqni boshlash");
    expect(fireEvent.paste(field())).toBe(false);
    expect(fireEvent.keyDown(field(), { key: "Enter", code: "Enter" })).toBe(false);
  });

  it("typing goes through the engine of the global mode", () => {
    lab({ settings: { mode: "zero" } });
    click("Birinchi mashqni boshlash");
    const kb = new SimKeyboard(field());
    kb.type("O'zbekiston");
    expect(field().value).toBe("Özbekiston");
    // The "O" that the engine turned into "Ö" is no error.
    expect(figure("ANIQLIK")).toBe("100%");
  });

  it("uses the user's extra key", () => {
    lab({ settings: { mode: "hybrid", hybridKey: "rctrl" } });
    click("Birinchi mashqni boshlash");
    const kb = new SimKeyboard(field());
    kb.press("ShiftLeft");
    kb.press("ControlRight");
    kb.tap("KeyO");
    kb.release("ControlRight");
    kb.release("ShiftLeft");
    expect(field().value).toBe("Ö");
  });

  it("Qayta boshlash starts a new run", () => {
    lab();
    click("Birinchi mashqni boshlash");
    input("Öz");
    click("Qayta boshlash");
    expect(field().value).toBe("");
    expect(figure("VAQT")).toBe("0:30");
    expect(stored()).toBeNull();
  });
});

describe("result screen", () => {
  // A perfect 30-second run in 12 seconds, against a previous best this much slower.
  const WPM = Math.round(Array.from(TEXT30).length / 5 / (12 / 60));
  it.each([
    ["faster", 5, "(+5)", "text-success-fg"],
    ["equal", 0, "(+0)", "text-success-fg"],
    ["slower", -10, "(-10)", "text-danger-fg"],
  ])("compares a %s run with the previous best", (_, ahead, diff, look) => {
    const previous = WPM - ahead;
    localStorage.setItem(HISTORY_KEY, JSON.stringify([rec(previous - 1), rec(previous, 1)]));
    lab();
    click("Boshlash");
    typePerfectly(12);
    const line = screen.getByTestId("previous-best");
    expect(line.textContent).toBe(`Oldingi eng yaxshi: ${previous} WPM ${diff}`);
    expect(line.querySelector("span")).toHaveClass(look);
    expect(stored()).toHaveLength(3);
  });

  it("a failed save says so and shows the list of the saving step", () => {
    localStorage.setItem(HISTORY_KEY, JSON.stringify([rec(10)]));
    vi.spyOn(Storage.prototype, "setItem").mockImplementation(() => {
      throw new DOMException("full", "QuotaExceededError");
    });
    lab();
    click("Boshlash");
    typePerfectly(12);
    expect(bannersIn(document.body)[0]).toMatchObject({
      tone: "warning",
      title: "Natija saqlanmadi",
      text: "Brauzer xotirasi yopiq yoki to‘lgan. Serverga hech narsa yuborilmadi.",
    });
    click("Mashq bosh sahifasi");
    expect(screen.getByRole("list", { name: "Oxirgi natijalar" }).querySelectorAll("li")).toHaveLength(2);
  });

  it("without any storage the result shows alone", () => {
    vi.spyOn(window, "localStorage", "get").mockImplementation(() => {
      throw new DOMException("denied", "SecurityError");
    });
    lab();
    click("Birinchi mashqni boshlash");
    typePerfectly(12);
    expect(bannersIn(document.body)[0]).toMatchObject({ title: "Natija saqlanmadi" });
    click("Mashq bosh sahifasi");
    expect(screen.getByRole("list", { name: "Oxirgi natijalar" }).querySelectorAll("li")).toHaveLength(1);
  });

  it("its buttons: again with the same duration, the other duration, the start page, leave", () => {
    const { where } = lab();
    const escape = () => fireEvent.keyDown(field(), { key: "Escape", code: "Escape" });
    click("Birinchi mashqni boshlash");
    typePerfectly(12);
    expect(screen.getByRole("button", { name: "Qayta boshlash" })).toHaveFocus();

    click("60 soniyani sinash");
    expect(title()[0]).toBe("Mashq · 60 soniya");
    input("Ö");
    escape();
    expect(screen.getByRole("button", { name: "30 soniyani sinash" })).toBeInTheDocument();

    click("Qayta boshlash");
    expect(title()[0]).toBe("Mashq · 60 soniya");
    escape();
    expect(title()[0]).toBe("Mashq");
    const durations = screen.getByRole("tablist", { name: "Davomiyligi" });
    expect(durations.querySelector("[aria-selected=true]")).toHaveTextContent("60 soniya");

    click("Boshlash");
    input("Ö");
    escape();
    click("Mashq bosh sahifasi");
    expect(title()[0]).toBe("Mashq");
    expect(stored()).toHaveLength(3);

    click("Boshlash");
    input("Ö");
    escape();
    click("Tugatish");
    expect(where()).toBe("/");
  });
});
