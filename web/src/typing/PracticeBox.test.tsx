import { render, screen } from "@testing-library/react";
import { createRef, useState } from "react";
import { beforeEach, describe, expect, it, vi } from "vitest";
import type { ModeName } from "../lib/types";
import { resetKeyState } from "./engine";
import type { KeySet } from "./keys";
import { PracticeBox } from "./PracticeBox";
import { SimKeyboard } from "./simulate";

// A view that owns the box's text, as the pages do.
function Controlled(props: { mode: ModeName; keys?: KeySet; useEngine?: boolean; onText?: (text: string) => void }) {
  const [text, setText] = useState("");
  return (
    <PracticeBox
      {...props}
      aria-label="Sinov"
      value={text}
      onChange={(e) => {
        setText(e.target.value);
        props.onText?.(e.target.value);
      }}
    />
  );
}

function keyboard() {
  const box = screen.getByRole("textbox", { name: "Sinov" }) as HTMLTextAreaElement;
  box.focus();
  return new SimKeyboard(box);
}

beforeEach(() => resetKeyState());

describe("PracticeBox", () => {
  it("runs the engine and the view that owns the text sees every change", () => {
    const onText = vi.fn();
    render(<Controlled mode="fast" onText={onText} />);
    const kb = keyboard();
    kb.type("wa[");
    expect(kb.box.value).toBe("şaö");
    expect(onText).toHaveBeenLastCalledWith("şaö");
    expect(kb.box.selectionStart).toBe(3);
  });

  it.each<[string, ModeName, KeySet | undefined, () => void, string]>([
    ["the user's extra key", "hybrid", { hybrid: "rctrl", fast: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight" } },
      () => { const kb = keyboard(); kb.press("ControlRight"); kb.tap("KeyS"); kb.release("ControlRight"); }, "ş"],
    ["the default keys when none are given", "hybrid", undefined,
      () => { const kb = keyboard(); kb.press("AltRight"); kb.tap("KeyG"); kb.release("AltRight"); }, "ğ"],
    ["the tap character on key-up", "fast", { hybrid: "backquote", fast: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight" } },
      () => keyboard().tap("Backquote"), "`"],
    ["zero-mode words", "zero", undefined, () => keyboard().type("she sho'x"), "she şöx"],
  ])("types with %s", (_, mode, keys, play, text) => {
    render(<Controlled mode={mode} keys={keys} />);
    play();
    expect(screen.getByRole("textbox")).toHaveValue(text);
  });

  it("leaves the keys alone without the engine", () => {
    render(<Controlled mode="fast" useEngine={false} />);
    keyboard().type("w[");
    expect(screen.getByRole("textbox")).toHaveValue("w[");
  });

  it("follows a change of mode at once", () => {
    const view = render(<Controlled mode="english" />);
    keyboard().type("w");
    view.rerender(<Controlled mode="fast" />);
    keyboard().type("w");
    expect(screen.getByRole("textbox")).toHaveValue("wş");
  });

  it("is a text box with spell checking off that takes the ordinary properties", () => {
    const textRef = createRef<HTMLTextAreaElement>();
    render(<PracticeBox mode="zero" textRef={textRef} aria-label="Tezkor sinov" placeholder="Bu yerga yozing" rows={3} disabled />);
    const box = screen.getByRole("textbox", { name: "Tezkor sinov" });
    expect(box).toHaveAttribute("spellcheck", "false");
    expect(box).toHaveAttribute("placeholder", "Bu yerga yozing");
    expect(box).toHaveAttribute("rows", "3");
    expect(box).toBeDisabled();
    expect(textRef.current).toBe(box);
  });

  it("lets the page's own key handler go first and skip the engine", () => {
    render(
      <PracticeBox mode="fast" aria-label="Sinov" onKeyDown={(e) => e.key === "w" && e.preventDefault()} />,
    );
    const kb = keyboard();
    kb.type("wc");
    expect(kb.box.value).toBe("ç");
  });
});
