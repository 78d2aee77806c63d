// The exercise's history of finished runs in the page's local storage. It never leaves
// the machine. A broken or foreign stored value reads as an empty history; nothing else
// in the storage is touched.

/** One finished run. */
export interface HistoryRecord {
  wpm: number;
  /** Percent. */
  accuracy: number;
  errors: number;
  /** The chosen duration, 30 or 60. */
  seconds: number;
  /** The finishing time, ISO 8601 in UTC. */
  date: string;
}

export const HISTORY_KEY = "harvel.lab.progress.v1";
export const HISTORY_LIMIT = 20;

/** The storage of the page, or null when the page may not use one. */
export function pageStorage(): Storage | null {
  try {
    return typeof window !== "undefined" ? (window.localStorage ?? null) : null;
  } catch {
    // Reading the property itself throws when storage is blocked.
    return null;
  }
}

const isNumber = (value: unknown): value is number => typeof value === "number" && Number.isFinite(value);

function isRecord(value: unknown): value is HistoryRecord {
  if (typeof value !== "object" || value === null || Array.isArray(value)) return false;
  const r = value as Record<string, unknown>;
  return isNumber(r.wpm) && isNumber(r.accuracy) && isNumber(r.errors) && isNumber(r.seconds) && typeof r.date === "string";
}

/** Only the fields of a record, so stray keys of a stored element are not carried on. */
function clean(r: HistoryRecord): HistoryRecord {
  return { wpm: r.wpm, accuracy: r.accuracy, errors: r.errors, seconds: r.seconds, date: r.date };
}

/** The stored history, oldest first, at most the last 20 valid records. */
export function readHistory(storage: Storage | null): HistoryRecord[] {
  if (!storage) return [];
  let text: string | null;
  try {
    text = storage.getItem(HISTORY_KEY);
  } catch {
    return [];
  }
  if (text === null) return [];
  let value: unknown;
  try {
    value = JSON.parse(text);
  } catch {
    return [];
  }
  if (!Array.isArray(value)) return [];
  return value.filter(isRecord).map(clean).slice(-HISTORY_LIMIT);
}

/**
 * Adds `record` to the stored history (read again, so another window's runs are kept) and
 * writes it back. `saved` is false when there is no storage or writing fails (storage
 * closed or full); the list is then what the history would be.
 */
export function saveRecord(storage: Storage | null, record: HistoryRecord): { list: HistoryRecord[]; saved: boolean } {
  if (!storage) return { list: [record], saved: false };
  const list = [...readHistory(storage), record].slice(-HISTORY_LIMIT);
  try {
    storage.setItem(HISTORY_KEY, JSON.stringify(list));
    return { list, saved: true };
  } catch {
    return { list, saved: false };
  }
}

/** The first record with the highest speed; a later equal one does not replace it. */
export function bestRecord(list: readonly HistoryRecord[]): HistoryRecord | null {
  let best: HistoryRecord | null = null;
  for (const r of list) if (!best || r.wpm > best.wpm) best = r;
  return best;
}
