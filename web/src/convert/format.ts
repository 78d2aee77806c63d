// Small texts the converter page builds from numbers.

/** A file size: "1.5 MB" from 1 MiB up, else whole KiB, at least "1 KB". */
export function sizeText(bytes: number): string {
  if (bytes >= 1048576) return `${(bytes / 1048576).toFixed(1)} MB`;
  return `${Math.max(1, Math.round(bytes / 1024))} KB`;
}

/** A whole number with its thousands set apart by spaces: 100 000. */
export function grouped(value: number): string {
  return String(Math.trunc(value)).replace(/\B(?=(\d{3})+(?!\d))/g, " ");
}

/** Cuts a text by code-point offsets (the offsets of the converters' records). */
export function codePointSlicer(text: string): (start: number, end: number) => string {
  if (!/[\uD800-\uDFFF]/.test(text)) return (start, end) => text.slice(start, end);
  const unitAt: number[] = [];
  let unit = 0;
  for (const ch of text) {
    unitAt.push(unit);
    unit += ch.length;
  }
  unitAt.push(unit);
  const at = (i: number) => unitAt[Math.min(Math.max(i, 0), unitAt.length - 1)];
  return (start, end) => text.slice(at(start), at(end));
}
