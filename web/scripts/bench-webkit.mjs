// Runs the converter benchmark's measurements in the web engine of the Linux build: a page
// in WebKitGTK's MiniBrowser, driven by WebKitWebDriver, starts a fresh module worker for
// each measurement, as the program's page does for each file. Needs an X display (run the
// benchmark under xvfb-run).

import { spawn } from "node:child_process";
import { existsSync } from "node:fs";
import { readFile } from "node:fs/promises";
import { createServer } from "node:http";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

const MINIBROWSER = process.env.MINIBROWSER ?? "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";
const here = fileURLToPath(new URL(".", import.meta.url));

const PAGE = `<!doctype html><meta charset="utf-8"><title>bench</title><script>
window.runJob = (id) => new Promise((done) => {
  const worker = new Worker("/worker.mjs", { type: "module" });
  const end = (result) => { worker.terminate(); done(result); };
  worker.onmessage = (e) => end(e.data);
  worker.onerror = (e) => end({ error: String(e.message) });
  worker.postMessage(id);
});
</script>`;

// The job's text or bytes are fetched before the measurement starts.
const WORKER = `import { measure } from "/measure.mjs";
onmessage = async ({ data: id }) => {
  try {
    const job = await (await fetch("/job/" + id)).json();
    const data = await fetch("/job/" + id + "/data");
    if (job.kind === "document") job.bytes = new Uint8Array(await data.arrayBuffer());
    else job.text = await data.text();
    postMessage(await measure(job, (name) => import("/bundle/" + name + ".js")));
  } catch (error) {
    postMessage({ error: String(error) });
  }
};`;

/** Serves the page, the measurement, the bundled converters in `dir` and the jobs. */
function serve(dir, jobs) {
  const server = createServer(async (request, response) => {
    const url = request.url ?? "/";
    const send = (type, body) => {
      response.writeHead(200, { "content-type": type });
      response.end(body);
    };
    try {
      if (url === "/") return send("text/html", PAGE);
      if (url === "/worker.mjs") return send("text/javascript", WORKER);
      if (url === "/measure.mjs") return send("text/javascript", await readFile(join(here, "bench-measure.mjs")));
      if (url.startsWith("/bundle/")) return send("text/javascript", await readFile(join(dir, url.slice(8).replace(/[^\w.-]/g, ""))));
      const job = /^\/job\/(\d+)(\/data)?$/.exec(url);
      if (job && jobs.has(Number(job[1]))) {
        const { text, bytes, ...meta } = jobs.get(Number(job[1]));
        if (!job[2]) return send("application/json", JSON.stringify(meta));
        return bytes ? send("application/octet-stream", bytes) : send("text/plain; charset=utf-8", text);
      }
      response.writeHead(404).end();
    } catch (error) {
      response.writeHead(500).end(String(error));
    }
  });
  return new Promise((done) => server.listen(0, "127.0.0.1", () => done(server)));
}

async function freePort() {
  const probe = createServer();
  await new Promise((done) => probe.listen(0, "127.0.0.1", done));
  const { port } = probe.address();
  await new Promise((done) => probe.close(done));
  return port;
}

/** Starts the page; answers `run(job)`, which measures in a fresh worker there, and `close()`. */
export async function startWebKit(dir) {
  if (!process.env.DISPLAY) throw new Error("no X display: run the benchmark under xvfb-run -a");
  if (!existsSync(MINIBROWSER)) throw new Error(`no MiniBrowser at ${MINIBROWSER} (set MINIBROWSER)`);
  const jobs = new Map();
  const server = await serve(dir, jobs);
  const port = await freePort();
  const driver = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore" });
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, path, body) => {
    const reply = await fetch(base + path, { method, headers: { "content-type": "application/json" }, body: body && JSON.stringify(body) });
    const { value } = await reply.json();
    if (!reply.ok) throw new Error(`${path}: ${JSON.stringify(value)}`);
    return value;
  };
  let session = null;
  const close = async () => {
    if (session) await call("DELETE", `/session/${session}`).catch(() => {});
    driver.kill();
    server.close();
  };
  try {
    for (let tries = 0; ; tries++) {
      const ready = await call("GET", "/status").then((v) => v.ready, () => false);
      if (ready) break;
      if (tries > 100) throw new Error("WebKitWebDriver did not start");
      await new Promise((done) => setTimeout(done, 50));
    }
    const options = { binary: MINIBROWSER, args: ["--automation"] };
    ({ sessionId: session } = await call("POST", "/session", { capabilities: { alwaysMatch: { "webkitgtk:browserOptions": options } } }));
    await call("POST", `/session/${session}/timeouts`, { script: 600_000 });
    await call("POST", `/session/${session}/url`, { url: `http://127.0.0.1:${server.address().port}/` });
  } catch (error) {
    await close();
    throw error;
  }
  let next = 0;
  const run = async (job) => {
    const id = ++next;
    jobs.set(id, job);
    const script = "const done = arguments[arguments.length - 1]; runJob(arguments[0]).then(done);";
    const result = await call("POST", `/session/${session}/execute/async`, { script, args: [id] });
    jobs.delete(id);
    if (result.error) throw new Error(result.error);
    return result;
  };
  return { run, close };
}
