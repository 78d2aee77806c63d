// Helpers shared by the tests of the main window's views.
import { render } from "@testing-library/react";
import type { ReactNode } from "react";
import { MemoryRouter, Route, Routes, useLocation } from "react-router";
import { installFacade } from "../lib/facade";
import { createFakeBridge, type FakeBridge } from "../test/fakeBridge";

/** Puts a fresh fake native side behind `window.uz`. */
export function withFacade(): FakeBridge {
  const fake = createFakeBridge();
  window.__HARVEL_IPC__ = fake.bridge;
  installFacade();
  return fake;
}

/** The commands sent so far, with their arguments, leaving out the window calls. */
export function sent(fake: FakeBridge): [string, unknown][] {
  return fake.invoke.mock.calls
    .filter(([name]) => !name.startsWith("window_"))
    .map(([name, args]) => [name, args]);
}

export interface BannerText {
  tone: string | null;
  title: string | null;
  text: string | null;
  buttons: string[];
}

/** Every banner inside `root`, in page order, as tone, title, text and button labels. */
export function bannersIn(root: ParentNode): BannerText[] {
  return [...root.querySelectorAll<HTMLElement>("[data-tone][role=alert], [data-tone][role=status]")]
    .filter((el) => el.querySelector("[data-banner-title], [data-banner-text]"))
    .map((el) => ({
      tone: el.dataset.tone ?? null,
      title: el.querySelector("[data-banner-title]")?.textContent ?? null,
      text: el.querySelector("[data-banner-text]")?.textContent ?? null,
      buttons: [...el.querySelectorAll("button")].map((b) => b.textContent ?? ""),
    }));
}

/** Renders `ui` at `path` with a spy on where the router goes; `update` re-renders it with new props. */
export function renderAt(ui: ReactNode, path = "/") {
  const where = { path };
  function Probe() {
    const location = useLocation();
    where.path = `${location.pathname}${location.search}`;
    return null;
  }
  const tree = (page: ReactNode) => (
    <MemoryRouter initialEntries={[path]}>
      <Routes>
        <Route path={path} element={page} />
        <Route path="*" element={null} />
      </Routes>
      <Probe />
    </MemoryRouter>
  );
  const result = render(tree(ui));
  return { ...result, where: () => where.path, update: (page: ReactNode) => result.rerender(tree(page)) };
}
