// Starts the document worker; the bundler emits it as its own module asset.
export function startDocWorker(): Worker {
  return new Worker(new URL("./doc.worker.ts", import.meta.url), { type: "module" });
}
