import { act, fireEvent, render, screen } from "@testing-library/react";
import userEvent from "@testing-library/user-event";
import { describe, expect, it, vi } from "vitest";
import { sent, withFacade } from "../../components/testUtils";
import type { Outcome } from "../../lib/types";
import { HotkeyRecorder } from "./HotkeyRecorder";

const NEEDS_MODIFIER = "Kamida bitta Ctrl, Alt yoki Shift kerak.";
const RECORDING = "Yangi birikmani bosing… (Esc: bekor qilish)";

interface Press {
  key: string;
  code: string;
  ctrlKey?: boolean;
  altKey?: boolean;
  shiftKey?: boolean;
  metaKey?: boolean;
}

async function recorder(answer: () => Promise<Outcome> = () => Promise.resolve({ ok: true })) {
  const fake = withFacade();
  fake.invoke.mockImplementation((name: string) => (name === "hotkey_set" ? answer() : Promise.resolve(null)));
  const onSaved = vi.fn();
  render(<HotkeyRecorder value="Control+Shift+U" onSaved={onSaved} />);
  await userEvent.click(screen.getByRole("button", { name: "O‘zgartirish" }));
  const press = async (p: Press) => {
    const event = fireEvent.keyDown(document.body, p);
    await act(async () => {});
    return event;
  };
  return { fake, onSaved, press };
}

describe("shortcut recorder", () => {
  it("shows the shortcut as key caps with Ctrl for Control", () => {
    withFacade();
    render(<HotkeyRecorder value="Control+Alt+Super+F5" />);
    expect([...screen.getByTestId("hotkey").querySelectorAll("kbd")].map((k) => k.textContent)).toEqual([
      "Ctrl",
      "Alt",
      "Super",
      "F5",
    ]);
  });

  // key press → the accelerator sent, or the error shown
  it.each<[string, Press, string | null, string | null]>([
    ["Ctrl+Shift+F5", { key: "F5", code: "F5", ctrlKey: true, shiftKey: true }, "Control+Shift+F5", null],
    ["Alt+Enter", { key: "Enter", code: "Enter", altKey: true }, "Alt+Return", null],
    ["all four modifiers in order", { key: "k", code: "KeyK", metaKey: true, shiftKey: true, altKey: true, ctrlKey: true }, "Control+Alt+Shift+Super+K", null],
    ["a digit by its key code", { key: "!", code: "Digit1", ctrlKey: true, shiftKey: true }, "Control+Shift+1", null],
    ["F12", { key: "F12", code: "F12", altKey: true }, "Alt+F12", null],
    ["arrows", { key: "ArrowLeft", code: "ArrowLeft", ctrlKey: true }, "Control+Left", null],
    ["minus", { key: "-", code: "Minus", ctrlKey: true }, "Control+-", null],
    ["space", { key: " ", code: "Space", ctrlKey: true, altKey: true }, "Control+Alt+Space", null],
    ["a bare letter", { key: "a", code: "KeyA" }, null, NEEDS_MODIFIER],
    ["an unknown key", { key: "Home", code: "Home", ctrlKey: true }, null, NEEDS_MODIFIER],
    ["a modifier alone", { key: "Control", code: "ControlLeft", ctrlKey: true }, null, null],
    ["AltGr alone", { key: "AltGraph", code: "AltRight", ctrlKey: true, altKey: true }, null, null],
  ])("%s", async (_, press, accelerator, error) => {
    const { fake, press: send } = await recorder();
    const event = await send(press);
    expect(event).toBe(false); // default action stopped
    expect(sent(fake)).toEqual(accelerator ? [["hotkey_set", { accelerator }]] : []);
    if (error) expect(screen.getByRole("alert")).toHaveTextContent(error);
    else expect(screen.queryByRole("alert")).not.toBeInTheDocument();
    // Only a saved shortcut ends the recording.
    expect(screen.queryByText(RECORDING) === null).toBe(accelerator !== null);
  });

  it("keeps recording after a refusal, with the reason, until a shortcut is taken", async () => {
    const answers: Outcome[] = [{ ok: false, reason: "busy" }, { ok: false, reason: "invalid" }, { ok: true }];
    const { fake, onSaved, press } = await recorder(() => Promise.resolve(answers.shift()!));
    await press({ key: "u", code: "KeyU", ctrlKey: true });
    expect(screen.getByRole("alert")).toHaveTextContent("Bu tugma band. Boshqasini tanlang.");
    expect(screen.getByText(RECORDING)).toBeInTheDocument();
    await press({ key: "j", code: "KeyJ", ctrlKey: true });
    expect(screen.getByRole("alert")).toHaveTextContent(NEEDS_MODIFIER);
    await press({ key: "k", code: "KeyK", ctrlKey: true });
    expect(screen.queryByText(RECORDING)).not.toBeInTheDocument();
    expect(screen.queryByRole("alert")).not.toBeInTheDocument();
    expect(onSaved).toHaveBeenCalledExactlyOnceWith("Control+K");
    expect(sent(fake).map(([, args]) => args)).toEqual([
      { accelerator: "Control+U" },
      { accelerator: "Control+J" },
      { accelerator: "Control+K" },
    ]);
  });

  it("a failed command counts as refused", async () => {
    await recorder(() => Promise.reject("hotkey_set failed")).then(({ press }) => press({ key: "u", code: "KeyU", altKey: true }));
    expect(screen.getByRole("alert")).toHaveTextContent(NEEDS_MODIFIER);
    expect(screen.getByText(RECORDING)).toBeInTheDocument();
  });

  it("Escape and the cancel button end the recording and clear the error", async () => {
    const { fake, press } = await recorder();
    await press({ key: "a", code: "KeyA" });
    await press({ key: "Escape", code: "Escape" });
    expect(screen.queryByText(RECORDING)).not.toBeInTheDocument();
    expect(screen.queryByRole("alert")).not.toBeInTheDocument();

    await userEvent.click(screen.getByRole("button", { name: "O‘zgartirish" }));
    await press({ key: "a", code: "KeyA" });
    await userEvent.click(screen.getByRole("button", { name: "Bekor qilish" }));
    expect(screen.queryByText(RECORDING)).not.toBeInTheDocument();
    expect(screen.queryByRole("alert")).not.toBeInTheDocument();

    // Not recording: key presses are left alone.
    expect(fireEvent.keyDown(document.body, { key: "u", code: "KeyU", ctrlKey: true })).toBe(true);
    expect(sent(fake)).toEqual([]);
  });

  it("other listeners do not see the keys while recording", async () => {
    const seen = vi.fn();
    document.body.addEventListener("keydown", seen);
    const { press } = await recorder();
    await press({ key: "a", code: "KeyA" });
    document.body.removeEventListener("keydown", seen);
    expect(seen).not.toHaveBeenCalled();
  });
});
