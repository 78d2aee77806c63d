import { screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { describe, expect, it } from "vitest";
import { renderAt, sent, withFacade } from "../../components/testUtils";
import type { Settings } from "../../lib/types";
import { makeSnapshot } from "../../test/fixtures";
import { KeymapPage } from "../KeymapPage";

function keymap(settings: Partial<Settings> = {}) {
  const fake = withFacade();
  const view = renderAt(<KeymapPage state={makeSnapshot({ settings })} />, "/keymap");
  return { fake, ...view };
}

const chips = () => [...document.querySelectorAll("ul[aria-label=Harflar] li")].map((li) => li.textContent);
const badges = () =>
  Object.fromEntries([...document.querySelectorAll<HTMLElement>("[data-badge]")].map((k) => [k.dataset.key, k.dataset.badge]));
const extraKeys = () => [...document.querySelectorAll<HTMLElement>("[data-extra]")].map((k) => k.dataset.key);
const description = () => document.querySelector("[data-keymap-description]")?.textContent;
const note = () => screen.getByRole("status").textContent;

describe("key map", () => {
  it.each<[string, Partial<Settings>, string, string[], Record<string, string>, string[]]>([
    [
      "hybrid with the user's extra key",
      { mode: "hybrid", hybridKey: "rctrl" },
      "Hybrid: oddiy klaviatura saqlanadi, qo‘shimcha tugma bilan yangi harf.",
      ["Right Ctrl+S→ş", "Right Ctrl+C→ç", "Right Ctrl+O→ö", "Right Ctrl+G→ğ"],
      { S: "ş", C: "ç", O: "ö", G: "ğ" },
      ["Right Ctrl"],
    ],
    [
      "fast with the user's keys",
      { mode: "fast", hybridKey: "f13", fastKeys: { sh: "KeyQ", ch: "KeyX", o: "Semicolon", g: "Backquote" } },
      "Fast: har harf bitta tugma.",
      ["Q→ş", "X→ç", ";→ö", "`→ğ"],
      // Backquote is not drawn: ğ has no badge.
      { Q: "ş", X: "ç", ";": "ö" },
      ["F13"],
    ],
    ["English opens on Hybrid", { mode: "english" }, "Hybrid: oddiy klaviatura saqlanadi, qo‘shimcha tugma bilan yangi harf.", ["Right Alt+S→ş", "Right Alt+C→ç", "Right Alt+O→ö", "Right Alt+G→ğ"], { S: "ş", C: "ç", O: "ö", G: "ğ" }, ["Right Alt"]],
  ])("%s", (_, settings, text, chipTexts, badgeMap, extra) => {
    keymap(settings);
    expect(screen.getByRole("heading", { level: 1 })).toHaveTextContent("Tugmalar xaritasi");
    expect(description()).toBe(text);
    expect(chips()).toEqual(chipTexts.map((c) => c.replace("+", " + ")));
    expect(badges()).toEqual(badgeMap);
    expect(extraKeys()).toEqual(extra);
  });

  it("the notes name the user's extra key", () => {
    keymap({ mode: "fast", hybridKey: "backquote" });
    expect(note()).toBe(
      "Shift: katta harf. ` (~) + tugma: tugmaning asl belgisi. Fast’da to‘rt tugma o‘zbekcha harfga aylanadi. Bu yerda faqat ko‘rsatiladi; haqiqiy rejim Asosiy yoki tray’da almashtiriladi.",
    );
  });

  it("the tabs switch what is drawn and send nothing", async () => {
    const { fake } = keymap({ mode: "fast" });
    expect(screen.getByRole("tab", { selected: true })).toHaveTextContent("Fast");

    await userEvent.click(screen.getByRole("tab", { name: "Zero-learning" }));
    expect(description()).toBe("Zero-learning: odatdagidek yozing.");
    expect(document.querySelector("[data-testid=keyboard]")).toBeNull();
    expect(chips()).toEqual([]);
    const cards = [...document.querySelectorAll<HTMLElement>("[data-testid=spelling-cards] li")].map(
      (li) => `${li.querySelector("[data-spelling]")?.textContent}→${li.dataset.letter}`,
    );
    expect(cards).toEqual(["sh→ş", "ch→ç", "o‘→ö", "g‘→ğ"]);
    expect(note()).toBe(
      "Odatdagidek yozing. Ikki harf (sh, ch, o‘, g‘) yozilgan zahoti yangi harfga aylanadi. Inglizcha so‘z (masalan shop) tugagach asl holiga qaytadi.",
    );

    await userEvent.click(screen.getByRole("tab", { name: "Hybrid" }));
    expect(badges()).toEqual({ S: "ş", C: "ç", O: "ö", G: "ğ" });
    expect(note()).toBe(
      "Shift: katta harf. Boshqa tugmalar o‘zgarmaydi. Bu yerda faqat ko‘rsatiladi; haqiqiy rejim Asosiy yoki tray’da almashtiriladi.",
    );
    expect(sent(fake)).toEqual([]);
  });
});
