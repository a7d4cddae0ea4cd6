// The page in a real browser: its Mechanism panel and hooks. A change of the
// mechanism is checked as it is typed and redraws the frame with the keys so
// far; the link carries the mechanism and reopens it bit for bit; a refusal
// shows beside its field and changes nothing; the events show under the readout.
import { test } from "node:test";
import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { browser, pageUrl, open, state, settled, picture, scratch, hashOf, downloaded, reloadedBy } from "./page-helpers.mjs";

const mechanism = page => page.evaluate(() => window.zeboMorlix.mechanism());
const setMechanism = (page, m) => page.evaluate(m => window.zeboMorlix.setMechanism(m), m);
const events = page => page.evaluate(() => window.zeboMorlix.events());
const builtIn = { ground: 31.5, crank: 7, coupler: 25, rocker: 31, radius: 25.5, rod: 100 };
// Waits for the program's run after a change (the page stops waiting at the
// change): at its wait again, the keys replayed.
const redrawn = async (page, frame) => {
  await page.waitForFunction(f => {
    const s = window.zeboMorlix.state();
    return (s.waiting || s.ended) && s.frame === f;
  }, frame);
  return settled(page);
};
// Types into a field as a user does, one change event per character.
const type = async (page, id, text) => {
  await page.fill(id, "");
  await page.type(id, text);
};
// A smooth profile of n rows from 0 to 180 degrees, rising in angle: a rise and
// return of the lift, with numbers that need all their digits.
const smooth = (n, peak) => Array.from({ length: n }, (_, i) => {
  const a = (180 * i) / (n - 1);
  return [a, peak * Math.sin((Math.PI * i) / (n - 1)) ** 2 + i / 3e7];
});

test("the panel starts collapsed with the built-in mechanism, and every control takes the focus by Tab", async () => {
  const page = await open();
  assert.equal(await page.$eval("#mechanism", d => d.open), false);
  assert.deepEqual((await mechanism(page)).rows.length, 200);
  const { rows, ...lengths } = await mechanism(page);
  assert.deepEqual(lengths, builtIn);
  assert.match(await page.textContent("#events"), /^at lift 0\.957: first profile 131\.5°, moving trace 131\.5° \(\+0\.0 %\)$/);
  // Tab from the summary through the fields, the picker and Built-in to the canvas.
  await page.focus("#mechanism summary");
  await page.keyboard.press("Enter");
  assert.equal(await page.$eval("#mechanism", d => d.open), true);
  const ids = [];
  for (let i = 0; i < 10; i++) {
    await page.keyboard.press("Tab");
    ids.push(await page.evaluate(() => document.activeElement.id));
  }
  assert.deepEqual(ids, ["m-ground", "m-crank", "m-coupler", "m-rocker", "m-radius", "m-rod", "m-checking", "m-profile",
                         "m-built-in", "canvas"]);
  assert.equal(await page.inputValue("#m-radius"), "25.5");
  assert.equal(await page.inputValue("#m-checking"), "");
  assert.equal(hashOf(page), "", "the built-in mechanism leaves the address as it was");
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("a length typed redraws the frame with the keys so far, and the link reopens the mechanism bit for bit", async () => {
  const page = await open("#keys=" + encodeURIComponent("x x backspace"));
  const before = await picture(page);
  const csvBefore = await page.evaluate(() => window.zeboMorlix.csv());
  await page.click("#mechanism summary");
  await type(page, "#m-crank", "8.1");
  await type(page, "#m-checking", "1.25");
  await page.waitForFunction(() => document.getElementById("events").textContent.startsWith("at lift 1.25:"));
  let s = await redrawn(page, 4);
  assert.deepEqual({ k: s.k, acc: s.acc }, { k: 5, acc: 1 }, "the keys so far are replayed");
  assert.notEqual(await picture(page), before);
  assert.notEqual(await page.evaluate(() => window.zeboMorlix.csv()), csvBefore);
  assert.match(await page.textContent("#events"), /^at lift 1\.25: first profile \d+\.\d°, moving trace \d+\.\d° \([+-]\d+\.\d %\)$/);
  assert.equal(hashOf(page), "#mechanism=31.5,8.1,25,31,25.5,100,1.25&keys=" + encodeURIComponent("x x backspace"));
  // Rows whose numbers need seventeen digits: the reopened link has the same bits.
  const rows = smooth(37, 9.5).reverse();
  assert.equal(await setMechanism(page, { ...builtIn, crank: 0.1 + 7.2, rows, checkingLift: 1 / 3 }), "");
  s = await redrawn(page, 4);
  const m = await mechanism(page);
  assert.deepEqual(m, { ...builtIn, crank: 0.1 + 7.2, rows });
  const [csv, ev, link] = await page.evaluate(async () => [await window.zeboMorlix.csv(), window.zeboMorlix.events(), location.href]);
  const watched = async () => {
    const p = await page.context().newPage();
    p.errors = [];
    p.on("pageerror", e => p.errors.push(e.message));
    return p;
  };
  const again = await watched();
  await again.goto(link);
  await settled(again);
  assert.deepEqual(await mechanism(again), m);
  assert.equal(await again.evaluate(() => window.zeboMorlix.csv()), csv, "the same picture's numbers");
  assert.equal(await events(again), ev, "the same events");
  assert.equal(await again.inputValue("#m-checking"), String(1 / 3));
  // ?embed takes the mechanism from the link too.
  const embedded = await watched();
  await embedded.goto(link.replace("#", "?embed#"));
  await settled(embedded);
  assert.equal(await embedded.evaluate(() => window.zeboMorlix.csv()), csv);
  assert.equal(await embedded.$eval("#mechanism", d => getComputedStyle(d).display), "none");
  // Built-in goes back: the address is today's link of the keys.
  await page.click("#m-built-in");
  await redrawn(page, 4);
  assert.equal(hashOf(page), "#keys=" + encodeURIComponent("x x backspace"));
  assert.equal(await page.evaluate(() => window.zeboMorlix.csv()), csvBefore);
  assert.deepEqual([page.errors, again.errors, embedded.errors], [[], [], []]);
  await again.close();
  await embedded.close();
  await page.context().close();
});

test("a refused length says why beside its field, on a phone too, and nothing is redrawn", async () => {
  const page = await open("#keys=x", { viewport: { width: 360, height: 740 }, isMobile: true, hasTouch: true });
  await page.click("#mechanism summary");
  const before = [await picture(page), hashOf(page), await events(page)];
  for (const [id, text, says] of [
    ["#m-ground", "0", /ground must be a positive finite length, not 0\.$/],
    ["#m-rocker", "2", /rocker/],
    ["#m-rod", "20", /rod/],
    ["#m-crank", "7x", /^The crank is '7x', not a number/],
    ["#m-checking", "-1", /^The checking lift must be a positive finite lift, not -1\.$/],
  ]) {
    const was = await page.inputValue(id);
    await page.fill(id, text);
    const message = await page.textContent(id + "-says");
    assert.match(message, says);
    assert.equal(await page.getAttribute(id, "aria-invalid"), "true");
    const box = await page.$eval(id + "-says", e => {
      const r = e.getBoundingClientRect();
      return { right: r.right, overflow: e.scrollWidth > e.clientWidth, page: document.documentElement.scrollWidth };
    });
    assert.ok(box.right <= 360 && !box.overflow && box.page <= 360, id + ": the message is not whole on the screen");
    await page.waitForTimeout(100);
    assert.deepEqual([await picture(page), hashOf(page), await events(page)], before, id + " redrew");
    await page.fill(id, was);
    assert.equal(await page.textContent(id + "-says"), "");
  }
  const refused = await setMechanism(page, { ...builtIn, rows: [[0, 0], [1, 1], [1, 2]] });
  assert.match(refused, /row|angle/);
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("the events: the renderer's CSV of the frames so far, and the line under the readout", async () => {
  const page = await open("#keys=" + encodeURIComponent("x x comma"));
  const csv = (await events(page)).trim().split("\n");
  assert.equal(csv[0], "frame,k,curve,opens,closes,duration,peak_x,peak_lift");
  assert.equal(csv.length, 1 + 2 * 4);
  const last = csv.at(-1).split(","), first = csv.at(-2).split(",");
  assert.deepEqual([last[0], last[1], last[2], first[2]], ["4", "4.75", "moving trace", "first profile"]);
  const a = Number(first[5]), b = Number(last[5]);
  assert.equal(await page.textContent("#events"),
    "at lift 0.957: first profile " + a.toFixed(1) + "°, moving trace " + b.toFixed(1) + "° (+" + ((b - a) / a * 100).toFixed(1) + " %)");
  await page.context().close();
});

test("setMechanism takes rows either way and a profile of 1,000 rows; mechanism() gives them back falling", async () => {
  const page = await open("#keys=x");
  const rows = smooth(1000, 12);
  const before = await picture(page);
  assert.equal(await setMechanism(page, { ...builtIn, rows }), "");
  await redrawn(page, 2);
  const m = await mechanism(page);
  assert.deepEqual(m.rows, rows.slice().reverse());
  assert.notEqual(await picture(page), before);
  // A step of the new frame length is timed by its rows: three pumps a row.
  assert.match(await page.textContent("#events"), /^at lift 1\.2: first profile/);
  const csv = (await events(page)).trim().split("\n");
  assert.equal(csv.length, 5);
  // The profile as a file, read by the program's profile reader: the file's
  // rows, rising, are taken falling; a file with a bad line is refused beside
  // the picker, naming the line, and changes nothing.
  const file = join(scratch, "profile.csv");
  writeFileSync(file, "angle, lift\r\n" + smooth(50, 8).map(r => r.join(",")).join("\r\n") + "\r\n");
  await page.click("#mechanism summary");
  await page.setInputFiles("#m-profile", file);
  await page.waitForFunction(() => document.getElementById("m-profile-says").textContent.startsWith("Rows from"));
  await redrawn(page, 2);
  const taken = (await mechanism(page)).rows;
  assert.deepEqual(taken, smooth(50, 8).reverse());
  const bad = join(scratch, "bad.csv");
  writeFileSync(bad, "angle, lift\n1, 0\n2, x\n3, 0\n");
  await page.setInputFiles("#m-profile", bad);
  await page.waitForFunction(() => document.getElementById("m-profile-says").textContent.startsWith("'bad.csv'"));
  assert.match(await page.textContent("#m-profile-says"), /^'bad\.csv' cannot be used: .*line 3.*\.$/);
  assert.deepEqual((await mechanism(page)).rows, taken);
  // A file dropped on the panel is read the same way.
  await page.evaluate(text => {
    const data = new DataTransfer();
    data.items.add(new File([text], "dropped.txt"));
    document.getElementById("mechanism").dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true }));
  }, "# dropped\n" + smooth(40, 6).map(r => r.join("\t")).join("\n") + "\n");
  await page.waitForFunction(n => window.zeboMorlix.mechanism().rows.length === n, 40);
  await redrawn(page, 2);
  assert.deepEqual((await mechanism(page)).rows, smooth(40, 6).reverse());
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("a changed length redraws the frame the program waits at", async () => {
  for (const keys of ["", "x backspace"]) {
    const page = await open(keys ? "#keys=" + encodeURIComponent(keys) : "");
    const frame = (await state(page)).frame;
    await page.click("#mechanism summary");
    for (const crank of ["7.5", "8", "6.5", "7"]) {
      await page.evaluate(async crank => {
        const field = document.getElementById("m-crank"), t0 = performance.now();
        field.value = crank;
        field.dispatchEvent(new Event("input"));
        while (!performance.getEntriesByName("zm-wait").find(e => e.startTime > t0)) {
          await new Promise(resolve => setTimeout(resolve, 1));
        }
      }, crank);
      assert.equal((await state(page)).frame, frame);
      assert.equal((await page.evaluate(() => window.zeboMorlix.mechanism())).crank, Number(crank));
    }
    await page.context().close();
  }
});

test("a mechanism too large for the address stays in the history entry, and Save keys keeps it as a mechanism file that Open keys reopens", async () => {
  const page = await open("#keys=x");
  const rows = smooth(3000, 10).reverse();
  assert.equal(await setMechanism(page, { ...builtIn, rocker: 32, rows }), "");
  await redrawn(page, 2);
  assert.equal(hashOf(page), "#keys=x", "the address holds the keys only");
  assert.match(await page.textContent("#status"), /too large for an address \(64 KB\).*Save keys keeps both as a mechanism file/);
  const csv = await page.evaluate(() => window.zeboMorlix.csv());
  // Reloaded, the history entry gives the mechanism back.
  await page.reload();
  await settled(page);
  assert.deepEqual(await mechanism(page), { ...builtIn, rocker: 32, rows });
  assert.equal(await page.evaluate(() => window.zeboMorlix.csv()), csv);
  const [name, bytes] = await downloaded(page, "Save keys");
  // Back to the built-in mechanism, the entry keeps it no longer.
  await page.evaluate(() => document.getElementById("m-built-in").click());
  await redrawn(page, 2);
  await page.reload();
  await settled(page);
  const { rows: builtInRows, ...lengths } = await mechanism(page);
  assert.deepEqual([lengths, builtInRows.length, hashOf(page)], [builtIn, 200, "#keys=x"]);
  assert.equal(name, "zebo-morlix-mechanism.txt");
  const text = bytes.toString();
  assert.match(text, /^#mechanism=31\.5,7,25,32,25\.5,100,;180,[^;]+;[^\n]*;0,0\nx\n$/);
  // Opened in a fresh page, the file replays its keys with its mechanism.
  const fresh = await open();
  const reopened = await reloadedBy(fresh, () => fresh.evaluate(t => window.zeboMorlix.openKeys(t, "m.txt"), text));
  assert.equal(reopened.frame, 2);
  assert.deepEqual(await mechanism(fresh), { ...builtIn, rocker: 32, rows });
  assert.equal(await fresh.evaluate(() => window.zeboMorlix.csv()), csv);
  // A mechanism file whose mechanism is refused changes nothing.
  const refused = await fresh.evaluate(() => window.zeboMorlix.openKeys("#mechanism=31.5,7,25,32,25.5,10,\nx x\n", "bad.txt"));
  assert.equal(refused, undefined);
  assert.match(await fresh.textContent("#status"), /'bad\.txt' cannot be used: .*rod.*Nothing was changed\./);
  assert.deepEqual([page.errors, fresh.errors], [[], []]);
  await fresh.context().close();
  await page.context().close();
});

test("a change while Play steps on stops Play, and the new run replays every step played", async () => {
  const page = await open("#keys=x");
  await page.selectOption("#speed", "0.1");
  await page.click("#play");
  await page.waitForFunction(() => window.zeboMorlix.state().frame >= 4);
  await page.click("#mechanism summary");
  await page.fill("#m-coupler", "26");
  await page.waitForFunction(() => window.zeboMorlix.state().waiting);
  await page.waitForTimeout(300);
  const s = await state(page);
  assert.equal(await page.getAttribute("#play", "aria-pressed"), "false");
  assert.equal(s.k, 4.5 + 0.25 * (s.frame - 1));
  assert.equal(decodeURIComponent(hashOf(page)), "#mechanism=31.5,7,26,31,25.5,100,&keys=" + (s.frame > 3 ? "x*" + (s.frame - 1) : "x x"));
  assert.equal(await page.textContent("#status"), "");
  assert.deepEqual(page.errors, []);
  await page.context().close();
});

test("after the program has ended a change draws its last frame again with the new mechanism, and it ends again", async () => {
  const page = await open("#keys=x");
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  const before = await events(page);
  assert.equal(await setMechanism(page, { ...builtIn, crank: 8 }), "", "without rows the rows stay");
  await page.waitForFunction(b => window.zeboMorlix.state().ended && window.zeboMorlix.events() !== b &&
                                  document.getElementById("status").textContent.includes("Run again"), before);
  const s = await state(page);
  assert.deepEqual([s.frame, s.k, s.ended], [2, 4.75, true]);
  assert.equal(decodeURIComponent(hashOf(page)), "#mechanism=31.5,8,25,31,25.5,100,&keys=x esc");
  assert.equal((await events(page)).split("\n").length, before.split("\n").length);
  assert.match(await page.textContent("#status"), /^The program has ended: Escape was pressed\.Run again$/);
  assert.deepEqual(page.errors, []);
  await page.context().close();
});
