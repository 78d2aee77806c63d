import { fireEvent, render, screen, waitFor } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { describe, expect, it } from "vitest";
import { createFakeBridge } from "../test/fakeBridge";
import { TitleBar } from "./TitleBar";

function setup(maximized: boolean) {
  const fake = createFakeBridge();
  fake.invoke.mockImplementation((name: string) => Promise.resolve(name === "window_is_maximized" ? maximized : null));
  window.__HARVEL_IPC__ = fake.bridge;
  render(<TitleBar />);
  return fake;
}

const calls = (fake: ReturnType<typeof setup>) =>
  fake.invoke.mock.calls.map(([name]) => name).filter((name) => name !== "window_is_maximized");

describe("title bar", () => {
  it.each([
    ["Kichraytirish", "window_minimize"],
    ["Kattalashtirish", "window_toggle_maximize"],
    ["Yopish", "window_close"],
  ])("%s sends %s and nothing else", async (label, call) => {
    const fake = setup(false);
    await userEvent.click(await screen.findByRole("button", { name: label }));
    await waitFor(() => expect(calls(fake)).toEqual([call]));
  });

  it("offers Tiklash while maximised and re-reads the state after a resize", async () => {
    const fake = setup(true);
    expect(await screen.findByRole("button", { name: "Tiklash" })).toBeInTheDocument();

    fake.invoke.mockResolvedValue(false);
    fireEvent(window, new Event("resize"));
    expect(await screen.findByRole("button", { name: "Kattalashtirish" })).toBeInTheDocument();
  });

  it("drags from the bar, toggles maximise on a double-click, and leaves both to the buttons", async () => {
    const fake = setup(false);
    const close = await screen.findByRole("button", { name: "Yopish" });
    const bar = screen.getByText("Harvel").parentElement!;

    fireEvent.mouseDown(close, { button: 0, detail: 1 });
    fireEvent.doubleClick(close);
    fireEvent.mouseDown(bar, { button: 0, detail: 1 });
    fireEvent.mouseDown(bar, { button: 2, detail: 1 });
    fireEvent.doubleClick(bar);
    await waitFor(() => expect(calls(fake)).toEqual(["window_start_dragging", "window_toggle_maximize"]));
  });
});
