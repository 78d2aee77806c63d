// One measurement of the converter benchmark (scripts/bench-convert.mjs), in whatever
// engine runs it: a worker thread of node, or a worker of the web engine's page.
// `load(name)` imports one of the bundled converter modules.

export async function measure(job, load) {
  if (job.kind === "document") {
    const { handleRequest } = await load("protocol");
    const t0 = performance.now();
    const reply = await handleRequest({ id: 1, name: `bench.${job.ext}`, buffer: job.bytes.buffer, script: job.script });
    const ms = performance.now() - t0;
    if (!reply.ok) throw new Error(reply.error);
    return { ms, changes: reply.changed, out: reply.buffer.byteLength };
  }
  // The converter alone, fed the pieces the worker cuts (100,000 code units, after a line feed).
  const { convertOldLatin } = await load("oldLatin");
  const { convertCyrillic, convertText } = await load("cyrillic");
  const text = job.text;
  if (job.kind === "live") {
    // The live box converts up to 200,000 code units on the page thread at every change.
    const piece = text.slice(0, 200_000);
    convertText(piece, "auto");
    const t0 = performance.now();
    const runs = 5;
    for (let k = 0; k < runs; k++) convertText(piece, "auto");
    return { ms: (performance.now() - t0) / runs, changes: convertText(piece, "auto").changes.length };
  }
  // With all its records (as the converter page asks), or counting into UTF-8 (as the worker does).
  let convert = job.script === "cyrillic" ? convertCyrillic : convertOldLatin;
  if (job.kind === "counting") {
    const { countText } = await load("cyrillic");
    const { Utf8Sink } = await load("output");
    const sink = new Utf8Sink(3 * text.length);
    convert = (piece) => ({ changes: { length: countText(piece, job.script, undefined, sink).changes } });
  }
  const pieces = [];
  for (let start = 0; start < text.length; ) {
    const lf = text.indexOf("\n", start + 100_000);
    const end = lf < 0 ? text.length : lf + 1;
    pieces.push(text.slice(start, end));
    start = end;
  }
  const t0 = performance.now();
  let changes = 0;
  for (const piece of pieces) changes += convert(piece).changes.length;
  return { ms: performance.now() - t0, changes };
}
