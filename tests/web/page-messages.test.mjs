// The page in a real browser: its messages and readout (bad links, the end of
// the program, the renderer's words and counts), one line that wraps and is read
// whole at every width.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
  open, state, press, readout, hashOf, nativeText, nativeMessage,
} from "./page-helpers.mjs";

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

  // The key that ends the program does not return into it: the page stays
  // usable, its picture saved as the renderer writes it and drawn at a new size.
  page = await open("#keys=backspace%20x");
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  assert.match(await page.textContent("#status"), /ended: Escape was pressed/);
  assert.ok((await page.evaluate(() => window.zeboMorlix.svg())) === nativeText("backspace x esc", "--svg"), "SVG after the end");
  await page.setViewportSize({ width: 500, height: 900 });
  await page.waitForFunction(() => document.getElementById("canvas").width < 962);
  assert.deepEqual(page.errors, []);
  await page.context().close();

  page = await open("#keys=" + "x%20".repeat(62) + "x");
  assert.equal((await state(page)).ended, true);
  assert.match(await page.textContent("#status"), /the sweep passed its last frame/);
  await page.context().close();
});

test("status messages are one short line, even for a huge bad link", async () => {
  const page = await open("#keys=x%20" + "q".repeat(1 << 20));
  const message = await page.textContent("#status");
  assert.match(message, /^This link's keys cannot be played: unknown step/);
  assert.ok(message.length <= 200, `${message.length} characters`);
  assert.equal((await state(page)).frame, 1);
  await page.context().close();
});

test("links with NUL, bytes that are not UTF-8 or UTF-16 are refused with the renderer's message, the address kept", async () => {
  for (const [hash, bytes] of [["#keys=x%00%20x%20x", [0x78, 0, 0x20, 0x78, 0x20, 0x78]],
                               ["#keys=x%20%E9%20x", [0x78, 0x20, 0xe9, 0x20, 0x78]],
                               ["#keys=%FF%FEx%00%20%00x%00", [0xff, 0xfe, 0x78, 0, 0x20, 0, 0x78, 0]]]) {
    const page = await open(hash);
    const expected = nativeMessage(Buffer.from(bytes));
    assert.match(expected, /^unknown step/);
    assert.equal(await page.textContent("#status"), `This link's keys cannot be played: ${expected}. The program starts without them.`);
    assert.equal((await state(page)).frame, 1);
    assert.equal(hashOf(page), hash, "the address was rewritten");
    await page.context().close();
  }
});

test("the page's messages are the renderer's words and counts, and stay until the user acts", async () => {
  for (const keys of ["x*100", "x*60 esc x x comma", "x x@1.5"]) {
    const page = await open("#keys=" + encodeURIComponent(keys));
    await page.waitForTimeout(300);
    const message = await page.textContent("#status");
    assert.ok(message.includes(nativeMessage(Buffer.from(keys))), `${keys}: ${message}`);
    if (keys !== "x x@1.5") assert.match(message, /The program has ended/);
    await page.context().close();
  }
  const page = await open("#keys=x%20frob");
  await page.waitForTimeout(300);
  assert.match(await page.textContent("#status"), /unknown step 'frob'/);
  await press(page, "x");
  assert.equal(await page.textContent("#status"), "", "a message outlived the next key");
  await page.context().close();
});

test("messages wrap and are read whole at every width, and Run again is on the screen beside its message", async () => {
  for (const width of [320, 390, 629, 1024]) {
    for (const [hash, end, again] of [["#keys=x%20" + "q".repeat(60), null, false], ["#keys=x*63", null, true], ["#keys=x", "Escape", true]]) {
      const page = await open(hash, { viewport: { width, height: 844 } });
      if (end) {
        await page.keyboard.press(end);
        await page.waitForFunction(() => window.zeboMorlix.state().ended);
      }
      const box = await page.evaluate(() => {
        const s = document.getElementById("status");
        const r = s.getBoundingClientRect();
        const b = s.querySelector("button");
        const br = b && b.getBoundingClientRect();
        return { text: s.textContent, scroll: s.scrollWidth, client: s.clientWidth, right: r.right,
                 button: br && { left: br.left, right: br.right, top: br.top, bottom: br.bottom, sTop: r.top, sBottom: r.bottom } };
      });
      assert.ok(box.text.length > 20 && !box.text.includes("\u2026"), `${width} ${hash}: ${box.text}`);
      assert.ok(box.scroll <= box.client && box.right <= width, `${width} ${hash}: the message is cut (${JSON.stringify(box)})`);
      if (again) {
        assert.ok(box.button, `${width} ${hash}: no Run again`);
        assert.ok(box.button.left >= 0 && box.button.right <= Math.min(width, box.right) &&
                  box.button.top >= box.button.sTop && box.button.bottom <= box.button.sBottom,
                  `${width} ${hash}: Run again outside its message ${JSON.stringify(box)}`);
        assert.ok(await page.getByRole("button", { name: "Run again" }).isVisible());
      }
      await page.context().close();
    }
  }
});

test("the readout says where the program is, and that it has ended", async () => {
  const page = await open("#keys=backspace%20x");
  assert.equal(await readout(page), "k = 4.750 · overlays on · frames cleared");
  await press(page, "/");
  assert.equal(await readout(page), "k = 4.750 · overlays on · frames pile up");
  await press(page, "Enter");
  assert.equal(await readout(page), "k = 4.775 · overlays on · frames pile up");
  await page.keyboard.press("Escape");
  await page.waitForFunction(() => window.zeboMorlix.state().ended);
  assert.match(await readout(page), /the program has ended$/);
  await page.context().close();
});
