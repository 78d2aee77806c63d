import { act, fireEvent, render, screen, within } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { afterEach, beforeEach, describe, expect, it, vi } from "vitest";
import type { DocReply, DocRequest } from "../convert/protocol";
import { ConverterPage } from "./ConverterPage";

const TEST_NOTICE = "Kirill konvertori sinov rejimida: xatolar bo‘lishi mumkin, natijani tekshirib chiqing.";

/** A stand-in for the document worker that the test answers by hand. */
class FakeWorker {
  onmessage: ((event: MessageEvent<DocReply>) => void) | null = null;
  onerror: ((event: ErrorEvent) => void) | null = null;
  posted: { message: DocRequest; transfer: Transferable[] }[] = [];
  terminated = false;
  postMessage(message: DocRequest, transfer: Transferable[]) {
    this.posted.push({ message, transfer });
  }
  terminate() {
    this.terminated = true;
  }
  get request() {
    return this.posted[0].message;
  }
  reply(patch: Partial<DocReply> = {}) {
    const { id, name } = this.request;
    const base = {
      id,
      ok: true,
      name: name.replace(/\.(\w+)$/, ".uz.$1"),
      buffer: new ArrayBuffer(4),
      mime: "text/plain;charset=utf-8",
      changed: 2,
      warnings: 0,
      usedCyrillic: false,
      source: "shahar choy",
      truncated: false,
      chars: 11,
    };
    act(() => this.onmessage?.({ data: { ...base, ...patch } } as MessageEvent<DocReply>));
  }
  crash() {
    act(() => this.onerror?.(new ErrorEvent("error")));
  }
}

let workers: FakeWorker[];
let created: string[];
let revoked: string[];

beforeEach(() => {
  workers = [];
  created = [];
  revoked = [];
  vi.spyOn(URL, "createObjectURL").mockImplementation(() => {
    const url = `blob:harvel/${created.length + 1}`;
    created.push(url);
    return url;
  });
  vi.spyOn(URL, "revokeObjectURL").mockImplementation((url) => void revoked.push(url));
});

afterEach(() => {
  vi.useRealTimers();
  Reflect.deleteProperty(navigator, "clipboard");
  Reflect.deleteProperty(document, "execCommand");
});

function page() {
  const createWorker = () => {
    const worker = new FakeWorker();
    workers.push(worker);
    return worker as unknown as Worker;
  };
  return render(<ConverterPage createWorker={createWorker} />);
}

/** A file whose bytes can be read (the test DOM's files cannot). */
function file(name: string, text = "shahar", size?: number): File {
  const f = new File([text], name);
  const bytes = new TextEncoder().encode(text);
  Object.defineProperty(f, "arrayBuffer", { value: () => Promise.resolve(bytes.buffer.slice(0)), configurable: true });
  if (size !== undefined) Object.defineProperty(f, "size", { value: size });
  return f;
}

const input = () => screen.getByRole("textbox", { name: "Kirish matni" }) as HTMLTextAreaElement;
const output = () => screen.getByRole("textbox", { name: "Natija" }) as HTMLTextAreaElement;
const copyButton = () => screen.getByRole("button", { name: /Nusxalash|Nusxalandi/ });
const type = (text: string) => fireEvent.change(input(), { target: { value: text } });
const testNotices = () => screen.queryAllByText(TEST_NOTICE);
const jobs = () => screen.queryAllByTestId("job");

async function drop(...files: File[]) {
  await act(async () => {
    fireEvent.drop(screen.getByTestId("drop-zone"), { dataTransfer: { files } });
  });
}

describe("live text", () => {
  it("converts as the text changes and counts changes and warnings", () => {
    page();
    type("shahar choy check");
    expect(output().value).toBe("şahar çoy check");
    expect(screen.getByTestId("live-counts")).toHaveTextContent("2 ta o‘zgarish · 1 ta ogohlantirish");
    const doubt = within(screen.getByRole("list", { name: "Ogohlantirishlar" })).getByRole("listitem");
    expect(doubt).toHaveTextContent("check");
    expect(doubt).toHaveTextContent("Muqobil: çeck");
    expect(copyButton()).toBeEnabled();
  });

  it.each([
    [200_000, false],
    [200_001, true],
  ])("a text of %i code units is too big: %s", (length, tooBig) => {
    page();
    type("sh" + "a".repeat(length - 2));
    expect(output().value.startsWith(tooBig ? "Matn juda katta: fayl sifatida yuklang." : "şa")).toBe(true);
    if (tooBig) expect(copyButton()).toBeDisabled();
    else expect(copyButton()).toBeEnabled();
  });

  it("gives no output and no notice for whitespace only", () => {
    page();
    type("  \n\t ");
    expect(output().value).toBe("");
    expect(copyButton()).toBeDisabled();
    expect(testNotices()).toEqual([]);
    expect(screen.queryByTestId("live-counts")).toBeNull();
  });

  it("shows the test notice for the Cyrillic choice, and under Avto only for Cyrillic that changes", async () => {
    page();
    const pressed = () =>
      within(screen.getByRole("group", { name: "Yozuv turi" }))
        .getAllByRole("button")
        .map((b) => [b.textContent, b.getAttribute("aria-pressed")]);
    expect(pressed()).toEqual([
      ["Avto", "true"],
      ["Eski lotin", "false"],
      ["KirillSINOV", "false"],
    ]);
    await userEvent.click(screen.getByRole("button", { name: /Kirill/ }));
    expect(pressed()[2]).toEqual(["KirillSINOV", "true"]);
    expect(testNotices()).toHaveLength(1);

    await userEvent.click(screen.getByRole("button", { name: "Avto" }));
    expect(testNotices()).toHaveLength(0);
    type("шаҳар");
    expect(output().value).toBe("şahar");
    expect(testNotices()).toHaveLength(1);
    type("щщщ"); // Cyrillic, but nothing to change
    expect(testNotices()).toHaveLength(0);
    await userEvent.click(screen.getByRole("button", { name: "Eski lotin" }));
    type("шаҳар");
    expect(output().value).toBe("шаҳар");
    expect(testNotices()).toHaveLength(0);
  });

  it("copies the output and says so for a while", async () => {
    vi.useFakeTimers();
    const writeText = vi.fn(() => Promise.resolve());
    Object.defineProperty(navigator, "clipboard", { value: { writeText }, configurable: true });
    page();
    type("shahar");
    await act(async () => fireEvent.click(copyButton()));
    expect(writeText).toHaveBeenCalledWith("şahar");
    expect(copyButton()).toHaveTextContent("Nusxalandi");
    act(() => vi.advanceTimersByTime(1799));
    expect(copyButton()).toHaveTextContent("Nusxalandi");
    act(() => vi.advanceTimersByTime(1));
    expect(copyButton()).toHaveTextContent("Nusxalash");
  });

  it("falls back to a selected text area when the clipboard refuses", async () => {
    Object.defineProperty(navigator, "clipboard", {
      value: { writeText: () => Promise.reject(new Error("denied")) },
      configurable: true,
    });
    let copied = "";
    const execCommand = vi.fn(() => {
      const area = document.body.lastElementChild as HTMLTextAreaElement;
      copied = area.value.slice(area.selectionStart, area.selectionEnd);
      return true;
    });
    Object.defineProperty(document, "execCommand", { value: execCommand, configurable: true });
    page();
    type("choy");
    await act(async () => fireEvent.click(copyButton()));
    expect(execCommand).toHaveBeenCalledWith("copy");
    expect(copied).toBe("çoy");
    expect(document.querySelectorAll("textarea")).toHaveLength(2);
    expect(copyButton()).toHaveTextContent("Nusxalandi");
  });

  it("clears the input, the notice line and the Word note", async () => {
    page();
    await drop(file("a.docx"));
    workers[0].reply({ truncated: true, source: "x".repeat(100_000), chars: 123_456 });
    expect(screen.getByTestId("notice-line")).toBeInTheDocument();
    expect(screen.getByTestId("word-note")).toBeInTheDocument();
    await userEvent.click(screen.getByRole("button", { name: "Tozalash" }));
    expect(input().value).toBe("");
    expect(screen.queryByTestId("notice-line")).toBeNull();
    expect(screen.queryByTestId("word-note")).toBeNull();
    expect(screen.getByRole("button", { name: "Tozalash" })).toBeDisabled();
  });
});

describe("files", () => {
  it("gives a finished card's file name an element of its own, cut short with its full text as a tooltip, and the counts theirs", async () => {
    const name = `${"Toshkent viloyati maktablari bo'yicha yillik hisobot ".repeat(3)}.txt`;
    page();
    await drop(file(name));
    workers[0].reply({ changed: 12, warnings: 3, usedCyrillic: true, source: "x" });
    const status = jobs()[0].querySelector<HTMLElement>("[data-job-status]")!;
    // Not clamped to lines that hide the counts (the screenshot run measures it at 820 × 560).
    expect(status.className).not.toMatch(/line-clamp/);
    const ownName = status.querySelector("[data-job-file]");
    expect(ownName).toHaveTextContent(name);
    expect(ownName).toHaveAttribute("title", name);
    expect(ownName).toHaveClass("truncate");
    expect(status.querySelector("[data-job-counts]")).toHaveTextContent(
      "· 12 ta o‘zgarish · 3 ta ogohlantirish (natijani ko‘zdan kechiring) · KIRILL: SINOV REJIMI",
    );
    expect(status).toHaveTextContent(
      `${name} · 1 KB · 12 ta o‘zgarish · 3 ta ogohlantirish (natijani ko‘zdan kechiring) · KIRILL: SINOV REJIMI`,
    );
  });

  it("runs each dropped file in its own worker and lets each card end on its own", async () => {
    page();
    await userEvent.click(screen.getByRole("button", { name: /Kirill/ }));
    await drop(file("bir.txt"), file("ikki.md", "choy"), file("uch.srt"));
    expect(workers).toHaveLength(3);
    expect(jobs().map((j) => j.dataset.status)).toEqual(["running", "running", "running"]);
    expect(screen.getAllByRole("img", { name: "Kuting" })).toHaveLength(3);
    // newest first
    expect(jobs().map((j) => j.querySelector("[data-job-title]")!.textContent)).toEqual([
      "uch.srt · 1 KB",
      "ikki.md · 1 KB",
      "bir.txt · 1 KB",
    ]);
    const requests = workers.map((w) => w.posted[0]);
    expect(requests.map((r) => [r.message.id, r.message.name, r.message.script])).toEqual([
      [1, "bir.txt", "cyrillic"],
      [2, "ikki.md", "cyrillic"],
      [3, "uch.srt", "cyrillic"],
    ]);
    for (const r of requests) expect(r.transfer).toEqual([r.message.buffer]);
    expect(new TextDecoder().decode(requests[1].message.buffer)).toBe("choy");

    workers[1].reply({ changed: 5, warnings: 2, usedCyrillic: true, source: "ikki" });
    workers[2].reply({ ok: false, error: "Fayl buzilgan." } as Partial<DocReply>);
    workers[0].reply({ source: "bir" });

    const [uch, ikki, bir] = jobs();
    expect(uch.dataset.status).toBe("error");
    expect(within(uch).getByRole("alert")).toHaveTextContent("Fayl buzilgan.");
    expect(ikki.dataset.status).toBe("done");
    expect(ikki.querySelector("[data-job-title]")).toHaveTextContent("ikki.uz.md");
    expect(ikki.querySelector("[data-job-status]")).toHaveTextContent(
      "ikki.md · 1 KB · 5 ta o‘zgarish · 2 ta ogohlantirish (natijani ko‘zdan kechiring) · KIRILL: SINOV REJIMI",
    );
    expect(within(ikki).getByText(TEST_NOTICE)).toBeInTheDocument();
    expect(bir.querySelector("[data-job-status]")).toHaveTextContent(/^bir\.txt · 1 KB · 2 ta o‘zgarish$/);
    const link = within(bir).getByRole("link", { name: "Yuklab olish" });
    expect(link).toHaveAttribute("href", "blob:harvel/2");
    expect(link).toHaveAttribute("download", "bir.uz.txt");
    expect(workers.every((w) => w.terminated)).toBe(true);
    // the reply that came last fills the live box
    expect(input().value).toBe("bir");
  });

  it("fails a file over 20 MiB at once, without a worker", async () => {
    page();
    await drop(file("katta.txt", "x", 21 * 1048576));
    expect(workers).toHaveLength(0);
    expect(jobs()[0].dataset.status).toBe("error");
    expect(within(jobs()[0]).getByRole("alert")).toHaveTextContent("Fayl juda katta (21.0 MB). Chegara: 20 MB.");
  });

  it("reports a worker crash and an unreadable file on their cards", async () => {
    page();
    const unreadable = file("yomon.txt");
    Object.defineProperty(unreadable, "arrayBuffer", { value: () => Promise.reject(new Error("gone")) });
    await drop(file("a.txt"), unreadable);
    expect(workers).toHaveLength(1);
    workers[0].crash();
    expect(workers[0].terminated).toBe(true);
    expect(jobs().map((j) => within(j).getByRole("alert").textContent)).toEqual([
      "Faylni o‘qib bo‘lmadi.",
      "O‘girishda kutilmagan xato. Faylni tekshirib, qayta urinib ko‘ring.",
    ]);
  });

  it("fails a file whose reply cannot be read back", async () => {
    page();
    await drop(file("a.txt"));
    const worker = workers[0] as FakeWorker & { onmessageerror?: (event: MessageEvent) => void };
    act(() => worker.onmessageerror?.(new MessageEvent("messageerror")));
    expect(worker.terminated).toBe(true);
    expect(jobs()[0].dataset.status).toBe("error");
    expect(within(jobs()[0]).getByRole("alert")).toHaveTextContent(
      "O‘girishda kutilmagan xato. Faylni tekshirib, qayta urinib ko‘ring.",
    );
  });

  it("shows the notice line for a cut preview and the Word note for a .docx until a later file", async () => {
    page();
    await drop(file("Hisobot.DOCX"));
    workers[0].reply({ truncated: true, source: "ş".repeat(100_000), chars: 1_234_567 });
    expect(screen.getByTestId("notice-line")).toHaveTextContent(
      "Birinchi 100 000 belgi ko‘rsatilgan (jami 1 234 567); to‘liq natija faylda.",
    );
    expect(screen.getByTestId("word-note")).toHaveTextContent(
      "Oynada docx matni uslubsiz ko‘rinadi; yuklab olinadigan faylda uslub saqlanadi.",
    );
    await drop(file("b.txt"));
    workers[1].reply();
    expect(screen.queryByTestId("notice-line")).toBeNull();
    expect(screen.queryByTestId("word-note")).toBeNull();
    expect(input().value).toBe("shahar choy");
    expect(output().value).toBe("şahar çoy");
  });

  it("takes files from the picker and empties it for the next choice", async () => {
    page();
    const picker = screen.getByTestId("file-picker") as HTMLInputElement;
    expect(picker).toHaveAttribute("accept", ".txt,.md,.html,.htm,.srt,.docx");
    expect(picker.multiple).toBe(true);
    await userEvent.upload(picker, [file("a.txt"), file("b.html")]);
    expect(workers).toHaveLength(2);
    expect(picker.value).toBe("");
  });

  it("releases download addresses when a card is removed and when the page goes away", async () => {
    const view = page();
    await drop(file("a.txt"), file("b.txt"), file("c.txt"));
    workers[0].reply();
    workers[1].reply();
    expect(created).toEqual(["blob:harvel/1", "blob:harvel/2"]);
    expect(screen.getAllByRole("button", { name: "Olib tashlash" })).toHaveLength(2); // not on the running card
    await userEvent.click(within(jobs()[1]).getByRole("button", { name: "Olib tashlash" }));
    expect(revoked).toEqual(["blob:harvel/2"]);
    expect(jobs()).toHaveLength(2);
    view.unmount();
    expect(revoked).toEqual(["blob:harvel/2", "blob:harvel/1"]);
    expect(workers[2].terminated).toBe(true);
  });
});
