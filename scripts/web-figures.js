// The browser page's figures for docs/benchmarks.md: the site's bytes, the first picture on a slow
// phone and a tap to the repainted canvas. Not a test: it only measures and prints.
//   NODE_PATH=build/web/tests/web/node_modules node scripts/web-figures.js build/web/site [OTHER]
// With a second site (say an older build), the loads of both take turns in the same run.
// A slow phone: 390 x 844 with touch, Chromium's CPU four times slower, 200 KB/s both ways
// with 150 ms latency, no cache, and a fresh profile for each load (no service worker).
'use strict';

const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const sites = process.argv.length > 2 ? process.argv.slice(2) : ['build/web/site'];
const chromium = process.env.QUILLOP_CHROMIUM || '/usr/bin/chromium';
const loads = 7;
const taps = 40;
const phone = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const slowNetwork = { download: 200 * 1000, upload: 200 * 1000, latency: 150 };

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.png': 'image/png', '.webmanifest': 'application/manifest+json' };

function serve(root) {
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, 'http://x').pathname) || 'index.html';
    const file = path.join(root, name);
    if (!fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'text/plain' });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () =>
    resolve({ base: `http://127.0.0.1:${server.address().port}/`, server })));
}

function summary(values, digits) {
  const sorted = [...values].sort((a, b) => a - b);
  const median = sorted[Math.floor(sorted.length / 2)];
  return `${median.toFixed(digits)} ms median of ${values.length} ` +
         `(${sorted[0].toFixed(digits)} to ${sorted[sorted.length - 1].toFixed(digits)})`;
}

async function slowPhonePage(browser) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport(phone);
  await page.setCacheEnabled(false);
  await page.emulateCPUThrottling(4);
  await page.emulateNetworkConditions(slowNetwork);
  return { page, context };
}

// Navigation start to the end of the first putImageData, as the page records it.
async function firstPicture(browser, base) {
  const { page, context } = await slowPhonePage(browser);
  await page.goto(`${base}index.html?3+10+8`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 60000 });
  const milliseconds = Number(await page.$eval('#board', (c) => c.dataset.firstPaintMs));
  await context.close();
  return milliseconds;
}

// From the finger's release (the pointerup's time stamp) to the next animation frame after
// the page's handler has put the new picture on the canvas: the frame that shows it.
async function tapTimes(browser, base, throttled) {
  const { page, context } = await slowPhonePage(browser);
  await page.emulateNetworkConditions(null);
  if (!throttled) {
    await page.emulateCPUThrottling(null);
  }
  const times = [];
  const delivered = [];
  const handler = [];
  for (let round = 0; times.length < taps && round < 10; ++round) {
    await page.goto(`${base}index.html?3+10+8`);
    await page.waitForSelector('canvas[data-first-paint-ms]');
    await page.evaluate(() => {
      window.tapTimes = [];
      document.getElementById('board').addEventListener('pointerup', (event) => {
        const released = event.timeStamp;
        const handled = performance.now();
        requestAnimationFrame(() => window.tapTimes.push([performance.now() - released,
                                                          handled - released]));
      }, { capture: true });
    });
    for (let i = 0; i < 20 && times.length < taps; ++i) {
      const before = await page.evaluate(() => window.tapTimes.length);
      // Low on the board, where groups stay longest.
      await page.touchscreen.tap(10 + (i * 37) % 370, 300 - (i % 4) * 39);
      await page.waitForFunction((n) => window.tapTimes.length > n, {}, before);
      const [total, reached] = (await page.evaluate(() => window.tapTimes)).at(-1);
      times.push(total);
      delivered.push(reached);
      handler.push(Number(await page.$eval('#board', (c) => c.dataset.pressMs)));
    }
  }
  await context.close();
  return { times, delivered, handler };
}

function printTaps(label, { times, delivered, handler }) {
  console.log(`tap to the repainted canvas, ${label}: ${summary(times, 1)}`);
  console.log(`  of which release to the handler: ${summary(delivered, 1)}`);
  console.log(`  of which the handler, move and paint: ${summary(handler, 2)}`);
}

function printBytes(site) {
  const files = fs.readdirSync(site).sort();
  let total = 0;
  for (const name of files) {
    const bytes = fs.statSync(path.join(site, name)).size;
    total += bytes;
    console.log(`  ${name.padEnd(24)} ${String(bytes).padStart(8)} bytes`);
  }
  console.log(`  ${'all'.padEnd(24)} ${String(total).padStart(8)} bytes`);
}

async function main() {
  const browser = await puppeteer.launch({
    executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  const hosts = [];
  for (const site of sites) {
    console.log(site);
    printBytes(site);
    hosts.push({ site, ...(await serve(site)), pictures: [] });
  }
  for (let i = 0; i < loads; ++i) {
    for (const host of hosts) {
      host.pictures.push(await firstPicture(browser, host.base));
    }
  }
  for (const host of hosts) {
    console.log(`${host.site}`);
    console.log(`first picture, slow phone: ${summary(host.pictures, 0)}`);
    printTaps('4x slower CPU', await tapTimes(browser, host.base, true));
    printTaps('full speed', await tapTimes(browser, host.base, false));
    host.server.close();
  }
  await browser.close();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
