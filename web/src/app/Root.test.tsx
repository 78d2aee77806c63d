import { act, render, screen, within } from "@testing-library/react";
import { MemoryRouter, useLocation, useNavigate, type Location, type To } from "react-router";
import { describe, expect, it, onTestFinished, vi } from "vitest";
import { installFacade } from "../lib/facade";
import type { Snapshot } from "../lib/types";
import { createFakeBridge, type FakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { setSystemDark } from "../test/media";
import { Root } from "./Root";

function withBridge(state?: Snapshot): FakeBridge {
  const fake = createFakeBridge();
  if (state) fake.onStateGet(() => Promise.resolve(state));
  window.__HARVEL_IPC__ = fake.bridge;
  installFacade();
  return fake;
}

function renderRoot(entries: string[] = ["/"]) {
  const probe: { location?: Location; navigate?: (to: To | number) => void } = {};
  function Probe() {
    probe.location = useLocation();
    const navigate = useNavigate();
    probe.navigate = (to) => void navigate(to as To);
    return null;
  }
  const result = render(
    <MemoryRouter initialEntries={entries} initialIndex={entries.length - 1}>
      <Root />
      <Probe />
    </MemoryRouter>,
  );
  return {
    ...result,
    where: () => `${probe.location?.pathname}${probe.location?.search}`,
    go: (to: To | number) => act(() => probe.navigate?.(to)),
  };
}

function deferred<T>() {
  let resolve!: (value: T) => void;
  let reject!: (reason: unknown) => void;
  const promise = new Promise<T>((res, rej) => {
    resolve = res;
    reject = rej;
  });
  return { promise, resolve, reject };
}

const title = () => screen.getByRole("heading", { level: 1 }).textContent;
const isDark = () => document.documentElement.classList.contains("dark");
const sidebar = () => screen.queryByRole("navigation", { name: "Asosiy" });

describe("what a window shows", () => {
  it("outside the program: the notice and nothing else", () => {
    const { container } = renderRoot(["/"]);
    expect(container).toHaveTextContent(/^Harvel ilovasi o‘rnatilgan holda ishga tushirilishi kerak\.$/);
  });

  it.each([
    ["from the start script", { title: "Hybrid rejimi yoqildi", body: "Right Alt + S → ş", kind: "ok" }, "/toast"],
    ["from the query", undefined, "/toast?title=Til%3A%20ruscha&body=Fast%20pauzada&kind=warn"],
  ])("the toast route renders at once without a facade, data %s", (_, data, path) => {
    window.__toast = data;
    renderRoot([path]);
    expect(title()).toBe(data ? "Hybrid rejimi yoqildi" : "Til: ruscha");
    expect(screen.getByText(data ? "Right Alt + S → ş" : "Fast pauzada")).toBeInTheDocument();
  });

  it("stays blank while the first state is on its way", () => {
    withBridge();
    const { container } = renderRoot(["/"]);
    expect(container).toBeEmptyDOMElement();
  });

  it("the tray route shows the pop-up once the state is there, without the main shell", async () => {
    withBridge(makeSnapshot());
    renderRoot(["/tray"]);
    expect(await screen.findByRole("dialog", { name: "Harvel" })).toBeInTheDocument();
    expect(sidebar()).not.toBeInTheDocument();
    expect(screen.queryByRole("button", { name: "Yopish" })).not.toBeInTheDocument();
  });

  it("a failed state_get leaves the window blank until the next state-changed", async () => {
    const fake = withBridge();
    fake.onStateGet(() => Promise.reject("state unavailable"));
    const { container } = renderRoot(["/"]);
    await act(async () => {});
    expect(container).toBeEmptyDOMElement();

    act(() => fake.emit("state-changed", makeSnapshot()));
    expect(title()).toBe("Asosiy");
  });
});

describe("state", () => {
  it("each state-changed replaces the state whole: the sidebar appears once onboarded", async () => {
    const fake = withBridge(makeSnapshot({ settings: { onboarded: false } }));
    const view = renderRoot(["/"]);
    expect(await screen.findByRole("heading", { name: "Harvel bilan tanishing" })).toBeInTheDocument();
    expect(view.where()).toBe("/welcome");
    expect(sidebar()).not.toBeInTheDocument();

    act(() => fake.emit("state-changed", makeSnapshot({ settings: { onboarded: true } })));
    expect(sidebar()).toBeInTheDocument();
  });

  it("a hidden window renders its first state, keeps the later ones and renders the last when shown", async () => {
    let visibility: DocumentVisibilityState = "hidden";
    const spy = vi.spyOn(document, "visibilityState", "get").mockImplementation(() => visibility);
    onTestFinished(() => spy.mockRestore());
    const show = (next: DocumentVisibilityState) =>
      act(() => {
        visibility = next;
        document.dispatchEvent(new Event("visibilitychange"));
      });
    const fake = withBridge(makeSnapshot({ settings: { onboarded: false } }));
    renderRoot(["/"]);
    expect(await screen.findByRole("heading", { name: "Harvel bilan tanishing" })).toBeInTheDocument();

    act(() => fake.emit("state-changed", makeSnapshot({ settings: { onboarded: true } })));
    act(() => fake.emit("state-changed", makeSnapshot({ settings: { onboarded: true, theme: "dark" } })));
    expect(sidebar()).not.toBeInTheDocument();
    expect(isDark()).toBe(false);

    show("visible");
    expect(sidebar()).toBeInTheDocument();
    expect(isDark()).toBe(true);
    // Shown, each change renders at once again.
    act(() => fake.emit("state-changed", makeSnapshot({ settings: { onboarded: true, theme: "light" } })));
    expect(isDark()).toBe(false);
    // Hidden again and shown with nothing new: the page stays as it was.
    show("hidden");
    show("visible");
    expect(sidebar()).toBeInTheDocument();
    expect(isDark()).toBe(false);
  });

  it.each([
    ["the first answer after an event", ["event", "answer"], false],
    ["an event after the first answer", ["answer", "event"], true],
  ])("whichever arrives last wins: %s", async (_, order, expectDark) => {
    const fake = withBridge();
    const answer = deferred<Snapshot>();
    fake.onStateGet(() => answer.promise);
    renderRoot(["/"]);

    for (const step of order) {
      if (step === "event") act(() => fake.emit("state-changed", makeSnapshot({ settings: { theme: "dark" } })));
      else await act(async () => answer.resolve(makeSnapshot({ settings: { theme: "light" } })));
    }
    expect(isDark()).toBe(expectDark);
  });

  it("stops both listeners when it unmounts", async () => {
    const fake = withBridge(makeSnapshot());
    const view = renderRoot(["/"]);
    await screen.findByRole("heading", { level: 1 });
    expect(fake.listenerCount("state-changed")).toBe(1);
    expect(fake.listenerCount("navigate")).toBe(1);

    view.unmount();
    expect(fake.listenerCount("state-changed")).toBe(0);
    expect(fake.listenerCount("navigate")).toBe(0);
  });

  it("asks for the state once, however the route changes", async () => {
    const fake = withBridge(makeSnapshot());
    const view = renderRoot(["/"]);
    await screen.findByRole("heading", { level: 1 });
    view.go("/lab");
    view.go("/apps");
    expect(fake.invoke.mock.calls.filter(([name]) => name === "state_get")).toHaveLength(1);
  });
});

describe("routes of the main window", () => {
  // start, onboarded → where it lands, page title, settings tab
  it.each<[string, boolean, string, string, string?]>([
    ["/", true, "/", "Asosiy"],
    ["/", false, "/welcome", "Harvel bilan tanishing"],
    ["/welcome", true, "/welcome", "Harvel bilan tanishing"],
    ["/converter", true, "/converter", "Hujjat konvertori"],
    ["/apps", true, "/apps", "Dasturlar"],
    ["/lab", true, "/lab", "Mashq"],
    ["/keymap", true, "/keymap", "Tugmalar xaritasi"],
    ["/settings", true, "/settings", "Sozlamalar", "Umumiy"],
    ["/settings?s=update", true, "/settings?s=update", "Sozlamalar", "Yangilanish"],
    ["/settings?s=privacy", true, "/settings?s=privacy", "Sozlamalar", "Maxfiylik"],
    ["/settings?s=about", true, "/settings?s=about", "Sozlamalar", "Haqida"],
    ["/settings?s=toString", true, "/settings?s=toString", "Sozlamalar", "Umumiy"],
    ["/settings?s=apps", true, "/apps", "Dasturlar"],
    ["/about", true, "/settings?s=about", "Sozlamalar", "Haqida"],
    ["/nowhere", true, "/", "Asosiy"],
    ["/Apps", true, "/", "Asosiy"],
    ["/nowhere", false, "/welcome", "Harvel bilan tanishing"],
  ])("%s (onboarded %s) → %s", async (start, onboarded, end, pageTitle, tab) => {
    withBridge(makeSnapshot({ settings: { onboarded } }));
    const view = renderRoot([start]);
    await screen.findByRole("heading", { level: 1 });
    expect(view.where()).toBe(end);
    expect(title()).toBe(pageTitle);
    if (tab) {
      const sections = screen.getByRole("tablist", { name: "Sozlamalar bo‘limlari" });
      expect(within(sections).getByRole("tab", { selected: true })).toHaveTextContent(tab);
    }
  });

  it.each([
    ["/about", "/settings?s=about"],
    ["/settings?s=apps", "/apps"],
    ["/nowhere", "/"],
  ])("the redirect of %s replaces the history entry", async (start, end) => {
    withBridge(makeSnapshot());
    const view = renderRoot(["/lab", start]);
    await screen.findByRole("heading", { level: 1 });
    expect(view.where()).toBe(end);

    view.go(-1);
    expect(view.where()).toBe("/lab");
  });

  it("follows navigate events from the native side", async () => {
    const fake = withBridge(makeSnapshot());
    const view = renderRoot(["/"]);
    await screen.findByRole("heading", { level: 1 });

    act(() => fake.emit("navigate", "/settings"));
    expect(view.where()).toBe("/settings");
    act(() => fake.emit("navigate", "/about"));
    expect(view.where()).toBe("/settings?s=about");
  });

  it("marks the current sidebar entry, /keymap under Mashq", async () => {
    withBridge(makeSnapshot());
    renderRoot(["/keymap"]);
    await screen.findByRole("heading", { level: 1 });
    expect(screen.getByRole("link", { current: "page" })).toHaveTextContent("Mashq");
  });
});

describe("theme", () => {
  it.each([
    ["system", false, false],
    ["system", true, true],
    ["dark", false, true],
    ["light", true, false],
    ["sepia", true, false],
  ])("theme %s with the system dark %s → dark %s", async (theme, systemDark, dark) => {
    setSystemDark(systemDark);
    withBridge(makeSnapshot({ settings: { theme } }));
    renderRoot(["/"]);
    await screen.findByRole("heading", { level: 1 });
    expect(isDark()).toBe(dark);
    expect(document.documentElement.style.colorScheme).toBe(dark ? "dark" : "light");
  });

  it("follows the system live under \"system\", also before the first state", async () => {
    const fake = withBridge();
    renderRoot(["/"]);
    expect(isDark()).toBe(false);
    act(() => setSystemDark(true));
    expect(isDark()).toBe(true);

    act(() => fake.emit("state-changed", makeSnapshot({ settings: { theme: "light" } })));
    expect(isDark()).toBe(false);
    act(() => setSystemDark(false));
    act(() => setSystemDark(true));
    expect(isDark()).toBe(false);

    act(() => fake.emit("state-changed", makeSnapshot({ settings: { theme: "system" } })));
    expect(isDark()).toBe(true);
  });

  it("gives the page a ground of its own on the main window's routes only", async () => {
    // Unmarked, the page is see-through (index.css) from its first paint on.
    const opaque = () => document.documentElement.classList.contains("opaque-page");
    expect(opaque()).toBe(false);
    withBridge(makeSnapshot());
    const view = renderRoot(["/tray"]);
    await screen.findByRole("dialog");
    expect(opaque()).toBe(false);

    view.go("/");
    expect(opaque()).toBe(true);
    view.go("/toast");
    expect(opaque()).toBe(false);
  });

  it("in the program, the toast waits for the state's answer and comes up in its theme", async () => {
    window.__toast = { title: "Hybrid rejimi yoqildi", body: "", kind: "ok" };
    const answer = deferred<Snapshot>();
    const fake = withBridge();
    fake.onStateGet(() => answer.promise);
    const { container } = renderRoot(["/toast"]);
    expect(container).toBeEmptyDOMElement();
    await act(async () => answer.resolve(makeSnapshot({ settings: { theme: "dark" } })));
    expect(title()).toBe("Hybrid rejimi yoqildi");
    expect(isDark()).toBe(true);
  });

  it("in the program, the toast still comes when the state's answer fails", async () => {
    window.__toast = { title: "Hybrid rejimi yoqildi", body: "", kind: "ok" };
    const answer = deferred<Snapshot>();
    const fake = withBridge();
    fake.onStateGet(() => answer.promise);
    renderRoot(["/toast"]);
    await act(async () => answer.reject("state_get failed"));
    expect(title()).toBe("Hybrid rejimi yoqildi");
  });
});
