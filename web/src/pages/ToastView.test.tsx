import { act, render, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { MemoryRouter } from "react-router";
import { describe, expect, it, vi } from "vitest";
import { installFacade } from "../lib/facade";
import type { ToastData } from "../lib/types";
import { createFakeBridge } from "../test/fakeBridge";
import { ToastView } from "./ToastView";

function show(data?: ToastData | Record<string, never>, path = "/toast") {
  window.__toast = data as ToastData | undefined;
  return render(
    <MemoryRouter initialEntries={[path]}>
      <ToastView />
    </MemoryRouter>,
  );
}

const glyph = () => screen.getByTestId("toast-glyph");
const bar = () => screen.getByTestId("toast-bar");

describe("ToastView", () => {
  it.each([
    ["info", "ş", "status", "bg-brand"],
    ["ok", "✓", "status", "bg-success"],
    ["off", "–", "status", "bg-muted-foreground"],
    ["warn", "!", "alert", "bg-warning"],
    ["error", "✕", "alert", "bg-destructive"],
    ["later", "ş", "status", "bg-brand"],
  ])("kind %s: glyph %s, announced as %s, bar %s", (kind, mark, role, barClass) => {
    show({ title: "Hybrid rejimi yoqildi", body: "Right Alt + S → ş", kind });
    const card = screen.getByRole(role);
    expect(card).toHaveTextContent("Hybrid rejimi yoqildi");
    expect(card).toHaveTextContent("Right Alt + S → ş");
    expect(glyph()).toHaveTextContent(mark);
    expect(bar()).toHaveClass(barClass);
    expect(screen.queryByText("taxmin")).not.toBeInTheDocument();
  });

  it("marks a guessed language with the taxmin badge", () => {
    show({ title: "Til: ruscha", body: "Fast va Hybrid pauzada", kind: "warn" });
    expect(glyph()).toHaveTextContent("!");
    expect(screen.getByRole("heading")).toHaveTextContent("Til: ruscha");
    expect(screen.getByText("taxmin")).toHaveClass("uppercase");
  });

  it.each([
    ["without data or query", undefined, "/toast"],
    ["with data the native side could not write", {}, "/toast"],
  ])("shows an empty info toast %s", (_, data, path) => {
    show(data, path);
    expect(screen.getByRole("status")).toHaveAttribute("data-kind", "info");
    expect(screen.getByRole("heading")).toHaveTextContent(/^$/);
    expect(glyph()).toHaveTextContent("ş");
  });

  it("reads the route's query when the start script set nothing", () => {
    show(undefined, "/toast?title=Til%3A%20ruscha&body=Fast%20pauzada&kind=error");
    expect(screen.getByRole("alert")).toHaveTextContent("Til: ruscha");
    expect(screen.getByText("Fast pauzada")).toBeInTheDocument();
    expect(screen.getByText("taxmin")).toBeInTheDocument();
  });

  it("shrinks the bar to nothing over 3.2 s from the first frame", () => {
    const frames: FrameRequestCallback[] = [];
    vi.spyOn(window, "requestAnimationFrame").mockImplementation((cb) => frames.push(cb));
    show({ title: "Zero-learning", body: "", kind: "ok" });
    expect(bar().style.width).toBe("100%");

    act(() => frames.forEach((cb) => cb(16)));
    expect(bar().style.width).toBe("0%");
    expect(bar().style.transitionDuration).toBe("3200ms");
    expect(bar()).toHaveClass("ease-linear");
  });

  it("closes through the facade on a click", async () => {
    const fake = createFakeBridge();
    window.__HARVEL_IPC__ = fake.bridge;
    installFacade();
    show({ title: "Harvel o‘chirildi", body: "", kind: "off" });
    await userEvent.click(screen.getByText("Harvel o‘chirildi"));
    expect(fake.invoke).toHaveBeenCalledWith("toast_close", {});
  });

  it("closes its own window on a click without a facade", async () => {
    const close = vi.spyOn(window, "close").mockImplementation(() => {});
    show({ title: "Salom", body: "", kind: "info" });
    await userEvent.click(screen.getByRole("status"));
    expect(close).toHaveBeenCalledOnce();
  });
});
