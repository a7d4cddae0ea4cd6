// The page and the core agree: the page's words and controls about the sweep
// and its pointer readout follow the core's numbers (src/window/Sweep.h,
// src/window/UserScale.h), and state() gives plain names beside its short ones.
// In Debian's chromium, headless, driven by playwright-core, as the other page tests.
import { test } from "node:test";
import assert from "node:assert/strict";
import { constants, open } from "./page-helpers.mjs";

const sweep = constants("Sweep.h");
const scale = constants("UserScale.h");

// Waits until `condition` (an expression of the state s) holds.
const waitUntil = (page, condition) =>
  page.waitForFunction(c => {
    const s = window.zeboMorlix && window.zeboMorlix.state();
    return s && new Function("s", "return " + c)(s);
  }, condition);
// The state with its plain names read in the page (they are not enumerable, so
// they do not come across on their own).
const named = page =>
  page.evaluate(() => {
    const s = window.zeboMorlix.state();
    return { listed: Object.keys(s), s: { ...s }, plain: { controlAngle: s.controlAngle, overlays: s.overlays,
                                                           pileUp: s.pileUp, sweepFrame: s.sweepFrame } };
  });

test("state() has plain names equal to its short ones, and lists only the short ones", async () => {
  // Overlays on, a step, piling on, a tenth on, piling off: each switch and k in turn.
  const page = await open("#keys=backspace%20x%20slash%20enter");
  for (const [key, frame] of [[null, 1.1], ["/", 1.1], ["Backspace", 1.1], ["Comma", 0.1]]) {
    if (key) {
      const f = (await named(page)).s.frame;
      await page.keyboard.press(key === "Comma" ? "," : key);
      await waitUntil(page, `s.waiting && s.frame > ${f}`);
    }
    const { listed, s, plain } = await named(page);
    assert.deepEqual(listed, ["frame", "k", "acc", "ccllss", "waiting", "ended"]);
    assert.deepEqual(plain, { controlAngle: s.k, overlays: s.acc, pileUp: s.ccllss, sweepFrame: frame },
                     `after ${key ?? "the link"}`);
  }
  const { s } = await named(page);
  assert.deepEqual([s.acc, s.ccllss], [0, 0]);
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("the jump slider, its words and Play's stop follow the core's sweep", async () => {
  const page = await open();
  const jump = page.locator("#jump");
  assert.equal(await jump.getAttribute("max"), String(sweep.lastFrame));
  assert.equal(await jump.getAttribute("aria-valuetext"), "frame 0 of the sweep, k = " + sweep.firstK.toFixed(3));
  assert.match(await page.textContent("#readout"), new RegExp("^k = " + sweep.firstK.toFixed(3).replace(".", "\\.")));
  const keys = await page.textContent(".about");
  assert.ok(keys.includes("back to the first frame (k = " + sweep.firstK + ")"), keys);
  assert.ok(keys.includes("after the frame at k = " + sweep.lastK + " one more ends the program"), keys);
  // End on the slider: the sweep's last frame, where k is the core's last.
  await jump.focus();
  await page.keyboard.press("End");
  await waitUntil(page, `s.waiting && s.k === ${sweep.lastK}`);
  const last = await named(page);
  assert.equal(last.plain.sweepFrame, sweep.lastFrame);
  assert.equal(await jump.getAttribute("aria-valuetext"),
               `frame ${sweep.lastFrame} of the sweep, k = ${sweep.lastK.toFixed(3)}`);
  // Play stops there, saying so in the core's numbers.
  await page.click("#play");
  await page.waitForFunction(() => document.getElementById("play").textContent === "Play");
  assert.ok((await page.textContent("#status")).includes(`last frame (k = ${sweep.lastK})`));
  assert.equal((await named(page)).s.k, sweep.lastK);
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("the pointer readout is the window's mapping at the design size, at any displayed size", async () => {
  for (const width of [1100, 700]) {
    const page = await open("#keys=x", { viewport: { width, height: 900 } });
    const box = await page.locator("#canvas").boundingBox();
    for (const [fx, fy] of [[0.25, 0.75], [0.1, 0.9], [0.7, 0.2], [0.5, 0.5]]) {
      const dx = box.width * fx, dy = box.height * fy;
      await page.mouse.move(box.x + dx, box.y + dy);
      // Where the pointer landed in CSS pixels, as the page sees it.
      const at = await page.evaluate(([x, y]) => {
        const r = document.getElementById("canvas").getBoundingClientRect();
        return [(x - r.left) / r.width, (y - r.top) / r.height];
      }, [box.x + dx, box.y + dy]);
      const x = at[0] * scale.designWidth * scale.unitsAcross / scale.designWidth + scale.designLeft;
      const y = scale.designTop - at[1] * scale.designHeight * scale.unitsDown / scale.designHeight;
      assert.equal(await page.textContent("#pointer"), "angle " + x.toFixed(1) + "\u00b0, lift " + y.toFixed(2),
                   `at ${fx}, ${fy} of ${box.width} px`);
    }
    await page.context().close();
  }
});
