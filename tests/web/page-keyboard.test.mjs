// The page in a real browser: the keyboard and the focus (the canvas never
// traps Tab, an embedded page is passed through), the controls' names, and how
// frames are named and spoken.
import { test } from "node:test";
import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import {
  pageUrl, browser, scratch, open, state, press, readout, focusedId, downloaded,
} from "./page-helpers.mjs";

test("the keyboard never traps: Shift+Tab leaves the canvas, the way is shown, and after the end Tab moves on", async () => {
  const page = await open();
  assert.equal(await focusedId(page), "canvas");
  const hintShown = () => page.evaluate(() => getComputedStyle(document.getElementById("keys-hint")).visibility === "visible");
  assert.match(await page.textContent("#keys-hint"), /Shift\+Tab leaves/);
  assert.ok(await hintShown(), "the way out is not shown");
  let s = await press(page, "Tab");
  assert.equal(s.k, 4.475, "Tab is the program's while it has the keys");
  await page.keyboard.press("Shift+Tab");
  assert.notEqual(await focusedId(page), "canvas");
  assert.equal((await state(page)).k, 4.475);
  assert.ok(!(await hintShown()), "the hint outlives the focus");
  // Tabbed back to, the canvas lets Tab pass until a program key is typed on it.
  await page.keyboard.press("Tab");
  assert.equal(await focusedId(page), "canvas");
  assert.ok(await hintShown());
  await page.keyboard.press("Tab");
  assert.notEqual(await focusedId(page), "canvas");
  assert.equal((await state(page)).k, 4.475, "Tab passing the canvas changed the program");
  await page.keyboard.press("Shift+Tab");
  assert.equal(await focusedId(page), "canvas");
  s = await press(page, "x");
  assert.equal(s.k, 4.725);
  s = await press(page, "Tab");
  assert.ok(Math.abs(s.k - 4.7) < 1e-9, "a program key typed on the canvas gives it the keys");
  // Ended: Tab moves on from the canvas.
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  await page.focus("#canvas");
  assert.ok(await hintShown());
  await page.keyboard.press("Tab");
  assert.notEqual(await focusedId(page), "canvas", "Tab is swallowed after the end");
  await page.context().close();
});

test("tabbing through a course page passes an embedded frame without changing its program", async () => {
  const host = join(scratch, "course.html");
  writeFileSync(host, `<!doctype html><title>course</title><input id="before"><iframe src="${pageUrl}?embed#keys=x"
    width="980" height="900" title="Valve-lift geometry"></iframe><input id="after">`);
  const context = await browser.newContext({ viewport: { width: 1100, height: 1000 } });
  const page = await context.newPage();
  await page.goto(pathToFileURL(host).href);
  const frame = page.frames().find(f => f.url().includes("zebo-morlix"));
  await frame.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting);
  const before = await frame.evaluate(() => window.zeboMorlix.state());
  await page.focus("#before");
  let presses = 0;
  while ((await focusedId(page)) !== "after" && presses < 40) {
    await page.keyboard.press("Tab");
    presses++;
  }
  assert.equal(await focusedId(page), "after", `${presses} presses of Tab did not leave the frame`);
  assert.deepEqual(await frame.evaluate(() => window.zeboMorlix.state()), before, "tabbing through changed the embedded program");
  // And back with Shift+Tab.
  presses = 0;
  while ((await focusedId(page)) !== "before" && presses < 40) {
    await page.keyboard.press("Shift+Tab");
    presses++;
  }
  assert.equal(await focusedId(page), "before", "Shift+Tab did not leave the frame");
  assert.deepEqual(await frame.evaluate(() => window.zeboMorlix.state()), before);
  // A user who engages it (a click) gives it the keys.
  await frame.click("#canvas");
  await page.keyboard.press("Tab");
  await frame.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 4.725);
  await context.close();
});

test("the controls are reached with Tab from outside the canvas and have names", async () => {
  const page = await open();
  await page.click("h1"); // the focus leaves the canvas for the top of the page
  await page.keyboard.press("Tab");
  assert.equal(await page.evaluate(() => document.activeElement.textContent), "Step");
  for (const [role, name] of [["button", "Play"], ["combobox", "Speed: seconds per frame while playing"], ["slider", "Jump to frame of the sweep"],
                              ["button", "Save SVG"], ["button", "Save data (CSV)"], ["button", "Save keys"], ["button", "Open keys"]]) {
    assert.equal(await page.getByRole(role, { name, exact: true }).count(), 1, `${role} ${name}`);
  }
  // Tab reaches the play button from the key buttons.
  for (let i = 0; i < 7; i++) await page.keyboard.press("Tab");
  assert.equal(await page.evaluate(() => document.activeElement.id), "play");
  await page.context().close();
});

test("embedded, it shows only the canvas, the controls and the readout, and leaves the focus alone", async () => {
  const page = await open("?embed#keys=x", { viewport: { width: 700, height: 700 } });
  assert.equal((await state(page)).k, 4.75);
  for (const hidden of ["h1", ".about"]) assert.equal(await page.locator(hidden).isVisible(), false, hidden);
  for (const shown of ["#canvas", "#readout", "#play", "#jump", "#buttons"]) assert.ok(await page.locator(shown).isVisible(), shown);
  assert.notEqual(await page.evaluate(() => document.activeElement.id), "canvas");
  const box = await page.locator("#canvas").boundingBox();
  assert.ok(box.width > 650, `canvas ${box.width} wide`);
  assert.equal(new URL(page.url()).search, "?embed");
  await page.context().close();
});

test("frames are named alike everywhere, tenths included; Play speaks at most once a second; no -0.000; #top restarts nothing", async () => {
  const page = await open();
  await page.locator("#jump").fill("10");
  await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 7);
  const named = async () => ({
    value: await page.inputValue("#jump"), text: await page.getAttribute("#jump", "aria-valuetext"),
    label: await page.getAttribute("#canvas", "aria-label"), spoken: await page.textContent("#spoken"), shown: await page.textContent("#jump-at"),
  });
  let n = await named();
  assert.equal(n.value, "10");
  assert.match(n.text, /^frame 10 of the sweep, k = 7\.000$/);
  assert.match(n.label, /Frame 10 of the sweep/);
  assert.match(n.spoken, /Frame 10 of the sweep/);
  assert.equal(n.shown, "10");
  assert.equal((await downloaded(page, "Save SVG"))[0], "zebo-morlix-frame-10.svg");
  await page.click("#canvas"); // gives it the keys
  await press(page, "Tab");
  n = await named();
  assert.equal(n.value, "9.9");
  assert.match(n.text, /^frame 9\.9 of the sweep, k = 6\.975$/);
  assert.match(n.label, /Frame 9\.9 of the sweep/);
  // The arrow keys go to whole frames.
  await page.focus("#jump");
  await page.keyboard.press("ArrowRight");
  await page.waitForFunction(() => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 7);
  assert.equal(await page.getByRole("application").count(), 1, "the canvas is announced as the control it is");
  // Play at 0.1 s a frame for 3 s speaks three or four times, not thirty.
  await page.evaluate(() => {
    window.zmSpoken = 0;
    new MutationObserver(() => window.zmSpoken++).observe(document.getElementById("spoken"), { childList: true, characterData: true, subtree: true });
  });
  await page.selectOption("#speed", "0.1");
  await page.getByRole("button", { name: "Play" }).click();
  await page.waitForTimeout(3000);
  await page.getByRole("button", { name: "Pause" }).click();
  const spoken = await page.evaluate(() => window.zmSpoken);
  assert.ok(spoken >= 2 && spoken <= 5, `the live region spoke ${spoken} times in 3 s of Play`);
  await page.context().close();

  const zero = await open("#keys=" + encodeURIComponent("comma*17 tab*10"));
  assert.equal(await readout(zero), "k = 0.000 · overlays off · frames cleared");
  assert.doesNotMatch(await zero.getAttribute("#canvas", "aria-label"), /-0/);
  await zero.evaluate(() => { window.zmSameDocument = true; location.hash = "#top"; });
  await zero.waitForTimeout(500);
  assert.ok(await zero.evaluate(() => window.zmSameDocument), "#top restarted the program");
  await zero.context().close();
});
