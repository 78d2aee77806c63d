// ZIP archives for the scripts' sample Word documents: stored or deflated entries, no
// extra fields, no comments.

import { deflateRawSync } from "node:zlib";

let crcTable;

/** The CRC-32 of the ZIP format. */
export function crc32(bytes) {
  crcTable ??= Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  let c = 0xffffffff;
  for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

/** An archive of `files`, each [name, content (text or bytes)], in their order. */
export function zipArchive(files, { deflate = false } = {}) {
  const method = deflate ? 8 : 0;
  const locals = [];
  const centrals = [];
  let offset = 0;
  for (const [name, content] of files) {
    const nameBytes = Buffer.from(name);
    const data = Buffer.from(content);
    const packed = deflate ? deflateRawSync(data) : data;
    const crc = crc32(data);
    // The fields the local header and the directory entry share, from the method on.
    const shared = (header, at) => {
      header.writeUInt16LE(method, at);
      header.writeUInt32LE(crc, at + 6);
      header.writeUInt32LE(packed.length, at + 10);
      header.writeUInt32LE(data.length, at + 14);
      header.writeUInt16LE(nameBytes.length, at + 18);
    };
    const local = Buffer.alloc(30);
    local.writeUInt32LE(0x04034b50, 0);
    local.writeUInt16LE(20, 4);
    shared(local, 8);
    const central = Buffer.alloc(46);
    central.writeUInt32LE(0x02014b50, 0);
    central.writeUInt16LE(20, 4);
    central.writeUInt16LE(20, 6);
    shared(central, 10);
    central.writeUInt32LE(offset, 42);
    locals.push(local, nameBytes, packed);
    centrals.push(central, nameBytes);
    offset += 30 + nameBytes.length + packed.length;
  }
  const dir = Buffer.concat(centrals);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054b50, 0);
  end.writeUInt16LE(files.length, 8);
  end.writeUInt16LE(files.length, 10);
  end.writeUInt32LE(dir.length, 12);
  end.writeUInt32LE(offset, 16);
  return Buffer.concat([...locals, dir, end]);
}
