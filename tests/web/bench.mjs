// Measures the page in headless chromium (a benchmark, not a test): the time
// from opening the file to the first frame drawn and waiting, and the time of a
// frame from the key that releases it to the next wait, with and without the
// overlays.   ZM_PAGE=build-web/web/zebo-morlix.html node tests/web/bench.mjs
import { chromium } from "playwright-core";
import { pathToFileURL } from "node:url";

const url = pathToFileURL(process.env.ZM_PAGE).href;
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync"],
});
const median = a => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];

const firsts = [];
for (let i = 0; i < 7; i++) {
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
await browser.close();
