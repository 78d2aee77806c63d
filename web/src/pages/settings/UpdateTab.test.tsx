import { render, screen, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { toast } from "sonner";
import { beforeEach, describe, expect, it, vi } from "vitest";
import { bannersIn, renderAt, sent, withFacade } from "../../components/testUtils";
import { UpdateBanner } from "../../components/update/UpdateBanner";
import { resetUpdateFlags, setInstalling } from "../../components/update/updateFlags";
import type { UpdateInfo } from "../../lib/types";
import { makeSnapshot } from "../../test/fixtures";
import { formatCheckedAt } from "./updateCard";
import { UpdateTab } from "./UpdateTab";

vi.mock("sonner", async (original) => ({ ...(await original<typeof import("sonner")>()), toast: vi.fn() }));

beforeEach(() => {
  resetUpdateFlags();
  vi.mocked(toast).mockClear();
});

const withUpdate = (update: Partial<UpdateInfo>) => makeSnapshot({ update: { ...makeSnapshot().update, ...update } });
const M = "Hozirgi versiya: 0.1.7.";
const portable = { portable: true, portableUrl: "https://harvel.uz/portable/harvel.zip" };
const noSig = { sigConfigured: false };

interface CardText {
  tone: string;
  tag: string;
  title: string;
  body: string;
  checks: string[];
  buttons: string[];
}

function card(): CardText | null {
  const el = screen.queryByTestId("update-card");
  if (!el) return null;
  return {
    tone: el.dataset.tone!,
    tag: el.querySelector("[data-tone]")!.textContent!,
    title: el.querySelector("[data-card-title]")!.textContent!,
    body: el.querySelector("[data-card-body]")!.textContent!,
    checks: [...el.querySelectorAll("[data-check]")].map((li) => li.textContent!),
    buttons: within(el)
      .queryAllByRole("button")
      .map((b) => b.textContent! + (b.hasAttribute("disabled") ? " (disabled)" : "")),
  };
}

function tab(update: Partial<UpdateInfo>) {
  const fake = withFacade();
  renderAt(<UpdateTab state={withUpdate(update)} />, "/settings");
  return fake;
}

const c = (tone: string, tag: string, title: string, body: string, buttons: string[], checks: string[] = []): CardText => ({
  tone,
  tag,
  title,
  body,
  checks,
  buttons,
});

const IDLE_BODY = "Eng oxirgi versiyadan foydalanayapsiz. Keyingi tekshiruv: 24 soatdan keyin yoki ilova qayta ishga tushganda.";
const NETWORK = c("danger", "Tekshirib bo‘lmadi", "Yangilanishni tekshirib bo‘lmadi", "Internet yo‘q yoki server javob bermadi. 30 daqiqadan keyin o‘zi qayta uriniladi. Asosiy manzil ishlamasa zaxira manzil sinaladi. Yozishga ta’sir qilmaydi.", ["Qayta urinish"]);
const PORTABLE = c("info", "Portable · yangi versiya: 0.2.0", "Portable ilova o‘zini o‘rnatmaydi", `${M} Yangi versiyani yuklab oling va eskisi o‘rniga qo‘ying.`, ["Yuklab olish sahifasi", "Keyinroq"]);
const NO_SIG = c("warning", "Imzo sozlanmagan", "Yangilanish imzosi sozlanmagan", "Bu yig‘ma imzo kaliti bilan sozlanmagan, shuning uchun yangilanish o‘rnatilmaydi. Yangi versiyani veb-saytdan qo‘lda o‘rnating.", ["Qo‘llanmaga o‘tish", "Yuklab olish sahifasi"]);

describe("update card: the first matching case", () => {
  it.each<[string, Partial<UpdateInfo>, CardText | null]>([
    ["checking", { phase: "checking", ...portable }, c("pending", "Tekshirilmoqda", "Yangilanish tekshirilmoqda", `${M} Server faqat versiya raqamini oladi. Yozishga halaqit bermaydi.`, ["Hozir tekshirish (disabled)"])],
    ["idle, never checked", { phase: "idle", checkedAt: 0 }, c("success", "Eng oxirgi versiya", "Harvel 0.1.7 — yangilash shart emas", IDLE_BODY, ["Hozir tekshirish"])],
    ["idle, even without a signature", { phase: "idle", ...noSig }, c("success", "Eng oxirgi versiya", "Harvel 0.1.7 — yangilash shart emas", IDLE_BODY, ["Hozir tekshirish"])],
    ["integrity failure", { phase: "error", error: "integrity", latest: "0.2.0" }, c("danger", "O‘rnatilmadi", "Yuklangan fayl tekshiruvdan o‘tmadi", "Fayl o‘chirildi va o‘rnatilmaydi. Harvel 0.1.7 ishlashda davom etadi. Qo‘lda yangilash yo‘riqnomasini ko‘ring.", ["Qayta yuklab olish", "Qo‘llanmaga o‘tish"], ["SHA-256 va ed25519 imzo—mos emas yoki yo‘q"])],
    ["network failure", { phase: "error", error: "network" }, NETWORK],
    ["network failure of a portable copy", { phase: "error", error: "network", ...portable }, NETWORK],
    ["portable, available", { phase: "available", latest: "0.2.0", ...portable }, PORTABLE],
    ["portable, downloading", { phase: "downloading", latest: "0.2.0", ...portable }, PORTABLE],
    ["portable, ready", { phase: "ready", latest: "0.2.0", ...portable, ...noSig }, PORTABLE],
    ["available", { phase: "available", latest: "0.2.0" }, c("info", "Yangi versiya: 0.2.0", "Yangi versiya 0.2.0 bor", `${M} Fonda yuklanmadi (to‘xtatilgan yoki aloqa uzilgan). Yuklash yozishga halaqit bermaydi.`, ["Yuklab olish"])],
    ["available with a size", { phase: "available", latest: "0.2.0", sizeMb: 12.5 }, c("info", "Yangi versiya: 0.2.0", "Yangi versiya 0.2.0 bor (12.5 MB)", `${M} Fonda yuklanmadi (to‘xtatilgan yoki aloqa uzilgan). Yuklash yozishga halaqit bermaydi.`, ["Yuklab olish"])],
    ["available with a zero size", { phase: "available", latest: "0.2.0", sizeMb: 0 }, c("info", "Yangi versiya: 0.2.0", "Yangi versiya 0.2.0 bor", `${M} Fonda yuklanmadi (to‘xtatilgan yoki aloqa uzilgan). Yuklash yozishga halaqit bermaydi.`, ["Yuklab olish"])],
    ["downloading", { phase: "downloading", latest: "0.2.0", pct: 37 }, c("info", "Yangi versiya: 0.2.0", "Fonda yuklanmoqda", `${M} Yozishingiz davom etadi. Yuklab bo‘lingach hash va imzo tekshiriladi.`, ["Bekor qilish"])],
    ["ready", { phase: "ready", latest: "0.2.0" }, c("success", "Yangilash tayyor", "Harvel 0.2.0 o‘rnatishga tayyor", `${M} O‘rnatishda Harvel yopiladi va o‘rnatuvchi ishga tushadi. Tugagach ilova qayta ochiladi.`, ["Hozir o‘rnatish", "Keyinroq"], ["SHA-256—mos keldi", "ed25519 imzo—tasdiqlandi"])],
    ["no signature, available", { phase: "available", latest: "0.2.0", ...noSig }, NO_SIG],
    ["no signature, downloading", { phase: "downloading", latest: "0.2.0", ...noSig }, NO_SIG],
  ])("%s", (_, update, expected) => {
    tab(update);
    expect(card()).toEqual(expected);
  });

  it("adds the time of the last check when there was one", () => {
    const at = Date.UTC(2025, 2, 14, 9, 30);
    tab({ phase: "idle", checkedAt: at });
    expect(card()!.body).toBe(`${IDLE_BODY} Oxirgi tekshiruv: ${formatCheckedAt(at)}.`);
    expect(formatCheckedAt(at)).toMatch(/2025/);
  });

  it("shows the download as a bar with its percentage", () => {
    tab({ phase: "downloading", latest: "0.2.0", pct: 37 });
    expect(screen.getByRole("progressbar", { name: "Yuklash jarayoni" })).toHaveAttribute("aria-valuenow", "37");
    expect(screen.getByTestId("update-card")).toHaveTextContent("37%");
  });

  it("has no card when signed but in no phase with one", () => {
    // A phase outside the list, as a newer native side might send.
    tab({ phase: "paused" as UpdateInfo["phase"] });
    expect(card()).toBeNull();
    expect(screen.getByText("Jimgina, fonda")).toBeInTheDocument();
  });
});

describe("update card buttons", () => {
  it.each<[string, Partial<UpdateInfo>, string, [string, unknown][]]>([
    ["check now", { phase: "idle" }, "Hozir tekshirish", [["update_check", {}]]],
    ["retry", { phase: "error", error: "network" }, "Qayta urinish", [["update_check", {}]]],
    ["download again", { phase: "error", error: "integrity" }, "Qayta yuklab olish", [["update_download", {}]]],
    ["the guide", { phase: "error", error: "integrity" }, "Qo‘llanmaga o‘tish", [["open_external", { url: "https://harvel.uz/qollanma" }]]],
    ["download", { phase: "available", latest: "0.2.0" }, "Yuklab olish", [["update_download", {}]]],
    ["cancel", { phase: "downloading", latest: "0.2.0" }, "Bekor qilish", [["update_cancel", {}]]],
    ["portable page", { phase: "available", latest: "0.2.0", ...portable }, "Yuklab olish sahifasi", [["open_external", { url: "https://harvel.uz/portable/harvel.zip" }]]],
    ["download page", { phase: "available", latest: "0.2.0", ...noSig }, "Yuklab olish sahifasi", [["open_external", { url: "https://harvel.uz/yuklab-olish" }]]],
    ["install", { phase: "ready", latest: "0.2.0" }, "Hozir o‘rnatish", [["update_install", {}]]],
  ])("%s", async (_, update, button, expected) => {
    const fake = tab(update);
    await userEvent.click(within(screen.getByTestId("update-card")).getByRole("button", { name: button }));
    expect(sent(fake)).toEqual(expected);
  });

  it("'Keyinroq' on the ready card hides the home banner but keeps the card", async () => {
    withFacade();
    const state = withUpdate({ phase: "ready", latest: "0.2.0" });
    const home = render(<UpdateBanner state={state} />);
    expect(bannersIn(home.container)).toHaveLength(1);
    renderAt(<UpdateTab state={state} />, "/settings");

    await userEvent.click(within(screen.getByTestId("update-card")).getByRole("button", { name: "Keyinroq" }));
    expect(bannersIn(home.container)).toEqual([]);
    expect(card()!.title).toBe("Harvel 0.2.0 o‘rnatishga tayyor");
    expect(toast).toHaveBeenCalledExactlyOnceWith("Asosiydagi banner yashirildi. Yangilash shu yerda tayyor turadi.");
  });

  it("'Keyinroq' on the portable card dismisses that version quietly", async () => {
    withFacade();
    const state = withUpdate({ phase: "ready", latest: "0.2.0", ...portable });
    const home = render(<UpdateBanner state={state} />);
    renderAt(<UpdateTab state={state} />, "/settings");
    await userEvent.click(within(screen.getByTestId("update-card")).getByRole("button", { name: "Keyinroq" }));
    expect(bannersIn(home.container)).toEqual([]);
    expect(toast).not.toHaveBeenCalled();
  });

  it("shows the installer banner under the ready card while installing", () => {
    setInstalling(true);
    tab({ phase: "ready", latest: "0.2.0" });
    expect(screen.getByText("O‘rnatuvchi ishga tushmoqda")).toBeInTheDocument();
    expect(within(screen.getByTestId("update-card")).getByRole("button", { name: "Hozir o‘rnatish" })).toBeDisabled();
  });

  it("puts the outdated banner above the card", () => {
    tab({ phase: "idle", outdated: true });
    const banner = screen.getByText("Versiyangiz eskirgan, yangilang");
    expect(banner.compareDocumentPosition(screen.getByTestId("update-card")) & Node.DOCUMENT_POSITION_FOLLOWING).toBeTruthy();
  });
});

describe("update tab notes", () => {
  it("explains what is checked and sent, and that nothing installs by itself", () => {
    tab({});
    expect(
      [...document.querySelectorAll("[data-fact]")].map((el) => [...el.querySelectorAll("p")].map((p) => p.textContent)),
    ).toEqual([
      ["Tekshiruv", "Jimgina, fonda", "Ishga tushganda va muntazam"],
      ["Yuboriladi", "Oddiy so‘rov, hisobsiz", "Yozgan matningiz serverga ketmaydi"],
      ["Tekshiriladi", "SHA-256 va ed25519 imzo", "Ikkalasi majburiy, aks holda o‘rnatilmaydi"],
    ]);
    expect(
      screen.getByText("Yangilash faqat siz bosganingizda o‘rnatiladi: yozayotganingizda Harvel o‘zi yopilmaydi."),
    ).toBeInTheDocument();
  });
});
