// Measures the page in headless chromium (a benchmark, not a test): its size,
// the time from opening the file to the first frame drawn and waiting, the time
// of a frame from the key that releases it to the next wait, with and without
// the overlays, a jump to the last frame, and while a link of 20,000 steps
// replays the page's own tasks over 50 ms and the browser's longest task; and
// for piled frames (ZM_PILE of them, 20,000 unless told) the tasks over 50 ms
// during their replay, after real window resizes, a ratio change and the saves,
// and the renderers' memory afterwards (their proportional set size, and how
// much the tab added to it) with its JavaScript heap (ZM_PILES_ONLY=1: the piles'
// figures alone).   ZM_PAGE=build-web/web/zebo-morlix.html node tests/web/bench.mjs
import { chromium } from "playwright-core";
import { readFileSync, existsSync } from "node:fs";
import { pathToFileURL } from "node:url";
import { gzipSync } from "node:zlib";
import { loadavg } from "node:os";

const url = pathToFileURL(process.env.ZM_PAGE).href;
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync"],
});
const median = a => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];
const bytes = readFileSync(process.env.ZM_PAGE);
console.log(`page: ${(bytes.length / 1000).toFixed(1)} KB, ${(gzipSync(bytes, { level: 9 }).length / 1000).toFixed(1)} KB with gzip`);
console.log(`load average when started: ${loadavg().map(l => l.toFixed(2)).join(", ")}`);

const pilesOnly = process.env.ZM_PILES_ONLY === "1"; // the piled frames' figures alone
if (!pilesOnly) {
  const firsts = [];
  for (let i = 0; i < 15; i++) {
    const page = await browser.newPage();
    await page.goto(url);
    await page.waitForFunction(() => performance.getEntriesByName("zm-wait").length > 0);
    firsts.push(await page.evaluate(() => performance.getEntriesByName("zm-wait")[0].startTime));
    await page.close();
  }
  console.log(`first frame drawn and waiting: median ${median(firsts).toFixed(0)} ms after opening (of ${firsts.length})`);

  for (const [what, hash] of [["frame", ""], ["frame with overlays", "#keys=backspace"]]) {
    const page = await browser.newPage();
    await page.goto(url + hash);
    await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting);
    const times = [];
    for (let i = 0; i < 40; i++) {
      const f = await page.evaluate(() => window.zeboMorlix.state().frame);
      await page.keyboard.press(i % 2 ? "," : "x");
      await page.waitForFunction(f => window.zeboMorlix.state().waiting && window.zeboMorlix.state().frame > f, f);
      times.push(await page.evaluate(() => {
        const input = performance.getEntriesByName("zm-input").at(-1).startTime;
        return performance.getEntriesByName("zm-wait").at(-1).startTime - input;
      }));
    }
    console.log(`${what}: median ${median(times).toFixed(2)} ms, slowest ${Math.max(...times).toFixed(2)} ms (of ${times.length})`);
    await page.close();
  }
  {
    const page = await browser.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting);
    const times = [];
    for (let i = 0; i < 5; i++) {
      for (const [n, k] of [["0", 4.5], ["62", 20]]) {
        await page.locator("#jump").fill(n);
        await page.waitForFunction(k => window.zeboMorlix.state().waiting && window.zeboMorlix.state().k === k, k);
      }
      times.push(await page.evaluate(() =>
        performance.getEntriesByName("zm-wait").at(-1).startTime - performance.getEntriesByName("zm-input").at(-1).startTime));
    }
    console.log(`jump to the last frame: median ${median(times).toFixed(0)} ms, slowest ${Math.max(...times).toFixed(0)} ms (of ${times.length}; target under 500 ms)`);
    await page.close();
  }

  {
    const context = await browser.newContext();
    await context.addInitScript(() => {
      window.zmTasks = [];
      new PerformanceObserver(list => window.zmTasks.push(...list.getEntries().map(e => [e.startTime, e.duration])))
        .observe({ type: "longtask" });
    });
    const page = await context.newPage();
    const opened = Date.now();
    await page.goto(url + "#keys=" + "x%20comma%20".repeat(10000));
    await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting, null, { timeout: 600000 });
    const seconds = (Date.now() - opened) / 1000;
    const [own, longest] = await page.evaluate(() => {
      const first = performance.getEntriesByName("zm-first-yield")[0].startTime;
      return [performance.getEntriesByName("zm-long-task").map(e => Math.round(e.duration)),
              Math.max(0, ...window.zmTasks.filter(([start]) => start >= first).map(([, d]) => d))];
    });
    console.log(`a link of 20,000 steps: played in ${seconds.toFixed(1)} s; the page's own tasks over 50 ms: [${own}]; ` +
                `the browser's longest task after the first frame ${longest.toFixed(0)} ms`);
    await context.close();
  }
}

// Piled frames: a pile of 110 frames (still segments) and one of ZM_PILE.
{
  const tasksOver50 = page => page.evaluate(() => {
    const t = window.zmTasks.map(([, d]) => Math.round(d));
    window.zmTasks = [];
    return t;
  });
  const fitted = async page => {
    await page.waitForFunction(() => {
      const c = document.getElementById("canvas"), r = c.getBoundingClientRect(), d = devicePixelRatio;
      return c.width === Math.round(r.width * d) && c.height === Math.round(r.height * d) && window.zeboMorlix.state().waiting;
    });
    await page.waitForTimeout(300);
  };
  // The proportional set size of the browser's renderer processes (memory
  // shared between them counted once), in MiB.
  const rendererMemory = async () => {
    const cdp = await browser.newBrowserCDPSession();
    const { processInfo } = await cdp.send("SystemInfo.getProcessInfo");
    await cdp.detach();
    let kb = 0;
    for (const p of processInfo.filter(p => p.type === "renderer")) {
      const file = `/proc/${p.id}/smaps_rollup`;
      if (existsSync(file)) kb += Number(/Pss:\s+(\d+)/.exec(readFileSync(file, "utf8"))?.[1] || 0);
    }
    return kb / 1024;
  };
  for (const frames of [110, Number(process.env.ZM_PILE || 20000)]) {
    const idle = await rendererMemory();
    const context = await browser.newContext({ viewport: null });
    await context.addInitScript(() => {
      window.zmTasks = [];
      new PerformanceObserver(list => window.zmTasks.push(...list.getEntries().map(e => [e.startTime, e.duration])))
        .observe({ type: "longtask" });
    });
    const page = await context.newPage();
    const cdp = await context.newCDPSession(page);
    const { windowId } = await cdp.send("Browser.getWindowForTarget");
    const resize = async width => {
      await cdp.send("Browser.setWindowBounds", { windowId, bounds: { width, height: 900 } });
      await page.waitForFunction(w => innerWidth === w, width);
      await fitted(page);
    };
    await cdp.send("Browser.setWindowBounds", { windowId, bounds: { width: 1500, height: 900 } });
    const opened = Date.now();
    await page.goto(url + "#keys=" + encodeURIComponent(`slash comma*${frames}`));
    await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting, null, { timeout: 3600000 });
    const seconds = (Date.now() - opened) / 1000;
    const replay = await page.evaluate(() => {
      const first = performance.getEntriesByName("zm-first-yield")[0].startTime;
      return window.zmTasks.filter(([start]) => start >= first).map(([, d]) => Math.round(d));
    });
    await tasksOver50(page);
    const seen = [];
    for (const width of [390, 700, 1500]) {
      await resize(width);
      seen.push([`window ${width}`, await tasksOver50(page)]);
    }
    await cdp.send("Emulation.setDeviceMetricsOverride", { width: 1100, height: 900, deviceScaleFactor: 2, mobile: false });
    await fitted(page);
    seen.push(["ratio 2", await tasksOver50(page)]);
    await cdp.send("Emulation.clearDeviceMetricsOverride");
    await fitted(page);
    seen.push(["ratio 1", await tasksOver50(page)]);
    for (const button of ["Save SVG", "Save data (CSV)", "Save picture (PNG)"]) {
      const started = Date.now();
      const refusals = await page.evaluate(() => document.getElementById("status").textContent.split("Not saved").length);
      const saved = page.waitForEvent("download", { timeout: 60000 }).then(() => "saved", () => "not saved");
      await page.getByRole("button", { name: button, exact: true }).click();
      const how = await Promise.race([saved, page.waitForFunction(n => document.getElementById("status").textContent.split("Not saved").length > n,
                                                                  refusals, { timeout: 60000 })
        .then(() => "refused: the renderer's job", () => "not saved")]);
      seen.push([`${button} (${how} in ${Date.now() - started} ms)`, await tasksOver50(page)]);
    }
    await cdp.send("Performance.enable");
    const heap = (await cdp.send("Performance.getMetrics")).metrics.find(m => m.name === "JSHeapUsedSize").value / 1048576;
    const memory = await rendererMemory();
    console.log(`a pile of ${frames} frames: replayed in ${seconds.toFixed(1)} s, tasks over 50 ms during it [${replay}]; ` +
                `after it ${seen.map(([what, t]) => `${what} [${t}]`).join(", ")}; ` +
                `the renderers' memory ${memory.toFixed(0)} MiB, ${(memory - idle).toFixed(0)} MiB more than before the tab ` +
                `(its JavaScript heap ${heap.toFixed(1)} MiB)`);
    await context.close();
  }
}
// A changed length, from the change to the program's wait at the same frame
// drawn with it (its target: 100 ms at the built-in rows), and the tasks over
// 50 ms meanwhile.
if (!pilesOnly) {
  const context = await browser.newContext({ viewport: { width: 1100, height: 900 } });
  const figures = [];
  for (const keys of ["", "x backspace"]) {
    const page = await context.newPage();
    await page.goto(url + (keys ? "#keys=" + encodeURIComponent(keys) : ""));
    await page.waitForFunction(() => window.zeboMorlix && window.zeboMorlix.state().waiting);
    await page.click("#mechanism summary");
    const from = await page.evaluate(() => performance.now());
    const times = [];
    for (const crank of ["7.5", "8", "6.5", "7", "7.25", "6.75"]) {
      times.push(Math.round(await page.evaluate(async crank => {
        const field = document.getElementById("m-crank"), t0 = performance.now();
        field.value = crank;
        field.dispatchEvent(new Event("input"));
        const wait = () => performance.getEntriesByName("zm-wait").find(e => e.startTime > t0);
        while (!wait()) await new Promise(resolve => setTimeout(resolve, 1));
        return wait().startTime - t0;
      }, crank)));
    }
    const own = await page.evaluate(from =>
      performance.getEntriesByName("zm-long-task").filter(e => e.startTime >= from).map(e => Math.round(e.duration)), from);
    figures.push(`${keys || "no keys"}: median ${median(times)} ms of [${times.join(" ")}], the page's tasks over 50 ms [${own}]`);
    await page.close();
  }
  console.log("a changed crank redrawn (target 100 ms): " + figures.join("; "));
  await context.close();
}
await browser.close();
