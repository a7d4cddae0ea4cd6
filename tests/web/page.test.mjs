// The page in a real browser (Debian's chromium, headless, driven by
// playwright-core): opened from disk, stepped with keys and buttons, its picture
// against the native renderer's, its link replayed, and idle while it waits.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

const pageUrl = pathToFileURL(process.env.ZM_PAGE).href;
const native = process.env.ZM_NATIVE_RENDER;
const caption =
  "    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    USE: BackSpace for Velocity / Acceleration     DoubleClick or ESC to Quit";
const step = 0.25;

let browser;
const scratch = mkdtempSync(join(tmpdir(), "zm-web-"));

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
async function open(hash = "", options = {}) {
  const context = await browser.newContext({ viewport: { width: 1100, height: 900 }, ...options });
  const page = await context.newPage();
  const errors = [];
  page.on("pageerror", e => errors.push(e.message));
  page.errors = errors;
  await page.goto(pageUrl + hash);
  await settled(page);
  return page;
}
const state = page => page.evaluate(() => window.zeboMorlix.state());
async function settled(page) {
  await page.waitForFunction(() => {
    const s = window.zeboMorlix && window.zeboMorlix.state();
    return s && (s.waiting || s.ended);
  });
  return state(page);
}
// Presses a key and waits for the frame it releases.
async function press(page, key) {
  const before = (await state(page)).frame;
  await page.keyboard.press(key);
  await page.waitForFunction(f => {
    const s = window.zeboMorlix.state();
    return (s.waiting && s.frame > f) || s.ended;
  }, before);
  return state(page);
}
// The canvas as a PNG data address.
const picture = page => page.evaluate(() => document.getElementById("canvas").toDataURL("image/png"));
function nativePng(keys, scale = 1) {
  const file = join(scratch, "native.png");
  execFileSync(native, ["--keys", keys, "--scale", String(scale), "--png", file]);
  return "data:image/png;base64," + readFileSync(file).toString("base64");
}
// Pixels of the canvas that differ from a picture by more than `level` in some channel.
function differing(page, png, level) {
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

test("opens from disk with the caption as its title and the first frame drawn", async () => {
  const page = await open();
  // A page title collapses runs of spaces; the page keeps them as no-break spaces.
  const title = await page.title();
  assert.equal(title.length, 156);
  assert.equal(title.replace(/\u00a0/g, " "), caption);
  assert.deepEqual(await state(page), { frame: 1, k: 4.5, acc: 0, ccllss: 0, waiting: true, ended: false });
  assert.match(await page.getAttribute("#canvas", "aria-label"), /control angle k = 4\.500.*overlays off/);
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("keys step the frames and switch the overlays and piling", async () => {
  const page = await open();
  let s = await press(page, "x");
  assert.equal(s.frame, 2);
  assert.equal(s.k, 4.5 + step);
  s = await press(page, ",");
  assert.equal(s.k, 4.5);
  s = await press(page, "Tab");
  assert.equal(s.k, 4.5 - 1.1 * step + step);
  assert.equal(await page.evaluate(() => document.activeElement.id), "canvas", "Tab stays with the program");
  s = await press(page, "Enter");
  assert.equal(s.k, 4.5 - 1.1 * step + step - 0.9 * step + step);
  s = await press(page, " ");
  assert.equal(s.k, 4.5);
  s = await press(page, "Backspace");
  assert.equal(s.acc, 1);
  s = await press(page, "Control+h");
  assert.equal(s.acc, 0);
  s = await press(page, "/");
  assert.equal(s.ccllss, 1);
  assert.match(await page.getAttribute("#canvas", "aria-label"), /frames pile up/);
  assert.equal(s.frame, 9);
  await page.context().close();
});

test("the buttons act like their keys", async () => {
  const page = await open();
  const click = async name => {
    const before = (await state(page)).frame;
    await page.getByRole("button", { name }).click();
    await page.waitForFunction(f => window.zeboMorlix.state().waiting && window.zeboMorlix.state().frame > f, before);
    return state(page);
  };
  assert.equal((await click("Step")).k, 4.5 + step);
  assert.equal((await click(", back")).k, 4.5);
  assert.equal((await click("Backspace: overlays")).acc, 1);
  assert.equal((await click("/ pile up")).ccllss, 1);
  assert.equal((await click("Space: restart")).k, 4.5);
  assert.equal((await click("Tab: tenth back")).k, 4.5 - 1.1 * step + step);
  assert.equal(new URL(page.url()).hash, "#keys=" + encodeURIComponent("x comma backspace slash space tab"));
  await page.context().close();
});

test("the canvas shows the native renderer's picture for the same keys", async () => {
  for (const [keys, scale] of [["backspace x", 1], ["slash x comma", 1], ["x", 2]]) {
    const page = await open("#keys=" + encodeURIComponent(keys), { deviceScaleFactor: scale });
    const png = nativePng(keys, scale);
    const pixels = 962 * 688 * scale * scale;
    const off = await differing(page, png, 32);
    assert.ok(off >= 0, `${keys}: the canvas is not ${962 * scale} x ${688 * scale}`);
    assert.ok(off <= pixels * 0.002, `${keys} at ${scale}: ${off} pixels differ by more than 32 levels`);
    // The same tolerance sees a missing curve: the picture without the overlays.
    if (keys === "backspace x") {
      const missing = await differing(page, nativePng("x"), 32);
      assert.ok(missing > pixels * 0.002, `without the overlays only ${missing} pixels differ`);
    }
    await page.context().close();
  }
});

test("the page's own link replays to the identical picture", async () => {
  const page = await open();
  await press(page, "Backspace");
  // Two quick presses: the second may arrive in the middle of a frame.
  await page.keyboard.press("x");
  await page.keyboard.press("x");
  await page.keyboard.press("/");
  await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().frame >= 3);
  await page.waitForTimeout(300);
  await settled(page);
  const hash = new URL(page.url()).hash;
  assert.match(hash, /^#keys=backspace/);
  const shown = await picture(page);
  const shownState = await state(page);
  const again = await open(hash);
  assert.deepEqual(await state(again), shownState);
  assert.equal(await picture(again), shown, `replaying ${decodeURIComponent(hash)} draws something else`);
  assert.equal(new URL(again.url()).hash, hash);
  await page.context().close();
  await again.context().close();
});

test("a link that is no script says so in one line and the program starts without it", async () => {
  for (const [hash, message] of [["#keys=x%20frob", /unknown step 'frob'/], ["#keys=x@5.3", /can never be reached/]]) {
    const page = await open(hash);
    const status = await page.textContent("#status");
    assert.match(status, message);
    assert.equal(status.split("\n").length, 1);
    assert.deepEqual(await state(page), { frame: 1, k: 4.5, acc: 0, ccllss: 0, waiting: true, ended: false });
    await page.context().close();
  }
});

test("Escape, a double click and the end of the sweep end it, and the page says so", async () => {
  let page = await open();
  await page.dblclick("#canvas");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  assert.match(await page.textContent("#status"), /ended: a double click/);
  assert.ok(await page.getByRole("button", { name: "Run again" }).isVisible());
  await page.getByRole("button", { name: "Run again" }).click();
  await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting);
  assert.deepEqual(await state(page), { frame: 1, k: 4.5, acc: 0, ccllss: 0, waiting: true, ended: false });
  await page.context().close();

  page = await open();
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  assert.match(await page.textContent("#status"), /ended: Escape was pressed/);
  await page.context().close();

  page = await open("#keys=" + "x%20".repeat(62) + "x");
  assert.equal((await state(page)).ended, true);
  assert.match(await page.textContent("#status"), /the sweep passed its last frame/);
  await page.context().close();
});

test("a double tap ends it on a touch screen", async () => {
  const page = await open("", { hasTouch: true, isMobile: true, viewport: { width: 800, height: 1000 } });
  const box = await page.locator("#canvas").boundingBox();
  await page.touchscreen.tap(box.x + 200, box.y + 200);
  await page.touchscreen.tap(box.x + 202, box.y + 201);
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  assert.match(await page.textContent("#status"), /ended: a double click/);
  await page.context().close();
});

test("it uses no CPU, timers or animation frames while it waits for a key", async () => {
  const context = await browser.newContext();
  await context.addInitScript(() => {
    window.zmCalls = 0;
    for (const name of ["setTimeout", "setInterval", "requestAnimationFrame"]) {
      const original = window[name].bind(window);
      window[name] = (...args) => {
        window.zmCalls++;
        return original(...args);
      };
    }
  });
  const page = await context.newPage();
  await page.goto(pageUrl);
  await settled(page);
  await press(page, "x");
  const cdp = await context.newCDPSession(page);
  await cdp.send("Performance.enable");
  const metric = async name => (await cdp.send("Performance.getMetrics")).metrics.find(m => m.name === name).value;
  const calls = await page.evaluate(() => window.zmCalls);
  const busy = await metric("TaskDuration");
  await new Promise(r => setTimeout(r, 2000));
  const busyAfter = await metric("TaskDuration");
  assert.equal(await page.evaluate(() => window.zmCalls), calls, "timers or animation frames while waiting");
  assert.ok(busyAfter - busy < 0.02, `${((busyAfter - busy) * 1000).toFixed(1)} ms of tasks in 2 s of waiting`);
  assert.equal((await state(page)).waiting, true);
  await context.close();
});

test("a narrow screen gets the whole canvas, scaled down in proportion", async () => {
  const page = await open("", { viewport: { width: 480, height: 800 } });
  const box = await page.locator("#canvas").boundingBox();
  assert.ok(box.width <= 480 && box.width > 400, `canvas ${box.width} wide`);
  assert.ok(Math.abs(box.height / box.width - 688 / 962) < 0.01, `canvas ${box.width} x ${box.height}`);
  await page.context().close();
});
