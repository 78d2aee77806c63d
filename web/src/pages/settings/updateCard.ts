import type { Snapshot } from "../../lib/types";

export type CardTone = "pending" | "success" | "danger" | "info" | "warning";

/** A button of the update card, by what it does. */
export type CardAction =
  | "check"
  | "checking"
  | "retry"
  | "redownload"
  | "guide"
  | "downloadPage"
  | "later"
  | "download"
  | "cancel"
  | "install"
  | "laterReady";

export interface CheckLine {
  label: string;
  value: string;
  ok: boolean;
}

export interface UpdateCardModel {
  tone: CardTone;
  tag: string;
  title: string;
  body: string;
  checks: CheckLine[];
  actions: CardAction[];
  /** Download progress to show as a bar, 0 to 100. */
  progress?: number;
}

/** The last check's time in the user's own date-time format. */
export function formatCheckedAt(ms: number): string {
  return new Intl.DateTimeFormat(undefined, { dateStyle: "medium", timeStyle: "short" }).format(new Date(ms));
}

/** The updater's state as one card: the first case that holds, or none. */
export function updateCard(state: Snapshot): UpdateCardModel | null {
  const { update, version } = state;
  const m = `Hozirgi versiya: ${version}.`;
  const d = update.latest ?? "";
  const size = update.sizeMb ? ` (${update.sizeMb} MB)` : "";
  const card = (
    tone: CardTone,
    tag: string,
    title: string,
    body: string,
    actions: CardAction[],
    extra: Partial<UpdateCardModel> = {},
  ): UpdateCardModel => ({ tone, tag, title, body, checks: [], actions, ...extra });

  switch (update.phase) {
    case "checking":
      return card(
        "pending",
        "Tekshirilmoqda",
        "Yangilanish tekshirilmoqda",
        `${m} Server faqat versiya raqamini oladi. Yozishga halaqit bermaydi.`,
        ["checking"],
      );
    case "idle":
      return card(
        "success",
        "Eng oxirgi versiya",
        `Harvel ${version} — yangilash shart emas`,
        "Eng oxirgi versiyadan foydalanayapsiz. Keyingi tekshiruv: 24 soatdan keyin yoki ilova qayta ishga tushganda." +
          (update.checkedAt > 0 ? ` Oxirgi tekshiruv: ${formatCheckedAt(update.checkedAt)}.` : ""),
        ["check"],
      );
    case "error":
      return update.error === "integrity"
        ? card(
            "danger",
            "O‘rnatilmadi",
            "Yuklangan fayl tekshiruvdan o‘tmadi",
            `Fayl o‘chirildi va o‘rnatilmaydi. Harvel ${version} ishlashda davom etadi. Qo‘lda yangilash yo‘riqnomasini ko‘ring.`,
            ["redownload", "guide"],
            { checks: [{ label: "SHA-256 va ed25519 imzo", value: "mos emas yoki yo‘q", ok: false }] },
          )
        : card(
            "danger",
            "Tekshirib bo‘lmadi",
            "Yangilanishni tekshirib bo‘lmadi",
            "Internet yo‘q yoki server javob bermadi. 30 daqiqadan keyin o‘zi qayta uriniladi. Asosiy manzil ishlamasa zaxira manzil sinaladi. Yozishga ta’sir qilmaydi.",
            ["retry"],
          );
  }

  if (update.portable) {
    return card(
      "info",
      `Portable · yangi versiya: ${d}`,
      "Portable ilova o‘zini o‘rnatmaydi",
      `${m} Yangi versiyani yuklab oling va eskisi o‘rniga qo‘ying.`,
      ["downloadPage", "later"],
    );
  }

  if (!update.sigConfigured) {
    return card(
      "warning",
      "Imzo sozlanmagan",
      "Yangilanish imzosi sozlanmagan",
      "Bu yig‘ma imzo kaliti bilan sozlanmagan, shuning uchun yangilanish o‘rnatilmaydi. Yangi versiyani veb-saytdan qo‘lda o‘rnating.",
      ["guide", "downloadPage"],
    );
  }

  switch (update.phase) {
    case "available":
      return card(
        "info",
        `Yangi versiya: ${d}`,
        `Yangi versiya ${d} bor${size}`,
        `${m} Fonda yuklanmadi (to‘xtatilgan yoki aloqa uzilgan). Yuklash yozishga halaqit bermaydi.`,
        ["download"],
      );
    case "downloading":
      return card(
        "info",
        `Yangi versiya: ${d}`,
        "Fonda yuklanmoqda",
        `${m} Yozishingiz davom etadi. Yuklab bo‘lingach hash va imzo tekshiriladi.`,
        ["cancel"],
        { progress: update.pct },
      );
    case "ready":
      return card(
        "success",
        "Yangilash tayyor",
        `Harvel ${d} o‘rnatishga tayyor`,
        `${m} O‘rnatishda Harvel yopiladi va o‘rnatuvchi ishga tushadi. Tugagach ilova qayta ochiladi.`,
        ["install", "laterReady"],
        {
          checks: [
            { label: "SHA-256", value: "mos keldi", ok: true },
            { label: "ed25519 imzo", value: "tasdiqlandi", ok: true },
          ],
        },
      );
  }
  return null;
}
