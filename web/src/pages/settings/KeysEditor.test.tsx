import { cleanup, render, screen, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { describe, expect, it } from "vitest";
import { sent, withFacade } from "../../components/testUtils";
import type { FastKeys } from "../../lib/types";
import { DEFAULT_FAST_KEYS, type KeySet } from "../../typing/keys";
import { KeysEditor } from "./KeysEditor";
import { defaultKeysText, keyWarnings, withFastKey } from "./keysEditor";
import { choose, optionsOf } from "./testing";

const fast = (patch: Partial<FastKeys> = {}): FastKeys => ({ ...DEFAULT_FAST_KEYS, ...patch });
const keys = (hybrid: string, patch: Partial<FastKeys> = {}): KeySet => ({ hybrid, fast: fast(patch) });

const LAPTOP = (label: string) =>
  `Ko‘p noutbuklarda ${label} tugmasi yo‘q yoki Fn bilan bosiladi. Tugma yo‘q bo‘lsa, rejim ishlamaydi: «Tekshirish» bilan sinab ko‘ring.`;

describe("warnings before new keys take effect", () => {
  it.each<[string, KeySet, string[]]>([
    ["defaults: none", keys("ralt"), []],
    ["Right Ctrl", keys("rctrl"), ["O‘ng Ctrl endi qisqa tugma emas: Right Ctrl + C, Right Ctrl + V kabi birikmalar ishlamaydi (chap Ctrl ishlayveradi).", LAPTOP("Right Ctrl")]],
    ["Caps Lock is on every laptop", keys("caps"), ["Caps Lock endi katta harflarni yoqib-o‘chirmaydi: Harvel uni qo‘shimcha tugma sifatida ishlatadi. Katta harf uchun Shift ishlating."]],
    ["Menu", keys("apps"), ["Menu tugmasi endi kontekst menyuni ochmaydi.", LAPTOP("Menu")]],
    ["Pause", keys("pause"), ["Pause / Break endi ishlamaydi.", LAPTOP("Pause")]],
    ["Right Shift", keys("rshift"), ["O‘ng Shift endi katta harf yozmaydi; katta harf uchun chap Shift ishlating. Tavsiya qilmaymiz."]],
    ["the grave key", keys("backquote"), ["Bu tugma ushlab turilganda qo‘shimcha tugma bo‘ladi; bir marta bosilsa o‘zining belgisi (` yoki Shift bilan ~) yoziladi."]],
    ["F13", keys("f13"), ["F13 tugmasi endi boshqa dasturlardagi vazifasini (makro, qisqa tugma) bajarmaydi.", LAPTOP("F13")]],
    ["F24", keys("f24"), ["F24 tugmasi endi boshqa dasturlardagi vazifasini (makro, qisqa tugma) bajarmaydi.", LAPTOP("F24")]],
    [
      "a swap of W and C",
      keys("ralt", { sh: "KeyC", ch: "KeyW" }),
      ["C tugmasi endi ş yozadi; oddiy c uchun Right Alt + C bosing.", "W tugmasi endi ç yozadi; oddiy w uchun Right Alt + W bosing."],
    ],
    [
      "symbol keys, freed defaults, the new extra key in the hints",
      keys("caps", { o: "Semicolon", g: "KeyQ" }),
      [
        "Caps Lock endi katta harflarni yoqib-o‘chirmaydi: Harvel uni qo‘shimcha tugma sifatida ishlatadi. Katta harf uchun Shift ishlating.",
        "; belgisi tugmasi endi ö yozadi; ; belgisi uchun Caps Lock + ; bosing.",
        "Q tugmasi endi ğ yozadi; oddiy q uchun Caps Lock + Q bosing.",
        "[, ] tugmalari yana oddiy yoziladi.",
      ],
    ],
    ["one freed key", keys("ralt", { sh: "Quote" }), ["' belgisi tugmasi endi ş yozadi; ' belgisi uchun Right Alt + ' bosing.", "W tugmalari yana oddiy yoziladi."]],
  ])("%s", (_, next, expected) => {
    expect(keyWarnings(next)).toEqual(expected);
  });

  it("swapping gives the other letter the changed letter's old key", () => {
    expect(withFastKey(keys("ralt"), "sh", "KeyC").fast).toEqual(fast({ sh: "KeyC", ch: "KeyW" }));
    expect(withFastKey(keys("ralt"), "g", "KeyX").fast).toEqual(fast({ g: "KeyX" }));
  });

  it("names the defaults", () => {
    expect(defaultKeysText()).toBe("Right Alt, W C [ ].");
  });
});

function editor(hybridKey = "ralt", fastKeys: FastKeys = fast()) {
  const fake = withFacade();
  render(<KeysEditor settings={{ hybridKey, fastKeys }} />);
  return fake;
}

describe("keys editor", () => {
  it("confirms a swap with the warnings of both letters, then sends both keys in one patch", async () => {
    const fake = editor();
    await choose("ş (sh) tugmasi", "C");
    const dialog = screen.getByRole("alertdialog");
    expect(within(dialog).getByRole("heading")).toHaveTextContent("Tugmalarni o‘zgartirasizmi?");
    expect(within(dialog).getAllByRole("listitem").map((li) => li.textContent)).toEqual([
      "C tugmasi endi ş yozadi; oddiy c uchun Right Alt + C bosing.",
      "W tugmasi endi ç yozadi; oddiy w uchun Right Alt + W bosing.",
    ]);
    expect(dialog).toHaveTextContent(
      "O‘zgarish hamma dasturlarda darhol kuchga kiradi. Istalgan payt «Standartga qaytarish» bilan qaytarasiz.",
    );
    expect(sent(fake)).toEqual([]);
    await userEvent.click(within(dialog).getByRole("button", { name: "O‘zgartirish" }));
    expect(sent(fake)).toEqual([
      ["settings_patch", { patch: { hybridKey: "ralt", fastKeys: fast({ sh: "KeyC", ch: "KeyW" }) } }],
    ]);
  });

  it("cancelling the confirm changes nothing", async () => {
    const fake = editor();
    await choose("Qo‘shimcha tugma", "F13");
    await userEvent.click(screen.getByRole("button", { name: "Bekor qilish" }));
    expect(screen.queryByRole("alertdialog")).not.toBeInTheDocument();
    expect(sent(fake)).toEqual([]);
  });

  it("choosing the default keys by hand applies them without a dialog", async () => {
    const fake = editor("ralt", fast({ sh: "KeyC", ch: "KeyW" }));
    await choose("ş (sh) tugmasi", "W");
    expect(screen.queryByRole("alertdialog")).not.toBeInTheDocument();
    expect(sent(fake)).toEqual([["settings_patch", { patch: { hybridKey: "ralt", fastKeys: fast() } }]]);
  });

  it("offers the reset row only when the keys differ from the defaults, and resets at once", async () => {
    editor();
    expect(screen.queryByText("Standart tugmalar")).not.toBeInTheDocument();
    cleanup();

    const fake = editor("f13", fast({ o: "KeyQ" }));
    expect(screen.getByText("Standart tugmalar")).toBeInTheDocument();
    expect(screen.getByText("Right Alt, W C [ ].")).toBeInTheDocument();
    await userEvent.click(screen.getByRole("button", { name: "Standartga qaytarish" }));
    expect(screen.queryByRole("alertdialog")).not.toBeInTheDocument();
    expect(sent(fake)).toEqual([["settings_patch", { patch: { hybridKey: "ralt", fastKeys: fast() } }]]);
  });

  it("disables an extra key that sits on a fast key, and a fast key that is the extra key", async () => {
    editor("ralt", fast({ g: "Backquote" }));
    const extras = await optionsOf("Qo‘shimcha tugma");
    expect(extras).toHaveLength(22);
    expect(extras[0]).toEqual(["Right Alt (standart)", false]);
    expect(extras.filter(([, disabled]) => disabled)).toEqual([["` (~)", true]]);
    cleanup();

    editor("backquote");
    const choices = await optionsOf("ö (o‘) tugmasi");
    expect(choices.map(([label]) => label)).toEqual(["W", "C", "[", "]", "Q", "X", "\\", "`", ";", "'"]);
    expect(choices.filter(([, disabled]) => disabled)).toEqual([["`", true]]);
  });
});
