// The browser page end to end: the built site served over HTTP, a real headless Chromium,
// real mouse presses and, on an emulated phone, real touches, the board read off the canvas
// pixels and every press checked against the engine (quillop-board of the release build).
//   QUILLOP_SITE        the built site folder
//   QUILLOP_BOARD_TOOL  quillop-board, the engine
//   QUILLOP_ART_TOOL    quillop-art, which writes the reference tile pictures
//   QUILLOP_CMAKE       cmake, to stamp a changed copy of the site as the build does
//   QUILLOP_WEB_SOURCE  app/web, with the service worker's source and the stamping script
//   QUILLOP_CHROMIUM    the browser (default /usr/bin/chromium)
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const site = process.env.QUILLOP_SITE;
const boardTool = process.env.QUILLOP_BOARD_TOOL;
const artTool = process.env.QUILLOP_ART_TOOL;
const cmake = process.env.QUILLOP_CMAKE || 'cmake';
const webSource = process.env.QUILLOP_WEB_SOURCE;
const chromium = process.env.QUILLOP_CHROMIUM || '/usr/bin/chromium';

const tileSide = 64;
const whiteCell = -1;    // nothing drawn: the white background shows
const unknownCell = -2;  // neither a tile nor white
const cellOfTile = [0, 1, 2, 4, 8, 16];

// ---- Files, server, browser ----------------------------------------------------------------

const folders = [];
function freshFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillop-web-'));
  folders.push(folder);
  return folder;
}

const contentTypes = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.png': 'image/png', '.webmanifest': 'application/manifest+json',
};

// A static file server for `root` on 127.0.0.1; resolves to its base address. It also serves
// an empty page, blank.html, where the tests decode screenshots: crypto.subtle needs a page
// of such an origin. `headers` go with every file.
function serve(root, headers = {}) {
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, 'http://x').pathname) || 'index.html';
    if (name === 'blank.html') {
      response.writeHead(200, { 'Content-Type': 'text/html' });
      response.end('<!doctype html><title>blank</title>');
      return;
    }
    const file = path.join(root, name);
    if (!fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': contentTypes[path.extname(name)] || 'text/plain',
                              ...headers });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({ base: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() });
    });
  });
}

async function launchBrowser() {
  return puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: freshFolder(),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// A phone of 390 x 844 CSS pixels with a touch screen.
const phone = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };

const sleep = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

// Opens the page with `query` (with its '?', or '' for none) in a browser or a browser
// context and waits for the first paint. page.problems collects page errors, console
// errors and failed requests.
async function openPage(browser, base, query, viewport = { width: 800, height: 600 }) {
  const page = await browser.newPage();
  page.problems = [];
  page.on('pageerror', (error) => page.problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') {
      page.problems.push(`console: ${message.text()}`);
    }
  });
  page.on('requestfailed', (request) => page.problems.push(`failed: ${request.url()}`));
  page.on('response', (response) => {
    if (response.status() >= 400) {
      page.problems.push(`${response.status()}: ${response.url()}`);
    }
  });
  await page.setViewport(viewport);
  await page.goto(`${base}index.html${query}`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  await page.evaluate(digestCellsSource);
  return page;
}

// ---- Pixels ---------------------------------------------------------------------------------

// Installed in a page: the SHA-256 of each 64 x 64 cell of a red-green-blue-alpha picture
// `width` pixels wide, in hex, one row of cells a line. Only the digests leave the browser:
// carrying the pixels out takes far longer.
const digestCellsSource = `window.quillopDigestCells = async (bytes, width, columns, rows) => {
  const rowBytes = 64 * 4;
  const cells = [];
  for (let row = 0; row < rows; ++row) {
    const line = [];
    for (let column = 0; column < columns; ++column) {
      const cell = new Uint8Array(64 * rowBytes);
      for (let y = 0; y < 64; ++y) {
        const at = ((row * 64 + y) * width + column * 64) * 4;
        cell.set(bytes.subarray(at, at + rowBytes), y * rowBytes);
      }
      const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', cell));
      line.push(Array.from(digest, (byte) => byte.toString(16).padStart(2, '0')).join(''));
    }
    cells.push(line);
  }
  return cells;
};`;

// The digests of the canvas's top-left columns x rows cells.
async function readCells(page, columns, rows) {
  return page.evaluate((c, r) => {
    const canvas = document.getElementById('board');
    const image = canvas.getContext('2d').getImageData(0, 0, c * 64, r * 64);
    return window.quillopDigestCells(image.data, c * 64, c, r);
  }, columns, rows);
}

// The digests of what the screen shows of the viewport's top-left columns x rows cells,
// the screenshot decoded by the browser in a page of its own.
async function readScreenCells(page, decoder, columns, rows) {
  const png = await page.screenshot({
    clip: { x: 0, y: 0, width: columns * 64, height: rows * 64 }, encoding: 'base64',
  });
  return decoder.evaluate(async (data, c, r) => {
    const blob = await (await fetch(`data:image/png;base64,${data}`)).blob();
    const bitmap = await createImageBitmap(blob);
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const image = context.getImageData(0, 0, c * 64, r * 64);
    return window.quillopDigestCells(image.data, c * 64, c, r);
  }, png, columns, rows);
}

function sha256(bytes) {
  return crypto.createHash('sha256').update(bytes).digest('hex');
}

// Digest of each tile as the canvas must show it, from the six tiles quillop-art writes:
// one 384 x 64 24-bit bottom-up BMP, index 0 at the left.
function referenceTiles() {
  const file = path.join(freshFolder(), 'tiles.bmp');
  const run = spawnSync(artTool, [file]);
  assert.equal(run.status, 0, `quillop-art failed: ${run.stderr}`);
  const bmp = fs.readFileSync(file);
  const start = bmp.readUInt32LE(10);
  const width = bmp.readInt32LE(18);
  const rowBytes = (width * 3 + 3) & ~3;
  const digests = new Map();
  for (let index = 0; index < 6; ++index) {
    const tile = Buffer.alloc(tileSide * tileSide * 4, 255);
    for (let y = 0; y < tileSide; ++y) {
      for (let x = 0; x < tileSide; ++x) {
        const from = start + (tileSide - 1 - y) * rowBytes + (index * tileSide + x) * 3;
        const to = (y * tileSide + x) * 4;
        tile[to] = bmp[from + 2];
        tile[to + 1] = bmp[from + 1];
        tile[to + 2] = bmp[from];
      }
    }
    digests.set(sha256(tile), index);
  }
  digests.set(sha256(Buffer.alloc(tileSide * tileSide * 4, 255)), whiteCell);
  return digests;
}
let tileOfDigest = null;

// The tile index each cell shows, or whiteCell or unknownCell.
function boardOf(cells) {
  return cells.map((line) => line.map((digest) =>
    (tileOfDigest.has(digest) ? tileOfDigest.get(digest) : unknownCell)));
}

async function readBoard(page, columns, rows) {
  return boardOf(await readCells(page, columns, rows));
}

function describe(board) {
  return board.map((line) => line.map((tile) =>
    tile >= 0 ? String(tile) : (tile === whiteCell ? '.' : '?')).join('')).join('\n');
}

// ---- Engine ---------------------------------------------------------------------------------

// A game: the position the canvas showed at the start and the engine commands played since.
function startGame(board) {
  for (const line of board) {
    for (const tile of line) {
      assert.ok(tile >= 0, `the canvas shows a cell that is no tile:\n${describe(board)}`);
    }
  }
  const lines = [`load ${board[0].length} ${board.length}`];
  for (const line of board) {
    lines.push(line.map((tile) => cellOfTile[tile]).join(' '));
  }
  return { columns: board[0].length, rows: board.length, lines };
}

// What the canvas must show now, by the engine.
function engineBoard(game) {
  const run = spawnSync(boardTool, [], { input: [...game.lines, 'print', ''].join('\n') });
  assert.equal(run.status, 0, `quillop-board failed: ${run.stderr}`);
  assert.equal(String(run.stdout).split('\n')[0], '1', 'quillop-board refused the position');
  const printed = String(run.stdout).trim().split('\n').slice(-game.rows);
  return printed.map((line) => line.trim().split(/ +/).map((cell) => cellOfTile.indexOf(+cell)));
}

function hasMatchingNeighbour(board, column, row) {
  const tile = board[row][column];
  const at = (c, r) => (board[r] !== undefined ? board[r][c] : undefined);
  return tile > 0 && [at(column - 1, row), at(column + 1, row), at(column, row - 1),
                      at(column, row + 1)].includes(tile);
}

function findCell(board, wanted) {
  for (let row = board.length - 1; row >= 0; --row) {
    for (let column = 0; column < board[row].length; ++column) {
      if (wanted(board, column, row)) {
        return { column, row };
      }
    }
  }
  return null;
}
const isGroup = hasMatchingNeighbour;
const isLoneTile = (board, column, row) =>
  board[row][column] > 0 && !hasMatchingNeighbour(board, column, row);
const isEmpty = (board, column, row) => board[row][column] === 0;

// A small fixed generator, so that a failing run can be repeated.
function randomSource(seed) {
  let state = seed >>> 0;
  return (limit) => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return Math.floor((state / 2 ** 32) * limit);
  };
}

async function canvasSize(page) {
  return page.$eval('#board', (canvas) => ({ width: canvas.width, height: canvas.height }));
}

// Where the canvas is on the screen, in CSS pixels, and its picture's size. A phone can
// scroll the visual viewport inside the layout one, which the page's coordinates count from.
async function shownArea(page) {
  return page.$eval('#board', (canvas) => {
    const box = canvas.getBoundingClientRect();
    return { left: box.left - visualViewport.offsetLeft, top: box.top - visualViewport.offsetTop,
             width: box.width, height: box.height,
             pictureWidth: canvas.width, pictureHeight: canvas.height };
  });
}

// The viewport point at the middle of canvas pixel (x, y).
function pointOfPixel(area, x, y) {
  return { x: area.left + (x + 0.5) * area.width / area.pictureWidth,
           y: area.top + (y + 0.5) * area.height / area.pictureHeight };
}

// The canvas pixel under viewport point (x, y).
function pixelAtPoint(area, x, y) {
  return { x: Math.floor((x - area.left) * area.pictureWidth / area.width),
           y: Math.floor((y - area.top) * area.pictureHeight / area.height) };
}

async function forgetPress(page) {
  await page.$eval('#board', (canvas) => delete canvas.dataset.pressMs);
}

async function pressTime(page) {
  await page.waitForSelector('canvas[data-press-ms]', { timeout: 5000 });
  return Number(await page.$eval('#board', (canvas) => canvas.dataset.pressMs));
}

// Presses the mouse on canvas pixel (x, y), wherever the canvas is in the viewport and
// however large it is shown, and waits until the page has repainted. Returns the press's
// time inside the page in ms.
async function press(page, x, y, button = 'left') {
  await forgetPress(page);
  const point = pointOfPixel(await shownArea(page), x, y);
  await page.mouse.click(point.x, point.y, { button });
  return pressTime(page);
}

// A press on the page and the same on the engine; then the canvas must show what the engine
// shows. Returns the press's time inside the page.
async function pressAndCheck(page, game, x, y, button = 'left') {
  game.lines.push(button === 'left' ? `click ${Math.floor(x / 64)} ${Math.floor(y / 64)}`
                                    : 'restore');
  const milliseconds = await press(page, x, y, button);
  await checkBoard(page, game);
  return milliseconds;
}

// The canvas must show what the engine shows after the game's commands.
async function checkBoard(page, game) {
  const expected = engineBoard(game);
  const seen = await readBoard(page, game.columns, game.rows);
  assert.deepEqual(seen, expected,
                   `after ${game.lines.slice(-1)}: canvas\n${describe(seen)}\nengine\n` +
                   describe(expected));
}

// Taps viewport point (x, y), in whole CSS pixels as a touch screen reports them, and waits
// until the page has repainted.
async function tap(page, x, y) {
  await forgetPress(page);
  await page.touchscreen.tap(x, y);
  return pressTime(page);
}

// The engine's click for a tap at viewport point (x, y).
function clickAtPoint(area, x, y) {
  const pixel = pixelAtPoint(area, x, y);
  return `click ${Math.floor(pixel.x / 64)} ${Math.floor(pixel.y / 64)}`;
}

// A whole viewport point inside cell (column, row), at random.
function pointInCell(area, random, cell) {
  const point = pointOfPixel(area, cell.column * 64 + random(64), cell.row * 64 + random(64));
  return { x: Math.floor(point.x), y: Math.floor(point.y) };
}

// A tap on the page and the same click on the engine; then the canvas must show what the
// engine shows.
async function tapAndCheck(page, game, point) {
  game.lines.push(clickAtPoint(await shownArea(page), point.x, point.y));
  await tap(page, point.x, point.y);
  await checkBoard(page, game);
}

async function pressCell(page, game, cell, random) {
  return pressAndCheck(page, game, cell.column * 64 + random(64), cell.row * 64 + random(64));
}

// Twenty moves on groups and twenty presses anywhere, one in eight a right press, each
// checked against the engine. Returns the times of the presses inside the page.
async function playChecked(page, seed) {
  const random = randomSource(seed);
  const game = startGame(await readBoard(page, 10, 8));
  const times = [];
  for (let i = 0; i < 20; ++i) {
    const cell = findCell(engineBoard(game), isGroup);
    if (cell !== null) {
      times.push(await pressCell(page, game, cell, random));
    }
  }
  for (let i = 0; i < 20; ++i) {
    const button = random(8) === 0 ? 'right' : 'left';
    times.push(await pressAndCheck(page, game, random(640), random(512), button));
  }
  return times;
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// The page shows the board and under it "Quillop", how to play, and the page's own buttons
// and choice of board, with nothing over the board.
async function checkCaption(page) {
  const layout = await page.evaluate(() => ({
    text: document.body.innerText.trim().split(/\n+/),
    boardBottom: document.getElementById('board').getBoundingClientRect().bottom,
    captionTop: document.getElementById('caption').getBoundingClientRect().top,
  }));
  assert.deepEqual(layout.text.slice(0, 2),
                   ['Quillop', 'Click or tap a group of two or more to remove it; ' +
                    'right-click or long-press to bring back the deal.']);
  assert.ok(layout.text.includes('New deal') && layout.text.includes('Play'), layout.text);
  assert.ok(layout.captionTop >= layout.boardBottom, JSON.stringify(layout));
}

// ---- Cases ----------------------------------------------------------------------------------

let browser = null;
let server = null;
let decoder = null;

test.before(async () => {
  assert.ok(site && boardTool && artTool, 'QUILLOP_SITE, QUILLOP_BOARD_TOOL, QUILLOP_ART_TOOL');
  for (const tool of [boardTool, artTool]) {
    assert.ok(fs.existsSync(tool), `${tool} is missing: build the release preset's tools first`);
  }
  tileOfDigest = referenceTiles();
  server = await serve(site);
  browser = await launchBrowser();
  decoder = await browser.newPage();
  await decoder.goto(`${server.base}blank.html`);
  await decoder.evaluate(digestCellsSource);
});

test.after(async () => {
  if (browser !== null) {
    await browser.close();
  }
  if (server !== null) {
    server.close();
  }
  for (const folder of folders) {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

test('page: without a query string, the 3 10 8 game on a 640 x 512 canvas, shown 1:1',
     async (t) => {
  const page = await openPage(browser, server.base, '');
  assert.equal(await page.title(), 'Quillop');
  // A favicon the browser never has to ask the server for.
  assert.match(await page.$eval('link[rel=icon]', (link) => link.href), /^data:/);
  assert.deepEqual(await canvasSize(page), { width: 640, height: 512 });
  const area = await page.$eval('#board', (canvas) => canvas.getBoundingClientRect().toJSON());
  assert.deepEqual([area.left, area.top, area.width, area.height], [0, 0, 640, 512]);

  const cells = await readCells(page, 10, 8);
  const board = boardOf(cells);
  assert.ok(board.flat().every((tile) => tile >= 1 && tile <= 3), describe(board));
  // The screen shows the canvas's own pixels: no scaling, no smoothing, and no smoothing
  // either when the page is zoomed.
  assert.deepEqual(await readScreenCells(page, decoder, 10, 8), cells,
                   'the screen differs from the canvas');
  assert.equal(await page.$eval('#board', (c) => getComputedStyle(c).imageRendering),
               'pixelated');
  await checkCaption(page);
  assert.deepEqual(page.problems, []);
  t.diagnostic(`first paint ${await page.$eval('#board', (c) => c.dataset.firstPaintMs)} ms`);
  await page.close();
});

test('page: the query string is the command line; odd numbers never raise an error',
     async () => {
  const cases = [
    // query, canvas width and height, whether the top-left cell shows a tile
    ['?3+10+8', 640, 512, true],
    ['?3%2010%208', 640, 512, true],
    ['?3%0910%0A8', 640, 512, true],
    ['?5+1+1', 64, 64, true],
    ['?3,10,8', 1, 1, false],
    ['?0x10', 1, 1, false],
    ['?-5+-5+-5', 1, 1, false],
    ['?', 1, 1, false],
    ['?%E0%A4%A+10+8', 1, 1, false],
    ['?3+100000+100000', 4096, 4096, false],  // too big to deal: white, but a working page
    ['?3+300+200', 4096, 4096, true],
  ];
  for (const [query, width, height, tileAtOrigin] of cases) {
    const page = await openPage(browser, server.base, query);
    assert.deepEqual(await canvasSize(page), { width, height }, query);
    if (width >= 64) {
      const shown = (await readBoard(page, 1, 1))[0][0];
      assert.equal(shown >= 1, tileAtOrigin, `${query}: top-left cell shows ${shown}`);
    }
    await press(page, 0, 0);
    await press(page, 0, 0, 'right');
    assert.deepEqual(page.problems, [], query);
    await page.close();
  }
});

test('page: leaving the page releases the board and the tiles; coming back deals anew',
     async () => {
  const page = await openPage(browser, server.base, '?3+10+8');
  await page.evaluate(() => dispatchEvent(new PageTransitionEvent('pagehide')));
  await press(page, 100, 100);
  const released = await readBoard(page, 10, 8);
  assert.ok(released.flat().every((tile) => tile === whiteCell), describe(released));
  await page.evaluate(() => {
    dispatchEvent(new PageTransitionEvent('pageshow', { persisted: true }));
  });
  const board = await readBoard(page, 10, 8);
  assert.ok(board.flat().every((tile) => tile >= 1 && tile <= 3), describe(board));
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('page: when WebAssembly cannot start, one plain line says so', async () => {
  const copy = freshFolder();
  for (const name of ['index.html', 'page.js', 'quillop.js']) {
    fs.copyFileSync(path.join(site, name), path.join(copy, name));
  }
  fs.writeFileSync(path.join(copy, 'quillop.wasm'), 'not a module');
  const broken = await serve(copy);
  const page = await browser.newPage();
  await page.goto(`${broken.base}index.html?3+10+8`);
  await page.waitForSelector('#no-webassembly:not([hidden])', { timeout: 15000 });
  const text = await page.evaluate(() => document.body.innerText.trim());
  assert.match(text, /^Quillop cannot start: [^\n]*WebAssembly[^\n]*$/);
  await page.close();
  broken.close();
});

test('moves: presses change the canvas exactly as the engine predicts', async (t) => {
  const page = await openPage(browser, server.base, '?3+10+8');
  const times = await playChecked(page, 20261208);
  t.diagnostic(`press ${median(times).toFixed(3)} ms median, ${Math.max(...times)} ms most`);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('moves: a lone tile and an empty cell change nothing, but each press repaints',
     async () => {
  const page = await openPage(browser, server.base, '?5+10+8');
  const game = startGame(await readBoard(page, 10, 8));
  const random = randomSource(7);
  let lone = findCell(engineBoard(game), isLoneTile);
  assert.ok(lone !== null, 'five colours on 10 x 8 leave a lone tile');
  const before = await readCells(page, 10, 8);
  await pressCell(page, game, lone, random);
  assert.deepEqual(await readCells(page, 10, 8), before);
  while (findCell(engineBoard(game), isEmpty) === null) {
    await pressCell(page, game, findCell(engineBoard(game), isGroup), random);
  }
  const emptied = await readCells(page, 10, 8);
  await pressCell(page, game, findCell(engineBoard(game), isEmpty), random);
  assert.deepEqual(await readCells(page, 10, 8), emptied);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('moves: a right press restores the deal and opens no context menu', async () => {
  const page = await openPage(browser, server.base, '?3+10+8');
  const dealt = await readCells(page, 10, 8);
  const game = startGame(boardOf(dealt));
  const random = randomSource(11);
  await pressAndCheck(page, game, 5, 5, 'right');
  for (let i = 0; i < 5; ++i) {
    const cell = findCell(engineBoard(game), isGroup);
    if (cell !== null) {
      await pressCell(page, game, cell, random);
    }
  }
  await page.evaluate(() => {
    window.menuSeen = [];
    addEventListener('contextmenu', (event) => window.menuSeen.push(event.defaultPrevented));
  });
  await pressAndCheck(page, game, random(640), random(512), 'right');
  assert.deepEqual(await readCells(page, 10, 8), dealt, 'not the dealt picture');
  assert.deepEqual(await page.evaluate(() => window.menuSeen), [true]);
  await pressCell(page, game, findCell(engineBoard(game), isGroup), random);
  assert.deepEqual(page.problems, []);
  await page.close();
});

// A 300 x 200 window at twice the pixels: the 10 x 8 board is shown 300 wide, the 20 x 16
// one at its smallest, tiles of 24, and the page scrolls both ways.
test('moves: pixel positions stay exact on a scrolled, zoomed and shrunk page', async () => {
  for (const [query, columns, rows, shownWidth] of [['?3+10+8', 10, 8, 300],
                                                     ['?3+20+16', 20, 16, 480]]) {
    const page = await openPage(browser, server.base, query,
                                { width: 300, height: 200, deviceScaleFactor: 2 });
    assert.equal((await shownArea(page)).width, shownWidth, query);
    const game = startGame(await readBoard(page, columns, rows));
    const random = randomSource(3);
    for (let i = 0; i < 8; ++i) {
      // A short game can end before eight moves: then a right press brings the deal back.
      const cell = findCell(engineBoard(game), isGroup);
      const button = cell === null ? 'right' : 'left';
      const x = cell === null ? random(columns * 64) : cell.column * 64 + random(64);
      const y = cell === null ? random(rows * 64) : cell.row * 64 + random(64);
      // Bring the pixel into view, at a scroll position that is no multiple of a cell.
      const scale = shownWidth / columns / 64;
      await page.evaluate((left, top) => scrollTo(left, top),
                          Math.max(0, x * scale - 150 - random(50)),
                          Math.max(0, y * scale - 100 - random(50)));
      await pressAndCheck(page, game, x, y, button);
    }
    assert.deepEqual(page.problems, [], query);
    await page.close();
  }
});

// A mouse or pen button goes down on canvas pixel (x, y) through the browser's input and
// stays down.
async function buttonDown(session, area, x, y, button, pointerType, buttons) {
  const point = pointOfPixel(area, x, y);
  await session.send('Input.dispatchMouseEvent', {
    type: 'mousePressed', x: point.x, y: point.y, button, buttons, clickCount: 1, pointerType,
  });
}

async function buttonUp(session, area, x, y, button, pointerType, buttons) {
  const point = pointOfPixel(area, x, y);
  await session.send('Input.dispatchMouseEvent', {
    type: 'mouseReleased', x: point.x, y: point.y, button, buttons, clickCount: 1, pointerType,
  });
}

test('moves: a mouse or pen press plays before its release; a right press with the left held ' +
     'restores', async () => {
  const page = await openPage(browser, server.base, '?3+10+8');
  const session = await page.createCDPSession();
  const area = await shownArea(page);
  const dealt = await readCells(page, 10, 8);
  const game = startGame(boardOf(dealt));
  const random = randomSource(13);
  for (const pointerType of ['mouse', 'pen', 'mouse', 'pen']) {
    const cell = findCell(engineBoard(game), isGroup);
    if (cell === null) {
      break;
    }
    const x = cell.column * 64 + random(64);
    const y = cell.row * 64 + random(64);
    game.lines.push(`click ${cell.column} ${cell.row}`);
    await forgetPress(page);
    await buttonDown(session, area, x, y, 'left', pointerType, 1);
    await pressTime(page);
    await checkBoard(page, game);
    await forgetPress(page);
    await buttonUp(session, area, x, y, 'left', pointerType, 0);
    await checkBoard(page, game);
    assert.equal(await page.$eval('#board', (c) => c.dataset.pressMs), undefined,
                 `${pointerType}: the release repainted`);
  }
  // The right button pressed while the left is held down comes as a move of the pointer.
  const cell = findCell(engineBoard(game), isGroup) || { column: 0, row: 7 };
  const x = cell.column * 64 + 10;
  const y = cell.row * 64 + 10;
  game.lines.push(`click ${cell.column} ${cell.row}`);
  await forgetPress(page);
  await buttonDown(session, area, x, y, 'left', 'mouse', 1);
  await pressTime(page);
  await checkBoard(page, game);
  game.lines.push('restore');
  await forgetPress(page);
  await buttonDown(session, area, x, y, 'right', 'mouse', 3);
  await pressTime(page);
  await checkBoard(page, game);
  assert.deepEqual(await readCells(page, 10, 8), dealt);
  await buttonUp(session, area, x, y, 'right', 'mouse', 1);
  await buttonUp(session, area, x, y, 'left', 'mouse', 0);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('phone: the board fits the width of a 390 x 844 phone, drawn smoothly, tiles never ' +
     'under 24 pixels', async () => {
  const cases = [
    // query, shown width and height, whether the page scrolls sideways
    ['', 390, 312, false],
    ['?3+12+8', 390, 260, false],
    ['?3+20+8', 480, 192, true],
    ['?3+30+40', 720, 960, true],
    ['?5+2+2', 128, 128, false],  // never above 1:1
  ];
  for (const [query, width, height, sideways] of cases) {
    const page = await openPage(browser, server.base, query, phone);
    const area = await shownArea(page);
    assert.deepEqual([area.left, area.top, area.width, area.height], [0, 0, width, height], query);
    const shown = await page.evaluate(() => ({
      sideways: document.documentElement.scrollWidth > 390,
      scale: visualViewport.scale,
      drawing: getComputedStyle(document.getElementById('board')).imageRendering,
    }));
    assert.deepEqual(shown, { sideways, scale: 1,
                              drawing: width < area.pictureWidth ? 'auto' : 'pixelated' }, query);
    if (query === '') {
      assert.equal(await page.$eval('meta[name=viewport]', (meta) => meta.content),
                   'width=device-width, initial-scale=1');
      await checkCaption(page);
    }
    assert.deepEqual(page.problems, [], query);
    await page.close();
  }
});

test('phone: taps at random cells play exactly the engine moves', async () => {
  const page = await openPage(browser, server.base, '?3+10+8', phone);
  const area = await shownArea(page);
  const game = startGame(await readBoard(page, 10, 8));
  const random = randomSource(20261209);
  for (let i = 0; i < 20; ++i) {
    const cell = findCell(engineBoard(game), isGroup);
    if (cell !== null) {
      await tapAndCheck(page, game, pointInCell(area, random, cell));
    }
  }
  for (let i = 0; i < 15; ++i) {
    await tapAndCheck(page, game, { x: random(390), y: random(312) });
  }
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('phone: two quick taps are two moves, and the page never zooms', async () => {
  const page = await openPage(browser, server.base, '?2+10+8', phone);
  const area = await shownArea(page);
  const game = startGame(await readBoard(page, 10, 8));
  const random = randomSource(17);
  for (let pair = 0; pair < 4; ++pair) {
    // A double tap on one spot, where the browser would zoom: both taps must play.
    const cell = findCell(engineBoard(game), isGroup);
    if (cell === null) {
      break;
    }
    const point = pointInCell(area, random, cell);
    game.lines.push(clickAtPoint(area, point.x, point.y), clickAtPoint(area, point.x, point.y));
    const before = await readCells(page, 10, 8);
    await forgetPress(page);
    await page.touchscreen.tap(point.x, point.y);
    await page.touchscreen.tap(point.x, point.y);
    await pressTime(page);
    await sleep(400);  // a zoom would have begun by now
    await checkBoard(page, game);
    assert.notDeepEqual(await readCells(page, 10, 8), before);
    assert.equal(await page.evaluate(() => visualViewport.scale), 1);
  }
  // Two quick taps on two groups.
  const first = findCell(engineBoard(game), isGroup);
  if (first !== null) {
    const one = pointInCell(area, random, first);
    game.lines.push(clickAtPoint(area, one.x, one.y));
    const second = findCell(engineBoard(game), isGroup) || first;
    const two = pointInCell(area, random, second);
    game.lines.push(clickAtPoint(area, two.x, two.y));
    await forgetPress(page);
    await page.touchscreen.tap(one.x, one.y);
    await page.touchscreen.tap(two.x, two.y);
    await pressTime(page);
    await checkBoard(page, game);
  }
  assert.equal(await page.evaluate(() => visualViewport.scale), 1);
  assert.deepEqual(page.problems, []);
  await page.close();
});

// A long press on a group, where a tap would play: nothing changes while the finger waits,
// then the deal comes back with the finger still down, and its release plays nothing.
async function longPressAndCheck(page, game, dealt, random) {
  const area = await shownArea(page);
  const before = await readCells(page, game.columns, game.rows);
  const cell = findCell(engineBoard(game), isGroup) || { column: 0, row: game.rows - 1 };
  const point = pointInCell(area, random, cell);
  await forgetPress(page);
  const finger = await page.touchscreen.touchStart(point.x, point.y);
  await sleep(250);
  assert.deepEqual(await readCells(page, game.columns, game.rows), before,
                   'the finger down played');
  await pressTime(page);
  assert.deepEqual(await readCells(page, game.columns, game.rows), dealt,
                   'no deal while the finger is down');
  await forgetPress(page);
  await finger.end();
  await sleep(100);
  assert.equal(await page.$eval('#board', (c) => c.dataset.pressMs), undefined,
               'the finger up played');
  game.lines.push('restore');
  await checkBoard(page, game);
}

// Rounds of three taps on groups and a long press, on a phone's page of the 10 x 8 board.
async function playTouchChecked(page, seed, rounds) {
  const area = await shownArea(page);
  const dealt = await readCells(page, 10, 8);
  const game = startGame(boardOf(dealt));
  const random = randomSource(seed);
  for (let round = 0; round < rounds; ++round) {
    for (let i = 0; i < 3; ++i) {
      const cell = findCell(engineBoard(game), isGroup);
      if (cell !== null) {
        await tapAndCheck(page, game, pointInCell(area, random, cell));
      }
    }
    await longPressAndCheck(page, game, dealt, random);
  }
}

test('phone: a long press brings back the deal at once, plays no move and buzzes', async () => {
  const page = await openPage(browser, server.base, '?3+10+8', phone);
  await page.evaluate(() => {
    window.buzzes = [];
    navigator.vibrate = (pattern) => window.buzzes.push(pattern) > 0;
    window.menuSeen = [];
    addEventListener('contextmenu', (event) => window.menuSeen.push(event.defaultPrevented));
  });
  await playTouchChecked(page, 5, 2);
  assert.equal((await page.evaluate(() => window.buzzes)).length, 2);
  assert.ok((await page.evaluate(() => window.menuSeen)).every((prevented) => prevented));
  assert.deepEqual(page.problems, []);
  await page.close();
});

// A finger moved along `points`, a step a frame.
async function drag(page, points) {
  const finger = await page.touchscreen.touchStart(points[0].x, points[0].y);
  for (const point of points.slice(1)) {
    await finger.move(point.x, point.y);
    await sleep(16);
  }
  await finger.end();
  await sleep(300);
}

// Resolves when the page has stopped scrolling: a fling goes on after the finger leaves.
async function waitForRest(page) {
  await page.waitForFunction(() => new Promise((resolve) => {
    const at = () => `${visualViewport.pageLeft} ${visualViewport.pageTop}`;
    const before = at();
    setTimeout(() => resolve(at() === before), 200);
  }), { polling: 100, timeout: 10000 });
}

// The whole viewport point in the middle of the part of the board on the screen: a fling
// may have taken the page past the board's end.
async function middleOfShownBoard(page) {
  const area = await shownArea(page);
  const screen = await page.evaluate(() => [visualViewport.width, visualViewport.height]);
  const middle = (start, length, end) => {
    const [from, to] = [Math.max(start, 0), Math.min(start + length, end)];
    assert.ok(to - from > 8, `the board is off the screen: ${JSON.stringify(area)}`);
    return Math.floor((from + to) / 2);
  };
  return { x: middle(area.left, area.width, screen[0]),
           y: middle(area.top, area.height, screen[1]) };
}

function line(from, to, steps) {
  return Array.from({ length: steps + 1 }, (_, i) => ({
    x: Math.round(from.x + (to.x - from.x) * i / steps),
    y: Math.round(from.y + (to.y - from.y) * i / steps),
  }));
}

test('phone: on a board larger than the screen a drag scrolls the page and plays nothing',
     async () => {
  const page = await openPage(browser, server.base, '?3+30+40', phone);
  const game = startGame(await readBoard(page, 30, 40));
  const dealt = await readCells(page, 30, 40);
  const scrolled = () => page.evaluate(() => [visualViewport.pageLeft, visualViewport.pageTop]);
  assert.deepEqual(await scrolled(), [0, 0]);
  await forgetPress(page);
  await drag(page, line({ x: 200, y: 600 }, { x: 200, y: 300 }, 10));
  const [, down] = await scrolled();
  assert.ok(down > 50, `scrolled ${down} down`);
  await drag(page, line({ x: 300, y: 400 }, { x: 100, y: 400 }, 10));
  const [across] = await scrolled();
  assert.ok(across > 50, `scrolled ${across} across`);
  // A short wander on the board is no tap either, wherever the page lets it go.
  await waitForRest(page);
  const start = await middleOfShownBoard(page);
  await drag(page, line(start, { x: start.x, y: start.y + 12 }, 4));
  assert.equal(await page.$eval('#board', (c) => c.dataset.pressMs), undefined, 'a drag played');
  assert.deepEqual(await readCells(page, 30, 40), dealt);
  // A finger that trembles by a pixel or two still taps, where it came down.
  await waitForRest(page);
  const point = await middleOfShownBoard(page);
  game.lines.push(clickAtPoint(await shownArea(page), point.x, point.y));
  await drag(page, [point, { x: point.x + 2, y: point.y + 1 }, { x: point.x + 3, y: point.y }]);
  await pressTime(page);
  await checkBoard(page, game);
  assert.deepEqual(page.problems, []);
  await page.close();
});

// ---- Could it have been cleared? ------------------------------------------------------------

// The caption's lines that are shown (null for a hidden one) and what the page knows of the
// deal's solve.
async function captionState(page) {
  return page.evaluate(() => {
    const shown = (id) => {
      const element = document.getElementById(id);
      return element.hidden ? null : element.textContent;
    };
    return { result: shown('result'), answer: shown('deal-answer'), button: shown('show-me'),
             state: document.getElementById('verdict').dataset.state };
  });
}

// Resolves with the caption once the solve has answered, or failed.
async function waitForAnswer(page) {
  await page.waitForFunction(() => document.getElementById('verdict').dataset.state !== 'solving',
                             { timeout: 40000, polling: 100 });
  return captionState(page);
}

// quillop-board's deal of the seed and its solve: the board and the answer.
function engineSolve(colours, width, height, seed, seconds) {
  const run = spawnSync(boardTool, [], {
    input: `deal ${colours} ${width} ${height} ${seed}\nprint\nsolve ${seconds}\n` });
  assert.equal(run.status, 0, `quillop-board failed: ${run.stderr}`);
  const lines = String(run.stdout).trim().split('\n');
  const board = lines.slice(1, 1 + height)
    .map((line) => line.trim().split(/ +/).map((cell) => cellOfTile.indexOf(+cell)));
  const [, left, , kind] = lines[1 + height].split(' ');
  return { board, left: Number(left), proven: kind === 'optimal', clicks: lines.slice(2 + height) };
}

function tilesLeftText(tiles) {
  return tiles === 0 ? 'Cleared' : `${tiles} tile${tiles === 1 ? '' : 's'} left`;
}

// The line on what the deal allowed, for a player who left `tiles`.
function answerText(tiles, left, proven) {
  if (tiles === 0) {
    return null;
  }
  if (left === 0) {
    return 'This deal could have been cleared.';
  }
  if (!proven) {
    return `The best found leaves ${left}.`;
  }
  return left < tiles ? `It could have been done with ${left} left.`
                      : `${tiles} is the fewest: no way leaves fewer.`;
}

function tilesOf(board) {
  return board.flat().filter((tile) => tile > 0).length;
}

// Taps the lowest group the engine finds, again and again, until no move is left.
async function playToTheEnd(page, game, random) {
  const area = await shownArea(page);
  for (let cell = findCell(engineBoard(game), isGroup); cell !== null;
       cell = findCell(engineBoard(game), isGroup)) {
    await tapAndCheck(page, game, pointInCell(area, random, cell));
  }
}

// A game of the engine that starts at the dealt board and follows the solver's clicks.
function solverGame(board, clicks) {
  const game = startGame(board);
  game.lines.push(...clicks);
  return game;
}

async function waitForShowEnd(page) {
  await page.waitForFunction(() => document.getElementById('show-me').textContent !== 'Stop',
                             { timeout: 60000, polling: 100 });
}

test('solver: the verdict and "Show me" agree with quillop-board on the same deals',
     async () => {
  // Seed 1 can be cleared; seed 8 leaves 3 tiles at the fewest; in one second seed 44 of
  // 5 colours 10 x 8 is cleared of all it can be but not proven.
  const deals = [[3, 6, 5, 1, 10], [3, 6, 5, 8, 10], [5, 10, 8, 44, 1]];
  for (const [colours, width, height, seed, seconds] of deals) {
    const fragment = `#seed=${seed}` + (seconds !== 10 ? `&seconds=${seconds}` : '');
    const page = await openPage(browser, server.base, `?${colours}+${width}+${height}${fragment}`,
                                phone);
    const engine = engineSolve(colours, width, height, seed, seconds);
    const dealt = await readBoard(page, width, height);
    assert.deepEqual(dealt, engine.board, `seed ${seed}: not the engine's deal`);
    const game = startGame(dealt);
    await playToTheEnd(page, game, randomSource(seed));
    const tiles = tilesOf(engineBoard(game));
    const said = await waitForAnswer(page);
    assert.equal(said.result, tilesLeftText(tiles), `seed ${seed}`);
    if (seconds !== 10) {
      // Not proven either way: what a second finds depends on the machine.
      assert.match(said.answer, /^The best found leaves \d+\.$/);
    } else {
      assert.equal(said.answer, answerText(tiles, engine.left, engine.proven), `seed ${seed}`);
    }
    assert.equal(said.button, 'Show me');
    // The deal comes back at once, then the moves one at a time, and the board ends as the
    // engine's does after the same clicks.
    await page.tap('#show-me');
    assert.equal((await captionState(page)).button, 'Stop');
    assert.deepEqual(await readBoard(page, width, height), dealt, 'the deal is not back');
    await waitForShowEnd(page);
    const bestLeft = Number(said.answer.match(/\d+/)?.[0] ?? 0);
    const shown = await readBoard(page, width, height);
    const after = await captionState(page);
    if (seconds === 10) {
      await checkBoard(page, solverGame(dealt, engine.clicks));
      assert.equal(after.result, tilesLeftText(engine.left));
    } else {
      assert.equal(after.result, tilesLeftText(bestLeft), 'the moves shown leave another count');
      assert.equal(tilesOf(shown), bestLeft);
    }
    assert.deepEqual(page.problems, []);
    await page.close();
  }
});

test('solver: a deal with no move at all says its tiles are the fewest', async () => {
  const page = await openPage(browser, server.base, '?5+2+2#seed=5', phone);
  assert.deepEqual(await waitForAnswer(page),
                   { result: '4 tiles left', answer: '4 is the fewest: no way leaves fewer.',
                     button: null, state: 'answered' });
  await checkCaption(page);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('solver: a tap stops "Show me" where it is, and the game goes on from there',
     async () => {
  const page = await openPage(browser, server.base, '?3+6+5#seed=1', phone);
  const engine = engineSolve(3, 6, 5, 1, 10);
  const dealt = await readBoard(page, 6, 5);
  const game = startGame(dealt);
  await playToTheEnd(page, game, randomSource(3));
  await waitForAnswer(page);
  await page.tap('#show-me');
  await sleep(1100);
  // A tap on a group stops the moves and plays nothing itself.
  const area = await shownArea(page);
  const point = pointInCell(area, randomSource(2), findCell(await readBoard(page, 6, 5), isGroup));
  await page.touchscreen.tap(point.x, point.y);
  const stopped = await readBoard(page, 6, 5);
  await sleep(1200);
  assert.deepEqual(await readBoard(page, 6, 5), stopped, 'the moves went on');
  const played = [...Array(engine.clicks.length).keys()].find((count) =>
    JSON.stringify(engineBoard(solverGame(dealt, engine.clicks.slice(0, count)))) ===
    JSON.stringify(stopped));
  assert.ok(played > 0 && played < engine.clicks.length, `stopped after ${played} moves`);
  assert.equal((await captionState(page)).button, null);
  const from = solverGame(dealt, engine.clicks.slice(0, played));
  const cell = findCell(engineBoard(from), isGroup);
  await tapAndCheck(page, from, pointInCell(area, randomSource(4), cell));
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('solver: taps stay fast while a 5-colour 15 x 15 deal is being solved', async (t) => {
  const page = await openPage(browser, server.base, '?5+15+15#seed=279', phone);
  const area = await shownArea(page);
  const random = randomSource(9);
  const solving = async () => (await captionState(page)).state === 'solving';
  // A fast machine may clear a deal within a few taps; only taps made while the solve ran
  // count, and a deal whose solve ended is dealt anew.
  let game = null;
  let deals = 0;
  const times = [];
  while (times.length < 12) {
    if (game === null || !(await solving())) {
      if (game !== null) {
        await checkBoard(page, game);
        await page.$eval('#new-deal', (button) => button.click());
      }
      assert.ok(++deals <= 6, `six solves in a row ended within ${times.length} taps`);
      await page.waitForFunction(() =>
        document.getElementById('verdict').dataset.state === 'solving');
      game = startGame(await readBoard(page, 15, 15));
    }
    const cell = findCell(engineBoard(game), isGroup);
    const point = pointInCell(area, random, cell);
    game.lines.push(clickAtPoint(area, point.x, point.y));
    const time = await tap(page, point.x, point.y);
    if (await solving()) {
      times.push(time);
    }
  }
  await checkBoard(page, game);
  t.diagnostic(`taps during the solve: median ${median(times)} ms, the slowest ` +
               `${Math.max(...times)} ms, over ${deals} deal(s)`);
  assert.ok(median(times) < 16, `median ${median(times)} ms`);
  await waitForAnswer(page);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('solver: a worker that cannot start, or is refused its memory, says so in one line ' +
     'and the game plays on', async () => {
  const failure = 'Could not work out whether this deal could be cleared.';
  // The worker's script gone, its module gone, or a table larger than the page can have.
  for (const [refused, missing, fragment] of [['worker', 'solver_worker.js', ''],
                                              ['module', 'quillop-solver.wasm', ''],
                                              ['memory', null, '&table=4000']]) {
    const copy = copySite();
    if (missing !== null) {
      fs.rmSync(path.join(copy, missing));
    }
    const host = await serve(copy);
    const page = await openPage(browser, host.base, `?3+10+8#seed=3${fragment}`, phone);
    assert.deepEqual(await waitForAnswer(page),
                     { result: null, answer: failure, button: null, state: 'failed' }, refused);
    const game = startGame(await readBoard(page, 10, 8));
    await playToTheEnd(page, game, randomSource(5));
    const said = await captionState(page);
    assert.equal(said.result, tilesLeftText(tilesOf(engineBoard(game))));
    assert.equal(said.answer, failure);
    await page.close();
    host.close();
  }
});

test('solver: a board larger than the solver takes says it is too large', async () => {
  const page = await openPage(browser, server.base, '?2+65+64', phone);
  const said = await captionState(page);
  assert.equal(said.state, 'too large');
  assert.match(said.answer, /too large/);
  // The game plays all the same.
  const area = await shownArea(page);
  await tap(page, Math.floor(area.left + 40), Math.floor(area.top + 40));
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('solver: "New deal" never deals the board shown, and the board chosen is kept for a ' +
     'page opened bare', async () => {
  const page = await openPage(browser, server.base, '?3+10+8', phone);
  let before = await readCells(page, 10, 8);
  for (let press = 0; press < 4; ++press) {
    await page.tap('#new-deal');
    const after = await readCells(page, 10, 8);
    assert.notDeepEqual(after, before, `press ${press}: the same deal again`);
    before = after;
  }
  await page.select('#choice select[name=colours]', '4');
  await page.$eval('#choice input[name=width]', (field) => { field.value = '7'; });
  await page.$eval('#choice input[name=height]', (field) => { field.value = '9'; });
  await page.tap('#choice button[type=submit]');
  assert.deepEqual(await canvasSize(page), { width: 448, height: 576 });
  assert.equal(await page.evaluate(() => location.search), '?4+7+9');
  const board = await readBoard(page, 7, 9);
  assert.ok(board.flat().every((tile) => tile >= 1 && tile <= 4), describe(board));
  assert.notEqual((await waitForAnswer(page)).state, 'failed');
  await page.goto(`${server.base}index.html`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  await waitForAnswer(page);  // a page left while its worker loads cancels the load
  assert.deepEqual(await canvasSize(page), { width: 448, height: 576 });
  assert.deepEqual(await page.$eval('#choice', (form) =>
    [form.elements.colours.value, form.elements.width.value, form.elements.height.value]),
                   ['4', '7', '9']);
  // A command line still rules.
  await page.goto(`${server.base}index.html?2+3+3`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  assert.deepEqual(await canvasSize(page), { width: 192, height: 192 });
  assert.deepEqual(page.problems, []);
  await page.close();
});

// The digest of each file of the site on disk, by name.
function siteDigests(folder) {
  return Object.fromEntries(fs.readdirSync(folder).sort().map((name) =>
    [name, sha256(fs.readFileSync(path.join(folder, name)))]));
}

// The digest of each file as the page gets it, by name.
async function servedDigests(page, names) {
  return page.evaluate(async (files) => {
    const digests = {};
    for (const name of files) {
      const bytes = await (await fetch(name)).arrayBuffer();
      const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
      digests[name] = Array.from(digest, (byte) => byte.toString(16).padStart(2, '0')).join('');
    }
    return digests;
  }, names);
}

// The name of the cache of the build in `folder`, from its service worker.
function cacheOfBuild(folder) {
  const worker = fs.readFileSync(path.join(folder, 'sw.js'), 'utf8');
  return `quillop-${worker.match(/const build = '([0-9a-f]+)';/)[1]}`;
}

// Resolves when the worker of `cacheName` controls the page and its cache is the only one.
async function waitForWorker(page, cacheName) {
  await page.waitForFunction(async (name) => {
    const registration = await navigator.serviceWorker.getRegistration();
    const names = await caches.keys();
    return registration !== undefined && registration.active !== null &&
           registration.active.state === 'activated' && registration.waiting === null &&
           registration.installing === null && navigator.serviceWorker.controller !== null &&
           names.length === 1 && names[0] === name;
  }, { timeout: 30000, polling: 100 }, cacheName);
}

function copySite() {
  const copy = freshFolder();
  for (const file of fs.readdirSync(site)) {
    fs.copyFileSync(path.join(site, file), path.join(copy, file));
  }
  return copy;
}

test('offline: the page can be installed as an app', async () => {
  const page = await openPage(browser, server.base, '?3+10+8', phone);
  await waitForWorker(page, cacheOfBuild(site));
  const session = await page.createCDPSession();
  assert.deepEqual((await session.send('Page.getInstallabilityErrors')).installabilityErrors, []);
  const manifest = await page.evaluate(async () => {
    const link = document.querySelector('link[rel=manifest]');
    const text = await (await fetch(link.href)).json();
    const sizes = [];
    for (const icon of text.icons) {
      const image = new Image();
      image.src = new URL(icon.src, link.href).href;
      await image.decode();
      sizes.push([icon.purpose || 'any', icon.sizes, `${image.naturalWidth}x${image.naturalHeight}`]);
    }
    return { ...text, start_url: new URL(text.start_url, link.href).href, icons: sizes };
  });
  assert.equal(manifest.name, 'Quillop');
  assert.equal(manifest.start_url, `${server.base}index.html`);
  assert.equal(manifest.display, 'standalone');
  assert.equal(manifest.background_color, '#ffffff');
  assert.equal(manifest.theme_color, '#ffffff');
  assert.deepEqual(manifest.icons, [['any', '192x192', '192x192'], ['any', '512x512', '512x512'],
                                    ['maskable', '512x512', '512x512']]);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('offline: after one visit the page starts with no network', async () => {
  const context = await browser.createBrowserContext();
  const page = await openPage(context, server.base, '?3+10+8', phone);
  await waitForWorker(page, cacheOfBuild(site));
  await page.setOfflineMode(true);
  await page.reload();
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  // Another game than the visited one: the query string is no part of the cached files.
  await page.goto(`${server.base}index.html?5+6+4`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  assert.deepEqual(await canvasSize(page), { width: 384, height: 256 });
  await page.evaluate(digestCellsSource);
  const game = startGame(await readBoard(page, 6, 4));
  const random = randomSource(23);
  const area = await shownArea(page);
  for (let i = 0; i < 3; ++i) {
    const cell = findCell(engineBoard(game), isGroup);
    if (cell !== null) {
      await tapAndCheck(page, game, pointInCell(area, random, cell));
    }
  }
  // Every file, the manifest and the icons too.
  assert.deepEqual(await servedDigests(page, Object.keys(siteDigests(site))), siteDigests(site));
  // The solver's worker and module too: the deal's answer still comes.
  await page.goto(`${server.base}index.html?5+2+2#seed=5`);
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  assert.equal((await waitForAnswer(page)).answer, '4 is the fewest: no way leaves fewer.');
  assert.deepEqual(page.problems, []);
  await page.close();
  await context.close();
});

test('offline: a rebuilt site runs after a reload or two, every file of it and only it',
     async () => {
  const copy = copySite();
  // A host that lets the browser keep every file for an hour.
  const host = await serve(copy, { 'Cache-Control': 'max-age=3600' });
  const context = await browser.createBrowserContext();
  const page = await openPage(context, host.base, '?3+10+8');
  await waitForWorker(page, cacheOfBuild(copy));
  // The build again, with a new page script and page.
  const edit = (name, from, to) => {
    const text = fs.readFileSync(path.join(copy, name), 'utf8');
    assert.ok(text.includes(from), `${name} no longer holds: ${from}`);
    fs.writeFileSync(path.join(copy, name), text.replace(from, to));
  };
  edit('page.js', "'use strict';", "'use strict';\nwindow.quillopRebuilt = true;");
  edit('index.html', '<title>Quillop</title>', '<title>Quillop</title>\n<meta name="rebuilt">');
  const stamp = spawnSync(cmake, [`-DSITE=${copy}`, `-DWORKER=${webSource}/service_worker.js`,
                                  '-P', `${webSource}/stamp_site.cmake`]);
  assert.equal(stamp.status, 0, `stamping failed: ${stamp.stderr}`);
  const newCache = cacheOfBuild(copy);
  const built = () => page.evaluate(() => [window.quillopRebuilt === true,
                                           document.querySelector('meta[name=rebuilt]') !== null]);
  let reloads = 0;
  for (; reloads < 3; ++reloads) {
    const running = await built();
    if (running[0] && running[1]) {
      break;
    }
    assert.deepEqual(running, [false, false], 'old and new files at once');
    if (reloads > 0) {
      // The new build's worker installs while the old page runs, and takes over.
      await waitForWorker(page, newCache);
    }
    await page.reload();
    await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  }
  assert.ok(reloads <= 2, `${reloads} reloads`);
  // What the page gets now comes from the worker's cache alone, and is the new build.
  await page.setOfflineMode(true);
  assert.deepEqual(await servedDigests(page, Object.keys(siteDigests(copy))), siteDigests(copy));
  await page.reload();
  await page.waitForSelector('canvas[data-first-paint-ms]', { timeout: 15000 });
  assert.deepEqual(await built(), [true, true]);
  await page.close();
  await context.close();
  host.close();
});

// The same checks against a copy of the site broken on purpose must fail: the tests can fail.
test('broken: checks fail on a page broken on purpose', async () => {
  const breakages = [
    // file, good text, bad text, whether the touch checks on a phone must find it
    ['page.js', 'quillop._quillop_left_button(pixel.x, pixel.y)',
     'quillop._quillop_left_button(pixel.y, pixel.x)', false],
    ['page.js', 'new ImageData(bytes, canvas.width, canvas.height), 0, 0)',
     'new ImageData(bytes, canvas.width, canvas.height), 1, 0)', false],
    ['index.html', 'image-rendering: pixelated;', 'width: 639px;', false],
    ['page.js', 'const longPressMs = 500;', 'const longPressMs = 100;', true],
    ['page.js', '  fingers.set(event.pointerId, finger);',
     '  fingers.set(event.pointerId, finger);\n  leftPress(quillop, finger.pixel);', true],
  ];
  for (const [name, good, bad, touch] of breakages) {
    const copy = freshFolder();
    for (const file of fs.readdirSync(site)) {
      fs.copyFileSync(path.join(site, file), path.join(copy, file));
    }
    const text = fs.readFileSync(path.join(copy, name), 'utf8');
    assert.ok(text.includes(good), `${name} no longer holds: ${good}`);
    fs.writeFileSync(path.join(copy, name), text.replace(good, bad));
    const broken = await serve(copy);
    const page = await openPage(browser, broken.base, '?3+10+8', touch ? phone : undefined);
    await assert.rejects(async () => {
      if (touch) {
        await playTouchChecked(page, 5, 2);
      } else {
        assert.deepEqual(await readScreenCells(page, decoder, 10, 8),
                         await readCells(page, 10, 8), 'the screen differs from the canvas');
        await playChecked(page, 5);
      }
    }, assert.AssertionError, `${name}: ${bad}`);
    await page.close();
    broken.close();
  }
});
