import { act, render, screen, waitFor, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { useState } from "react";
import { toast } from "sonner";
import { beforeEach, describe, expect, it, vi } from "vitest";
import { sent, withFacade } from "../../components/testUtils";
import type { AppInfo, AppRule, ModeName } from "../../lib/types";
import type { FakeBridge } from "../../test/fakeBridge";
import { AddAppDialog } from "./AddAppDialog";

vi.mock("sonner", async (original) => ({ ...(await original<typeof import("sonner")>()), toast: vi.fn() }));

type Answer = () => Promise<unknown>;
const app = (name: string, exe: string): AppInfo => ({ name, exe, mode: null });
const NOTEPAD = app("Notepad", "notepad.exe");
const WORD = app("Word", "winword.exe");
const PAINT = app("Paint", "mspaint.exe");
const GIMP = app("GIMP", "gimp.exe");

function setup(answers: Record<string, Answer>, rules: AppRule[] = [], defaultMode: ModeName = "zero") {
  const fake = withFacade();
  fake.invoke.mockImplementation((name: string) => (answers[name] ?? (() => Promise.resolve(null)))());
  const onAdded = vi.fn();
  function Host() {
    const [open, setOpen] = useState(true);
    return (
      <>
        <button onClick={() => setOpen(true)}>open</button>
        <AddAppDialog open={open} onOpenChange={setOpen} rules={rules} defaultMode={defaultMode} onAdded={onAdded} />
      </>
    );
  }
  render(<Host />);
  return { fake, onAdded };
}

const groups = () =>
  [...screen.getByTestId("candidates").querySelectorAll("section")].map((section) => [
    section.querySelector("h3")?.textContent,
    within(section)
      .queryAllByRole("button")
      .map((b) => b.getAttribute("aria-label")),
  ]);
const count = (fake: FakeBridge, name: string) => sent(fake).filter(([n]) => n === name).length;

beforeEach(() => vi.mocked(toast).mockClear());

describe("candidates", () => {
  it("offers running programs, then installed ones that are not running, never a ruled one", async () => {
    setup(
      {
        apps_running: () => Promise.resolve([NOTEPAD, WORD]),
        apps_installed: () => Promise.resolve([WORD, PAINT, GIMP]),
      },
      [{ name: "Word", exe: "winword.exe", mode: "fast" }],
    );
    await screen.findByText("Notepad");
    expect(groups()).toEqual([
      ["Hozir ochiq", ["Notepad (notepad.exe) qoidasini qo‘shish"]],
      ["O‘rnatilgan dasturlar", ["Paint (mspaint.exe) qoidasini qo‘shish", "GIMP (gimp.exe) qoidasini qo‘shish"]],
    ]);
  });

  it("filters both groups by name, lower-cased, or by exe", async () => {
    setup({
      apps_running: () => Promise.resolve([NOTEPAD]),
      apps_installed: () => Promise.resolve([PAINT, GIMP]),
    });
    await screen.findByText("Notepad");
    const search = screen.getByRole("searchbox", { name: "Dastur qidirish" });
    expect(search).toHaveAttribute("placeholder", "Dastur nomini qidiring");
    await userEvent.type(search, "gimp");
    expect(groups()).toEqual([["O‘rnatilgan dasturlar", ["GIMP (gimp.exe) qoidasini qo‘shish"]]]);
    await userEvent.clear(search);
    await userEvent.type(search, "MSPAINT");
    expect(groups()).toEqual([["O‘rnatilgan dasturlar", ["Paint (mspaint.exe) qoidasini qo‘shish"]]]);
    await userEvent.clear(search);
    await userEvent.type(search, "zzz");
    expect(screen.getByText("Dastur topilmadi")).toBeInTheDocument();
    expect(screen.getByText("Nomini boshqacha yozing yoki faylini o‘zingiz ko‘rsating.")).toBeInTheDocument();
  });

  it("shows three placeholders while the running list loads", () => {
    setup({ apps_running: () => new Promise(() => {}), apps_installed: () => Promise.resolve([]) });
    expect(screen.getAllByTestId("candidate-placeholder")).toHaveLength(3);
    expect(screen.queryByText("Dastur topilmadi")).not.toBeInTheDocument();
  });

  it("warns when the running list fails, and the retry reloads both lists", async () => {
    let fail = true;
    const { fake } = setup({
      apps_running: () => (fail ? Promise.reject("no") : Promise.resolve([NOTEPAD])),
      apps_installed: () => Promise.reject("no"),
    });
    const warning = await screen.findByRole("alert");
    expect(warning).toHaveTextContent("Ochiq dasturlar ro‘yxatini olib bo‘lmadi. Faylni o‘zingiz ko‘rsating.");
    // An error is not "nothing found".
    expect(screen.queryByText("Dastur topilmadi")).not.toBeInTheDocument();

    fail = false;
    await userEvent.click(within(warning).getByRole("button", { name: "Qayta urinish" }));
    await screen.findByText("Notepad");
    expect(screen.queryByRole("alert")).not.toBeInTheDocument();
    expect([count(fake, "apps_running"), count(fake, "apps_installed")]).toEqual([2, 2]);
  });

  it("reloads and clears the search each time it opens", async () => {
    const { fake } = setup({ apps_running: () => Promise.resolve([NOTEPAD]), apps_installed: () => Promise.resolve([]) });
    await screen.findByText("Notepad");
    await userEvent.type(screen.getByRole("searchbox"), "xyz");
    await userEvent.click(screen.getByRole("button", { name: "Bekor qilish" }));
    expect(screen.queryByRole("dialog")).not.toBeInTheDocument();
    await userEvent.click(screen.getByRole("button", { name: "open" }));
    expect(screen.getByRole("searchbox")).toHaveValue("");
    await screen.findByText("Notepad");
    expect(count(fake, "apps_running")).toBe(2);
  });
});

describe("adding", () => {
  it("adds the chosen program with the default mode, says so, refreshes the page and closes", async () => {
    const { fake, onAdded } = setup({ apps_running: () => Promise.resolve([NOTEPAD]), apps_installed: () => Promise.resolve([]) });
    await userEvent.click(await screen.findByRole("button", { name: "Notepad (notepad.exe) qoidasini qo‘shish" }));
    expect(sent(fake).filter(([n]) => n === "apps_set")).toEqual([
      ["apps_set", { exe: "notepad.exe", name: "Notepad", mode: "zero" }],
    ]);
    await waitFor(() => expect(screen.queryByRole("dialog")).not.toBeInTheDocument());
    expect(toast).toHaveBeenCalledExactlyOnceWith("Notepad: Zero-learning. Rejimni ro‘yxatda o‘zgartirishingiz mumkin.");
    expect(onAdded).toHaveBeenCalledTimes(1);
  });

  it("keeps the dialog and says nothing when the rule is refused", async () => {
    const { onAdded } = setup({
      apps_running: () => Promise.resolve([NOTEPAD]),
      apps_installed: () => Promise.resolve([]),
      apps_set: () => Promise.reject("refused"),
    });
    await userEvent.click(await screen.findByRole("button", { name: "Notepad (notepad.exe) qoidasini qo‘shish" }));
    await act(async () => {});
    expect(screen.getByRole("dialog")).toBeInTheDocument();
    expect(toast).not.toHaveBeenCalled();
    expect(onAdded).not.toHaveBeenCalled();
  });

  it.each<[string, AppInfo | null, [string, unknown][]]>([
    ["a picked file is added", app("Tool", "tool.exe"), [["apps_set", { exe: "tool.exe", name: "Tool", mode: "fast" }]]],
    ["no file picked: nothing", null, []],
  ])("%s", async (_, picked, expected) => {
    const { fake } = setup(
      {
        apps_running: () => Promise.resolve([]),
        apps_installed: () => Promise.resolve([]),
        apps_pick_file: () => Promise.resolve(picked),
      },
      [],
      "fast",
    );
    expect(screen.getByText("Ro‘yxatda yo‘qmi? Dastur faylini o‘zingiz ko‘rsating.")).toBeInTheDocument();
    await userEvent.click(screen.getByRole("button", { name: ".exe tanlash" }));
    await act(async () => {});
    expect(sent(fake).filter(([n]) => n === "apps_set")).toEqual(expected);
    expect(screen.queryByRole("dialog") === null).toBe(picked !== null);
  });
});
