// A stand-in for the browser's keyboard in tests (jsdom types nothing by itself): it
// dispatches key events with a US layout's key values and modifier flags to a text box and,
// when no handler prevented a key-down, types what a browser would.

const US_SYMBOLS: Record<string, [string, string]> = {
  Backquote: ["`", "~"],
  Digit1: ["1", "!"],
  Digit2: ["2", "@"],
  Digit3: ["3", "#"],
  Digit4: ["4", "$"],
  Digit5: ["5", "%"],
  Digit6: ["6", "^"],
  Digit7: ["7", "&"],
  Digit8: ["8", "*"],
  Digit9: ["9", "("],
  Digit0: ["0", ")"],
  Minus: ["-", "_"],
  Equal: ["=", "+"],
  BracketLeft: ["[", "{"],
  BracketRight: ["]", "}"],
  Backslash: ["\\", "|"],
  Semicolon: [";", ":"],
  Quote: ["'", '"'],
  Comma: [",", "<"],
  Period: [".", ">"],
  Slash: ["/", "?"],
  Space: [" ", " "],
};

const NAMED: Record<string, string> = {
  Enter: "Enter",
  Backspace: "Backspace",
  Tab: "Tab",
  Escape: "Escape",
  ShiftLeft: "Shift",
  ShiftRight: "Shift",
  ControlLeft: "Control",
  ControlRight: "Control",
  AltLeft: "Alt",
  AltRight: "Alt",
  MetaLeft: "Meta",
  MetaRight: "Meta",
  CapsLock: "CapsLock",
  ContextMenu: "ContextMenu",
  Insert: "Insert",
  ScrollLock: "ScrollLock",
  Pause: "Pause",
};

/** One key press as the shared typing cases write it. */
export interface KeyStroke {
  code: string;
  /** Left Shift is held around the key. */
  shift?: boolean;
  /** Caps Lock is on while the key is pressed. */
  caps?: boolean;
  /** A key (by code) pressed before this one and released after it. */
  hold?: string;
}

export class SimKeyboard {
  private readonly down = new Set<string>();
  caps = false;
  /** Right Alt reports the AltGraph modifier (layouts with AltGr). */
  altGraph = false;

  constructor(readonly box: HTMLTextAreaElement | HTMLInputElement) {}

  keyValue(code: string): string {
    const shift = this.down.has("ShiftLeft") || this.down.has("ShiftRight");
    const letter = /^Key([A-Z])$/.exec(code);
    if (letter) return shift !== this.caps ? letter[1] : letter[1].toLowerCase();
    if (US_SYMBOLS[code]) return US_SYMBOLS[code][shift ? 1 : 0];
    if (/^F\d+$/.test(code)) return code;
    return NAMED[code] ?? "Unidentified";
  }

  private event(type: "keydown" | "keyup", code: string, repeat: boolean, key?: string): KeyboardEvent {
    const has = (...codes: string[]) => codes.some((c) => this.down.has(c));
    return new KeyboardEvent(type, {
      code,
      key: key ?? this.keyValue(code),
      shiftKey: has("ShiftLeft", "ShiftRight"),
      ctrlKey: has("ControlLeft", "ControlRight") || (this.altGraph && has("AltRight")),
      altKey: has("AltLeft", "AltRight"),
      metaKey: has("MetaLeft", "MetaRight"),
      modifierCapsLock: this.caps,
      modifierAltGraph: this.altGraph && has("AltRight"),
      repeat,
      bubbles: true,
      cancelable: true,
    });
  }

  /** A key-down; `key` stands for what another layout would give for the key. */
  press(code: string, { repeat = false, key }: { repeat?: boolean; key?: string } = {}): KeyboardEvent {
    if (code === "CapsLock" && !this.down.has(code)) this.caps = !this.caps;
    const event = this.event("keydown", code, repeat, key);
    this.down.add(code);
    this.box.dispatchEvent(event);
    if (!event.defaultPrevented) this.typeDefault(event);
    return event;
  }

  release(code: string): KeyboardEvent {
    this.down.delete(code);
    const event = this.event("keyup", code, false);
    this.box.dispatchEvent(event);
    return event;
  }

  tap(code: string): void {
    this.press(code);
    this.release(code);
  }

  /** One stroke: Caps Lock set, the held key and Shift around the key. */
  stroke({ code, shift = false, caps = false, hold }: KeyStroke): void {
    this.caps = caps;
    if (hold) this.press(hold);
    if (shift) this.press("ShiftLeft");
    this.tap(code);
    if (shift) this.release("ShiftLeft");
    if (hold) this.release(hold);
  }

  /** Types plain text key by key (US layout; capitals and shifted symbols with left Shift). */
  type(text: string): void {
    for (const ch of text) {
      const found = this.codeFor(ch);
      if (!found) throw new Error(`no US key types ${JSON.stringify(ch)}`);
      this.stroke({ code: found.code, shift: found.shift, caps: this.caps });
    }
  }

  private codeFor(ch: string): { code: string; shift: boolean } | null {
    if (ch === "\n") return { code: "Enter", shift: false };
    if (/^[a-z]$/.test(ch)) return { code: `Key${ch.toUpperCase()}`, shift: this.caps };
    if (/^[A-Z]$/.test(ch)) return { code: `Key${ch}`, shift: !this.caps };
    for (const [code, [plain, shifted]] of Object.entries(US_SYMBOLS)) {
      if (plain === ch) return { code, shift: false };
      if (shifted === ch) return { code, shift: true };
    }
    return null;
  }

  // What the browser does with a key-down nobody prevented.
  private typeDefault(event: KeyboardEvent): void {
    const box = this.box;
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    const start = box.selectionStart ?? box.value.length;
    const end = box.selectionEnd ?? start;
    let text: string | null = null;
    if ([...event.key].length === 1) text = event.key;
    else if (event.key === "Enter" && box instanceof HTMLTextAreaElement) text = "\n";
    else if (event.key === "Backspace") {
      const from = start === end ? Math.max(0, start - 1) : start;
      box.setRangeText("", from, end, "end");
      box.dispatchEvent(new Event("input", { bubbles: true }));
      return;
    }
    if (text === null) return;
    box.setRangeText(text, start, end, "end");
    box.dispatchEvent(new Event("input", { bubbles: true }));
  }
}
