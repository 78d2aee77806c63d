import { act, screen, waitFor, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { describe, expect, it } from "vitest";
import { bannersIn, renderAt, sent, withFacade } from "../../components/testUtils";
import type { Snapshot } from "../../lib/types";
import { makeSnapshot } from "../../test/fixtures";
import { WelcomeFlow } from "./WelcomeFlow";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;

const fresh: Over = { settings: { onboarded: false, mode: "hybrid" } };
const russian = (reason: string | null = "bu tartibda W, C harflari yo‘q") => ({
  layout: { compatible: false, name: "Русская", reason },
});

function flow(over: Over = fresh) {
  const fake = withFacade();
  const state = makeSnapshot(over);
  const view = renderAt(<WelcomeFlow state={state} />, "/welcome");
  return {
    fake,
    ...view,
    /** Hands the flow a new Snapshot, as a "state-changed" would. */
    push: (next: Snapshot) => view.update(<WelcomeFlow state={next} />),
  };
}

const click = (name: string) => userEvent.click(screen.getByRole("button", { name }));
const title = () => screen.getByRole("heading", { level: 1 }).textContent;
const screenName = () => document.querySelector("[data-screen]")?.getAttribute("data-screen");
const footer = () =>
  [...document.querySelectorAll("footer button, footer span")].map((el) => el.textContent);
const steps = () => {
  const list = screen.queryByRole("list", { name: "Tanishuv qadamlari" });
  if (!list) return null;
  return within(list)
    .getAllByRole("listitem")
    .map((li) => (li.hasAttribute("data-done") ? "done" : li.getAttribute("aria-current") === "step" ? "active" : "todo"));
};
const pick = (label: string) => userEvent.click(screen.getByRole("radio", { name: label }));
const box = () => screen.getByRole("textbox", { name: "Sinov maydoni" }) as HTMLTextAreaElement;
const flush = () => act(async () => {});

async function toTest(mode = "Zero-learning") {
  await click("Davom etish");
  await pick(mode);
  await click("Davom etish");
  if (mode !== "Zero-learning") await click(mode === "Fast" ? "Tushundim, Fast" : "Davom etish");
  await flush();
}

describe("screens", () => {
  // how to get there → screen, title, step indicator, footer
  it.each<[string, () => Promise<unknown>, string, (string | null)[] | null, string[]]>([
    ["intro", async () => {}, "Harvel bilan tanishing", ["active", "todo", "todo"], ["Keyinroq sozlash", "1 / 3", "Davom etish"]],
    ["mode, none chosen", () => click("Davom etish"), "Yozish rejimini tanlang", ["done", "active", "todo"], ["Orqaga", "Keyinroq sozlash", "Davom etish uchun rejim tanlang", "Davom etish"]],
    ["mode, chosen", async () => (await click("Davom etish"), pick("Fast")), "Yozish rejimini tanlang", ["done", "active", "todo"], ["Orqaga", "Keyinroq sozlash", "2 / 3", "Davom etish"]],
    ["test", () => toTest(), "Jonli sinov", ["done", "done", "active"], ["Orqaga", "3 / 3", "Sinov ishlamadimi?"]],
    ["fail", async () => (await toTest(), click("Sinov ishlamadimi?")), "Sinov o‘tmadi", ["done", "done", "active"], ["Orqaga", "Keyinroq sozlash", "3 / 3", "Qayta urinish"]],
    ["ready", async () => (await toTest(), await userEvent.type(box(), "şçöğ"), click("Davom etish")), "Tayyor!", null, ["Keyinroq sozlash", "Sozlamalar keyinroq ham ochiladi", "Tugatish"]],
    ["later", () => click("Keyinroq sozlash"), "Keyinroq sozlaysiz", null, ["Sozlamalar → Welcome’ni qayta ochish", "Tugatish"]],
  ])("%s", async (_, go, heading, indicator, buttons) => {
    flow();
    await go();
    await flush();
    expect(title()).toBe(heading);
    expect(steps()).toEqual(indicator);
    expect(footer()).toEqual(buttons);
  });

  it.each([
    ["intro", async () => {}, "Davom etish"],
    ["fail", async () => (await toTest(), click("Sinov ishlamadimi?")), "Qayta urinish"],
    ["later", () => click("Keyinroq sozlash"), "Tugatish"],
  ])("%s focuses its main button", async (_, go, button) => {
    flow();
    await go();
    await flush();
    expect(screen.getByRole("button", { name: button })).toHaveFocus();
  });

  it("goes back: test → mode → intro, fail → test", async () => {
    flow();
    await toTest();
    await click("Sinov ishlamadimi?");
    await click("Orqaga");
    expect(screenName()).toBe("test");
    await click("Orqaga");
    expect(screenName()).toBe("mode");
    await click("Orqaga");
    expect(screenName()).toBe("intro");
  });
});

describe("mode screen", () => {
  const checked = () => screen.queryByRole("radio", { checked: true })?.getAttribute("aria-label") ?? null;
  const description = () => screen.getByTestId("mode-description").textContent;

  it.each<[string, Over, string | null]>([
    ["a new user chooses", { settings: { onboarded: false, mode: "fast" } }, null],
    ["an onboarded user starts on the current mode", { settings: { onboarded: true, mode: "fast" } }, "Fast"],
    ["but not on English", { settings: { onboarded: true, mode: "english" } }, null],
  ])("%s", async (_, over, expected) => {
    flow(over);
    await click("Davom etish");
    expect(checked()).toBe(expected);
    expect(screen.getByRole("button", { name: "Davom etish" }).hasAttribute("disabled")).toBe(expected === null);
  });

  it.each<[string, string]>([
    ["Fast", "Fast: W C [ ] tugmalari ş, ç, ö, ğ chiqaradi. Asl w, c, [ ] kerak bo‘lsa Right Alt (qo‘shimcha tugma) bilan bosing. U Sozlamalarda o‘zgartiriladi. Lotin QWERTY tartibida (English, O‘zbek lotin) ishlaydi."],
    ["Hybrid", "Hybrid: hamma US belgilar o‘z joyida. Yangi harf uchun qo‘shimcha tugma (Right Alt) + S, C, O yoki G bosing. Lotin QWERTY tartibida (English, O‘zbek lotin) ishlaydi."],
    ["Zero-learning", "Zero-learning: sh yozsangiz ş, ch yozsangiz ç, o‘ yozsangiz ö, g‘ yozsangiz ğ bo‘ladi. Yodlash shart emas va klaviatura tartibiga bog‘liq emas."],
  ])("describes %s", async (mode, text) => {
    flow();
    await click("Davom etish");
    expect(description()).toBe("Rejimni tanlang. Keyinroq istalgan vaqt Sozlamalar yoki tray’dan o‘zgartira olasiz.");
    await pick(mode);
    expect(checked()).toBe(mode);
    expect(description()).toBe(text);
  });

  it("shows each card's tag, text and rows", async () => {
    flow();
    await click("Davom etish");
    expect(screen.getByRole("radio", { name: "Hybrid" })).toHaveTextContent(
      "Kod va matn aralashHybridUS belgilar saqlanadi, yangi harf Right Alt bilan.R.Alt+S→şR.Alt+C→çR.Alt+O→öR.Alt+G→ğ",
    );
  });

  it.each<[string, Over["layout"], string, string]>([
    ["compatible", { compatible: true, name: "US", reason: null }, "Mos", "Klaviatura tartibi: US. Fast va Hybrid shu tartibda ishlaydi."],
    ["incompatible", russian().layout, "Mos emas", "Klaviatura tartibi: Русская. Fast va Hybrid shu tartibda pauzada (bu tartibda W, C harflari yo‘q). Zero-learning ishlayveradi."],
    ["incompatible, no reason", russian(null).layout, "Mos emas", "Klaviatura tartibi: Русская. Fast va Hybrid shu tartibda pauzada. Zero-learning ishlayveradi."],
  ])("layout line, %s", async (_, layout, badge, text) => {
    flow({ ...fresh, layout });
    await click("Davom etish");
    expect(screen.getByTestId("layout-line").textContent).toBe(badge + text);
  });

  it("arrow keys pick and focus the next card, wrapping; only the chosen card is in the tab order", async () => {
    flow();
    await click("Davom etish");
    const radios = () => screen.getAllByRole("radio");
    expect(radios().map((r) => r.tabIndex)).toEqual([0, -1, -1]);

    radios()[0].focus();
    await userEvent.keyboard("{ArrowRight}");
    expect(checked()).toBe("Fast");
    await userEvent.keyboard("{ArrowLeft}");
    expect(checked()).toBe("Zero-learning");
    expect(screen.getByRole("radio", { name: "Zero-learning" })).toHaveFocus();
    expect(radios().map((r) => r.tabIndex)).toEqual([-1, -1, 0]);
    await userEvent.keyboard("{ArrowDown}");
    expect(checked()).toBe("Fast");
    await userEvent.keyboard("{ArrowUp}{ArrowUp}");
    expect(checked()).toBe("Hybrid");
  });

  it.each([
    ["{ArrowLeft}", "Hybrid"],
    ["{ArrowUp}", "Hybrid"],
    ["{ArrowRight}", "Fast"],
  ])("with none chosen, %s picks %s", async (key, mode) => {
    flow();
    await click("Davom etish");
    screen.getAllByRole("radio")[0].focus();
    await userEvent.keyboard(key);
    expect(checked()).toBe(mode);
    expect(screen.getByRole("radio", { name: mode })).toHaveFocus();
  });
});

describe("warnings", () => {
  const dialog = () => screen.queryByRole("dialog");

  it.each([
    ["Fast", "Fast rejimi haqida eslatma", "Tushundim, Fast", "fast"],
    ["Hybrid", "Hybrid: Right Alt konflikti", "Davom etish", "hybrid"],
  ])("%s warns once per opening of the flow", async (mode, heading, confirm, value) => {
    const { fake, unmount } = flow();
    await click("Davom etish");
    await pick(mode);
    await click("Davom etish");
    expect(dialog()).toHaveAccessibleName(heading);
    const ok = within(dialog()!).getByRole("button", { name: confirm });
    expect(ok).toHaveFocus();
    expect(sent(fake)).toEqual([]);

    await userEvent.click(ok);
    await flush();
    expect(dialog()).toBeNull();
    expect(screenName()).toBe("test");
    expect(sent(fake)).toEqual([["mode_set", { mode: value }]]);

    // Back and the same mode again: no second warning.
    await click("Orqaga");
    await click("Davom etish");
    await flush();
    expect(dialog()).toBeNull();
    expect(screenName()).toBe("test");

    // A new opening of the flow warns again.
    unmount();
    flow();
    await click("Davom etish");
    await pick(mode);
    await click("Davom etish");
    expect(dialog()).toHaveAccessibleName(heading);
  });

  it.each([
    ["Boshqa rejim", () => click("Boshqa rejim")],
    ["Escape", () => userEvent.keyboard("{Escape}")],
    ["Yopish", () => click("Yopish")],
  ])("%s closes the warning without starting the test or acknowledging it", async (_, close) => {
    const { fake } = flow();
    await click("Davom etish");
    await pick("Fast");
    await click("Davom etish");
    await close();
    expect(dialog()).toBeNull();
    expect(screenName()).toBe("mode");
    expect(sent(fake)).toEqual([]);
    await click("Davom etish");
    expect(dialog()).not.toBeNull();
  });

  it("shows the warning's texts", async () => {
    flow();
    await click("Davom etish");
    await pick("Fast");
    await click("Davom etish");
    expect(bannersIn(dialog()!)).toEqual([
      {
        tone: "warning",
        title: "Muhim ogohlantirish",
        text: "W C [ ] oddiy harf sifatida yozilmaydi. Ular ş, ç, ö, ğ ga almashadi. Right Alt asl belgini qaytaradi.",
        buttons: [],
      },
    ]);
    expect(dialog()).toHaveTextContent("Masalan: W → ş, Right Alt+W → w");
    expect(dialog()).toHaveAccessibleDescription("Tanlashdan oldin bilib qo‘ying:");
  });
});

describe("live test", () => {
  const count = () => document.querySelector("[data-screen] header [data-tone]")?.textContent;
  const tiles = () =>
    within(screen.getByRole("list", { name: "Topilgan harflar" }))
      .getAllByRole("listitem")
      .map((li) => li.textContent);

  it("counts distinct letters, capitals included, and never forgets one", async () => {
    flow();
    await toTest();
    expect(box()).toHaveFocus();
    expect(box()).toHaveAttribute("placeholder", "Bu yerga yozing");
    expect(count()).toBe("0/4 harf topildi");

    await userEvent.type(box(), "ŞŞşş");
    expect(count()).toBe("1/4 harf topildi");
    expect(tiles()).toEqual(["ŞTopildi", "ÇKutilmoqda", "ÖKutilmoqda", "ĞKutilmoqda"]);
    expect(screen.getByTestId("test-hint")).toHaveTextContent("Yana: Ç (ch), Ö (o‘), Ğ (g‘).");

    await userEvent.clear(box());
    await userEvent.type(box(), "Çö");
    expect(count()).toBe("3/4 harf topildi");
    await userEvent.type(box(), "Ğ");
    expect(count()).toBe("4/4 harf topildi");
    expect(bannersIn(document.body)).toEqual([
      { tone: "success", title: "Ajoyib, hammasi ishlayapti!", text: "Ş, Ç, Ö, Ğ to‘rttalasi to‘g‘ri chiqdi.", buttons: [] },
    ]);
    expect(footer()).toEqual(["Orqaga", "3 / 3", "Davom etish"]);
    expect(screen.getByRole("button", { name: "Davom etish" })).toHaveFocus();
  });

  it("types in the chosen mode with the default keys", async () => {
    flow({ settings: { onboarded: false, mode: "zero", hybridKey: "rctrl", fastKeys: { sh: "KeyQ", ch: "KeyC", o: "BracketLeft", g: "BracketRight" } } });
    await toTest("Fast");
    await userEvent.type(box(), "wq");
    expect(box().value).toBe("şq");
    expect(count()).toBe("1/4 harf topildi");
  });

  it("each test start sends the mode and empties the found letters", async () => {
    const { fake } = flow();
    await toTest();
    await userEvent.type(box(), "ş");
    await click("Orqaga");
    await click("Davom etish");
    await flush();
    expect(count()).toBe("0/4 harf topildi");
    expect(sent(fake)).toEqual([["mode_set", { mode: "zero" }], ["mode_set", { mode: "zero" }]]);
  });

  it.each<[string, Over, string | null]>([
    ["with its error", { ...fresh, hook: "error", hookError: "SetWindowsHookEx: 5" }, "SetWindowsHookEx: 5"],
    ["without one", { ...fresh, hook: "error", hookError: "" }, "Klaviatura kuzatuvi to‘xtadi. Qayta urinib ko‘ring."],
    ["not while switched off", { settings: { onboarded: false, enabled: false }, hook: "error", hookError: "x" }, null],
  ])("hook problem %s", async (_, over, text) => {
    const { fake } = flow(over);
    await toTest();
    const banners = bannersIn(document.body);
    if (text === null) return void expect(banners).toEqual([]);
    expect(banners).toEqual([{ tone: "danger", title: "Klaviatura ulanmadi", text, buttons: ["Qayta urinish"] }]);
    await click("Qayta urinish");
    expect(sent(fake).at(-1)).toEqual(["hook_retry", {}]);
  });

  it("fail → Qayta urinish: found letters emptied, hook retried, back to the test", async () => {
    const { fake } = flow();
    await toTest();
    await userEvent.type(box(), "şç");
    await click("Sinov ishlamadimi?");
    expect(document.querySelector("[data-screen] header [data-tone]")).toHaveTextContent("2/4 harf topildi");
    expect(bannersIn(document.body)[0]).toMatchObject({ tone: "danger", title: "Harf chiqmayapti" });

    await click("Qayta urinish");
    expect(screenName()).toBe("test");
    expect(count()).toBe("0/4 harf topildi");
    expect(sent(fake).at(-1)).toEqual(["hook_retry", {}]);
  });
});

describe("layout block", () => {
  const blocked = () => screen.queryByText("Bu klaviatura tartibida Fast/Hybrid ishlamaydi") !== null;

  it.each([
    ["Fast", true],
    ["Hybrid", true],
    ["Zero-learning", false],
  ])("an incompatible layout with %s: block %s", async (mode, block) => {
    flow({ ...fresh, ...russian() });
    await toTest(mode);
    expect(blocked()).toBe(block);
    expect(screen.queryByRole("textbox", { name: "Sinov maydoni" }) === null).toBe(block);
  });

  it("explains, lets the user go on anyway, and ends by itself once the layout fits", async () => {
    const view = flow({ ...fresh, ...russian() });
    await toTest("Hybrid");
    expect(bannersIn(document.body)[0].text).toBe(
      "Hozir: Русская — bu tartibda W, C harflari yo‘q. O‘zbek (lotin) kabi QWERTY lotin tartiblari ishlaydi, kirill va boshqa tartiblar ishlamaydi.",
    );
    expect(footer()).toEqual(["Orqaga", "Shunday davom etish", "3 / 3", "Tilni o‘zgartirdim"]);
    expect(screen.queryByTestId("still-incompatible")).toBeNull();

    await click("Tilni o‘zgartirdim");
    expect(screen.getByTestId("still-incompatible")).toHaveTextContent("Tartib hali ham mos emas: Русская.");

    view.push(makeSnapshot({ ...fresh, layout: { compatible: true, name: "US", reason: null } }));
    expect(blocked()).toBe(false);
    expect(box()).toHaveFocus();
  });

  it("Shunday davom etish shows the test in the unsuitable layout", async () => {
    flow({ ...fresh, ...russian(null) });
    await toTest("Fast");
    expect(bannersIn(document.body)[0].text).toBe(
      "Hozir: Русская. O‘zbek (lotin) kabi QWERTY lotin tartiblari ishlaydi, kirill va boshqa tartiblar ishlamaydi.",
    );
    await click("Shunday davom etish");
    expect(blocked()).toBe(false);
    expect(box()).toHaveFocus();
  });
});

describe("leaving the flow", () => {
  it("later, before onboarding: the live mode becomes Zero-learning first", async () => {
    const { fake, where } = flow();
    await click("Keyinroq sozlash");
    await flush();
    expect(sent(fake)).toEqual([["mode_set", { mode: "zero" }]]);
    expect(screen.getByText("Zero-learning")).toBeInTheDocument();
    expect(where()).toBe("/welcome");
  });

  it.each([
    ["intro", async () => {}],
    ["mode", () => click("Davom etish")],
  ])("later from %s, once onboarded: straight home, nothing sent", async (_, go) => {
    const { fake, where } = flow({ settings: { onboarded: true, mode: "fast" } });
    await go();
    await click("Keyinroq sozlash");
    await flush();
    expect(sent(fake)).toEqual([]);
    expect(where()).toBe("/");
  });

  it.each([["Tugatish"], ["Keyinroq sozlash"]])(
    "%s on the ready screen finishes, and leaves once the state says so",
    async (button) => {
      const view = flow();
      await toTest();
      await userEvent.type(box(), "şçöğ");
      await click("Davom etish");
      await click(button);
      await flush();
      expect(sent(view.fake).at(-1)).toEqual(["onboarding_done", {}]);
      expect(view.where()).toBe("/welcome");

      view.push(makeSnapshot({ settings: { onboarded: true } }));
      expect(view.where()).toBe("/");
    },
  );

  it("finishing from the later screen, as an onboarded user re-running the flow, leaves at once", async () => {
    const view = flow({ settings: { onboarded: true, mode: "zero" } });
    await toTest();
    await userEvent.type(box(), "şçöğ");
    await click("Davom etish");
    await click("Tugatish");
    await flush();
    expect(sent(view.fake).map(([name]) => name)).toEqual(["mode_set", "onboarding_done"]);
    expect(view.where()).toBe("/");
  });
});

describe("the focus, driven by the keyboard", () => {
  const focused = () => document.activeElement;
  const button = (name: string) => screen.getByRole("button", { name });
  /** Presses Tab until `target` has the focus. */
  async function tabTo(target: HTMLElement) {
    for (let i = 0; i < 20 && focused() !== target; i++) await userEvent.tab();
    expect(target).toHaveFocus();
  }
  const enter = async () => {
    await userEvent.keyboard("{Enter}");
    await flush();
  };

  it("Enter on Davom etish puts the focus on the next step's first control, each step", async () => {
    flow();
    expect(button("Davom etish")).toHaveFocus();
    await enter();
    expect(screenName()).toBe("mode");
    // No mode chosen yet: the first card.
    expect(screen.getByRole("radio", { name: "Fast" })).toHaveFocus();
    await userEvent.keyboard("{ArrowRight}{ArrowRight}{ArrowRight}");
    expect(screen.getByRole("radio", { name: "Zero-learning" })).toHaveFocus();
    await tabTo(button("Davom etish"));
    await enter();
    expect(screenName()).toBe("test");
    expect(box()).toHaveFocus();
    await userEvent.keyboard("şçöğ");
    expect(button("Davom etish")).toHaveFocus();
    await enter();
    expect(screenName()).toBe("ready");
    expect(button("Tugatish")).toHaveFocus();
  });

  it("back to the mode step, the chosen mode's card has the focus", async () => {
    flow();
    await toTest("Zero-learning");
    await tabTo(button("Orqaga"));
    await enter();
    expect(screenName()).toBe("mode");
    expect(screen.getByRole("radio", { name: "Zero-learning" })).toHaveFocus();
  });

  it("a step without a control of its own focuses its main button", async () => {
    flow({ settings: { onboarded: false, mode: "hybrid" }, ...russian() });
    await enter();
    expect(screen.getByRole("radio", { name: "Fast" })).toHaveFocus();
    await userEvent.keyboard("{ArrowRight}{ArrowRight}");
    expect(screen.getByRole("radio", { name: "Hybrid" })).toHaveAttribute("aria-checked", "true");
    await tabTo(button("Davom etish"));
    await enter();
    await tabTo(button("Davom etish")); // the warning's
    await enter();
    expect(screenName()).toBe("test");
    expect(button("Tilni o‘zgartirdim")).toHaveFocus();
  });

  it.each<[string, () => Promise<unknown>]>([
    ["Escape", () => userEvent.keyboard("{Escape}")],
    ["Boshqa rejim", async () => (await tabTo(button("Boshqa rejim")), userEvent.keyboard("{Enter}"))],
  ])("Fast rejimi haqida eslatma closed by %s gives the focus back to Davom etish", async (_, close) => {
    flow();
    await enter();
    await userEvent.keyboard("{ArrowRight}");
    expect(screen.getByRole("radio", { name: "Fast" })).toHaveAttribute("aria-checked", "true");
    await tabTo(button("Davom etish"));
    await enter();
    expect(screen.getByRole("dialog")).toHaveAccessibleName("Fast rejimi haqida eslatma");
    expect(button("Tushundim, Fast")).toHaveFocus();
    await close();
    expect(screen.queryByRole("dialog")).toBeNull();
    await waitFor(() => expect(button("Davom etish")).toHaveFocus());
    // and the warning, confirmed, leads to the test box
    await enter();
    expect(button("Tushundim, Fast")).toHaveFocus();
    await enter();
    expect(screenName()).toBe("test");
    await waitFor(() => expect(box()).toHaveFocus());
    await new Promise((r) => setTimeout(r, 20));
    expect(box()).toHaveFocus();
  });
});
