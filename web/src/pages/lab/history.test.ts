import { beforeEach, describe, expect, it, vi } from "vitest";
import { HISTORY_KEY, bestRecord, readHistory, saveRecord, type HistoryRecord } from "./history";

const rec = (wpm: number, i = 0): HistoryRecord => ({
  wpm,
  accuracy: 95,
  errors: 2,
  seconds: 30,
  date: `2025-01-01T00:00:${String(i).padStart(2, "0")}.000Z`,
});
const many = (n: number) => Array.from({ length: n }, (_, i) => rec(i, i));

beforeEach(() => localStorage.clear());

describe("reading the history", () => {
  it.each<[string, string | null, HistoryRecord[]]>([
    ["nothing stored", null, []],
    ["empty text", "", []],
    ["text that is not JSON", "{oops", []],
    ["an object", JSON.stringify({ wpm: 40 }), []],
    ["a number", "42", []],
    ["null", "null", []],
    ["a valid list", JSON.stringify([rec(30), rec(41, 1)]), [rec(30), rec(41, 1)]],
    [
      "foreign elements are skipped, the valid ones kept",
      JSON.stringify([
        rec(30),
        null,
        "x",
        [1],
        { ...rec(50), wpm: "50" },
        { ...rec(50), date: 5 },
        { wpm: 50, accuracy: 90, errors: 1, seconds: 30 },
        rec(41, 1),
      ]),
      [rec(30), rec(41, 1)],
    ],
    ["a number too large for JSON's range is not a speed", `[${JSON.stringify(rec(30)).replace('"wpm":30', '"wpm":1e999')}]`, []],
    ["stray keys of an element are dropped", JSON.stringify([{ ...rec(30), note: "x" }]), [rec(30)]],
    ["more than 20 records keep the last 20", JSON.stringify(many(25)), many(25).slice(5)],
  ])("%s", (_, stored, expected) => {
    if (stored !== null) localStorage.setItem(HISTORY_KEY, stored);
    expect(readHistory(localStorage)).toEqual(expected);
  });

  it("no storage, or a storage that refuses to be read, gives an empty history", () => {
    expect(readHistory(null)).toEqual([]);
    vi.spyOn(Storage.prototype, "getItem").mockImplementation(() => {
      throw new DOMException("denied", "SecurityError");
    });
    expect(readHistory(localStorage)).toEqual([]);
  });
});

describe("saving a record", () => {
  it("adds it to what is stored now and writes the list back", () => {
    localStorage.setItem(HISTORY_KEY, JSON.stringify([rec(30)]));
    expect(saveRecord(localStorage, rec(41, 1))).toEqual({ list: [rec(30), rec(41, 1)], saved: true });
    expect(JSON.parse(localStorage.getItem(HISTORY_KEY)!)).toEqual([rec(30), rec(41, 1)]);
  });

  it("the 21st record drops the oldest", () => {
    localStorage.setItem(HISTORY_KEY, JSON.stringify(many(20)));
    const { list } = saveRecord(localStorage, rec(99, 59));
    expect(list).toHaveLength(20);
    expect(list[0]).toEqual(rec(1, 1));
    expect(list.at(-1)).toEqual(rec(99, 59));
  });

  it("a broken stored value is replaced; the page's other keys stay", () => {
    localStorage.setItem(HISTORY_KEY, "{broken");
    localStorage.setItem("other", "kept");
    expect(saveRecord(localStorage, rec(30))).toEqual({ list: [rec(30)], saved: true });
    expect(localStorage.getItem("other")).toBe("kept");
  });

  it("without storage the list is the new record alone, not saved", () => {
    expect(saveRecord(null, rec(30))).toEqual({ list: [rec(30)], saved: false });
  });

  it("a full storage keeps the old value and reports the list it would have held", () => {
    localStorage.setItem(HISTORY_KEY, JSON.stringify([rec(30)]));
    vi.spyOn(Storage.prototype, "setItem").mockImplementation(() => {
      throw new DOMException("full", "QuotaExceededError");
    });
    expect(saveRecord(localStorage, rec(41, 1))).toEqual({ list: [rec(30), rec(41, 1)], saved: false });
    expect(JSON.parse(localStorage.getItem(HISTORY_KEY)!)).toEqual([rec(30)]);
  });
});

describe("best record", () => {
  it.each<[string, HistoryRecord[], HistoryRecord | null]>([
    ["none in an empty list", [], null],
    ["the highest speed", [rec(30), rec(55, 1), rec(41, 2)], rec(55, 1)],
    ["of two equal tops, the older", [rec(30), rec(55, 1), rec(55, 2)], rec(55, 1)],
  ])("%s", (_, list, best) => expect(bestRecord(list)).toEqual(best));
});
