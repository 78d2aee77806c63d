// A small ZIP reader and writer for Word documents, with limits against oversized and
// crafted archives. Inflating and deflating use the platform's raw-deflate streams.

export const MAX_ENTRIES = 4000;
export const MAX_ENTRY_SIZE = 40 * 1024 * 1024;
export const MAX_TOTAL_SIZE = 120 * 1024 * 1024;
export const MAX_DEFLATED_SIZE = 80 * 1024 * 1024;
const EOCD_SEARCH = 65535;
/** Bytes handed to the inflater at a time: one crafted piece can only inflate so far. */
const INFLATE_PIECE = 16 * 1024;
/** Bytes handed to the deflater at a time: its input is the program's own. */
const DEFLATE_PIECE = 1024 * 1024;

export const REFUSALS = {
  broken: "Fayl buzilgan yoki haqiqiy .docx emas.",
  zip64: "ZIP64 (juda katta) fayllar qo‘llanmaydi.",
  tooManyEntries: "Faylda ichki qismlar juda ko‘p; xavfsizlik uchun rad etildi.",
  encrypted: "Parol bilan himoyalangan hujjat qo‘llanmaydi.",
  entryTooBig: "Hujjat ichidagi qism haddan tashqari katta; rad etildi.",
  streamTooBig: "Hujjat ichidagi qism haddan tashqari katta (ZIP-bomba ehtimoli); rad etildi.",
  totalTooBig: "Hujjat ochilganda haddan tashqari katta bo‘ladi (ZIP-bomba ehtimoli); rad etildi.",
} as const;

/** A failure whose message is shown to the user word for word. */
export class DocumentRefusal extends Error {
  constructor(message: string) {
    super(message);
    this.name = "DocumentRefusal";
  }
}

export interface ZipEntry {
  name: string;
  nameBytes: Uint8Array;
  /** 0 stored, 8 deflate. */
  method: number;
  flags: number;
  time: number;
  date: number;
  crc: number;
  csize: number;
  usize: number;
  /** The stored data bytes. */
  raw: Uint8Array;
  /** New uncompressed content, when the part was rewritten. */
  data?: Uint8Array;
}

/** The inflated bytes of one document so far. */
export interface RunningTotal {
  bytes: number;
}

// Eight tables of 256 entries: table k gives the CRC of a byte followed by k zero bytes,
// so that eight bytes are taken per step instead of one.
let crcTables: Int32Array | null = null;

/** The CRC-32 of the ZIP format. */
export function crc32(bytes: Uint8Array): number {
  if (crcTables === null) {
    crcTables = new Int32Array(8 * 256);
    for (let i = 0; i < 256; i++) {
      let c = i;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      crcTables[i] = c;
    }
    for (let i = 256; i < 8 * 256; i++) {
      const prev = crcTables[i - 256];
      crcTables[i] = (prev >>> 8) ^ crcTables[prev & 0xff];
    }
  }
  const t = crcTables;
  const len = bytes.length;
  let crc = -1;
  let i = 0;
  for (; i + 8 <= len; i += 8) {
    const a = crc ^ (bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (bytes[i + 3] << 24));
    crc =
      t[0x700 + (a & 0xff)] ^
      t[0x600 + ((a >>> 8) & 0xff)] ^
      t[0x500 + ((a >>> 16) & 0xff)] ^
      t[0x400 + (a >>> 24)] ^
      t[0x300 + bytes[i + 4]] ^
      t[0x200 + bytes[i + 5]] ^
      t[0x100 + bytes[i + 6]] ^
      t[bytes[i + 7]];
  }
  for (; i < len; i++) crc = t[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
  return (crc ^ -1) >>> 0;
}

const broken = () => new DocumentRefusal(REFUSALS.broken);

function sig(bytes: Uint8Array, at: number, third: number, fourth: number): boolean {
  return bytes[at] === 0x50 && bytes[at + 1] === 0x4b && bytes[at + 2] === third && bytes[at + 3] === fourth;
}

/** Reads the central directory. Refuses broken, ZIP64, encrypted and overfull archives. */
export function readZipDirectory(bytes: Uint8Array): ZipEntry[] {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const len = bytes.length;
  if (len < 22) throw broken();
  let eocd = -1;
  for (let at = len - 22, last = Math.max(0, len - 22 - EOCD_SEARCH); at >= last; at--) {
    if (sig(bytes, at, 0x05, 0x06)) {
      eocd = at;
      break;
    }
  }
  if (eocd < 0) throw broken();

  const count = view.getUint16(eocd + 10, true);
  const dirOffset = view.getUint32(eocd + 16, true);
  if (count === 0xffff || dirOffset === 0xffffffff) throw new DocumentRefusal(REFUSALS.zip64);
  if (count > MAX_ENTRIES) throw new DocumentRefusal(REFUSALS.tooManyEntries);

  const names = new TextDecoder("utf-8");
  const entries: ZipEntry[] = [];
  let at = dirOffset;
  for (let e = 0; e < count; e++) {
    if (at + 46 > len || !sig(bytes, at, 0x01, 0x02)) throw broken();
    const flags = view.getUint16(at + 8, true);
    const method = view.getUint16(at + 10, true);
    const time = view.getUint16(at + 12, true);
    const date = view.getUint16(at + 14, true);
    const crc = view.getUint32(at + 16, true);
    const csize = view.getUint32(at + 20, true);
    const usize = view.getUint32(at + 24, true);
    const nameLen = view.getUint16(at + 28, true);
    const extraLen = view.getUint16(at + 30, true);
    const commentLen = view.getUint16(at + 32, true);
    const local = view.getUint32(at + 42, true);
    if (at + 46 + nameLen > len) throw broken();
    const nameBytes = bytes.subarray(at + 46, at + 46 + nameLen);
    if (flags & 1) throw new DocumentRefusal(REFUSALS.encrypted);
    if (method !== 0 && method !== 8) throw broken();
    if (local + 30 > len || !sig(bytes, local, 0x03, 0x04)) throw broken();
    const dataStart = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
    if (dataStart + csize > len) throw broken();
    entries.push({
      name: names.decode(nameBytes),
      nameBytes,
      method,
      flags,
      time,
      date,
      crc,
      csize,
      usize,
      raw: bytes.subarray(dataStart, dataStart + csize),
    });
    at += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

/**
 * Runs bytes through a compression or decompression stream, refusing as soon as more
 * than `limit` bytes have come out.
 */
async function pump(
  input: Uint8Array,
  transform: ReadableWritablePair<Uint8Array, BufferSource>,
  limit: number,
  onFailure: () => Error,
  piece: number,
): Promise<Uint8Array> {
  // The input goes in pieces and only as the output is read: one piece of a crafted
  // stream can only inflate so far before the limit below stops it.
  let fed = 0;
  const source = new ReadableStream<BufferSource>(
    {
      pull(controller) {
        if (fed >= input.length) {
          controller.close();
          return;
        }
        controller.enqueue(input.subarray(fed, fed + piece) as Uint8Array<ArrayBuffer>);
        fed += piece;
      },
    },
    { highWaterMark: 0 },
  );
  const reader = source.pipeThrough(transform).getReader();
  const chunks: Uint8Array[] = [];
  let size = 0;
  for (;;) {
    let step: ReadableStreamReadResult<Uint8Array>;
    try {
      step = await reader.read();
    } catch {
      throw onFailure();
    }
    if (step.done) break;
    size += step.value.length;
    if (size > limit) {
      reader.cancel().catch(() => {});
      throw new DocumentRefusal(REFUSALS.streamTooBig);
    }
    chunks.push(step.value);
  }
  if (chunks.length === 1) return chunks[0];
  const out = new Uint8Array(size);
  let k = 0;
  for (const c of chunks) {
    out.set(c, k);
    k += c.length;
  }
  return out;
}

/** The uncompressed bytes of an entry, counted against the document's running total. */
export async function readEntryData(entry: ZipEntry, total: RunningTotal): Promise<Uint8Array> {
  let data: Uint8Array;
  if (entry.method === 0) {
    data = entry.raw;
  } else {
    if (entry.usize > MAX_ENTRY_SIZE) throw new DocumentRefusal(REFUSALS.entryTooBig);
    data = await pump(entry.raw, new DecompressionStream("deflate-raw"), MAX_ENTRY_SIZE, broken, INFLATE_PIECE);
  }
  countEntry(total, data.length);
  return data;
}

/** Adds an inflated entry's size to the document's running total; refuses beyond the limit. */
export function countEntry(total: RunningTotal, size: number): void {
  total.bytes += size;
  if (total.bytes > MAX_TOTAL_SIZE) throw new DocumentRefusal(REFUSALS.totalTooBig);
}

export function deflateRaw(data: Uint8Array): Promise<Uint8Array> {
  return pump(data, new CompressionStream("deflate-raw"), MAX_DEFLATED_SIZE, () => new Error("deflate failed"), DEFLATE_PIECE);
}

/** Builds an archive from the entries, in their order; rewritten parts are deflated anew. */
export async function writeZip(entries: ZipEntry[]): Promise<Uint8Array> {
  interface Part {
    entry: ZipEntry;
    data: Uint8Array;
    method: number;
    crc: number;
    csize: number;
    usize: number;
    flags: number;
    offset: number;
  }
  const parts: Part[] = [];
  let offset = 0;
  for (const entry of entries) {
    const flags = entry.flags & ~0x8;
    let part: Part;
    if (entry.data !== undefined) {
      const packed = await deflateRaw(entry.data);
      part = { entry, data: packed, method: 8, crc: crc32(entry.data), csize: packed.length, usize: entry.data.length, flags, offset };
    } else {
      part = { entry, data: entry.raw, method: entry.method, crc: entry.crc, csize: entry.raw.length, usize: entry.usize, flags, offset };
    }
    parts.push(part);
    offset += 30 + entry.nameBytes.length + part.data.length;
  }
  const dirSize = parts.reduce((sum, p) => sum + 46 + p.entry.nameBytes.length, 0);
  const out = new Uint8Array(offset + dirSize + 22);
  const view = new DataView(out.buffer);
  let at = 0;
  const u16 = (v: number) => {
    view.setUint16(at, v, true);
    at += 2;
  };
  const u32 = (v: number) => {
    view.setUint32(at, v >>> 0, true);
    at += 4;
  };
  const put = (b: Uint8Array) => {
    out.set(b, at);
    at += b.length;
  };

  // The fields the local header and the directory entry share, in order.
  const shared = (p: Part) => {
    u16(p.flags);
    u16(p.method);
    u16(p.entry.time);
    u16(p.entry.date);
    u32(p.crc);
    u32(p.csize);
    u32(p.usize);
    u16(p.entry.nameBytes.length);
  };

  for (const p of parts) {
    u32(0x04034b50);
    u16(20);
    shared(p);
    u16(0);
    put(p.entry.nameBytes);
    put(p.data);
  }
  const dirOffset = at;
  for (const p of parts) {
    u32(0x02014b50);
    u16(20);
    u16(20);
    shared(p);
    u16(0);
    u16(0);
    u16(0);
    u16(0);
    u32(0);
    u32(p.offset);
    put(p.entry.nameBytes);
  }
  u32(0x06054b50);
  u16(0);
  u16(0);
  u16(parts.length);
  u16(parts.length);
  u32(dirSize);
  u32(dirOffset);
  u16(0);
  return out;
}
