import { act, render, screen, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { afterEach, beforeEach, describe, expect, it, vi } from "vitest";
import { installFacade } from "../lib/facade";
import type { AppInfo, AppRule, Snapshot } from "../lib/types";
import { createFakeBridge, type FakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { TrayPopup } from "./TrayPopup";

// A resize observer the test drives by hand; the wrapper's height is `height.value`.
const height = { value: 200 };
let observers: FakeResizeObserver[] = [];
class FakeResizeObserver {
  observed: Element[] = [];
  disconnected = false;
  constructor(readonly callback: ResizeObserverCallback) {
    observers.push(this);
  }
  observe(el: Element) {
    this.observed.push(el);
  }
  unobserve() {}
  disconnect() {
    this.disconnected = true;
  }
}
const resize = (value: number) => {
  height.value = value;
  act(() => {
    for (const o of observers) if (!o.disconnected) o.callback([], o as unknown as ResizeObserver);
  });
};

let fake: FakeBridge;

beforeEach(() => {
  observers = [];
  height.value = 200;
  vi.stubGlobal("ResizeObserver", FakeResizeObserver);
  vi.spyOn(HTMLElement.prototype, "getBoundingClientRect").mockImplementation(
    () => ({ height: height.value, width: 360 }) as DOMRect,
  );
  fake = createFakeBridge();
  window.__HARVEL_IPC__ = fake.bridge;
  installFacade();
});

afterEach(() => vi.unstubAllGlobals());

const notepad: AppInfo = { exe: "notepad.exe", name: "Notepad", mode: null };
const rule = (mode: AppRule["mode"], exe = "notepad.exe"): AppRule => ({ name: "Notepad", exe, mode });
const calls = (name: string) => fake.invoke.mock.calls.filter(([n]) => n === name).map(([, args]) => args);

const card = () => screen.getByRole("dialog", { name: "Harvel" });
const tile = () => screen.getByTestId("popup-tile");
const appLine = () => screen.queryByTestId("popup-app-line");

describe("what the pop-up shows", () => {
  // the snapshot → tile, title, subtitle, switch on / locked, tabs enabled, app line and its badge
  it.each<[string, Snapshot, string, string, string, boolean, boolean, boolean, string | null, string | null]>([
    ["on, no program", makeSnapshot(), "H", "Harvel yoqilgan", "Umumiy rejim", true, false, true, null, null],
    ["on, a program without a rule", makeSnapshot({ settings: { mode: "zero" }, currentApp: notepad }),
      "Z", "Harvel yoqilgan", "Umumiy rejim", true, false, true, "Hozir: Notepad — Zero-learning", "Umumiy"],
    ["a rule for the program", makeSnapshot({ settings: { apps: [rule("fast")] }, currentApp: notepad }),
      "F", "Harvel yoqilgan", "Umumiy rejim: Hybrid", true, false, true, "Hozir: Notepad — Fast", "Shu dastur uchun"],
    ["a rule \"off\" for the program", makeSnapshot({ settings: { mode: "fast", apps: [rule("off")] }, currentApp: notepad }),
      "F", "Harvel yoqilgan", "Umumiy rejim: Fast", true, false, true, "Hozir: Notepad — O‘chiq", "Shu dastur uchun"],
    // The rule list decides, not the mode the program's own record carries.
    ["a program whose record names a mode but has no rule",
      makeSnapshot({ settings: { apps: [rule("fast", "word.exe")] }, currentApp: { ...notepad, mode: "fast" } }),
      "H", "Harvel yoqilgan", "Umumiy rejim", true, false, true, "Hozir: Notepad — Hybrid", "Umumiy"],
    ["off", makeSnapshot({ settings: { enabled: false }, currentApp: notepad }),
      "H", "Harvel o‘chirilgan", "Yozganingiz o‘zgarmaydi", false, false, false, "Hozir: Notepad — O‘chiq", "Umumiy"],
    ["remotely disabled", makeSnapshot({ killSwitch: { active: true, message: "Texnik ishlar" } }),
      "H", "Harvel vaqtincha to‘xtatildi", "Administrator tomonidan o‘chirilgan", false, true, false, null, null],
    ["the keyboard hook down", makeSnapshot({ hook: "error" }),
      "!", "Klaviatura kuzatuvi to‘xtadi", "Qayta ulanmoqda…", false, true, false, null, null],
  ])("%s", (_, state, tileText, title, subtitle, on, locked, tabsEnabled, line, badge) => {
    render(<TrayPopup state={state} />);
    expect(tile()).toHaveTextContent(tileText);
    expect(screen.getByRole("heading", { level: 1 })).toHaveTextContent(title);
    expect(screen.getByRole("heading", { level: 1 }).nextElementSibling).toHaveTextContent(subtitle, { normalizeWhitespace: false });

    const toggle = screen.getByRole("switch", { name: on ? "Harvel’ni o‘chirish" : "Harvel’ni yoqish" });
    expect(toggle).toHaveAttribute("aria-checked", String(on));
    expect(toggle).toHaveProperty("disabled", locked);

    const tabs = screen.queryAllByRole("tab");
    if (state.hook === "error") {
      expect(tabs).toHaveLength(0);
    } else {
      expect(tabs.map((t) => t.textContent)).toEqual(["Fast", "Hybrid", "Zero-learning", "English"]);
      expect(screen.getByRole("tab", { selected: true })).toHaveTextContent(
        { fast: "Fast", hybrid: "Hybrid", zero: "Zero-learning", english: "English" }[state.settings.mode],
      );
      for (const t of tabs) expect(t).toHaveProperty("disabled", !tabsEnabled);
    }

    if (line === null) {
      expect(appLine()).toBeNull();
    } else {
      expect(appLine()).toHaveTextContent(line);
      expect(appLine()!.parentElement).toHaveTextContent(badge!);
    }
    const ruleButtons = screen.queryByRole("button", { name: "Qoidani o‘zgartirish" });
    expect(ruleButtons !== null).toBe(badge === "Shu dastur uchun");
  });

  it.each([
    ["Texnik ishlar", "Texnik ishlar"],
    ["", "Yozish vaqtincha o‘zgartirilmaydi. Yozganingiz o‘zgarmaydi."],
  ])("the remote switch's banner for the message %j", (message, text) => {
    render(<TrayPopup state={makeSnapshot({ killSwitch: { active: true, message } })} />);
    expect(screen.getByText(text)).toBeInTheDocument();
    expect(screen.getByRole("button", { name: "Mashq" })).toBeInTheDocument();
  });

  it("with the hook down shows only the banner and its two buttons", async () => {
    render(<TrayPopup state={makeSnapshot({ hook: "error", currentApp: notepad })} />);
    expect(card()).toHaveTextContent("Yozish vaqtincha o‘zgartirilmaydi. Odatda bir necha soniyada tiklanadi.");
    expect(within(card()).getAllByRole("button").map((b) => b.textContent)).toEqual(["Qayta urinish", "Sozlamalar"]);
    expect(appLine()).toBeNull();

    await userEvent.click(screen.getByRole("button", { name: "Qayta urinish" }));
    await userEvent.click(screen.getByRole("button", { name: "Sozlamalar" }));
    expect(calls("hook_retry")).toEqual([{}]);
    expect(calls("main_show")).toEqual([{ route: "/settings" }]);
  });
});

describe("what the pop-up does", () => {
  it("sends each choice as its command", async () => {
    const state = makeSnapshot({ settings: { apps: [rule("fast")] }, currentApp: notepad });
    render(<TrayPopup state={state} />);
    await userEvent.click(screen.getByRole("switch"));
    await userEvent.click(screen.getByRole("tab", { name: "Zero-learning" }));
    await userEvent.click(screen.getByRole("button", { name: "Qoidani o‘zgartirish" }));
    await userEvent.click(screen.getByRole("button", { name: "Umumiyga qaytarish" }));
    await userEvent.click(screen.getByRole("button", { name: "Mashq" }));
    await userEvent.click(screen.getByRole("button", { name: "Sozlamalar" }));

    expect(calls("enabled_set")).toEqual([{ on: false }]);
    expect(calls("mode_set")).toEqual([{ mode: "zero" }]);
    expect(calls("apps_set")).toEqual([{ exe: "notepad.exe", name: null, mode: null }]);
    expect(calls("main_show")).toEqual([{ route: "/apps" }, { route: "/lab" }, { route: "/settings" }]);
  });

  it("picks a mode from the keyboard with one command", async () => {
    render(<TrayPopup state={makeSnapshot()} />);
    screen.getByRole("tab", { selected: true }).focus();
    await userEvent.keyboard("{ArrowRight}{ArrowRight}");
    expect(calls("mode_set")).toEqual([]);
    await userEvent.keyboard("{Enter}");
    expect(calls("mode_set")).toEqual([{ mode: "english" }]);
  });

  it("switches conversion on from off", async () => {
    render(<TrayPopup state={makeSnapshot({ settings: { enabled: false } })} />);
    await userEvent.click(screen.getByRole("switch", { name: "Harvel’ni yoqish" }));
    expect(calls("enabled_set")).toEqual([{ on: true }]);
  });

  it("closes on Escape anywhere while it is shown", async () => {
    const view = render(<TrayPopup state={makeSnapshot()} />);
    await userEvent.keyboard("{Escape}");
    expect(calls("popup_close")).toHaveLength(1);

    view.unmount();
    await userEvent.keyboard("{Escape}");
    expect(calls("popup_close")).toHaveLength(1);
  });

  it.each<[string, Snapshot, string]>([
    ["the switch", makeSnapshot(), "switch"],
    ["the first button when the switch is locked", makeSnapshot({ hook: "error" }), "Qayta urinish"],
    ["past the locked switch and tabs", makeSnapshot({ killSwitch: { active: true, message: null } }), "Mashq"],
  ])("focuses %s when it opens", (_, state, target) => {
    render(<TrayPopup state={state} />);
    const expected = target === "switch" ? screen.getByRole("switch") : screen.getByRole("button", { name: target });
    expect(document.activeElement).toBe(expected);
  });

  it("moves the focus back to the start at every opening", async () => {
    render(<TrayPopup state={makeSnapshot()} />);
    screen.getByRole("button", { name: "Mashq" }).focus();
    act(() => fake.emit("popup-shown"));
    expect(document.activeElement).toBe(screen.getByRole("switch"));
  });
});

describe("fitting the window", () => {
  it("sends the wrapper's height, rounded up, at mount and whenever it changes", () => {
    height.value = 211.2;
    const view = render(<TrayPopup state={makeSnapshot()} />);
    expect(calls("popup_fit")).toEqual([{ height: 212 }]);
    expect(observers[0].observed).toEqual([card().parentElement]);

    // The update banner makes the card grow.
    height.value = 287.5;
    view.rerender(<TrayPopup state={makeSnapshot({ update: { ...makeSnapshot().update, phase: "ready", latest: "0.1.8" } })} />);
    resize(287.5);
    resize(287.5);
    expect(calls("popup_fit")).toEqual([{ height: 212 }, { height: 288 }]);

    view.unmount();
    expect(observers[0].disconnected).toBe(true);
  });
});

describe("the update banner", () => {
  const ready = (latest: string | null = "0.1.8") =>
    makeSnapshot({ update: { ...makeSnapshot().update, phase: "ready", latest } });

  it.each<[string, boolean, Snapshot]>([
    ["ready with a version", true, ready()],
    ["ready without a version", false, ready(null)],
    ["downloading", false, makeSnapshot({ update: { ...makeSnapshot().update, phase: "downloading", latest: "0.1.8" } })],
  ])("%s: shown %s", (_, shown, state) => {
    render(<TrayPopup state={state} />);
    expect(screen.queryByText("Yangilanish tayyor") !== null).toBe(shown);
  });

  it("installs, reports a failure, and forgets it at the next opening", async () => {
    let answer!: (outcome: { ok: boolean; reason?: string }) => void;
    fake.invoke.mockImplementation((name: string) =>
      name === "update_install" ? new Promise((resolve) => (answer = resolve)) : Promise.resolve(null),
    );
    render(<TrayPopup state={ready()} />);
    expect(screen.getByText("0.1.8 versiyasi yuklab olindi.")).toBeInTheDocument();
    const install = screen.getByRole("button", { name: "O‘rnatish" });

    await userEvent.click(install);
    expect(install).toBeDisabled();
    expect(calls("update_install")).toHaveLength(1);

    await act(async () => answer({ ok: false, reason: "signature" }));
    expect(install).toBeEnabled();
    expect(screen.getByRole("alert")).toHaveTextContent("O‘rnatib bo‘lmadi. Sozlamalardan qayta urinib ko‘ring.");

    act(() => fake.emit("popup-shown"));
    expect(screen.queryByRole("alert")).not.toBeInTheDocument();
  });

  it("treats a refused install like a failed one, and stays busy after a good one", async () => {
    fake.invoke.mockImplementation((name: string) =>
      name === "update_install" ? Promise.reject("no installer") : Promise.resolve(null),
    );
    const view = render(<TrayPopup state={ready()} />);
    await userEvent.click(screen.getByRole("button", { name: "O‘rnatish" }));
    expect(screen.getByRole("alert")).toBeInTheDocument();

    fake.invoke.mockImplementation(() => Promise.resolve({ ok: true }));
    await userEvent.click(screen.getByRole("button", { name: "O‘rnatish" }));
    expect(view.queryByRole("alert")).not.toBeInTheDocument();
    expect(screen.getByRole("button", { name: "O‘rnatish" })).toBeDisabled();
  });
});
