import { beforeEach, describe, expect, it, vi } from "vitest";
import type { ModeName } from "../lib/types";
import { handleKeyDown, handleKeyUp, insertAtBox, resetKeyState } from "./engine";
import type { KeySet } from "./keys";
import { SimKeyboard } from "./simulate";

function box(mode: ModeName, keys?: KeySet, tag: "textarea" | "input" = "textarea") {
  const el = document.createElement(tag);
  document.body.append(el);
  el.focus();
  el.addEventListener("keydown", (e) => handleKeyDown(e as KeyboardEvent, mode, keys));
  el.addEventListener("keyup", (e) => handleKeyUp(e as KeyboardEvent, mode, keys));
  return new SimKeyboard(el);
}

/**
 * Plays strokes written as "mods+Code", separated by blanks: "shift" and "caps" are
 * Shift and Caps Lock, any other part is a key held around the last one (in order).
 */
function play(kb: SimKeyboard, strokes: string): string {
  for (const stroke of strokes.split(" ").filter(Boolean)) {
    const parts = stroke.split("+");
    const code = parts.pop()!;
    kb.caps = parts.includes("caps");
    const held = parts.filter((p) => p !== "caps").map((p) => (p === "shift" ? "ShiftLeft" : p));
    for (const key of held) kb.press(key);
    kb.tap(code);
    for (const key of held.reverse()) kb.release(key);
  }
  return kb.box.value;
}

const keys = (hybrid: string, fast: Partial<KeySet["fast"]> = {}): KeySet => ({
  hybrid,
  fast: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight", ...fast },
});

beforeEach(() => {
  resetKeyState();
  document.body.innerHTML = "";
});

describe("fast mode", () => {
  it.each([
    ["KeyW", "ş"],
    ["shift+KeyW", "Ş"],
    ["caps+KeyW", "Ş"],
    ["caps+shift+KeyW", "ş"],
    ["KeyC shift+KeyC caps+KeyC", "çÇÇ"],
    ["BracketLeft shift+BracketLeft caps+BracketLeft caps+shift+BracketLeft", "öÖöÖ"],
    ["BracketRight caps+BracketRight", "ğğ"],
    ["AltRight+BracketLeft AltRight+shift+BracketLeft", "[{"],
    ["AltRight+KeyW AltRight+caps+KeyW", "wW"],
    ["KeyS KeyA Digit1 Quote Space", "sa1' "],
    // Shortcuts reach the program: Ctrl+W types nothing here.
    ["ControlLeft+KeyW AltLeft+KeyW", ""],
  ])("default keys: %s → %j", (strokes, text) => {
    expect(play(box("fast"), strokes)).toBe(text);
  });

  it.each<[string, KeySet, string, string]>([
    ["letter keys", keys("ralt", { sh: "KeyQ", ch: "KeyX" }), "KeyQ KeyX caps+KeyQ KeyW KeyC", "şçŞwc"],
    ["symbol keys", keys("ralt", { sh: "Semicolon", ch: "Quote", o: "Backslash", g: "Backquote" }),
      "Semicolon caps+Quote shift+Backslash Backquote AltRight+Semicolon BracketLeft", "şçÖğ;["],
    // A stored set that does not resolve falls back to the defaults, as in the keyboard engine.
    ["a code that is not a choice", keys("ralt", { sh: "KeyZ" }), "KeyZ KeyW", "zş"],
    ["one key named twice", keys("ralt", { sh: "KeyQ", ch: "KeyQ" }), "KeyQ KeyW KeyC", "qşç"],
    ["Right Ctrl as the extra key", keys("rctrl"), "ControlRight+KeyW ControlRight+BracketRight ControlLeft+KeyW", "w]"],
  ])("user's keys, %s", (_, set, strokes, text) => {
    expect(play(box("fast", set), strokes)).toBe(text);
  });
});

describe("hybrid mode", () => {
  it.each<[string, KeySet | undefined, string, string]>([
    ["Right Alt", undefined, "AltRight+KeyS AltRight+KeyC AltRight+KeyO AltRight+KeyG", "şçöğ"],
    ["Right Alt with Shift and Caps Lock", undefined,
      "AltRight+shift+KeyS AltRight+caps+KeyC AltRight+caps+shift+KeyO", "ŞÇö"],
    ["no extra key", undefined, "KeyS shift+KeyC caps+KeyO KeyW BracketLeft", "sCOw["],
    ["other keys with the extra key", undefined, "AltRight+KeyA AltRight+KeyW", ""],
    ["Right Ctrl, left Ctrl up", keys("rctrl"), "ControlRight+KeyS ControlRight+shift+KeyG", "şĞ"],
    ["Right Ctrl with left Ctrl down", keys("rctrl"), "ControlLeft+ControlRight+KeyS ControlLeft+KeyS", ""],
    ["Right Shift does not count as Shift", keys("rshift"), "ShiftRight+KeyS ShiftLeft+ShiftRight+KeyS", "şŞ"],
    ["Right Win", keys("rwin"), "MetaRight+KeyG MetaLeft+MetaRight+KeyG", "ğ"],
    ["Caps Lock does not change the case", keys("caps"), "CapsLock+KeyS CapsLock+shift+KeyO", "şÖ"],
    ["Menu", keys("apps"), "ContextMenu+KeyC", "ç"],
    ["Insert", keys("insert"), "Insert+KeyO", "ö"],
    ["F13", keys("f13"), "F13+KeyG F24+KeyG", "ğg"],
    ["an unknown extra key acts as Right Alt", keys("F13"), "AltRight+KeyS F13+KeyS", "şs"],
  ])("%s", (_, set, strokes, text) => {
    expect(play(box("hybrid", set), strokes)).toBe(text);
  });

  it.each<[ModeName, string]>([
    ["hybrid", "KeyS"],
    ["fast", "KeyW"],
  ])("%s: Right Alt reported as AltGraph counts even when its key-down was missed", (mode, code) => {
    const kb = box(mode);
    kb.altGraph = true;
    kb.press("AltRight");
    resetKeyState();
    kb.tap(code);
    kb.release("AltRight");
    expect(kb.box.value).toBe(mode === "hybrid" ? "ş" : "w");
  });

  it("a window that loses the focus forgets the keys held in it", () => {
    const kb = box("hybrid", keys("insert"));
    kb.press("Insert");
    window.dispatchEvent(new FocusEvent("blur"));
    kb.tap("KeyS");
    expect(kb.box.value).toBe("s");
  });
});

describe("a backquote extra key", () => {
  const backquote = keys("backquote");

  it.each<[ModeName, string, string]>([
    ["fast", "Backquote", "`"],
    ["fast", "shift+Backquote", "~"],
    ["fast", "Backquote+KeyW KeyW", "wş"],
    ["hybrid", "Backquote+KeyS Backquote", "ş`"],
    // Ordinary keys in the other modes.
    ["english", "Backquote shift+Backquote", "`~"],
    ["zero", "KeyG Backquote", "ğ"],
  ])("%s: %s → %j", (mode, strokes, text) => {
    expect(play(box(mode, backquote), strokes)).toBe(text);
  });

  it("held with auto-repeat, it types one tap character, or none once a key was used", () => {
    const kb = box("fast", backquote);
    kb.press("Backquote");
    kb.press("Backquote", { repeat: true });
    kb.release("Backquote");
    expect(kb.box.value).toBe("`");

    kb.press("Backquote");
    kb.tap("KeyW");
    kb.press("Backquote", { repeat: true });
    kb.release("Backquote");
    expect(kb.box.value).toBe("`w");
  });

  it("any other extra key types nothing when tapped", () => {
    const kb = box("fast", keys("insert"));
    expect(play(kb, "Insert")).toBe("");
  });
});

describe("zero mode", () => {
  it.each([
    ["Sh", "Ş"],
    ["sH", "ş"],
    ["SH", "Ş"],
    ["ch", "ç"],
    ["CH", "Ç"],
    ["o'", "ö"],
    ["O`", "Ö"],
    ["g'", "ğ"],
    ["G'", "Ğ"],
    ["shahar", "şahar"],
    ["o'zbek", "özbek"],
    ["ash", "aş"],
  ])("%j → %j", (typed, text) => {
    const kb = box("zero");
    kb.type(typed);
    expect(kb.box.value).toBe(text);
  });

  it.each([
    ["o", "\u2018", "ö"],
    ["o", "\u2019", "ö"],
    ["g", "\u02BB", "ğ"],
    ["G", "\u00B4", "Ğ"],
  ])("%s then %s (another layout's apostrophe) → %s", (first, apostrophe, text) => {
    const kb = box("zero");
    kb.type(first);
    kb.press("Quote", { key: apostrophe });
    expect(kb.box.value).toBe(text);
  });

  it("leaves pairs alone with a selection or with Ctrl held", () => {
    const kb = box("zero");
    kb.box.value = "ss";
    kb.box.setSelectionRange(1, 2);
    kb.type("h");
    expect(kb.box.value).toBe("sh");

    kb.box.value = "s";
    kb.box.setSelectionRange(1, 1);
    play(kb, "ControlLeft+KeyH");
    expect(kb.box.value).toBe("s");
  });

  it.each([
    ["she ", "she "],
    ["fish.", "fish."],
    ["children,", "children,"],
    ["English!", "English!"],
    ["SHE ", "SHE "],
    ["shoe ", "şoe "],
    ["shahar ", "şahar "],
    ["push1", "push1"],
    ["which\n", "which\n"],
  ])("word end: %j → %j", (typed, text) => {
    const kb = box("zero");
    kb.type(typed);
    expect(kb.box.value).toBe(text);
  });

  it.each([
    ["ŞE", " ", "SHE "],
    ["Şe", " ", "She "],
    ["ÇECK", ".", "CHECK."],
    ["xyz gŞ", " ", "xyz gŞ "],
  ])("word end after %j typed elsewhere: %j → %j", (before, end, text) => {
    const kb = box("zero");
    kb.box.value = before;
    kb.type(end);
    expect(kb.box.value).toBe(text);
  });

  it("never touches a word without new letters", () => {
    const kb = box("zero");
    kb.box.value = "chat";
    const event = kb.press("Space");
    expect(event.defaultPrevented).toBe(false);
    expect(kb.box.value).toBe("chat ");
  });

  it("turns the word back in the middle of the text", () => {
    const kb = box("zero");
    kb.box.value = "a şe b";
    kb.box.setSelectionRange(4, 4);
    kb.type(",");
    expect(kb.box.value).toBe("a she, b");
    expect(kb.box.selectionStart).toBe(6);
  });

  it("Enter ends a word only in a multi-line box", () => {
    const area = box("zero");
    area.type("fish\n");
    expect(area.box.value).toBe("fish\n");

    const line = box("zero", undefined, "input");
    line.type("fish");
    line.tap("Enter");
    expect(line.box.value).toBe("fiş");
  });

  // Apostrophes count as word characters, so a run of them can make a word of any length
  // whose letters still spell an English word.
  it.each([
    ["a run inside the examined text", " " + "'".repeat(61), true],
    ["a run at the very start of the box", "'".repeat(62), true],
    ["a run longer than what is examined", "x".repeat(10) + "'".repeat(70), false],
    ["a run of exactly the examined length after other text", "x " + "'".repeat(62), false],
  ])("%s", (_, prefix, turnedBack) => {
    const kb = box("zero");
    kb.box.value = `${prefix}şe`;
    kb.type(" ");
    expect(kb.box.value).toBe(turnedBack ? `${prefix}she ` : `${prefix}şe `);
  });

  it("lets a composing input method work undisturbed", () => {
    for (const mode of ["zero", "fast"] as const) {
      const kb = box(mode);
      kb.box.value = "s";
      const event = new KeyboardEvent("keydown", { code: "KeyH", key: "h", isComposing: true, cancelable: true });
      kb.box.dispatchEvent(event);
      expect(event.defaultPrevented).toBe(false);
      expect(kb.box.value).toBe("s");
    }
  });
});

describe("english mode", () => {
  it("converts nothing", () => {
    const kb = box("english");
    kb.type("she w[] ");
    play(kb, "AltRight+KeyS");
    expect(kb.box.value).toBe("she w[] ");
  });
});

describe("insertAtBox", () => {
  it("replaces the selection, leaves the caret after the text and tells the views", () => {
    const el = document.createElement("textarea");
    document.body.append(el);
    el.value = "abcd";
    el.setSelectionRange(1, 3);
    const onInput = vi.fn();
    document.body.addEventListener("input", onInput);

    insertAtBox(el, "XY");
    expect(el.value).toBe("aXYd");
    expect([el.selectionStart, el.selectionEnd]).toEqual([3, 3]);
    expect(onInput).toHaveBeenCalledTimes(1);

    insertAtBox(el, "ş", 0);
    expect(el.value).toBe("şd");
    expect(el.selectionStart).toBe(1);
    document.body.removeEventListener("input", onInput);
  });

  it("adds at the end of a box that reports no selection", () => {
    const el = document.createElement("input");
    el.type = "email";
    el.value = "a@b";
    insertAtBox(el, "ç");
    expect(el.value).toBe("a@bç");
  });
});
