import { describe, expect, it } from "vitest";
import { Utf8Sink } from "./output";

const escaped = (text: string) => new TextEncoder().encode(text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;"));

describe("Utf8Sink", () => {
  it("writes texts XML-escaped as UTF-8, short and long alike", () => {
    const cases = [
      "",
      "choy",
      "&",
      "a<b>c&d",
      "<<&&>>",
      "şahar ço‘l Ğ ö",
      "Тошкент & Samarqand",
      "😀 & 𝒜<",
      "lone \ud800 and \udc00 & end \ud83d",
      "x".repeat(127) + "&",
      "&" + "ş".repeat(126) + "<",
      "o‘g‘il & qiz <b> ".repeat(20),
      "no escape at all, but long: ".repeat(10),
    ];
    for (const text of cases) {
      const sink = new Utf8Sink(0);
      sink.write("[");
      sink.writeEscaped(text);
      sink.write("]");
      expect(sink.result(), JSON.stringify(text)).toEqual(new Uint8Array([0x5b, ...escaped(text), 0x5d]));
      // the same text as a stretch of a longer one
      const within = new Utf8Sink(0);
      within.writeEscaped("<&" + text + "&>", 2, 2 + text.length);
      expect(within.result(), JSON.stringify(text)).toEqual(new Uint8Array(escaped(text)));
    }
  });

  it("grows its buffer for escapes that lengthen the text", () => {
    const sink = new Utf8Sink(1, new Uint8Array(3));
    sink.writeEscaped("&&&&&&&&");
    expect(new TextDecoder().decode(sink.view())).toBe("&amp;".repeat(8));
  });
});
