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

  it("writes ASCII text with its spans replaced, whether or not a replacement keeps the length", () => {
    const long = "x".repeat(70);
    // [text, spans as [start, end, replacement]]
    const cases: [string, [number, number, string][]][] = [
      ["", []],
      ["shahar", []],
      ["shahar", [[0, 2, "ş"]]],
      ["bosh", [[2, 4, "ş"]]],
      ["o'g'il", [[0, 2, "ö"], [2, 4, "ğ"]]],
      ["ma'no", [[2, 3, "ʼ"]]],
      ["Ishoq ma'no", [[1, 3, "sʼh"], [8, 9, "ʼ"]]],
      [long + "sh" + long + "'" + long + "ch", [[70, 72, "ş"], [142, 143, "ʼ"], [213, 215, "ç"]]],
      ["'" + long + "sh", [[0, 1, "ʼ"], [71, 73, "ş"]]],
    ];
    const utf8 = ["ş", "ç", "ö", "ğ", "ʼ", "sʼh"].map((to) => new TextEncoder().encode(to));
    const codeOf = (to: string) => ["ş", "ç", "ö", "ğ", "ʼ", "sʼh"].indexOf(to);
    for (const [text, spans] of cases) {
      let expected = "";
      let k = 0;
      for (const [start, end, to] of spans) {
        expected += text.slice(k, start) + to;
        k = end;
      }
      expected += text.slice(k);
      const sink = new Utf8Sink(1, new Uint8Array(2));
      sink.write("[");
      sink.writeAsciiSpliced(
        new TextEncoder().encode(text),
        {
          starts: Int32Array.from(spans, (span) => span[0]),
          ends: Int32Array.from(spans, (span) => span[1]),
          codes: Uint8Array.from(spans, (span) => codeOf(span[2])),
          count: spans.length,
        },
        utf8,
      );
      sink.write("]");
      expect(new TextDecoder().decode(sink.view()), text).toBe("[" + expected + "]");
    }
  });
});
