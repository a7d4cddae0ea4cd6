// The page in a real browser: its saves (SVG, CSV, pictures, keys) are the
// renderer's, also while Play draws; Open keys checks a file before it plays it.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync, writeFileSync, truncateSync } from "node:fs";
import { join } from "node:path";
import {
  pageUrl, browser, scratch, open, state, settled, reloadedBy, press, hashOf, picture, nativePng, nativeText, nativeMessage, downloaded, pngSize,
} from "./page-helpers.mjs";

// Chooses a file with "Open keys".
async function chooseKeys(page, files) {
  const [chooser] = await Promise.all([page.waitForEvent("filechooser"), page.getByRole("button", { name: "Open keys" }).click()]);
  await chooser.setFiles(files);
}

// Pixels of two PNG data addresses that differ by more than `level`, in a page; -1 if their sizes differ.
function pngsDiffer(page, a, b, level) {
  return page.evaluate(async ([a, b, level]) => {
    const pixels = async png => {
      const image = new Image();
      image.src = png;
      await image.decode();
      const c = document.createElement("canvas");
      c.width = image.width;
      c.height = image.height;
      const x = c.getContext("2d");
      x.drawImage(image, 0, 0);
      return [image.width, image.height, x.getImageData(0, 0, c.width, c.height).data];
    };
    const [aw, ah, ad] = await pixels(a), [bw, bh, bd] = await pixels(b);
    if (aw !== bw || ah !== bh) return -1;
    let n = 0;
    for (let i = 0; i < ad.length; i += 4) {
      if (Math.max(Math.abs(ad[i] - bd[i]), Math.abs(ad[i + 1] - bd[i + 1]), Math.abs(ad[i + 2] - bd[i + 2])) > level) n++;
    }
    return n;
  }, [a, b, level]);
}

test("the page's SVG and CSV are the renderer's, byte for byte, and the buttons save them", async () => {
  for (const keys of ["backspace x", "slash x*3 comma", "slash backspace x tab enter@5.200 x"]) {
    const page = await open("#keys=" + encodeURIComponent(keys));
    assert.ok((await page.evaluate(() => window.zeboMorlix.svg())) === nativeText(keys, "--svg"), `${keys}: SVG`);
    assert.ok((await page.evaluate(() => window.zeboMorlix.csv())) === nativeText(keys, "--csv"), `${keys}: CSV`);
    if (keys === "backspace x") {
      for (const [button, option] of [["Save SVG", "--svg"], ["Save data (CSV)", "--csv"]]) {
        const [download] = await Promise.all([page.waitForEvent("download"), page.getByRole("button", { name: button }).click()]);
        const file = join(scratch, download.suggestedFilename());
        await download.saveAs(file);
        assert.ok(readFileSync(file, "utf8") === nativeText(keys, option), `${button} saves something else`);
      }
    }
    await page.context().close();
  }
});

test("Save picture gives the renderer's 962 x 688 picture at every window size and ratio; the canvas never shrinks as the window grows", async () => {
  const keys = "backspace x x";
  const expected = nativePng(keys);
  for (const options of [{ viewport: { width: 1100, height: 900 } }, { viewport: { width: 1400, height: 900 } },
                         { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true },
                         { viewport: { width: 1100, height: 900 }, deviceScaleFactor: 2 }]) {
    const page = await open("#keys=" + encodeURIComponent(keys), options);
    const [name, bytes] = await downloaded(page, "Save picture (PNG)");
    assert.equal(name, "zebo-morlix-frame-2.png");
    assert.deepEqual(pngSize(bytes), [962, 688], JSON.stringify(options));
    const off = await pngsDiffer(page, "data:image/png;base64," + bytes.toString("base64"), expected, 64);
    assert.ok(off >= 0 && off <= 962 * 688 * 0.003, `${JSON.stringify(options)}: ${off} pixels differ from --png`);
    if (!options.isMobile) {
      const [screenName, screen] = await downloaded(page, "Save at screen resolution (PNG)");
      assert.equal(screenName, "zebo-morlix-frame-2.screen.png");
      assert.deepEqual(pngSize(screen), await page.evaluate(() => [document.getElementById("canvas").width, document.getElementById("canvas").height]));
    }
    await page.context().close();
  }
  let widest = 0;
  for (const width of [1024, 1300, 1399, 1400, 1450, 1545, 1920]) {
    const page = await open("", { viewport: { width, height: 900 } });
    const w = (await page.locator("#canvas").boundingBox()).width;
    assert.ok(w >= widest, `the canvas is ${w} wide at ${width} px, ${widest} before`);
    widest = w;
    await page.context().close();
  }
  assert.equal(widest, 962);
});

test("saves hold whole frames, also while Play draws them", async () => {
  const page = await open("#keys=backspace");
  await page.selectOption("#speed", "0");
  const saved = [];
  page.on("download", d => saved.push(d));
  await page.getByRole("button", { name: "Play" }).click();
  for (let i = 0; i < 6; i++) {
    await page.getByRole("button", { name: "Save SVG" }).click();
    await page.waitForTimeout(20);
  }
  await page.waitForFunction(() => document.getElementById("play").textContent === "Play");
  await page.waitForTimeout(300);
  assert.ok(saved.length >= 3, `${saved.length} saves`);
  for (const d of saved) {
    const n = Number(/^zebo-morlix-frame-(\d+)\.svg$/.exec(d.suggestedFilename())[1]);
    const file = join(scratch, "saved.svg");
    await d.saveAs(file);
    const keys = n ? `backspace x*${n}` : "backspace";
    assert.ok(readFileSync(file, "utf8") === nativeText(keys, "--svg"), `${d.suggestedFilename()} is not the whole frame of ${keys}`);
  }
  await page.context().close();
});

test("past 64 KB the address stops holding the keys and says so; Save keys and Open keys carry them", async () => {
  // Eight frames of 600 keys each at the event pumps: about 70 KB of address.
  let keys = "";
  for (let f = 2; f <= 9; f++) {
    keys += "x";
    for (let n = 1; n <= 600; n++) keys += ` #1@${f}.${n}`;
    keys += " ";
  }
  const page = await open("#keys=" + encodeURIComponent(keys.trim()));
  assert.equal((await state(page)).frame, 9);
  assert.equal(new URL(page.url()).hash, "");
  const message = await page.textContent("#status");
  assert.match(message, /64 KB/);
  assert.ok(message.length <= 200 && !message.includes("\n"));
  const [download] = await Promise.all([page.waitForEvent("download"), page.getByRole("button", { name: "Save keys" }).click()]);
  const file = join(scratch, "keys.txt");
  await download.saveAs(file);
  assert.equal(readFileSync(file, "utf8"), keys.trim().replace(/^x /, "x ") + "\n");
  const shown = await picture(page);
  const [chooser] = await Promise.all([page.waitForEvent("filechooser"), page.getByRole("button", { name: "Open keys" }).click()]);
  // The page reads the file and then loads itself again: the same frame as before
  // has to come from the new document, which played the file from the start.
  const opened = await reloadedBy(page, () => chooser.setFiles(file));
  assert.equal(opened.frame, 9);
  assert.equal(await picture(page), shown);
  assert.equal(await page.evaluate(() => window.zeboMorlix.script()), keys.trim());
  await page.context().close();
});

test("Open keys checks a file before it plays it: one that cannot be played changes nothing and says why", async () => {
  const page = await open();
  await press(page, "x");
  await press(page, "x");
  const before = [await state(page), hashOf(page)];
  await page.evaluate(() => { window.zmSameDocument = true; });
  const bad = [
    ["notes.txt", Buffer.from("x x frob x\n")],
    ["picture.png", Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 0x49, 0x48])],
    ["latin1.txt", Buffer.from([0x78, 0x20, 0xe9, 0x20, 0x78])],
    ["utf16.txt", Buffer.from("\ufeffx x", "utf16le")],
    ["late.txt", Buffer.from("x x@2.700")],
  ];
  for (const [name, buffer] of bad) {
    await chooseKeys(page, { name, mimeType: "text/plain", buffer });
    await page.waitForFunction(n => document.getElementById("status").textContent.includes(n), name);
    const message = await page.textContent("#status");
    const expected = nativeMessage(buffer);
    assert.ok(expected !== "", `${name}: the renderer plays it`);
    assert.ok(message.includes(`'${name}' cannot be played: ${expected}. Nothing was changed.`), `${name}: ${message}`);
    assert.ok(await page.evaluate(() => window.zmSameDocument), `${name}: the page loaded itself again`);
    assert.deepEqual([await state(page), hashOf(page)], before, `${name} changed the run`);
  }
  // One that plays replaces the run as a new history entry: Back returns to the keys before.
  const opened = await reloadedBy(page, () => chooseKeys(page, { name: "good.txt", mimeType: "text/plain", buffer: Buffer.from("backspace x\n") }));
  assert.equal(opened.acc, 1);
  assert.equal(opened.k, 4.75);
  await page.goBack();
  await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === 5);
  assert.deepEqual([await state(page), hashOf(page)], before);
  await page.context().close();
});

test("Open keys opens a file of megabytes without session storage, and refuses one past 64 MiB as the renderer does", async () => {
  const context = await browser.newContext({ viewport: { width: 1100, height: 900 } });
  await context.addInitScript(() => {
    Object.defineProperty(window, "sessionStorage", { get() { throw new DOMException("denied", "SecurityError"); } });
  });
  const page = await context.newPage();
  await page.goto(pageUrl + "#keys=x");
  await settled(page);
  // Six megabytes, mostly blank lines and a run counted once: too long for an address.
  const big = join(scratch, "big-keys.txt");
  writeFileSync(big, "backspace\n" + "\n".repeat(6 << 20) + "x*3 comma\n");
  const opened = await reloadedBy(page, () => chooseKeys(page, big));
  assert.equal(opened.acc, 1);
  assert.equal(opened.k, 5);
  assert.equal(await page.textContent("#status"), "");
  assert.equal(await page.evaluate(() => window.zeboMorlix.script()), "backspace x*3 comma");
  // A file larger than the renderer reads.
  const huge = join(scratch, "huge-keys.txt");
  writeFileSync(huge, "x");
  truncateSync(huge, 64 * 1048576 + 1);
  await chooseKeys(page, huge);
  await page.waitForFunction(() => document.getElementById("status").textContent !== "");
  assert.match(await page.textContent("#status"), /'huge-keys\.txt' is larger than 64 MiB: split the script\. Nothing was changed\./);
  assert.equal((await state(page)).k, 5);
  await page.goBack();
  await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting && window.zeboMorlix.state().acc === 0);
  assert.equal((await state(page)).k, 4.75);
  await context.close();
});
