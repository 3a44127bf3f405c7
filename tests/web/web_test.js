// The browser page end to end: the built site served over HTTP, a real headless Chromium,
// real mouse presses, the board read off the canvas pixels and every press checked against
// the engine (quillop-board of the release build).
//   QUILLOP_SITE        the built site folder
//   QUILLOP_BOARD_TOOL  quillop-board, the engine
//   QUILLOP_ART_TOOL    quillop-art, which writes the reference tile pictures
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
};

// A static file server for `root` on 127.0.0.1; resolves to its base address. It also serves
// an empty page, blank.html, where the tests decode screenshots: crypto.subtle needs a page
// of such an origin.
function serve(root) {
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
    response.writeHead(200, { 'Content-Type': contentTypes[path.extname(name)] || 'text/plain' });
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

// Opens the page with `query` (with its '?', or '' for none) and waits for the first paint.
// page.problems collects page errors, console errors and failed requests.
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

// Presses the mouse on canvas pixel (x, y), wherever the canvas is in the viewport, and
// waits until the page has repainted. Returns the press's time inside the page in ms.
async function press(page, x, y, button = 'left') {
  await page.$eval('#board', (canvas) => delete canvas.dataset.pressMs);
  const area = await page.$eval('#board', (canvas) => {
    const box = canvas.getBoundingClientRect();
    return { left: box.left, top: box.top };
  });
  await page.mouse.click(area.left + x + 0.5, area.top + y + 0.5, { button });
  await page.waitForSelector('canvas[data-press-ms]', { timeout: 5000 });
  return Number(await page.$eval('#board', (canvas) => canvas.dataset.pressMs));
}

// A press on the page and the same on the engine; then the canvas must show what the engine
// shows. Returns the press's time inside the page.
async function pressAndCheck(page, game, x, y, button = 'left') {
  game.lines.push(button === 'left' ? `click ${Math.floor(x / 64)} ${Math.floor(y / 64)}`
                                    : 'restore');
  const milliseconds = await press(page, x, y, button);
  const expected = engineBoard(game);
  const seen = await readBoard(page, game.columns, game.rows);
  assert.deepEqual(seen, expected,
                   `after ${game.lines.slice(-1)}: canvas\n${describe(seen)}\nengine\n` +
                   describe(expected));
  return milliseconds;
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
  // The screen shows the canvas's own pixels: no scaling, no smoothing.
  assert.deepEqual(await readScreenCells(page, decoder, 10, 8), cells,
                   'the screen differs from the canvas');
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

test('moves: pixel positions stay exact on a scrolled and zoomed page', async () => {
  const page = await openPage(browser, server.base, '?3+10+8',
                              { width: 300, height: 200, deviceScaleFactor: 2 });
  const game = startGame(await readBoard(page, 10, 8));
  const random = randomSource(3);
  for (let i = 0; i < 8; ++i) {
    // A short game can end before eight moves: then a right press brings the deal back.
    const cell = findCell(engineBoard(game), isGroup);
    const button = cell === null ? 'right' : 'left';
    const x = cell === null ? random(640) : cell.column * 64 + random(64);
    const y = cell === null ? random(512) : cell.row * 64 + random(64);
    // Bring the pixel into view, at a scroll position that is no multiple of a cell.
    await page.evaluate((left, top) => scrollTo(left, top),
                        Math.max(0, x - 150 - random(50)), Math.max(0, y - 100 - random(50)));
    await pressAndCheck(page, game, x, y, button);
  }
  assert.deepEqual(page.problems, []);
  await page.close();
});

// The same checks against a copy of the site broken on purpose must fail: the tests can fail.
test('broken: checks fail on a page broken on purpose', async () => {
  const breakages = [
    ['page.js', 'quillop._quillop_left_button(pixel.x, pixel.y)',
     'quillop._quillop_left_button(pixel.y, pixel.x)'],
    ['page.js', 'new ImageData(bytes, canvas.width, canvas.height), 0, 0)',
     'new ImageData(bytes, canvas.width, canvas.height), 1, 0)'],
    ['index.html', 'image-rendering: pixelated;', 'width: 639px;'],
  ];
  for (const [name, good, bad] of breakages) {
    const copy = freshFolder();
    for (const file of fs.readdirSync(site)) {
      fs.copyFileSync(path.join(site, file), path.join(copy, file));
    }
    const text = fs.readFileSync(path.join(copy, name), 'utf8');
    assert.ok(text.includes(good), `${name} no longer holds: ${good}`);
    fs.writeFileSync(path.join(copy, name), text.replace(good, bad));
    const broken = await serve(copy);
    const page = await openPage(browser, broken.base, '?3+10+8');
    await assert.rejects(async () => {
      assert.deepEqual(await readScreenCells(page, decoder, 10, 8), await readCells(page, 10, 8),
                       'the screen differs from the canvas');
      await playChecked(page, 5);
    }, assert.AssertionError, `${name}: ${bad}`);
    await page.close();
    broken.close();
  }
});
