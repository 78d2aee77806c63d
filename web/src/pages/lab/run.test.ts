import { describe, expect, it } from "vitest";
import { applyInput, clock, finishRun, liveFigures, newRun, scores, timeUp, type RunState } from "./run";

describe("scores", () => {
  // correct chars, keystrokes, correct keystrokes, seconds → wpm, accuracy, errors
  it.each([
    ["150 characters perfectly in 12 s", 150, 150, 150, 12, 150, 100, 0],
    ["no time passed", 40, 40, 40, 0, 0, 100, 0],
    ["no keystrokes", 0, 0, 0, 30, 0, 100, 0],
    ["rounding of speed and accuracy", 101, 120, 107, 60, 20, 89, 13],
    ["more correct keystrokes than keystrokes never gives negative errors", 10, 3, 5, 10, 12, 167, 0],
  ])("%s", (_, c, t, k, e, wpm, accuracy, errors) => {
    expect(scores(c, t, k, e)).toEqual({ wpm, accuracy, errors });
  });
});

/** Feeds the field's successive texts into a run of `text`, 100 ms apart from t = 1000. */
function feed(text: string, values: string[]): RunState {
  let run = newRun(text);
  values.forEach((value, i) => (run = applyInput(run, value, 1000 + i * 100)));
  return run;
}

describe("keystrokes", () => {
  // target, successive field texts → keystrokes, correct keystrokes
  it.each<[string, string, string[], number, number]>([
    ["each appended character counts once", "abc", ["a", "ab", "abc"], 3, 3],
    ["a wrong character counts as a keystroke, not a correct one", "abc", ["a", "ax"], 2, 1],
    ["removing counts nothing; the retyped character counts again", "abc", ["a", "ax", "a", "ab"], 3, 2],
    ["several characters at once count each", "abcd", ["abxd"], 4, 3],
    ["replacing without growing counts nothing", "abc", ["ab", "ax"], 2, 2],
    ["characters count by code point", "𝒜b", ["𝒜", "𝒜b"], 2, 2],
    // Zero-learning turns "s" into "ş" in place when "h" follows.
    ["completing a digraph re-scores the keystroke before it", "şa", ["s", "ş", "şa"], 2, 2],
    ["completing a digraph the target did not want", "sh", ["s", "ş"], 1, 0],
    ["capital digraphs too", "Öz", ["O", "Ö", "Öz"], 2, 2],
    ["a replacement elsewhere in the text is not re-scored", "şaş", ["s", "sa", "şa"], 2, 1],
  ])("%s", (_, target, values, total, correct) => {
    const run = feed(target, values);
    expect([run.total, run.correct]).toEqual([total, correct]);
    expect(run.typed).toEqual(Array.from(values.at(-1)!));
  });

  it("the first input sets the start time, later ones keep it", () => {
    const run = feed("abc", ["a", "ab"]);
    expect(run.start).toBe(1000);
  });
});

describe("ending a run", () => {
  const started = (typed: string, target = "abcdefghij", start = 0): RunState => ({
    ...applyInput(newRun(target), typed, start),
  });

  it("a run typed perfectly: 150 characters in 12 of 30 seconds", () => {
    const text = "a".repeat(150);
    expect(finishRun(started(text, text), 12_000, 30)).toEqual({ wpm: 150, accuracy: 100, errors: 0 });
  });

  it.each([
    ["half a second counts as one", 500, 30, 120],
    ["time beyond the duration counts as the duration", 90_000, 30, 4],
  ])("elapsed time: %s", (_, now, duration, wpm) => {
    // 10 correct characters: two words.
    expect(finishRun(started("abcdefghij"), now, duration)?.wpm).toBe(wpm);
  });

  it("is cancelled when nothing was typed or the run never started", () => {
    expect(finishRun(newRun("abc"), 5000, 30)).toBeNull();
    expect(finishRun(applyInput(applyInput(newRun("abc"), "a", 0), "", 100), 5000, 30)).toBeNull();
  });

  it("counts correct positions of the final text, errors from the keystrokes", () => {
    const run = feed("abcd", ["a", "ax", "a", "ab", "abc", "abcx"]);
    expect(finishRun(run, 1000 + 60_000, 60)).toEqual({ wpm: 1, accuracy: 60, errors: 2 });
  });

  it("time is up at the duration, not before", () => {
    const run = started("a", "abc", 1000);
    expect(timeUp(run, 30_999, 30)).toBe(false);
    expect(timeUp(run, 31_000, 30)).toBe(true);
    expect(timeUp(newRun("abc"), 99_000, 30)).toBe(false);
  });
});

describe("live figures", () => {
  it("before the first input", () => {
    expect(liveFigures(newRun("abc"), 5000, 60)).toEqual({ time: "1:00", wpm: 0, accuracy: 100, progress: 0 });
  });

  it.each([
    // elapsed ms → remaining time, progress
    [0, "0:30", 0],
    [100, "0:30", 0],
    [20_500, "0:10", 68],
    [29_001, "0:01", 97],
    [45_000, "0:00", 100],
  ])("after %i ms of 30 s", (ms, time, progress) => {
    const run = applyInput(newRun("abcdefghij"), "ab", 0);
    expect(liveFigures(run, ms, 30)).toMatchObject({ time, progress });
  });

  it("speed counts at least one second", () => {
    const run = applyInput(newRun("abcdefghij"), "abcde", 0);
    expect(liveFigures(run, 200, 30).wpm).toBe(60);
    expect(liveFigures(applyInput(run, "abcdex", 300), 300, 30).accuracy).toBe(83);
  });

  it.each([
    [0, "0:00"],
    [9, "0:09"],
    [60, "1:00"],
    [75, "1:15"],
  ])("clock(%i) = %s", (s, text) => expect(clock(s)).toBe(text));
});
