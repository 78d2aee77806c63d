import { afterEach, describe, expect, it, vi } from "vitest";
import type { DocReply, DocRequest } from "./protocol";

// The document worker is started anew for every file: its converters are fresh each time.
// Each test loads the worker's module anew, as a new worker does, and posts it one file.
async function freshWorker(name: string, text: string, script: DocRequest["script"]): Promise<DocReply> {
  vi.resetModules();
  const posted = new Promise<DocReply>((resolve) => {
    vi.spyOn(window, "postMessage").mockImplementation(((message: DocReply) => resolve(message)) as typeof window.postMessage);
  });
  await import("./doc.worker");
  const bytes = new TextEncoder().encode(text);
  const request: DocRequest = { id: 1, name, buffer: bytes.buffer as ArrayBuffer, script };
  (window.onmessage as unknown as (event: { data: DocRequest }) => void)({ data: request });
  return posted;
}

afterEach(() => {
  window.onmessage = null;
});

describe("a fresh document worker", () => {
  // text, output, changes, warnings
  const cases: [string, string, string, number, number][] = [
    ["a change past the 61st letter", `ö${"a".repeat(59)}cha`, `ö${"a".repeat(59)}ça`, 1, 0],
    ["a w past the 61st letter", `öshaa${"a".repeat(70)}w`, `öshaa${"a".repeat(70)}w`, 0, 1],
  ];

  it.each(cases.flatMap(([what, ...rest]) => (["auto", "latin"] as const).map((script) => [what, script, ...rest] as const)))(
    "judges a first long word with %s on all its letters (%s)",
    async (_, script, text, output, changed, warnings) => {
      for (const name of ["matn.txt", "matn.md"]) {
        const reply = await freshWorker(name, `${text}\n`, script);
        if (!reply.ok) throw new Error(reply.error);
        expect([name, new TextDecoder().decode(reply.buffer), reply.changed, reply.warnings]).toEqual([name, `${output}\n`, changed, warnings]);
      }
    },
  );
});
