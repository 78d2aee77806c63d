// One timed run of the exercise: what was typed against the target, the keystroke totals
// and the scores. Pure functions; the view holds the state and the clock.

export interface Scores {
  wpm: number;
  /** Percent. */
  accuracy: number;
  errors: number;
}

/**
 * Scores from the correct characters `c`, the keystrokes `t`, the correct keystrokes `k`
 * and the elapsed seconds `e`. A word is five characters.
 */
export function scores(c: number, t: number, k: number, e: number): Scores {
  return {
    wpm: e <= 0 ? 0 : Math.round(c / 5 / (e / 60)),
    accuracy: t <= 0 ? 100 : Math.round((k / t) * 100),
    errors: Math.max(0, t - k),
  };
}

export interface RunState {
  /** The run's text, one entry per character (code point). */
  target: string[];
  typed: string[];
  /** Unix milliseconds of the first input; null before it. */
  start: number | null;
  total: number;
  correct: number;
}

export function newRun(text: string): RunState {
  return { target: Array.from(text), typed: [], start: null, total: 0, correct: 0 };
}

// The first letter of a digraph and the new letter it becomes in place (Zero-learning
// rewrites the character before the caret when the pair is completed).
const COMPLETES: Record<string, string> = { s: "ş", S: "Ş", c: "ç", C: "Ç", o: "ö", O: "Ö", g: "ğ", G: "Ğ" };

/**
 * The run after the field's text became `value` at `now`. Every appended character is a
 * keystroke, correct when it equals the target character at its position; removing or
 * replacing text adds none. One replacement is judged again instead: when the last
 * character turns from a digraph's first letter into its new letter, the keystroke that
 * typed it is re-scored against the target, so completing "sh" to "ş" is not an error.
 */
export function applyInput(run: RunState, value: string, now: number): RunState {
  const typed = Array.from(value);
  const prev = run.typed;
  let { total, correct } = run;
  if (typed.length > prev.length) {
    for (let i = prev.length; i < typed.length; i++) {
      total += 1;
      if (typed[i] === run.target[i]) correct += 1;
    }
  } else if (typed.length === prev.length && typed.length > 0) {
    const i = typed.length - 1;
    const same = typed.every((ch, j) => j === i || ch === prev[j]);
    if (same && COMPLETES[prev[i]] === typed[i]) {
      correct += Number(typed[i] === run.target[i]) - Number(prev[i] === run.target[i]);
    }
  }
  return { ...run, typed, start: run.start ?? now, total, correct };
}

export function isComplete(run: RunState): boolean {
  return run.target.length > 0 && run.typed.length >= run.target.length;
}

/** The positions where the typed text equals the target. */
export function correctPositions(run: RunState): number {
  let c = 0;
  for (let i = 0; i < run.typed.length && i < run.target.length; i++) if (run.typed[i] === run.target[i]) c += 1;
  return c;
}

const clamp = (x: number, lo: number, hi: number) => Math.min(hi, Math.max(lo, x));

/**
 * The scores of a run ended at `now`, or null when it is to be cancelled (nothing typed
 * or never started). The elapsed time counts at least 1 second and at most the duration.
 */
export function finishRun(run: RunState, now: number, duration: number): Scores | null {
  if (run.start === null || run.typed.length === 0) return null;
  const e = clamp((now - run.start) / 1000, 1, duration);
  return scores(correctPositions(run), run.total, run.correct, e);
}

/** Seconds since the start, within [0, duration]; 0 before the start. */
export function elapsedSeconds(run: RunState, now: number, duration: number): number {
  return run.start === null ? 0 : clamp((now - run.start) / 1000, 0, duration);
}

/** The run's time is up. */
export function timeUp(run: RunState, now: number, duration: number): boolean {
  return run.start !== null && (now - run.start) / 1000 >= duration;
}

/** "m:ss" of a number of seconds. */
export function clock(seconds: number): string {
  const s = Math.max(0, seconds);
  return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, "0")}`;
}

export interface LiveFigures {
  /** Remaining time, "m:ss". */
  time: string;
  wpm: number;
  accuracy: number;
  /** Time passed, percent of the duration. */
  progress: number;
}

/** The figures shown while a run goes on. */
export function liveFigures(run: RunState, now: number, duration: number): LiveFigures {
  const elapsed = elapsedSeconds(run, now, duration);
  const { wpm, accuracy } = scores(correctPositions(run), run.total, run.correct, Math.max(1, elapsed));
  return {
    time: clock(Math.ceil(duration - elapsed)),
    wpm: run.start === null ? 0 : wpm,
    accuracy,
    progress: Math.round((elapsed / duration) * 100),
  };
}
