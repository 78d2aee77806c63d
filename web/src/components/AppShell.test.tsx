import { render, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { MemoryRouter } from "react-router";
import { describe, expect, it } from "vitest";
import type { AdCard } from "../lib/types";
import { makeSnapshot } from "../test/fixtures";
import { AppShell } from "./AppShell";
import { sent, withFacade } from "./testUtils";

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;

const card = (id: string): AdCard => ({ id, title: `Kartochka ${id}`, text: "Matn", url: "https://a.uz", label: "Reklama" });
const ads = { ...makeSnapshot().ads, top: card("top"), side: card("side") };

function shell(nav: boolean, over: Over = {}, path = "/") {
  const fake = withFacade();
  render(
    <MemoryRouter initialEntries={[path]}>
      <AppShell nav={nav} state={makeSnapshot(over)}>
        <p>page</p>
      </AppShell>
    </MemoryRouter>,
  );
  return fake;
}

const variants = () => [...document.querySelectorAll("[data-variant]")].map((el) => (el as HTMLElement).dataset.variant);

describe("main window shell", () => {
  it.each<[string, boolean, Over, string[]]>([
    ["nav and offers: strip and side card", true, { ads }, ["strip", "card"]],
    ["offers off: none", true, { ads, settings: { offers: false } }, []],
    ["no nav: none, and no sidebar", false, { ads }, []],
    ["no cards", true, {}, []],
  ])("%s", (_, nav, over, expected) => {
    shell(nav, over);
    expect(variants()).toEqual(expected);
    expect(screen.queryByRole("navigation", { name: "Asosiy" }) !== null).toBe(nav);
    expect(screen.getByText("page")).toBeInTheDocument();
  });

  it.each([
    ["/", "Asosiy"],
    ["/lab", "Mashq"],
    ["/keymap", "Mashq"],
    ["/apps", "Dasturlar"],
    ["/converter", "Konvertor"],
    ["/settings", "Sozlamalar"],
    ["/about", "Sozlamalar"],
    ["/welcome", null],
  ])("on %s the current entry is %s", (path, label) => {
    shell(true, {}, path);
    const current = screen.queryAllByRole("link", { current: "page" }).map((a) => a.textContent);
    expect(current).toEqual(label ? [label] : []);
    expect(screen.getAllByRole("link").map((a) => a.textContent)).toEqual([
      "Asosiy",
      "Mashq",
      "Dasturlar",
      "Konvertor",
      "Sozlamalar",
    ]);
  });

  it("sums up the state and quits from the sidebar", async () => {
    const fake = shell(true, { update: { ...makeSnapshot().update, phase: "ready", latest: "0.2.0" } });
    expect(screen.getByRole("status")).toHaveTextContent("Yoqilgan · HybridYangilash tayyor: 0.2.0");

    const quit = screen.getByRole("button", { name: "Chiqish" });
    expect(quit).toHaveAttribute("title", "Harvel’ni to‘liq o‘chirish (tray’dan ham yo‘qoladi)");
    await userEvent.click(quit);
    expect(sent(fake)).toEqual([["app_quit", {}]]);
  });
});
