// The typing cases that the keyboard engine runs too (tests/keyboard/shared_cases_test.cpp):
// the page must type exactly the same text for the same keys.

import { beforeEach, describe, expect, it } from "vitest";
import file from "../../../tests/shared/typing-cases.json";
import type { ModeName } from "../lib/types";
import { handleKeyDown, handleKeyUp, resetKeyState } from "./engine";
import type { KeySet } from "./keys";
import { SimKeyboard, type KeyStroke } from "./simulate";

interface TypingCase {
  name: string;
  mode: ModeName;
  keys?: KeySet;
  events: KeyStroke[];
  text: string;
}

const cases = file.cases as TypingCase[];

beforeEach(() => {
  resetKeyState();
  document.body.innerHTML = "";
});

describe("shared typing cases", () => {
  it("the file holds cases", () => {
    expect(cases.length).toBeGreaterThan(0);
  });

  it.each(cases.map((c) => [c.name, c] as const))("%s", (_, c) => {
    const box = document.createElement("textarea");
    document.body.append(box);
    box.focus();
    box.addEventListener("keydown", (e) => handleKeyDown(e, c.mode, c.keys));
    box.addEventListener("keyup", (e) => handleKeyUp(e, c.mode, c.keys));
    const kb = new SimKeyboard(box);
    for (const stroke of c.events) kb.stroke(stroke);
    expect(box.value).toBe(c.text);
  });
});
