import { act, screen, waitFor, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { toast } from "sonner";
import { afterEach, beforeEach, describe, expect, it, onTestFinished, vi } from "vitest";
import { renderAt, sent, withFacade } from "../components/testUtils";
import type { AppInfo, AppRule } from "../lib/types";
import type { FakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { AppsPage, RUNNING_REFRESH_MS } from "./AppsPage";
import { choose } from "./settings/testing";

vi.mock("sonner", async (original) => ({ ...(await original<typeof import("sonner")>()), toast: vi.fn() }));

type Over = NonNullable<Parameters<typeof makeSnapshot>[0]>;
type Answer = (args: Record<string, unknown>) => Promise<unknown>;

const app = (name: string, exe: string, icon?: string): AppInfo => ({ name, exe, mode: null, ...(icon ? { icon } : {}) });
const rule = (name: string, exe: string, mode: AppRule["mode"]): AppRule => ({ name, exe, mode });
const WORD = rule("Word", "winword.exe", "fast");
const EXCEL = rule("Excel", "excel.exe", "off");

/** Answers the list commands; everything else resolves with null. */
function answer(fake: FakeBridge, answers: Record<string, Answer>) {
  fake.invoke.mockImplementation((name: string, args: Record<string, unknown>) =>
    (answers[name] ?? (() => Promise.resolve(null)))(args),
  );
}

function page(over: Over = {}, answers: Record<string, Answer> = {}) {
  const fake = withFacade();
  answer(fake, { apps_running: () => Promise.resolve([]), apps_installed: () => Promise.resolve([]), ...answers });
  const view = renderAt(<AppsPage state={makeSnapshot(over)} />, "/apps");
  return { fake, ...view };
}

const rowOf = (exe: string) => document.querySelector<HTMLElement>(`tr[data-exe="${exe}"]`)!;
const tableRows = () =>
  [...document.querySelectorAll<HTMLElement>("tbody tr[data-exe]")].map((tr) => {
    const cells = tr.querySelectorAll("td");
    const [name, exe] = [...cells[0].querySelectorAll("p")].map((p) => p.textContent);
    return [name, exe, cells[1].textContent, cells[2].textContent];
  });
const calls = (fake: FakeBridge, name: string) => sent(fake).filter(([n]) => n === name);

/** The last page notice: its text and its action. */
function lastNotice() {
  const [text, options] = vi.mocked(toast).mock.calls.at(-1)!;
  const action = (options as unknown as { action: { label: string; onClick: () => void } }).action;
  return { text, action };
}

beforeEach(() => vi.mocked(toast).mockClear());
afterEach(() => vi.useRealTimers());

describe("the table", () => {
  it("lists the rules, then the running programs without one, with mode and state", async () => {
    page(
      { settings: { apps: [WORD, EXCEL] }, currentApp: app("Microsoft Word", "winword.exe") },
      { apps_running: () => Promise.resolve([app("Notepad", "notepad.exe", "data:image/png;base64,AA")]) },
    );
    await screen.findByText("Notepad");
    expect(tableRows()).toEqual([
      ["Excel", "excel.exe", "O‘chiq", "Yopiq"],
      ["Word", "winword.exe", "Fast", "Hozir ochiq"],
      ["Notepad", "notepad.exe", "Umumiy", "Hozir ochiq"],
    ]);
    expect(rowOf("notepad.exe").querySelector("img")).toHaveAttribute("src", "data:image/png;base64,AA");
    expect(within(rowOf("excel.exe")).getByTestId("app-tile")).toHaveTextContent("E");
    // Only ruled rows can be removed.
    expect(within(rowOf("winword.exe")).getByRole("button", { name: "Word qoidasini olib tashlash" })).toBeInTheDocument();
    expect(within(rowOf("notepad.exe")).queryByRole("button")).not.toBeInTheDocument();
  });

  it("waits for the first running list with placeholders", async () => {
    let reply!: (list: AppInfo[]) => void;
    const pending = () => new Promise<unknown>((done) => (reply = done));
    page({}, { apps_running: pending });
    expect(screen.getAllByTestId("row-placeholder")).toHaveLength(4);

    await act(async () => reply([app("Notepad", "notepad.exe")]));
    expect(screen.queryByTestId("row-placeholder")).not.toBeInTheDocument();
    expect(tableRows()).toEqual([["Notepad", "notepad.exe", "Umumiy", "Hozir ochiq"]]);
  });

  it("shows a rule's row with a state placeholder until the list comes", () => {
    page({ settings: { apps: [WORD] } }, { apps_running: () => new Promise(() => {}) });
    expect(within(rowOf("winword.exe")).getByTestId("state-placeholder")).toBeInTheDocument();
    expect(screen.queryByTestId("row-placeholder")).not.toBeInTheDocument();
  });

  it("takes an icon from the installed list when the running entry has none", async () => {
    page(
      { settings: { apps: [WORD] } },
      { apps_installed: () => Promise.resolve([app("Word", "winword.exe", "data:image/png;base64,WW")]) },
    );
    await waitFor(() => expect(rowOf("winword.exe").querySelector("img")).toHaveAttribute("src", "data:image/png;base64,WW"));
  });

  it("filters by the tabs and the search", async () => {
    page(
      { settings: { apps: [WORD, EXCEL] } },
      { apps_running: () => Promise.resolve([app("Notepad", "notepad.exe"), app("Excel", "excel.exe")]) },
    );
    await screen.findByText("Notepad");
    const names = () => tableRows().map((r) => r[0]);
    await userEvent.click(screen.getByRole("tab", { name: "Qoida bor" }));
    expect(names()).toEqual(["Excel", "Word"]);
    await userEvent.click(screen.getByRole("tab", { name: "Hozir ochiq" }));
    expect(names()).toEqual(["Excel", "Notepad"]);
    await userEvent.type(screen.getByRole("searchbox", { name: "Dastur qidirish" }), " NOTE");
    expect(names()).toEqual(["Notepad"]);
  });
});

describe("refreshing the running list", () => {
  it("refreshes every 5 seconds while shown and stops when the page goes", async () => {
    vi.useFakeTimers();
    const { fake, unmount } = page();
    await act(async () => {});
    expect(calls(fake, "apps_running")).toHaveLength(1);
    await act(async () => vi.advanceTimersByTime(RUNNING_REFRESH_MS * 2));
    expect(calls(fake, "apps_running")).toHaveLength(3);
    // The installed list is read once.
    expect(calls(fake, "apps_installed")).toHaveLength(1);
    unmount();
    await act(async () => vi.advanceTimersByTime(RUNNING_REFRESH_MS * 3));
    expect(calls(fake, "apps_running")).toHaveLength(3);
  });

  it("stops while the window is hidden and reads the list at once when it is shown again", async () => {
    vi.useFakeTimers();
    let state: DocumentVisibilityState = "visible";
    const visibility = vi.spyOn(document, "visibilityState", "get").mockImplementation(() => state);
    onTestFinished(() => visibility.mockRestore());
    const show = (next: DocumentVisibilityState) =>
      act(async () => {
        state = next;
        document.dispatchEvent(new Event("visibilitychange"));
      });
    const { fake } = page();
    await act(async () => {});
    expect(calls(fake, "apps_running")).toHaveLength(1);
    await show("hidden");
    await act(async () => vi.advanceTimersByTime(RUNNING_REFRESH_MS * 4));
    expect(calls(fake, "apps_running")).toHaveLength(1);
    await show("visible");
    expect(calls(fake, "apps_running")).toHaveLength(2);
    await act(async () => vi.advanceTimersByTime(RUNNING_REFRESH_MS));
    expect(calls(fake, "apps_running")).toHaveLength(3);
  });

  it("keeps the last list when a refresh fails, warns, and recovers on retry", async () => {
    vi.useFakeTimers();
    let fail = false;
    const { fake } = page(
      { settings: { apps: [WORD] } },
      { apps_running: () => (fail ? Promise.reject("no list") : Promise.resolve([app("Word", "winword.exe")])) },
    );
    await act(async () => {});
    expect(tableRows()).toEqual([["Word", "winword.exe", "Fast", "Hozir ochiq"]]);

    fail = true;
    await act(async () => vi.advanceTimersByTime(RUNNING_REFRESH_MS));
    const warning = screen.getByRole("alert");
    expect(warning).toHaveTextContent(
      "Ochiq dasturlar ro‘yxatini olib bo‘lmadi. Qoidalar saqlangan, «Hozir ochiq» belgisi vaqtincha ko‘rinmaydi.",
    );
    expect(tableRows()).toEqual([["Word", "winword.exe", "Fast", "Hozir ochiq"]]);

    fail = false;
    vi.useRealTimers();
    await userEvent.click(within(warning).getByRole("button", { name: "Qayta urinish" }));
    await waitFor(() => expect(screen.queryByRole("alert")).not.toBeInTheDocument());
    expect(calls(fake, "apps_running").length).toBe(3);
  });

  it("a first refresh that fails still lists the rules, as closed", async () => {
    page({ settings: { apps: [WORD] } }, { apps_running: () => Promise.reject("no list") });
    await screen.findByRole("alert");
    expect(tableRows()).toEqual([["Word", "winword.exe", "Fast", "Yopiq"]]);
  });
});

describe("changing and removing rules", () => {
  it("gives a program a mode of its own", async () => {
    const { fake } = page({}, { apps_running: () => Promise.resolve([app("Notepad", "notepad.exe")]) });
    await screen.findByText("Notepad");
    await choose("Notepad: rejim", "Zero-learning");
    expect(calls(fake, "apps_set")).toEqual([["apps_set", { exe: "notepad.exe", name: "Notepad", mode: "zero" }]]);
  });

  it.each<[string, Over["settings"], string]>([
    ["on", { mode: "hybrid" }, "Word: umumiy rejim (Hybrid)"],
    ["off", { mode: "zero", enabled: false }, "Word: umumiy rejim (O‘chiq)"],
  ])("back to the global mode while conversion is %s, with an undo", async (_, settings, notice) => {
    const { fake } = page({ settings: { ...settings, apps: [WORD] } });
    await screen.findByText("Yopiq");
    await choose("Word: rejim", "Umumiy");
    expect(calls(fake, "apps_set")).toEqual([["apps_set", { exe: "winword.exe", name: null, mode: null }]]);
    await waitFor(() => expect(toast).toHaveBeenCalledTimes(1));

    const { text, action } = lastNotice();
    expect([text, action.label]).toEqual([notice, "Qaytarish"]);
    action.onClick();
    expect(calls(fake, "apps_set").at(-1)).toEqual(["apps_set", { exe: "winword.exe", name: "Word", mode: "fast" }]);
  });

  it("removes a rule after a destructive confirm, with an undo", async () => {
    const { fake } = page({ settings: { apps: [EXCEL] } });
    await screen.findByText("Yopiq");
    await userEvent.click(screen.getByRole("button", { name: "Excel qoidasini olib tashlash" }));
    const dialog = screen.getByRole("alertdialog");
    expect(within(dialog).getByRole("heading")).toHaveTextContent("Excel qoidasi olib tashlansinmi?");
    expect(dialog).toHaveTextContent(
      "excel.exe umumiy rejimga qaytadi. Dasturning o‘zi o‘chmaydi va yozganingiz o‘zgarmaydi.",
    );
    expect(within(dialog).getAllByRole("button").map((b) => b.textContent)).toEqual(["Bekor qilish", "Olib tashlash"]);

    await userEvent.click(within(dialog).getByRole("button", { name: "Bekor qilish" }));
    expect(calls(fake, "apps_set")).toEqual([]);

    await userEvent.click(screen.getByRole("button", { name: "Excel qoidasini olib tashlash" }));
    await userEvent.click(screen.getByRole("button", { name: "Olib tashlash" }));
    expect(calls(fake, "apps_set")).toEqual([["apps_set", { exe: "excel.exe", name: null, mode: null }]]);
    await waitFor(() => expect(toast).toHaveBeenCalledTimes(1));
    const { text, action } = lastNotice();
    expect([text, action.label]).toEqual(["Excel qoidasi olib tashlandi", "Qaytarish"]);
    action.onClick();
    expect(calls(fake, "apps_set").at(-1)).toEqual(["apps_set", { exe: "excel.exe", name: "Excel", mode: "off" }]);
  });

  it("a click outside the confirm closes it without removing", async () => {
    const { fake } = page({ settings: { apps: [EXCEL] } });
    await screen.findByText("Yopiq");
    await userEvent.click(screen.getByRole("button", { name: "Excel qoidasini olib tashlash" }));
    const veil = document.querySelector<HTMLElement>("[data-state=open][class*='bg-foreground']")!;
    await userEvent.click(veil);
    expect(screen.queryByRole("alertdialog")).not.toBeInTheDocument();
    expect(calls(fake, "apps_set")).toEqual([]);
  });

  it("says nothing when the removal is refused", async () => {
    const { fake } = page({ settings: { apps: [EXCEL] } });
    answer(fake, { apps_running: () => Promise.resolve([]), apps_set: () => Promise.reject("refused") });
    await screen.findByText("Yopiq");
    await userEvent.click(screen.getByRole("button", { name: "Excel qoidasini olib tashlash" }));
    await userEvent.click(screen.getByRole("button", { name: "Olib tashlash" }));
    await act(async () => {});
    expect(toast).not.toHaveBeenCalled();
  });
});

describe("an empty table", () => {
  const empty = () => {
    const card = screen.getByText(/hech narsa topilmadi|topilmadi|qoidasi yo‘q/).closest("div")!.parentElement!;
    return [card.querySelector("p")?.textContent, card.querySelectorAll("p")[1]?.textContent, within(card).getAllByRole("button").map((b) => b.textContent)];
  };

  it.each<[string, string, string, (string | undefined | string[])[]]>([
    ["a search", " zzz ", "all", ["“zzz” bo‘yicha hech narsa topilmadi", "Nomni tekshirib ko‘ring yoki dasturni qo‘lda qo‘shing.", ["Qidiruvni tozalash", "Dastur qo‘shish"]]],
    ["a search beats the open filter", "zzz", "Hozir ochiq", ["“zzz” bo‘yicha hech narsa topilmadi", "Nomni tekshirib ko‘ring yoki dasturni qo‘lda qo‘shing.", ["Qidiruvni tozalash", "Dastur qo‘shish"]]],
    ["the open filter", "", "Hozir ochiq", ["Hozir ochiq dastur topilmadi", "Dasturni oching yoki «Hammasi» ro‘yxatiga qayting.", ["Hammasi"]]],
    ["nothing at all", "", "all", ["Hali dastur qoidasi yo‘q", "Barcha dasturlarda umumiy rejim ishlaydi. Alohida rejim kerak bo‘lsa, ochiq dasturlardan tanlang yoki .exe faylini ko‘rsating.", ["Dastur qo‘shish"]]],
  ])("%s", async (_, search, tab, expected) => {
    page({ settings: { apps: tab === "all" && !search.trim() ? [] : [EXCEL] } });
    await act(async () => {});
    if (tab !== "all") await userEvent.click(screen.getByRole("tab", { name: tab }));
    if (search) await userEvent.type(screen.getByRole("searchbox"), search);
    expect(empty()).toEqual(expected);
  });

  it("the buttons clear the search and go back to all", async () => {
    page({ settings: { apps: [EXCEL] } });
    await act(async () => {});
    await userEvent.click(screen.getByRole("tab", { name: "Hozir ochiq" }));
    await userEvent.click(screen.getByRole("button", { name: "Hammasi" }));
    expect(screen.getByRole("tab", { name: "Hammasi" })).toHaveAttribute("aria-selected", "true");
    expect(screen.getByText("Excel")).toBeInTheDocument();

    await userEvent.type(screen.getByRole("searchbox"), "zzz");
    await userEvent.click(screen.getByRole("button", { name: "Qidiruvni tozalash" }));
    expect(screen.getByRole("searchbox")).toHaveValue("");
    expect(screen.getByText("Excel")).toBeInTheDocument();
  });
});

describe("the focus after a dialog, driven by the keyboard", () => {
  /** Presses Tab until `target` has the focus. */
  async function tabTo(target: HTMLElement) {
    for (let i = 0; i < 40 && document.activeElement !== target; i++) await userEvent.tab();
    expect(target).toHaveFocus();
  }
  const addButton = () => screen.getAllByRole("button", { name: "Dastur qo‘shish" })[0];
  const removeButton = (name: string) => screen.getByRole("button", { name: `${name} qoidasini olib tashlash` });

  it.each<[string, () => Promise<unknown>]>([
    ["Escape", () => userEvent.keyboard("{Escape}")],
    ["Bekor qilish", async () => (await tabTo(screen.getByRole("button", { name: "Bekor qilish" })), userEvent.keyboard("{Enter}"))],
    ["its corner button", async () => (await tabTo(screen.getByRole("button", { name: "Yopish" })), userEvent.keyboard("{Enter}"))],
  ])("Dastur qo‘shish closed by %s gives the focus back to its button", async (_, close) => {
    page({ settings: { apps: [WORD] } });
    await screen.findByText("Yopiq");
    await tabTo(addButton());
    await userEvent.keyboard("{Enter}");
    expect(await screen.findByRole("dialog", { name: "Dastur qo‘shish" })).toBeInTheDocument();
    await close();
    expect(screen.queryByRole("dialog")).not.toBeInTheDocument();
    await waitFor(() => expect(addButton()).toHaveFocus());
  });

  it("a program added from Dastur qo‘shish gives the focus back to its button", async () => {
    page({ settings: { apps: [] } }, { apps_running: () => Promise.resolve([app("Notepad", "notepad.exe")]) });
    await tabTo(addButton());
    await userEvent.keyboard("{Enter}");
    await tabTo(await screen.findByRole("button", { name: "Notepad (notepad.exe) qoidasini qo‘shish" }));
    await userEvent.keyboard("{Enter}");
    await waitFor(() => expect(screen.queryByRole("dialog")).not.toBeInTheDocument());
    await waitFor(() => expect(addButton()).toHaveFocus());
  });

  it.each<[string, () => Promise<unknown>]>([
    ["Escape", () => userEvent.keyboard("{Escape}")],
    ["Bekor qilish", () => userEvent.keyboard("{Enter}")], // the cancel button has the focus
  ])("the remove confirmation closed by %s gives the focus back to the remove button", async (_, close) => {
    const { fake } = page({ settings: { apps: [WORD, EXCEL] } });
    await screen.findAllByText("Yopiq");
    await tabTo(removeButton("Excel"));
    await userEvent.keyboard("{Enter}");
    expect(screen.getByRole("button", { name: "Bekor qilish" })).toHaveFocus();
    await close();
    expect(screen.queryByRole("alertdialog")).not.toBeInTheDocument();
    await waitFor(() => expect(removeButton("Excel")).toHaveFocus());
    expect(calls(fake, "apps_set")).toEqual([]);
  });

  // rules, running programs, removed → where the focus goes
  it.each<[string, AppRule[], AppInfo[], string, string]>([
    ["the row of a running program: its mode", [WORD, EXCEL], [app("Excel", "excel.exe")], "Excel", "Excel: rejim"],
    ["a row that goes: the mode of the row now in its place", [WORD, EXCEL, rule("Paint", "mspaint.exe", "zero")], [], "Excel", "Paint: rejim"],
    ["the last row, gone: the mode of the row before it", [WORD, EXCEL], [], "Excel", "Word: rejim"],
    ["the only row, gone: Dastur qo‘shish", [EXCEL], [], "Excel", "Dastur qo‘shish"],
  ])("a confirmed removal puts the focus on %s", async (_, rules, running, name, focused) => {
    const { fake, update } = page({ settings: { apps: rules } }, { apps_running: () => Promise.resolve(running) });
    await waitFor(() => expect(removeButton(name)).toBeInTheDocument());
    await act(async () => {});
    await tabTo(removeButton(name));
    await userEvent.keyboard("{Enter}");
    await tabTo(screen.getByRole("button", { name: "Olib tashlash" }));
    await userEvent.keyboard("{Enter}");
    expect(calls(fake, "apps_set")).toEqual([["apps_set", { exe: rules.find((r) => r.name === name)!.exe, name: null, mode: null }]]);
    await waitFor(() => expect(removeButton(name)).toHaveFocus());
    // The new state comes without the rule.
    update(<AppsPage state={makeSnapshot({ settings: { apps: rules.filter((r) => r.name !== name) } })} />);
    const target = focused === "Dastur qo‘shish" ? addButton() : screen.getByRole("combobox", { name: focused });
    await waitFor(() => expect(target).toHaveFocus());
  });
});
