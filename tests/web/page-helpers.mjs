// What the page's tests in a real browser share (Debian's chromium, headless,
// driven by playwright-core): the browser, opening the page from disk and
// waiting for its program, keys, pictures and saves, and the native renderer's
// output to hold them against. Importing this module launches one browser for
// the importing file's tests (closed after its last) and makes a scratch folder.
import { before, after } from "node:test";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

export const pageUrl = pathToFileURL(process.env.ZM_PAGE).href;
export const native = process.env.ZM_NATIVE_RENDER;
export const caption =
  "    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    USE: BackSpace for Velocity / Acceleration     DoubleClick or ESC to Quit";
// The constants of a header of the core (src/window/), by name.
export const constants = file => {
  const text = readFileSync(new URL("../../src/window/" + file, import.meta.url), "utf8");
  const out = {};
  for (const m of text.matchAll(/static constexpr (?:double|int) (\w+) = ([-0-9.]+);/g)) out[m[1]] = Number(m[2]);
  return out;
};
export const step = constants("Sweep.h").step;

export let browser;
export const scratch = mkdtempSync(join(tmpdir(), "zm-web-"));

before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
});
after(async () => {
  await browser?.close();
  rmSync(scratch, { recursive: true, force: true });
});

// A fresh page at an address (with a #keys= link or not), once the program waits or has ended.
export async function open(hash = "", options = {}) {
  const context = await browser.newContext({ viewport: { width: 1100, height: 900 }, ...options });
  const page = await context.newPage();
  const errors = [];
  page.on("pageerror", e => errors.push(e.message));
  page.errors = errors;
  await page.goto(pageUrl + hash);
  await settled(page);
  return page;
}
export const state = page => page.evaluate(() => window.zeboMorlix.state());
export async function settled(page) {
  await page.waitForFunction(() => {
    const s = window.zeboMorlix && window.zeboMorlix.state();
    return s && (s.waiting || s.ended);
  });
  return state(page);
}
// Does what makes the page load itself again (Open keys, Run again) and waits
// for the new document's program to wait or end. The old document is marked:
// until the reload commits it still answers, and may well be waiting already.
export async function reloadedBy(page, action) {
  await page.evaluate(() => { window.zmOldDocument = true; });
  await action();
  await page.waitForFunction(() => {
    const s = !window.zmOldDocument && window.zeboMorlix && window.zeboMorlix.state();
    return s && (s.waiting || s.ended);
  });
  return state(page);
}
// Presses a key and waits for the frame it releases.
export async function press(page, key) {
  const before = (await state(page)).frame;
  await page.keyboard.press(key);
  await page.waitForFunction(f => {
    const s = window.zeboMorlix.state();
    return (s.waiting && s.frame > f) || s.ended;
  }, before);
  return state(page);
}
export const readout = page => page.textContent("#readout");
export const hashOf = page => new URL(page.url()).hash;
export const focusedId = page => page.evaluate(() => document.activeElement && document.activeElement.id);

// The canvas as a PNG data address.
export const picture = page => page.evaluate(() => document.getElementById("canvas").toDataURL("image/png"));
export function nativePng(keys, scale = 1) {
  const file = join(scratch, "native.png");
  execFileSync(native, ["--keys", keys, "--scale", String(scale), "--png", file]);
  return "data:image/png;base64," + readFileSync(file).toString("base64");
}
// Pixels of the canvas that differ from a picture by more than `level` in some channel.
export function differing(page, png, level) {
  return page.evaluate(
    async ([png, level]) => {
      const canvas = document.getElementById("canvas");
      const image = new Image();
      image.src = png;
      await image.decode();
      if (image.width !== canvas.width || image.height !== canvas.height) return -1;
      const other = document.createElement("canvas");
      other.width = image.width;
      other.height = image.height;
      const octx = other.getContext("2d");
      octx.drawImage(image, 0, 0);
      const a = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      const b = octx.getImageData(0, 0, canvas.width, canvas.height).data;
      let n = 0;
      for (let i = 0; i < a.length; i += 4) {
        if (Math.max(Math.abs(a[i] - b[i]), Math.abs(a[i + 1] - b[i + 1]), Math.abs(a[i + 2] - b[i + 2])) > level) n++;
      }
      return n;
    },
    [png, level]);
}

// The renderer's output for a script, as text.
export const nativeText = (keys, option) => execFileSync(native, ["--keys", keys, option, "-"], { maxBuffer: 1 << 28 }).toString();
// The renderer's message for a key script given as bytes (through --keys-file),
// without its program name; empty if the script plays.
export function nativeMessage(bytes) {
  const file = join(scratch, "keys.bin");
  writeFileSync(file, bytes);
  const run = spawnSync(native, ["--keys-file", file, "--trace", "/dev/null"]);
  return run.stderr.toString().replace(/^zebo-morlix-render: /, "").trim();
}

// Clicks a save button and returns the saved file's name and bytes.
export async function downloaded(page, button) {
  const [download] = await Promise.all([page.waitForEvent("download"), page.getByRole("button", { name: button, exact: true }).click()]);
  const file = join(scratch, download.suggestedFilename());
  await download.saveAs(file);
  return [download.suggestedFilename(), readFileSync(file)];
}
export const pngSize = bytes => [bytes.readUInt32BE(16), bytes.readUInt32BE(20)];
