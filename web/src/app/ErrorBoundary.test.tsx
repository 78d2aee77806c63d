import { act, render, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { MemoryRouter } from "react-router";
import { describe, expect, it, vi } from "vitest";
import { installFacade } from "../lib/facade";
import { createFakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { Root } from "./Root";

// The home page fails while `page.broken` is set.
const page = vi.hoisted(() => ({ broken: true }));
vi.mock("../pages/HomePage", () => ({
  HomePage: () => {
    if (page.broken) throw new Error("page failed");
    return <h1>Asosiy</h1>;
  },
}));

describe("error screen", () => {
  it("replaces the shell when a page throws, stays after new states, and offers a restart", async () => {
    vi.spyOn(console, "error").mockImplementation(() => {});
    const fake = createFakeBridge();
    fake.onStateGet(() => Promise.resolve(makeSnapshot()));
    window.__HARVEL_IPC__ = fake.bridge;
    installFacade();

    render(
      <MemoryRouter>
        <Root />
      </MemoryRouter>,
    );
    const alert = await screen.findByRole("alert");
    expect(alert).toHaveTextContent("Harvel kutilmaganda to‘xtadi");
    expect(alert).toHaveTextContent(
      "Hech narsa yo‘qolmadi: sozlamalaringiz saqlangan. Dasturni qayta ishga tushiring.",
    );
    expect(screen.queryByRole("navigation")).not.toBeInTheDocument();

    page.broken = false;
    act(() => fake.emit("state-changed", makeSnapshot({ version: "0.1.8" })));
    expect(screen.getByRole("alert")).toBeInTheDocument();
    expect(screen.queryByRole("heading", { name: "Asosiy" })).not.toBeInTheDocument();

    await userEvent.click(screen.getByRole("button", { name: "Qayta ishga tushirish" }));
    expect(fake.invoke).toHaveBeenCalledWith("app_relaunch", {});
  });
});
