// The output of a conversion, assembled in buffers instead of from small strings: as
// UTF-16 code units for a string (the converter page), or as UTF-8 bytes straight into
// the document worker's output.

const PIECE = 8192;

/** Grows `units` to hold at least `size` code units, keeping the first `keep`. */
function grown(units: Uint16Array<ArrayBuffer>, size: number, keep: number): Uint16Array<ArrayBuffer> {
  if (size <= units.length) return units;
  const bigger = new Uint16Array(Math.max(size, units.length * 2));
  bigger.set(units.subarray(0, keep));
  return bigger;
}

const SURROGATE = /[\uD800-\uDFFF]/;
const utf16 = new TextDecoder("utf-16le", { ignoreBOM: true });

/** Whether a text holds no surrogate code unit (paired or not). */
export const withoutSurrogates = (text: string): boolean => !SURROGATE.test(text);

/**
 * A string of the first `length` code units, built in pieces small enough to stay out of
 * the heap's large-object space. `plain` says that no surrogate is among them: the
 * platform's decoder, many times quicker, may then build it (it would replace a lone
 * surrogate, which the slower road keeps as it is).
 */
export function unitsToString(units: Uint16Array, length: number, plain: boolean): string {
  let out = "";
  for (let at = 0; at < length; at += PIECE) {
    const piece = units.subarray(at, Math.min(length, at + PIECE));
    // The decoder's own cost per call outweighs it on short texts.
    out += plain && piece.length >= 1024 ? utf16.decode(piece) : String.fromCharCode.apply(null, piece as unknown as number[]);
  }
  return out;
}

/** A conversion's output: the input with some of its stretches replaced, in order. */
export class OutputBuffer {
  private units = new Uint16Array(1024);
  private length = 0;
  private input = "";
  /** Code units of the input already passed: copied or replaced. */
  private copied = 0;
  private changed = false;

  reset(input: string): void {
    this.input = input;
    this.length = 0;
    this.copied = 0;
    this.changed = false;
  }

  /** Copies the input up to `to` (a code-unit offset) that is not yet in the output. */
  private copyTo(to: number): void {
    const from = this.copied;
    if (to <= from) return;
    this.units = grown(this.units, this.length + (to - from) + 64, this.length);
    const units = this.units;
    const input = this.input;
    let o = this.length;
    for (let k = from; k < to; k++) units[o++] = input.charCodeAt(k);
    this.length = o;
    this.copied = to;
  }

  /**
   * Puts the first `count` units of `word` in place of the input's code units `from` to
   * `to`; answers where they begin in the output.
   */
  replaceUnits(from: number, to: number, word: Uint16Array, count: number): number {
    this.copyTo(from);
    this.units = grown(this.units, this.length + count + 64, this.length);
    const at = this.length;
    for (let k = 0; k < count; k++) this.units[at + k] = word[k];
    this.length += count;
    this.copied = to;
    this.changed = true;
    return at;
  }

  /** The finished output: the input itself when nothing was replaced. */
  finish(): string {
    if (!this.changed) return this.input;
    this.copyTo(this.input.length);
    return unitsToString(this.units, this.length, withoutSurrogates(this.input));
  }
}

/** A small buffer for one word's new spelling. */
export class WordBuffer {
  units = new Uint16Array(64);
  length = 0;

  clear(): void {
    this.length = 0;
  }

  push(text: string): void {
    if (this.length + text.length > this.units.length) this.units = grown(this.units, this.length + text.length, this.length);
    for (let k = 0; k < text.length; k++) this.units[this.length++] = text.charCodeAt(k);
  }

  pushUnit(unit: number): void {
    if (this.length === this.units.length) this.units = grown(this.units, this.length + 1, this.length);
    this.units[this.length++] = unit;
  }

  pushCodePoint(cp: number): void {
    if (this.length + 2 > this.units.length) this.units = grown(this.units, this.length + 2, this.length);
    if (cp > 0xffff) {
      this.units[this.length++] = 0xd800 + ((cp - 0x10000) >> 10);
      this.units[this.length++] = 0xdc00 + ((cp - 0x10000) & 0x3ff);
    } else {
      this.units[this.length++] = cp;
    }
  }

  /** Whether the word reads exactly as the input's code units `from` to `to`. */
  equals(input: string, from: number, to: number): boolean {
    if (to - from !== this.length) return false;
    for (let k = 0; k < this.length; k++) if (this.units[k] !== input.charCodeAt(from + k)) return false;
    return true;
  }

  text(): string {
    // A long word in pieces, since a call takes only so many arguments.
    if (this.length > PIECE) return unitsToString(this.units, this.length, false);
    // The units through a plain array kept for it: a typed array costs more to spread.
    const codes = wordCodes;
    codes.length = this.length;
    for (let k = 0; k < this.length; k++) codes[k] = this.units[k];
    return String.fromCharCode.apply(null, codes);
  }
}

const wordCodes: number[] = [];

const encoder = new TextEncoder();
/** Texts shorter than this are encoded here, longer ones by the platform. */
const SHORT = 128;

/**
 * A document's output as UTF-8, written as the conversion goes, so that no string of
 * the whole output is ever built. Lone surrogates become U+FFFD, as the platform's
 * encoder writes them.
 */
export class Utf8Sink {
  private bytes: Uint8Array;
  private length = 0;

  /**
   * `expected`: about how many bytes will be written, so the buffer rarely has to grow.
   * `reuse`: bytes no longer needed, to write into instead (memory already in use costs
   * less to write than fresh memory); the buffer grows beyond them when it must.
   */
  constructor(expected = 0, reuse: Uint8Array | null = null) {
    this.bytes = reuse ?? new Uint8Array(Math.max(1 << 12, Math.ceil(expected)));
  }

  private reserve(extra: number): void {
    if (this.length + extra <= this.bytes.length) return;
    const bigger = new Uint8Array(Math.max(this.length + extra, this.bytes.length * 2));
    bigger.set(this.bytes.subarray(0, this.length));
    this.bytes = bigger;
  }

  write(text: string): void {
    // The platform's encoder costs more to call than a short text takes to write here.
    if (text.length < SHORT) {
      this.writeUnits(text, 0, text.length);
      return;
    }
    this.reserve(text.length * 3);
    this.length += encoder.encodeInto(text, this.bytes.subarray(this.length)).written;
  }

  /** Writes the code units `from` to `to` of a text. */
  writeUnits(text: string, from: number, to: number): void {
    if (to - from >= SHORT) {
      this.write(text.slice(from, to));
      return;
    }
    this.reserve((to - from) * 3);
    const bytes = this.bytes;
    let o = this.length;
    for (let i = from; i < to; i++) {
      let u = text.charCodeAt(i);
      if (u < 0x80) {
        bytes[o++] = u;
        continue;
      }
      if (u >= 0xd800 && u <= 0xdbff && i + 1 < to) {
        const lo = text.charCodeAt(i + 1);
        if (lo >= 0xdc00 && lo <= 0xdfff) {
          u = ((u - 0xd800) << 10) + (lo - 0xdc00) + 0x10000;
          i++;
        }
      }
      o = put(bytes, o, u);
    }
    this.length = o;
  }

  /** Writes one code point (not a surrogate). */
  writeCodePoint(cp: number): void {
    this.reserve(4);
    if (cp < 0x80) this.bytes[this.length++] = cp;
    else this.length = put(this.bytes, this.length, cp);
  }

  /**
   * Writes code points `from` to `to`; `text` is the text they were read from when it
   * holds one code unit per code point, so that long stretches are encoded natively.
   */
  writeCodePoints(cps: Uint32Array, from: number, to: number, text: string | null): void {
    if (text !== null && to - from >= SHORT) {
      this.write(text.slice(from, to));
      return;
    }
    this.reserve((to - from) * 4);
    const bytes = this.bytes;
    let o = this.length;
    for (let i = from; i < to; i++) {
      const cp = cps[i];
      if (cp < 0x80) bytes[o++] = cp;
      else o = put(bytes, o, cp);
    }
    this.length = o;
  }

  /**
   * Writes ASCII text (its bytes) with `count` spans replaced, in order: span `c` runs
   * from `starts[c]` to `ends[c]` and becomes the UTF-8 bytes `utf8[codes[c]]`. The text
   * between replacements that change its length is copied at once, and the replacements
   * as long as their spans (most: "sh" and "ş" are both two bytes) are written over it.
   */
  writeAsciiSpliced(
    bytes: Uint8Array,
    spans: { starts: Int32Array; ends: Int32Array; codes: Uint8Array; count: number },
    utf8: readonly Uint8Array[],
  ): void {
    const { starts, ends, codes, count } = spans;
    const n = bytes.length;
    let room = n;
    for (let c = 0; c < count; c++) room += Math.max(0, utf8[codes[c]].length - (ends[c] - starts[c]));
    this.reserve(room);
    const out = this.bytes;
    let o = this.length;
    let k = 0; // the text is written up to here
    let c = 0;
    while (k < n || c < count) {
      // The changes from `c` that keep the length, up to the next that does not (or the end).
      let d = c;
      while (d < count && utf8[codes[d]].length === ends[d] - starts[d]) d++;
      const to = d < count ? starts[d] : n;
      if (to - k > 64) out.set(bytes.subarray(k, to), o);
      else for (let i = k; i < to; i++) out[o + i - k] = bytes[i];
      for (; c < d; c++) {
        const rep = utf8[codes[c]];
        const at = o + starts[c] - k;
        for (let r = 0; r < rep.length; r++) out[at + r] = rep[r];
      }
      o += to - k;
      k = to;
      if (d === count) break;
      const rep = utf8[codes[d]];
      for (let r = 0; r < rep.length; r++) out[o++] = rep[r];
      k = ends[d];
      c = d + 1;
    }
    this.length = o;
  }

  /** Writes a text (or its code units `from` to `to`) with "&", "<" and ">" escaped as XML. */
  writeEscaped(text: string, from = 0, to = text.length): void {
    if (to - from >= SHORT) {
      // Long texts: the stretches between escapes go to the platform's encoder.
      let at = from;
      for (let i = from; i < to; i++) {
        const u = text.charCodeAt(i);
        if (u !== 0x26 && u !== 0x3c && u !== 0x3e) continue;
        this.writeUnits(text, at, i);
        this.write(u === 0x26 ? "&amp;" : u === 0x3c ? "&lt;" : "&gt;");
        at = i + 1;
      }
      if (at === 0 && to === text.length) this.write(text);
      else this.writeUnits(text, at, to);
      return;
    }
    // Short texts in one pass; "&amp;" is the longest that one code unit becomes.
    this.reserve((to - from) * 5);
    const bytes = this.bytes;
    let o = this.length;
    for (let i = from; i < to; i++) {
      let u = text.charCodeAt(i);
      if (u < 0x80) {
        if (u === 0x26) {
          bytes[o] = 0x26;
          bytes[o + 1] = 0x61; // a
          bytes[o + 2] = 0x6d; // m
          bytes[o + 3] = 0x70; // p
          bytes[o + 4] = 0x3b;
          o += 5;
        } else if (u === 0x3c || u === 0x3e) {
          bytes[o] = 0x26;
          bytes[o + 1] = u === 0x3c ? 0x6c : 0x67; // l g
          bytes[o + 2] = 0x74; // t
          bytes[o + 3] = 0x3b;
          o += 4;
        } else {
          bytes[o++] = u;
        }
        continue;
      }
      if (u >= 0xd800 && u <= 0xdbff && i + 1 < to) {
        const lo = text.charCodeAt(i + 1);
        if (lo >= 0xdc00 && lo <= 0xdfff) {
          u = ((u - 0xd800) << 10) + (lo - 0xdc00) + 0x10000;
          i++;
        }
      }
      o = put(bytes, o, u);
    }
    this.length = o;
  }

  /** Writes the first `count` code units of `units`. */
  writeUnitArray(units: Uint16Array, count: number): void {
    this.reserve(count * 3);
    const bytes = this.bytes;
    let o = this.length;
    for (let i = 0; i < count; i++) {
      let u = units[i];
      if (u < 0x80) {
        bytes[o++] = u;
        continue;
      }
      if (u >= 0xd800 && u <= 0xdbff && i + 1 < count) {
        const lo = units[i + 1];
        if (lo >= 0xdc00 && lo <= 0xdfff) {
          u = ((u - 0xd800) << 10) + (lo - 0xdc00) + 0x10000;
          i++;
        }
      }
      o = put(bytes, o, u);
    }
    this.length = o;
  }

  /** How many bytes are written; `truncate` goes back to such a count. */
  size(): number {
    return this.length;
  }

  truncate(size: number): void {
    this.length = Math.min(this.length, size);
  }

  /** The bytes written, as a view of the buffer (overwritten if the sink is written again). */
  view(): Uint8Array {
    return this.bytes.subarray(0, this.length);
  }

  /** The bytes written, in a buffer of their own. */
  result(): Uint8Array {
    return this.bytes.slice(0, this.length);
  }
}

/** Writes one code point beyond ASCII as UTF-8 at `o`; a lone surrogate as U+FFFD. */
function put(bytes: Uint8Array, o: number, cp: number): number {
  if (cp < 0x800) {
    bytes[o++] = 0xc0 | (cp >> 6);
    bytes[o++] = 0x80 | (cp & 0x3f);
  } else if (cp < 0x10000) {
    if (cp >= 0xd800 && cp <= 0xdfff) cp = 0xfffd;
    bytes[o++] = 0xe0 | (cp >> 12);
    bytes[o++] = 0x80 | ((cp >> 6) & 0x3f);
    bytes[o++] = 0x80 | (cp & 0x3f);
  } else {
    bytes[o++] = 0xf0 | (cp >> 18);
    bytes[o++] = 0x80 | ((cp >> 12) & 0x3f);
    bytes[o++] = 0x80 | ((cp >> 6) & 0x3f);
    bytes[o++] = 0x80 | (cp & 0x3f);
  }
  return o;
}
