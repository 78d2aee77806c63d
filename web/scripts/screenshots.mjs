// Renders the built pages (dist/) in Debian's Chromium with a stand-in for the native
// bridge and writes PNG screenshots to ../build/screenshots/. Run `npm run build` first.
//
//   npm run screenshots            all shots
//   npm run screenshots -- home    only the shots whose name contains "home"

import { createServer } from "node:http";
import { mkdir, mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { extname, join, normalize, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const here = fileURLToPath(new URL(".", import.meta.url));
const dist = resolve(here, "../dist");
const out = resolve(here, "../../build/screenshots");
const browserPath = process.env.CHROMIUM ?? "/usr/bin/chromium";
const only = process.argv.slice(2);

// ---- the state the fake native side answers with --------------------------------------

function snapshot(patch = {}) {
  const base = {
    settings: {
      mode: "hybrid",
      enabled: true,
      hotkey: "Control+Shift+U",
      startup: true,
      theme: "light",
      offers: true,
      hybridKey: "ralt",
      fastKeys: { sh: "KeyW", ch: "KeyC", o: "BracketLeft", g: "BracketRight" },
      onboarded: true,
      checker: false,
      checkerToast: false,
      apps: [{ name: "Telegram", exe: "telegram.exe", mode: "zero" }],
      siteUrl: "https://harvel.uz",
    },
    hook: "on",
    hookError: null,
    hotkeyOk: true,
    killSwitch: { active: false, message: null },
    update: {
      phase: "idle",
      latest: null,
      sizeMb: null,
      pct: 0,
      checkedAt: 0,
      outdated: false,
      portable: false,
      portableUrl: null,
      sigConfigured: true,
      error: null,
    },
    currentApp: { exe: "winword.exe", name: "Microsoft Word", mode: null },
    ads: { slot: "desktop.about", campaign: null, top: null, home: null, side: null },
    layout: { compatible: true, name: "US", reason: null },
    version: "0.1.7",
    platform: "win32",
  };
  const merged = { ...base, ...patch };
  merged.settings = { ...base.settings, ...patch.settings };
  merged.update = { ...base.update, ...patch.update };
  merged.ads = { ...base.ads, ...patch.ads };
  return merged;
}

const dark = { settings: { theme: "dark" } };
// A stand-in picture for an advertisement (the page may load data: images).
const ART = `data:image/svg+xml,${encodeURIComponent(
  '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 352 200"><defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">' +
    '<stop offset="0" stop-color="#13806f"/><stop offset="1" stop-color="#0a3b34"/></linearGradient></defs>' +
    '<rect width="352" height="200" fill="url(#g)"/><circle cx="270" cy="60" r="70" fill="#d5ff00" opacity=".18"/>' +
    '<text x="40" y="130" font-family="sans-serif" font-size="84" font-weight="700" fill="#fff">Aa ş</text></svg>',
)}`;
const ad = (id, theme, extra = {}) => ({
  id,
  title: "Savodxon: imlo lug‘ati",
  text: "Yangi alifbodagi 80 000 so‘zning to‘g‘ri yozilishi — bepul, reklamasiz.",
  url: "https://savodxon.example.uz",
  label: "Reklama",
  theme,
  ...extra,
});

// name, route, window size, snapshot, extra setup in the page
const shots = [
  ["home-light", "/", [960, 680], snapshot()],
  ["home-dark", "/", [960, 680], snapshot(dark)],
  ["home-off-light", "/", [960, 680], snapshot({ settings: { enabled: false }, currentApp: null })],
  [
    "home-banners-light",
    "/",
    [960, 900],
    snapshot({
      layout: { compatible: false, name: "Русская", reason: "bu tartibda W, C, S, O, G harflari yo‘q" },
      update: { phase: "ready", latest: "0.2.0" },
      hotkeyOk: false,
    }),
  ],
  [
    "home-kill-dark",
    "/",
    [960, 760],
    snapshot({ ...dark, killSwitch: { active: true, message: "Texnik ishlar olib borilmoqda." } }),
  ],
  [
    "home-ads-light",
    "/",
    [1100, 1080],
    snapshot({
      update: { phase: "downloading", latest: "0.2.0", pct: 42 },
      ads: { top: ad("top", "green"), side: ad("side", "violet"), home: ad("home", null, { image: ART }) },
    }),
  ],
  ["home-hook-dark", "/", [960, 760], snapshot({ ...dark, hook: "error", hookError: "SetWindowsHookEx: 5" })],
  ["welcome-intro-light", "/welcome", [960, 680], snapshot({ settings: { onboarded: false } })],
  ["welcome-mode-light", "/welcome", [960, 680], snapshot({ settings: { onboarded: false, mode: "fast" } }), "mode"],
  [
    "welcome-mode-dark",
    "/welcome",
    [960, 680],
    snapshot({ settings: { onboarded: true, mode: "zero", theme: "dark" } }),
    "mode",
  ],
  ["welcome-warning-light", "/welcome", [960, 680], snapshot({ settings: { onboarded: false, mode: "fast" } }), "warning"],
  ["welcome-test-light", "/welcome", [960, 680], snapshot({ settings: { onboarded: false, mode: "zero" } }), "test"],
  [
    "welcome-block-light",
    "/welcome",
    [960, 680],
    snapshot({
      settings: { onboarded: true, mode: "hybrid" },
      layout: { compatible: false, name: "Русская", reason: "bu tartibda W, C, S, O, G harflari yo‘q" },
    }),
    "block",
  ],
  ["welcome-ready-dark", "/welcome", [960, 680], snapshot({ settings: { onboarded: true, mode: "zero", theme: "dark" } }), "ready"],
  ["welcome-later-light", "/welcome", [960, 680], snapshot({ settings: { onboarded: false } }), "later"],
  ["tray-light", "/tray", [360, 300], snapshot(), null, { transparent: true }],
  ["tray-dark", "/tray", [360, 300], snapshot(dark), null, { transparent: true }],
  [
    "toast-light",
    "/toast",
    [400, 96],
    null,
    null,
    { transparent: true, toast: { title: "Hybrid rejimi yoqildi", body: "Right Alt + S → ş", kind: "ok" } },
  ],
];

// ---- a small static server for dist/ ---------------------------------------------------

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".svg": "image/svg+xml",
  ".png": "image/png",
  ".woff2": "font/woff2",
};

function serve() {
  const server = createServer(async (req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, "http://x").pathname)).replace(/^([/\\])+/, "");
    if (path === "favicon.ico") return void res.writeHead(204).end();
    const file = join(dist, path || "index.html");
    if (!file.startsWith(dist)) return void res.writeHead(403).end();
    try {
      const body = await readFile(file);
      res.writeHead(200, { "content-type": TYPES[extname(file)] ?? "application/octet-stream" }).end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  return new Promise((done) => server.listen(0, "127.0.0.1", () => done(server)));
}

// ---- the fake native side, installed before any page script runs -----------------------

function installFakeBridge({ state, toast }) {
  if (toast) window.__toast = toast;
  if (!state) return;
  window.__HARVEL_IPC__ = {
    invoke(name) {
      if (name === "state_get") return Promise.resolve(state);
      if (name === "window_is_maximized") return Promise.resolve(false);
      if (name === "debug_mode") return Promise.resolve(false);
      return Promise.resolve(null);
    },
    listen() {
      return () => {};
    },
  };
}

// Walks the welcome flow to the screen a shot wants.
async function walk(page, to) {
  const click = (name) => page.getByRole("button", { name, exact: true }).click();
  if (to === "later") return click("Keyinroq sozlash");
  await click("Davom etish");
  if (to === "mode") return;
  await page.getByRole("radio", { name: to === "block" ? "Hybrid" : to === "warning" ? "Fast" : "Zero-learning" }).click();
  await click("Davom etish");
  if (to === "warning") return;
  if (to === "block") {
    await click("Davom etish");
    return;
  }
  const box = page.getByRole("textbox", { name: "Sinov maydoni" });
  await box.fill("şahar çiroq ");
  if (to === "ready") {
    await box.fill("şahar çiroq özbek bağ");
    await click("Davom etish");
  }
}

const server = await serve();
const origin = `http://127.0.0.1:${server.address().port}`;
const profile = await mkdtemp(join(tmpdir(), "harvel-shots-"));
await mkdir(out, { recursive: true });

const context = await chromium.launchPersistentContext(profile, {
  executablePath: browserPath,
  headless: true,
  args: [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
  ],
});

let failed = false;
try {
  for (const [name, route, [width, height], state, to, extra = {}] of shots) {
    if (only.length && !only.some((part) => name.includes(part))) continue;
    const page = await context.newPage();
    const problems = [];
    page.on("pageerror", (error) => problems.push(error.message));
    page.on("console", (msg) => msg.type() === "error" && problems.push(msg.text()));
    await page.setViewportSize({ width, height });
    await page.emulateMedia({ colorScheme: name.includes("dark") ? "dark" : "light" });
    await page.addInitScript(installFakeBridge, { state, toast: extra.toast });
    await page.goto(`${origin}/index.html#${route}`);
    await page.waitForSelector("#root > *");
    if (to) await walk(page, to);
    await page.evaluate(() => document.fonts.ready);
    await page.waitForTimeout(250);
    const file = join(out, `${name}.png`);
    await page.screenshot({ path: file, omitBackground: Boolean(extra.transparent) });
    console.log(`${problems.length ? "!" : "✓"} ${file}`);
    for (const problem of problems) console.log(`    ${problem}`);
    failed ||= problems.length > 0;
    await page.close();
  }
} finally {
  await context.close();
  server.close();
  await rm(profile, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
