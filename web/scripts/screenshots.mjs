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
import { zipArchive } from "./zip-archive.mjs";

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
  // Enter on Davom etish: the mode step comes with the focus on its first card (ringed).
  [
    "welcome-mode-keyboard-light",
    "/welcome",
    [960, 680],
    snapshot({ settings: { onboarded: false } }),
    null,
    {
      run: async (page) => {
        await page.getByRole("button", { name: "Davom etish" }).waitFor();
        await page.keyboard.press("Enter");
        await page.getByRole("radiogroup").waitFor();
      },
      check: () => {
        const el = document.activeElement;
        return el?.getAttribute("role") === "radio" && el.getAttribute("aria-label") === "Fast"
          ? []
          : [`the focus is on ${el?.outerHTML.slice(0, 80)}, not the first mode card`];
      },
    },
  ],
  ["tray-light", "/tray", [360, 300], snapshot(), null, { transparent: true }],
  ["tray-dark", "/tray", [360, 300], snapshot(dark), null, { transparent: true }],
  ...["light", "dark"].map((theme) => [
    `toast-${theme}`,
    "/toast",
    [400, 96],
    null,
    null,
    {
      transparent: true,
      toast: { title: "Hybrid rejimi yoqildi", body: "Right Alt + S → ş", kind: "ok" },
      check: toastFits,
    },
  ]),
];

// The toast window is exactly 400 × 96: the page must not scroll, and the card keeps 4 px
// to every edge.
function toastFits() {
  const problems = [];
  const page = document.scrollingElement;
  if (page.scrollWidth > innerWidth || page.scrollHeight > innerHeight) {
    problems.push(`page is ${page.scrollWidth} × ${page.scrollHeight} in a ${innerWidth} × ${innerHeight} window`);
  }
  const card = document.querySelector("[data-kind]").getBoundingClientRect();
  const gaps = [card.left, card.top, innerWidth - card.right, innerHeight - card.bottom];
  if (gaps.some((gap) => gap !== 4)) problems.push(`card gaps (left, top, right, bottom) are ${gaps.join(", ")} px, not 4`);
  return problems;
}

// ---- typing exercise and key map ------------------------------------------------------
// `lab` seeds the exercise's history and makes the run text and the clock steerable;
// `labAct` walks to the screen a shot wants.

const labHistory = [
  [34, 91, 30], [41, 93, 30], [38, 90, 60], [52, 95, 30], [47, 94, 30], [58, 96, 60], [55, 97, 30],
].map(([wpm, accuracy, seconds], i) => ({
  wpm,
  accuracy,
  errors: Math.round((100 - accuracy) / 2),
  seconds,
  date: `2025-02-${String(10 + i).padStart(2, "0")}T09:00:00.000Z`,
}));
const labSeed = (history) => ({ history, random: 0.3 });

shots.push(
  ["lab-light", "/lab", [960, 1240], snapshot(), null, { lab: labSeed(labHistory) }],
  ["lab-dark", "/lab", [960, 1240], snapshot(dark), null, { lab: labSeed(labHistory) }],
  ["lab-empty-light", "/lab", [960, 980], snapshot(), null, { lab: labSeed(null) }],
  ["lab-run-light", "/lab", [960, 680], snapshot(), null, { lab: labSeed(labHistory), labAct: "run" }],
  ["lab-run-dark", "/lab", [960, 680], snapshot(dark), null, { lab: labSeed(labHistory), labAct: "run" }],
  ["lab-result-light", "/lab", [960, 760], snapshot(), null, { lab: labSeed(labHistory), labAct: "result" }],
  ["lab-result-dark", "/lab", [960, 760], snapshot(dark), null, { lab: labSeed(labHistory), labAct: "result" }],
  ["lab-off-light", "/lab", [960, 760], snapshot({ settings: { enabled: false } }), null, { lab: labSeed(labHistory) }],
  [
    "lab-kill-dark",
    "/lab",
    [960, 760],
    snapshot({ ...dark, killSwitch: { active: true, message: null } }),
    null,
    { lab: labSeed(null) },
  ],
  ["keymap-light", "/keymap", [960, 680], snapshot()],
  ["keymap-dark", "/keymap", [960, 680], snapshot(dark)],
  [
    "keymap-fast-light",
    "/keymap",
    [960, 680],
    snapshot({ settings: { mode: "fast", hybridKey: "f13", fastKeys: { sh: "KeyQ", ch: "KeyX", o: "Semicolon", g: "Backquote" } } }),
  ],
  ["keymap-fast-dark", "/keymap", [960, 680], snapshot({ ...dark, settings: { mode: "fast", theme: "dark", hybridKey: "caps" } })],
  ["keymap-zero-light", "/keymap", [960, 680], snapshot({ settings: { mode: "zero" } })],
);

function installLab({ history, random }) {
  const key = "harvel.lab.progress.v1";
  if (history) localStorage.setItem(key, JSON.stringify(history));
  else localStorage.removeItem(key);
  Math.random = () => random;
  // Date.now runs ahead by `__labClock` ms, so a shot can let time pass at once.
  const realNow = Date.now.bind(Date);
  window.__labClock = 0;
  Date.now = () => realNow() + window.__labClock;
}

// The run's text with a few characters mistyped.
const mistype = (text, at) => Array.from(text, (ch, i) => (at.includes(i) ? (ch === "a" ? "e" : "a") : ch)).join("");

async function labAct(page, to) {
  await page.getByRole("button", { name: "Boshlash", exact: true }).click();
  const field = page.getByRole("textbox", { name: "Matnni yozing" });
  const target = await page.getByTestId("run-text").textContent();
  const pass = (ms) => page.evaluate((n) => (window.__labClock += n), ms);
  await field.fill(target.slice(0, 1));
  if (to === "run") {
    await pass(14_000);
    await field.fill(mistype(target.slice(0, 74), [23, 51]));
    await page.waitForTimeout(200);
    return;
  }
  await pass(21_000);
  await field.fill(mistype(target, [23, 51, 97]));
}

// ---- applications and settings pages -------------------------------------------------

// A stand-in program icon: a rounded tile in the program's colour with its letter.
const icon = (letter, from, to) =>
  `data:image/svg+xml,${encodeURIComponent(
    `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">` +
      `<stop offset="0" stop-color="${from}"/><stop offset="1" stop-color="${to}"/></linearGradient></defs>` +
      `<rect x="2" y="2" width="28" height="28" rx="7" fill="url(#g)"/>` +
      `<text x="16" y="21.5" text-anchor="middle" font-family="sans-serif" font-size="15" font-weight="700" fill="#fff">${letter}</text></svg>`,
  )}`;
const program = (name, exe, letter, from, to) => ({ exe, name, mode: null, icon: icon(letter, from, to) });
const RUNNING = [
  program("Telegram", "telegram.exe", "T", "#37aee2", "#1e96c8"),
  program("Microsoft Word", "winword.exe", "W", "#2b7cd3", "#185abd"),
  program("Google Chrome", "chrome.exe", "C", "#f4b400", "#db4437"),
  program("Notepad", "notepad.exe", "N", "#5fb0e8", "#2f7fc1"),
  program("Visual Studio Code", "code.exe", "V", "#3ea7f0", "#0065a9"),
];
const INSTALLED = [
  ...RUNNING,
  program("Microsoft Excel", "excel.exe", "X", "#21a366", "#107c41"),
  program("Paint", "mspaint.exe", "P", "#f06292", "#ba68c8"),
  program("GIMP", "gimp-2.10.exe", "G", "#8d6e63", "#5d4037"),
];
const RULES = [
  { name: "Telegram", exe: "telegram.exe", mode: "zero" },
  { name: "Microsoft Excel", exe: "excel.exe", mode: "off" },
  { name: "1C:Enterprise", exe: "1cv8.exe", mode: "english" },
  { name: "Microsoft Word", exe: "winword.exe", mode: "fast" },
];
const appAnswers = { apps_running: RUNNING, apps_installed: INSTALLED };
const withRules = (patch = {}) => snapshot({ ...patch, settings: { apps: RULES, ...patch.settings } });
const updateState = (update, patch = {}) => snapshot({ ...patch, update });
const campaign = ad("about", "green", { image: ART });

const pageShots = [
  ["apps-light", "/apps", [960, 680], withRules(), null, { answers: appAnswers }],
  ["apps-dark", "/apps", [960, 680], withRules(dark), null, { answers: appAnswers }],
  ["apps-loading-light", "/apps", [960, 680], snapshot({ settings: { apps: [] } }), null, { answers: { apps_running: "pending" } }],
  ["apps-empty-light", "/apps", [960, 680], snapshot({ settings: { apps: [] } }), null, { answers: { apps_running: [], apps_installed: [] } }],
  [
    "apps-search-dark",
    "/apps",
    [960, 680],
    withRules(dark),
    null,
    { answers: appAnswers, run: (page) => page.getByRole("searchbox", { name: "Dastur qidirish" }).fill("photoshop") },
  ],
  ["apps-error-light", "/apps", [960, 680], withRules(), null, { answers: { apps_running: "reject", apps_installed: INSTALLED } }],
  [
    "apps-add-light",
    "/apps",
    [960, 680],
    withRules(),
    null,
    { answers: appAnswers, run: (page) => page.getByRole("button", { name: "Dastur qo‘shish" }).first().click() },
  ],
  [
    "apps-add-dark",
    "/apps",
    [960, 680],
    withRules(dark),
    null,
    { answers: appAnswers, run: (page) => page.getByRole("button", { name: "Dastur qo‘shish" }).first().click() },
  ],
  [
    "apps-remove-light",
    "/apps",
    [960, 680],
    withRules(),
    null,
    { answers: appAnswers, run: (page) => page.getByRole("button", { name: "Telegram qoidasini olib tashlash" }).click() },
  ],
  // Driven by the keyboard: Dastur qo‘shish opened and closed with Escape, then the remove
  // confirmation closed with Bekor qilish; the focus is back on each opener (shown ringed).
  [
    "apps-focus-back-light",
    "/apps",
    [960, 680],
    withRules(),
    null,
    {
      answers: appAnswers,
      run: async (page) => {
        await tabTo(page, "Dastur qo‘shish");
        await page.keyboard.press("Enter");
        await page.getByRole("dialog").waitFor();
        await page.keyboard.press("Escape");
        await page.getByRole("dialog").waitFor({ state: "detached" });
        await page.waitForTimeout(50);
        await page.evaluate(() => (window.__focusAfterAdd = document.activeElement?.textContent?.trim()));
        await tabTo(page, "Telegram qoidasini olib tashlash");
        await page.keyboard.press("Enter");
        await page.getByRole("alertdialog").waitFor();
        await page.keyboard.press("Enter"); // Bekor qilish has the focus
        await page.getByRole("alertdialog").waitFor({ state: "detached" });
        await page.waitForTimeout(50);
      },
      check: () => {
        const problems = [];
        if (window.__focusAfterAdd !== "Dastur qo‘shish") problems.push(`after Dastur qo‘shish the focus is on "${window.__focusAfterAdd}"`);
        const el = document.activeElement;
        if (el?.getAttribute("aria-label") !== "Telegram qoidasini olib tashlash") {
          problems.push(`after the remove confirmation the focus is on ${el?.outerHTML.slice(0, 80)}`);
        }
        return problems;
      },
    },
  ],
  ["settings-general-light", "/settings", [960, 1720], snapshot({ settings: { checker: true } })],
  ["settings-general-dark", "/settings", [960, 1720], snapshot({ ...dark, hotkeyOk: false })],
  [
    "settings-general-custom-light",
    "/settings",
    [960, 1720],
    snapshot({
      settings: { hybridKey: "caps", fastKeys: { sh: "KeyQ", ch: "KeyC", o: "BracketLeft", g: "KeyX" } },
      layout: { compatible: false, name: "Русская", reason: "bu tartibda W, C, S, O, G harflari yo‘q" },
    }),
    null,
    {
      run: async (page) => {
        await page.getByRole("button", { name: "O‘zgartirish" }).click();
        await page.getByRole("button", { name: "Tekshirish" }).click();
      },
    },
  ],
  [
    "settings-keys-confirm-light",
    "/settings",
    [960, 760],
    snapshot(),
    null,
    {
      run: async (page) => {
        await page.getByRole("combobox", { name: "Qo‘shimcha tugma" }).click();
        await page.getByRole("option", { name: "F13" }).click();
      },
    },
  ],
  [
    "settings-keys-select-dark",
    "/settings",
    [960, 900],
    snapshot(dark),
    null,
    {
      run: async (page) => {
        await page.getByRole("combobox", { name: "ş (sh) tugmasi" }).scrollIntoViewIfNeeded();
        await page.getByRole("combobox", { name: "ş (sh) tugmasi" }).click();
      },
    },
  ],
  ["settings-update-light", "/settings?s=update", [960, 680], updateState({ phase: "idle", checkedAt: Date.UTC(2025, 2, 14, 9, 30) })],
  ["settings-update-dark", "/settings?s=update", [960, 680], updateState({ phase: "idle", checkedAt: Date.UTC(2025, 2, 14, 9, 30) }, dark)],
  ["settings-update-ready-light", "/settings?s=update", [960, 760], updateState({ phase: "ready", latest: "0.2.0", sizeMb: 12.5 })],
  ["settings-update-ready-dark", "/settings?s=update", [960, 760], updateState({ phase: "ready", latest: "0.2.0" }, dark)],
  ["settings-update-downloading-light", "/settings?s=update", [960, 680], updateState({ phase: "downloading", latest: "0.2.0", pct: 64 })],
  ["settings-update-integrity-dark", "/settings?s=update", [960, 760], updateState({ phase: "error", error: "integrity", latest: "0.2.0" }, dark)],
  ["settings-update-outdated-light", "/settings?s=update", [960, 760], updateState({ phase: "available", latest: "0.2.0", sizeMb: 12.5, outdated: true })],
  ["settings-update-portable-dark", "/settings?s=update", [960, 680], updateState({ phase: "available", latest: "0.2.0", portable: true }, dark)],
  ["settings-update-nosig-light", "/settings?s=update", [960, 680], updateState({ phase: "available", latest: "0.2.0", sigConfigured: false })],
  ["settings-update-checking-light", "/settings?s=update", [960, 680], updateState({ phase: "checking" })],
  ["settings-privacy-light", "/settings?s=privacy", [960, 680], snapshot()],
  ["settings-privacy-dark", "/settings?s=privacy", [960, 680], snapshot(dark)],
  ["settings-about-light", "/settings?s=about", [960, 900], snapshot({ ads: { campaign } })],
  ["settings-about-dark", "/settings?s=about", [960, 900], snapshot({ ...dark, ads: { campaign } })],
  // A site link reached with the keyboard: the solid ring of every control, in both themes.
  ...["light", "dark"].map((theme) => [
    `settings-about-focus-${theme}`,
    "/settings?s=about",
    [960, 900],
    snapshot(theme === "dark" ? dark : {}),
    null,
    { run: (page) => tabTo(page, "Maxfiylik siyosati: saytda ochish"), check: focusRingVisible },
  ]),
];

// The focused element's name: its aria-label, else its text.
const focusedName = (page) =>
  page.evaluate(() => document.activeElement?.getAttribute("aria-label") ?? document.activeElement?.textContent?.trim());

// Presses Tab until the element with this name (aria-label, else text) has the focus.
async function tabTo(page, label) {
  for (let i = 0; i < 60; i++) {
    if ((await focusedName(page)) === label) return;
    await page.keyboard.press("Tab");
  }
  throw new Error(`Tab never reached ${label}`);
}

// The focused element's ring: a solid outline of at least 2 px, of 3:1 contrast or more
// against the card it sits on (WCAG's non-text contrast).
function focusRingVisible() {
  const el = document.activeElement;
  const style = getComputedStyle(el);
  const rgb = (color) => color.match(/[\d.]+/g).slice(0, 3).map(Number);
  const luminance = (color) => {
    const [r, g, b] = rgb(color).map((v) => {
      const c = v / 255;
      return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  };
  let ground = el.parentElement;
  while (ground && getComputedStyle(ground).backgroundColor === "rgba(0, 0, 0, 0)") ground = ground.parentElement;
  const behind = ground ? getComputedStyle(ground).backgroundColor : "rgb(255, 255, 255)";
  const [hi, lo] = [luminance(style.outlineColor), luminance(behind)].sort((a, b) => b - a);
  const contrast = (hi + 0.05) / (lo + 0.05);
  const problems = [];
  if (style.outlineStyle !== "solid" || parseFloat(style.outlineWidth) < 2) {
    problems.push(`focus ring is ${style.outlineStyle} ${style.outlineWidth}, not a solid 2 px outline`);
  }
  if (contrast < 3) problems.push(`focus ring ${style.outlineColor} on ${behind} has contrast ${contrast.toFixed(2)}:1, under 3:1`);
  return problems;
}
shots.push(...pageShots);

// ---- converter page: text typed into the live box, files put through the real worker ----

const CONVERTER_TEXT =
  "O'zbekiston shaharlarida choyxonalar ko'p. Bog'da o'g'il bolalar shaxmat o'ynashdi.\n" +
  "Batafsil: https://kun.uz/shahar — yoki check qiling. Mushaf va ma'no so'zlari ham bor.";
const CYRILLIC_TEXT = "Ўзбекистон шаҳарларида чойхоналар кўп. Лицей ўқувчилари қишлоққа боришди.";

async function fillConverter(page, { text, files = [], script }) {
  if (script) await page.getByRole("button", { name: script }).click();
  if (files.length) {
    await page.getByTestId("file-picker").setInputFiles(files);
    await page.waitForFunction((n) => document.querySelectorAll('[data-status="running"]').length === 0 &&
      document.querySelectorAll('[data-testid="job"]').length === n, files.length);
  }
  if (text !== undefined) await page.getByRole("textbox", { name: "Kirish matni" }).fill(text);
}

const converterFiles = [
  { name: "maqola.txt", mimeType: "text/plain", buffer: Buffer.from(CONVERTER_TEXT.repeat(40)) },
  { name: "hisobot.pdf", mimeType: "application/pdf", buffer: Buffer.from("%PDF-1.4") },
  { name: "eski-reja.docx", mimeType: "application/octet-stream", buffer: Buffer.from("PK not really") },
];
const longNamedFiles = [
  {
    name: "Toshkent viloyati umumta'lim maktablari bo'yicha 2025-yil yakuniy hisoboti (tahrir 3).txt",
    mimeType: "text/plain",
    buffer: Buffer.from(CONVERTER_TEXT.repeat(12)),
  },
  {
    name: "Samarqand shahar hokimligi yig'ilishi bayonnomasi, 2025-yil 14-mart, kirill yozuvida.txt",
    mimeType: "text/plain",
    buffer: Buffer.from(`${CYRILLIC_TEXT} check\n`.repeat(12)),
  },
];

// Each finished job card: its whole status line shown (every count in full, inside the
// card), and the file's long name cut short with its full text as a tooltip.
function jobCardsFit() {
  const problems = [];
  const cards = document.querySelectorAll('[data-testid="job"][data-status="done"]');
  for (const card of cards) {
    const line = card.querySelector("[data-job-status]");
    const box = card.getBoundingClientRect();
    const outside = [...line.getClientRects()].some(
      (r) => r.left < box.left || r.right > box.right + 0.5 || r.top < box.top || r.bottom > box.bottom + 0.5,
    );
    if (outside || line.scrollHeight > line.clientHeight + 1 || line.scrollWidth > line.clientWidth + 1) {
      problems.push(`the status line "${line.textContent}" is cut`);
    }
    const file = line.querySelector("[data-job-file]");
    if (file === null) {
      problems.push(`the status line "${line.textContent}" has no file name of its own to cut short`);
      continue;
    }
    if (file.title !== file.textContent) problems.push(`${file.textContent}: the name's tooltip is "${file.title}"`);
    if (file.scrollWidth <= file.clientWidth) problems.push(`${file.textContent}: the long name is not cut short (the shot needs a longer one)`);
  }
  if (cards.length !== 2) problems.push(`${cards.length} finished job cards, not 2`);
  return problems;
}

// A small Word document (stored entries) whose text is longer than the preview shows.
function wordDocument(paragraphs) {
  const body = paragraphs.map((p) => `<w:p><w:r><w:t xml:space="preserve">${p}</w:t></w:r></w:p>`).join("");
  return zipArchive([
    ["[Content_Types].xml", "<Types/>"],
    ["word/document.xml", `<w:document xmlns:w="urn:w"><w:body>${body}</w:body></w:document>`],
  ]);
}
const longReport = Array.from({ length: 900 }, (_, i) =>
  i % 3 ? CONVERTER_TEXT.replace("\n", " ") : `${i / 3 + 1}-bo'lim. Shahar xo'jaligi va choy savdosi`,
);

shots.push(
  [
    "converter-docx-light",
    "/converter",
    [960, 1240],
    snapshot(),
    null,
    {
      prepare: (page) =>
        fillConverter(page, {
          files: [{ name: "Yillik hisobot.docx", mimeType: "application/octet-stream", buffer: wordDocument(longReport) }],
        }),
    },
  ],
  ["converter-light", "/converter", [960, 680], snapshot(), null, { prepare: (page) => fillConverter(page, { text: CONVERTER_TEXT }) }],
  ["converter-dark", "/converter", [960, 680], snapshot(dark), null, { prepare: (page) => fillConverter(page, { text: CONVERTER_TEXT }) }],
  ["converter-empty-light", "/converter", [960, 680], snapshot(), null, {}],
  [
    "converter-files-light",
    "/converter",
    [960, 1480],
    snapshot(),
    null,
    { prepare: (page) => fillConverter(page, { files: converterFiles }) },
  ],
  // The smallest window (820 × 560) with long file names: each card's counts show whole,
  // the name gives way (cut short, its full text as a tooltip).
  ...["light", "dark"].map((theme) => [
    `converter-card-min-${theme}`,
    "/converter",
    [820, 560],
    snapshot(theme === "dark" ? dark : {}),
    null,
    {
      prepare: (page) => fillConverter(page, { files: longNamedFiles }),
      // The cards lie under the drop zone: the shot shows them.
      run: (page) => page.evaluate(() => document.querySelector('[data-testid="job"]').scrollIntoView({ block: "start" })),
      check: jobCardsFit,
    },
  ]),
  [
    "converter-cyrillic-dark",
    "/converter",
    [960, 1000],
    snapshot(dark),
    null,
    { prepare: (page) => fillConverter(page, { text: CYRILLIC_TEXT, script: "Kirill" }) },
  ],
);

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

function installFakeBridge({ state, toast, answers = {} }) {
  if (toast) window.__toast = toast;
  if (!state) return;
  window.__HARVEL_IPC__ = {
    invoke(name) {
      if (name === "state_get") return Promise.resolve(state);
      // Per-shot answers: a value, "pending" (never answers) or "reject" (a failed command).
      if (name in answers) {
        const answer = answers[name];
        if (answer === "pending") return new Promise(() => {});
        if (answer === "reject") return Promise.reject(`${name} failed`);
        return Promise.resolve(answer);
      }
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
    await page.addInitScript(installFakeBridge, { state, toast: extra.toast, answers: extra.answers });
    if (extra.lab) await page.addInitScript(installLab, extra.lab);
    await page.goto(`${origin}/index.html#${route}`);
    await page.waitForSelector("#root > *");
    if (to) await walk(page, to);
    if (extra.prepare) await extra.prepare(page);
    if (extra.run) await extra.run(page);
    if (extra.labAct) await labAct(page, extra.labAct);
    await page.evaluate(() => document.fonts.ready);
    await page.waitForTimeout(250);
    if (extra.check) problems.push(...(await page.evaluate(extra.check)));
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
