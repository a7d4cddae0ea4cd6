// Measures the page in headless chromium (a benchmark, not a test): its size,
// the time from opening the file to the first frame drawn and waiting, the time
// of a frame from the key that releases it to the next wait, with and without
// the overlays, a jump to the last frame, and while a link of 20,000 steps
// replays the page's own tasks over 50 ms and the browser's longest task.   ZM_PAGE=build-web/web/zebo-morlix.html node tests/web/bench.mjs
import { chromium } from "playwright-core";
import { readFileSync } from "node:fs";
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
await browser.close();
