import { act, fireEvent, render, screen, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { useEffect } from "react";
import { MemoryRouter, useLocation, useNavigate, type NavigateFunction } from "react-router";
import { afterEach, beforeEach, describe, expect, it, vi } from "vitest";
import { MainRoutes } from "../app/MainRoutes";
import { renderAt, sent, withFacade } from "../components/testUtils";
import { resetUpdateFlags } from "../components/update/updateFlags";
import type { AdCard, Snapshot } from "../lib/types";
import { makeSnapshot } from "../test/fixtures";
import { PROBE_TIMEOUT_MS } from "./settings/ExtraKeyProbe";
import { choose } from "./settings/testing";
import { SettingsPage, type SettingsTab } from "./SettingsPage";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;

beforeEach(resetUpdateFlags);
afterEach(() => vi.useRealTimers());

function settings(over: Over = {}, tab: SettingsTab = "general") {
  const fake = withFacade();
  const view = renderAt(<SettingsPage state={makeSnapshot(over)} tab={tab} />, "/settings");
  return { fake, ...view };
}

/** The main routes with a handle on the router, to look at the history. */
function routed(entries: string[], state: Snapshot = makeSnapshot()) {
  withFacade();
  const where = { path: "", navigate: null as NavigateFunction | null };
  function Probe() {
    const location = useLocation();
    const navigate = useNavigate();
    where.path = location.pathname + location.search;
    useEffect(() => void (where.navigate = navigate));
    return null;
  }
  render(
    <MemoryRouter initialEntries={entries} initialIndex={entries.length - 1}>
      <MainRoutes state={state} />
      <Probe />
    </MemoryRouter>,
  );
  return where;
}

const pageTabs = () => within(screen.getByRole("tablist", { name: "Sozlamalar bo‘limlari" }));
const tabNames = () => pageTabs().getAllByRole("tab").map((t) => t.textContent);

describe("page frame", () => {
  it.each<[string, Over, string]>([
    ["nothing pending", {}, "Yangilanish"],
    ["a ready update", { update: { ...makeSnapshot().update, phase: "ready", latest: "0.2.0" } }, "Yangilanish •"],
    ["outdated, whatever the phase", { update: { ...makeSnapshot().update, phase: "error", error: "network", outdated: true } }, "Yangilanish •"],
    ["available is not pending", { update: { ...makeSnapshot().update, phase: "available", latest: "0.2.0" } }, "Yangilanish"],
  ])("tabs with %s", (_, over, update) => {
    settings(over);
    expect(screen.getByRole("tablist", { name: "Sozlamalar bo‘limlari" })).toBeInTheDocument();
    expect(tabNames()).toEqual(["Umumiy", update, "Maxfiylik", "Haqida"]);
  });

  it.each([
    ["/settings", "Umumiy"],
    ["/settings?s=update", "Yangilanish"],
    ["/settings?s=privacy", "Maxfiylik"],
    ["/settings?s=about", "Haqida"],
    ["/settings?s=nonsense", "Umumiy"],
    ["/about", "Haqida"],
  ])("%s shows %s", (route, label) => {
    routed([route]);
    expect(pageTabs().getByRole("tab", { selected: true })).toHaveTextContent(label);
  });

  it("choosing a tab replaces the history entry", async () => {
    const where = routed(["/", "/settings?s=privacy"]);
    await userEvent.click(screen.getByRole("tab", { name: "Haqida" }));
    expect(where.path).toBe("/settings?s=about");
    await userEvent.click(screen.getByRole("tab", { name: "Umumiy" }));
    expect(where.path).toBe("/settings");
    await act(async () => void where.navigate!(-1));
    expect(where.path).toBe("/");
  });
});

describe("general tab", () => {
  it.each<[string, Over, string, string, boolean]>([
    ["on", { settings: { mode: "zero" } }, "Zero-learning", "Qoidasi yo‘q dasturlar uchun ishlaydi.", false],
    ["off", { settings: { mode: "zero", enabled: false } }, "O‘chiq", "Qoidasi yo‘q dasturlar uchun ishlaydi.", false],
    ["kill switch", { killSwitch: { active: true, message: null } }, "Hybrid", "Xizmat vaqtincha to‘xtatilgan: hozircha yoqib bo‘lmaydi.", true],
  ])("the global mode select, %s", (_, over, value, hint, locked) => {
    settings(over);
    const select = screen.getByRole("combobox", { name: "Umumiy rejim" });
    expect(select).toHaveTextContent(value);
    expect(select.hasAttribute("disabled")).toBe(locked);
    expect(screen.getByText(hint)).toBeInTheDocument();
  });

  it.each<[string, boolean, string, [string, unknown][]]>([
    ["a mode while on", true, "Fast", [["mode_set", { mode: "fast" }]]],
    ["English while off switches on after", false, "English", [["mode_set", { mode: "english" }], ["enabled_set", { on: true }]]],
    ["off", true, "O‘chiq", [["enabled_set", { on: false }]]],
  ])("choosing %s", async (_, enabled, option, expected) => {
    const { fake } = settings({ settings: { enabled } });
    await choose("Umumiy rejim", option);
    await act(async () => {});
    expect(sent(fake)).toEqual(expected);
  });

  it.each([
    ["system", "Tizim"],
    ["dark", "Qorong‘i"],
    ["light", "Yorug‘"],
    ["sepia", "Yorug‘"],
  ])("theme %s shows %s", (theme, label) => {
    settings({ settings: { theme } });
    expect(screen.getByRole("tablist", { name: "Mavzu" })).toBeInTheDocument();
    expect(within(screen.getByRole("tablist", { name: "Mavzu" })).getByRole("tab", { selected: true })).toHaveTextContent(label);
  });

  it("a theme tab patches the theme alone", async () => {
    const { fake } = settings();
    await userEvent.click(screen.getByRole("tab", { name: "Qorong‘i" }));
    expect(sent(fake)).toEqual([["settings_patch", { patch: { theme: "dark" } }]]);
  });

  it.each<[string, string, Over["settings"], unknown]>([
    ["Windows bilan ishga tushish", "startup", { startup: false }, true],
    ["Hamkor takliflarini ko‘rsatish", "offers", { offers: true }, false],
    ["Realtime tekshiruvchi", "checker", { checker: false }, true],
    ["Eski ko‘rsatkich (toast)", "checkerToast", { checker: true, checkerToast: false }, true],
  ])("the switch %s sends {%s}", async (name, key, over, value) => {
    const { fake } = settings({ settings: over });
    await userEvent.click(screen.getByRole("switch", { name }));
    expect(sent(fake)).toEqual([["settings_patch", { patch: { [key]: value } }]]);
  });

  it("the toast switch waits for the checker", () => {
    settings({ settings: { checker: false, checkerToast: true } });
    expect(screen.getByRole("switch", { name: "Eski ko‘rsatkich (toast)" })).toBeDisabled();
  });

  it.each<[string, Over, string]>([
    ["the mode", { settings: { mode: "fast" } }, "Joriy rejim: Fast."],
    ["off", { settings: { mode: "fast", enabled: false } }, "Joriy rejim: O‘chiq."],
  ])("re-running the welcome names %s and opens it on confirm", async (_, over, bold) => {
    const { where } = settings(over);
    await userEvent.click(screen.getByRole("button", { name: "Qayta ko‘rish" }));
    const dialog = screen.getByRole("alertdialog");
    expect(within(dialog).getByRole("heading")).toHaveTextContent("Welcome’ni qayta ochish");
    expect(dialog).toHaveTextContent("3 qadamni boshidan o‘tasiz. Joriy sozlamalar siz tasdiqlamaguncha o‘zgarmaydi.");
    expect(dialog.querySelector("strong")).toHaveTextContent(bold);
    expect(dialog).toHaveTextContent(`${bold} Qayta ochganda shu rejim oldindan belgilanadi.`);
    expect(dialog).toHaveTextContent("Eslatma: sinov maydonidagi matn saqlanmaydi va tashqariga chiqmaydi.");
    expect(within(dialog).getAllByRole("button").map((b) => b.textContent)).toEqual(["Yopish", "Ochish"]);
    await userEvent.click(within(dialog).getByRole("button", { name: "Ochish" }));
    expect(where()).toBe("/welcome");
  });
});

describe("keyboard section", () => {
  const layoutRow = () => {
    const row = screen.getByText("Klaviatura tartibi").closest<HTMLElement>("[data-setting-row]")!;
    return [row.querySelector("[data-setting-hint]")!.textContent, row.querySelector("[data-tone]")!.textContent, row.querySelector<HTMLElement>("[data-tone]")!.dataset.tone];
  };
  const russian = (reason: string | null) => ({ layout: { compatible: false, name: "Русская", reason } });

  it.each<[string, Over, (string | undefined)[]]>([
    ["compatible", {}, ["Hozir: US. W C S O G harflari mos: Fast/Hybrid faol.", "Faol", "green"]],
    ["paused with a reason", russian("W yo‘q"), ["Hozir: Русская. Fast/Hybrid pauzada: W yo‘q. Win+Space bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting.", "Pauzada", "red"]],
    ["paused without a reason", russian(null), ["Hozir: Русская. Fast/Hybrid pauzada. Win+Space bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting.", "Pauzada", "red"]],
    ["not relevant in Zero-learning", { ...russian("W yo‘q"), settings: { mode: "zero" } }, ["Hozir: Русская. Joriy rejimga ta’sir qilmaydi (Zero-learning / English).", "Ta’sir yo‘q", "green"]],
    ["paused by a Fast rule", { ...russian(null), settings: { mode: "zero", apps: [{ name: "Word", exe: "winword.exe", mode: "fast" }] } }, ["Hozir: Русская. Fast/Hybrid pauzada. Win+Space bilan English (US) yoki O‘zbek (lotin) tartibiga o‘ting.", "Pauzada", "red"]],
  ])("layout: %s", (_, over, expected) => {
    settings(over);
    expect(layoutRow()).toEqual(expected);
  });

  it.each([
    [true, false],
    [false, true],
  ])("hotkeyOk %s → busy warning %s", (hotkeyOk, shown) => {
    settings({ hotkeyOk });
    expect(screen.queryByText("Tez tugma hozir band. Boshqasini tanlang.") !== null).toBe(shown);
  });

  it("resets to the defaults after a destructive confirm", async () => {
    const { fake } = settings();
    await userEvent.click(screen.getAllByRole("button", { name: "Standartga qaytarish" })[0]);
    const dialog = screen.getByRole("alertdialog");
    expect(within(dialog).getByRole("heading")).toHaveTextContent("Sozlamalarni standartga qaytarasizmi?");
    expect(dialog).toHaveTextContent("Rejim, tez tugma va dasturlar boshlang‘ich holatga qaytadi.");
    expect(within(dialog).getAllByRole("button").map((b) => b.textContent)).toEqual(["Bekor qilish", "Qaytarish"]);
    await userEvent.click(within(dialog).getByRole("button", { name: "Qaytarish" }));
    expect(sent(fake)).toEqual([["settings_reset", {}]]);
  });
});

describe("extra-key probe", () => {
  function probe(hybridKey = "ralt") {
    vi.useFakeTimers();
    settings({ settings: { hybridKey } });
    const field = screen.getByRole("textbox", { name: `${hybridKey === "ralt" ? "Right Alt" : "F13"} tekshiruvi` });
    const start = () => act(async () => void fireEvent.click(screen.getByRole("button", { name: "Tekshirish" })));
    const press = (code: string) => fireEvent.keyDown(field, { code, key: code });
    const wait = (ms: number) => act(async () => void vi.advanceTimersByTime(ms));
    return { field, start, press, wait };
  }

  it("names the extra key", () => {
    settings({ settings: { hybridKey: "f13" } });
    expect(screen.getByText("F13 tekshiruvi")).toBeInTheDocument();
    expect(
      screen.getByText("Shu klaviaturada F13 tugmasi bormi? «Tekshirish»ni bosing va tugmani bosing."),
    ).toBeInTheDocument();
  });

  it("finds the key pressed while listening", async () => {
    const { field, start, press } = probe();
    fireEvent.change(field, { target: { value: "abc" } });
    expect(field).toHaveValue("abc");
    await start();
    expect(field).toHaveValue("");
    expect(field).toHaveFocus();
    expect(screen.getByText("Right Alt ni bosing…")).toBeInTheDocument();
    press("AltLeft");
    expect(screen.queryByText("Tugma topildi")).not.toBeInTheDocument();
    press("AltRight");
    expect(screen.getByText("Tugma topildi")).toBeInTheDocument();
    expect(screen.queryByText("Right Alt ni bosing…")).not.toBeInTheDocument();
  });

  it("gives up after 10 seconds; a later press does nothing until it starts again", async () => {
    const { start, press, wait } = probe();
    await start();
    await wait(PROBE_TIMEOUT_MS - 1);
    expect(screen.getByText("Right Alt ni bosing…")).toBeInTheDocument();
    await wait(1);
    expect(screen.getByText("Tugma bosilmadi.")).toBeInTheDocument();
    press("AltRight");
    expect(screen.queryByText("Tugma topildi")).not.toBeInTheDocument();

    await start();
    expect(screen.queryByText("Tugma bosilmadi.")).not.toBeInTheDocument();
    press("AltRight");
    expect(screen.getByText("Tugma topildi")).toBeInTheDocument();
    // The stopped timer does not turn a found key into a miss.
    await wait(PROBE_TIMEOUT_MS);
    expect(screen.getByText("Tugma topildi")).toBeInTheDocument();
  });

  it("starting again restarts the 10 seconds", async () => {
    const { start, wait } = probe("f13");
    await start();
    await wait(8000);
    await start();
    await wait(8000);
    expect(screen.getByText("F13 ni bosing…")).toBeInTheDocument();
    await wait(2000);
    expect(screen.getByText("Tugma bosilmadi.")).toBeInTheDocument();
  });
});

describe("privacy tab", () => {
  it("lists what is kept and what never is, and opens the full text on the site", async () => {
    const { fake } = settings({}, "privacy");
    const items = (name: string) => within(screen.getByRole("region", { name })).getAllByRole("listitem").map((li) => li.textContent);
    expect(items("Saqlanadi")).toEqual(["Tanlangan rejim", "Dastur qoidalari: faqat .exe nomi", "Mashq natijalari: faqat shu kompyuterda"]);
    expect(items("Saqlanmaydi")).toEqual(["Yozgan matningiz", "Parol maydonlari", "Brauzerdagi sayt yoki tab nomi"]);
    expect(document.querySelector("[data-privacy-text]")).toHaveTextContent(
      "Harvel hisobsiz va internetsiz ishlaydi. Yozilgan matn hech qachon serverga yuborilmaydi. Parol maydoni va administrator oynalarida harf almashtirish ishlamaydi. Realtime tekshiruvchi yoqilgan bo‘lsa (standart: o‘chiq), Harvel so‘z tugaguncha uni faqat xotirada ushlaydi, tekshiradi va unutadi; diskka yozmaydi, tarmoqqa chiqarmaydi. So‘zning ekrandagi o‘rnini topish uchun Windows UI Automation ishlatiladi: u faqat joy va uzunlikni so‘raydi, matnni o‘qimaydi.",
    );
    await userEvent.click(screen.getByRole("button", { name: "To‘liq matnni o‘qish" }));
    expect(sent(fake)).toEqual([["open_external", { url: "https://harvel.uz/maxfiylik" }]]);
  });
});

describe("about tab", () => {
  const campaign: AdCard = { id: "c1", title: "Savodxon", text: "Imlo lug‘ati", url: "https://x.uz", label: "Reklama" };

  it.each(["https://harvel.uz", "http://localhost:3000"])("links to the site's pages at %s, opened outside", async (siteUrl) => {
    const { fake } = settings({ settings: { siteUrl } }, "about");
    expect(document.querySelector("[data-version]")).toHaveTextContent("Versiya 0.1.7");
    const host = siteUrl.replace(/^https?:\/\//, "");
    const rows = [...document.querySelectorAll("[data-link-row]")].map((row) => {
      const link = row.querySelector("a")!;
      return [row.querySelector("span")!.textContent, link.textContent, link.getAttribute("href"), link.getAttribute("aria-label")];
    });
    expect(rows).toEqual([
      ["Qo‘llanma", `${host}/qollanma`, `${siteUrl}/qollanma`, "Qo‘llanma: saytda ochish"],
      ["Maxfiylik siyosati", `${host}/maxfiylik`, `${siteUrl}/maxfiylik`, "Maxfiylik siyosati: saytda ochish"],
      ["Shartlar", `${host}/shartlar`, `${siteUrl}/shartlar`, "Shartlar: saytda ochish"],
      ["Aloqa", `${host}/shartlar#aloqa`, `${siteUrl}/shartlar#aloqa`, "Aloqa: saytda ochish"],
    ]);
    const click = fireEvent.click(screen.getByRole("link", { name: "Aloqa: saytda ochish" }));
    expect(click).toBe(false); // not followed inside the window
    expect(sent(fake)).toEqual([["open_external", { url: `${siteUrl}/shartlar#aloqa` }]]);
  });

  it("gives the site links the solid focus ring every control has (index.css), not a faint one of their own", () => {
    settings({}, "about");
    const links = screen.getAllByRole("link", { name: /: saytda ochish$/ });
    expect(links).toHaveLength(4);
    for (const link of links) {
      // Neither the ring turned off nor a ring of their own drawn instead.
      expect(link.className.split(/\s+/).filter((c) => /^focus(-visible)?:(outline|ring)/.test(c))).toEqual([]);
    }
  });

  it.each([
    [true, campaign, true],
    [false, campaign, false],
    [true, null, false],
  ])("offers %s, campaign %s → card %s", (offers, card, shown) => {
    settings({ settings: { offers }, ads: { ...makeSnapshot().ads, campaign: card } }, "about");
    expect(screen.queryByText("Savodxon") !== null).toBe(shown);
  });
});
