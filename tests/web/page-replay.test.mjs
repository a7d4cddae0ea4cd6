// The page in a real browser: keys and buttons step its program, links replay
// it (the page's own address, KEY*N, an address opened in the open page), the
// canvas shows the native renderer's picture, and Play and the slider move
// through the sweep.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
  caption, step, open, state, settled, press, picture, nativePng, differing,
} from "./page-helpers.mjs";

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

test("KEY*N in a link plays N plain steps, and the page writes runs of three or more so", async () => {
  const starred = await open("#keys=x*3");
  const plain = await open("#keys=x%20x%20x");
  assert.deepEqual(await state(starred), await state(plain));
  assert.equal((await state(starred)).k, 5.25);
  assert.equal(await picture(starred), await picture(plain));
  assert.equal(new URL(plain.url()).hash, "#keys=x*3");
  await press(plain, "x");
  await press(plain, ",");
  await press(plain, ",");
  assert.equal(new URL(plain.url()).hash, "#keys=" + encodeURIComponent("x*4 comma comma"));
  await starred.context().close();
  await plain.context().close();
});

test("a #keys= address opened in the open page starts the program again with it", async () => {
  const page = await open();
  await press(page, "x");
  await page.evaluate(() => { location.hash = "#keys=" + encodeURIComponent("backspace x x"); });
  await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting && window.zeboMorlix.state().frame === 4);
  assert.deepEqual(await state(page), { frame: 4, k: 5, acc: 1, ccllss: 0, waiting: true, ended: false });
  await page.goBack();
  await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting && window.zeboMorlix.state().frame === 2);
  assert.equal((await state(page)).acc, 0);
  await page.context().close();
});

test("Play steps to the sweep's last frame and waits there; a key or Pause stops it", async () => {
  const page = await open();
  assert.equal(await page.inputValue("#speed"), "0.25");
  await page.selectOption("#speed", "0");
  await page.getByRole("button", { name: "Play" }).click();
  await page.waitForFunction(() => window.zeboMorlix.state().k === 20 && document.getElementById("play").textContent === "Play");
  await page.waitForTimeout(300);
  const s = await state(page);
  assert.equal(s.k, 20);
  assert.equal(s.waiting, true, "Play ended the program");
  assert.equal(new URL(page.url()).hash, "#keys=x*62");
  assert.match(await page.textContent("#status"), /last frame/);
  // From the start again, slowly: a key stops it, and so does Pause.
  await page.focus("#canvas");
  await press(page, " ");
  await page.selectOption("#speed", "1");
  await page.getByRole("button", { name: "Play" }).click();
  assert.equal(await page.getAttribute("#play", "aria-pressed"), "true");
  await page.focus("#canvas");
  await press(page, "Backspace");
  assert.equal(await page.textContent("#play"), "Play");
  let frame = (await state(page)).frame;
  await page.waitForTimeout(1500);
  assert.equal((await state(page)).frame, frame, "Play went on after a key");
  await page.selectOption("#speed", "0.1");
  await page.getByRole("button", { name: "Play" }).click();
  await page.waitForFunction(f => window.zeboMorlix.state().frame >= f + 2, frame);
  await page.getByRole("button", { name: "Pause" }).click();
  await page.waitForTimeout(100);
  frame = (await state(page)).frame;
  await page.waitForTimeout(500);
  assert.equal((await state(page)).frame, frame, "Play went on after Pause");
  await page.context().close();
});

test("the slider jumps to a frame by typing space and plain steps, piled frames included", async () => {
  const page = await open("#keys=slash%20x%20x");
  await page.locator("#jump").fill("10");
  await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 7);
  assert.equal(new URL(page.url()).hash, "#keys=" + encodeURIComponent("slash x x space x*10"));
  const again = await open("#keys=" + encodeURIComponent("slash x x space x x x x x x x x x x"));
  assert.equal(await picture(page), await picture(again), "the jump draws something else than its keys");
  await again.context().close();
  await page.context().close();
});

test("a jump to the last frame reaches it, time after time", async () => {
  const page = await open();
  // The best of three, from the slider's input to the wait at k = 20.
  const times = [];
  for (let i = 0; i < 3; i++) {
    await page.locator("#jump").fill("0");
    await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 4.5);
    await page.locator("#jump").fill("62");
    await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 20);
    times.push(await page.evaluate(() =>
      performance.getEntriesByName("zm-wait").at(-1).startTime - performance.getEntriesByName("zm-input").at(-1).startTime));
  }
  // How fast is tests/web/bench.mjs's figure (its target: under half a second).
  console.log(`jump to the last frame: ${times.map(t => t.toFixed(0)).join(", ")} ms`);
  await page.context().close();
});
