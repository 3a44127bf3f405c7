// The page's events turned into calls of the game's module (app/web/main_web.cpp).
'use strict';

const canvas = document.getElementById('board');
const context = canvas.getContext('2d');

// A tile is never shown smaller than this many CSS pixels: the page scrolls instead.
const smallestTile = 24;
// A finger held this long without moving brings back the deal.
const longPressMs = 500;
// A finger that wanders further than this (CSS pixels) is a drag, and plays nothing.
const tapSlop = 8;

// The board last chosen in the page, kept on the device.
const choiceKey = 'quillop-board';

function lastChoice() {
  try {
    return localStorage.getItem(choiceKey);
  } catch (error) {
    return null;  // storage refused: the usual game
  }
}

// The query string is the command line: everything after '?', '+' read as a blank.
// A page opened without one (an installed app starts so) starts the last choice, else the
// usual game.
function commandTail() {
  const address = location.href.split('#')[0];
  const at = address.indexOf('?');
  if (at < 0) {
    return lastChoice() || '3 10 8';
  }
  const text = address.slice(at + 1).replace(/\+/g, ' ');
  try {
    return decodeURIComponent(text);
  } catch (error) {
    return text;  // a stray '%' stays as typed and ends the reading like any other letter
  }
}

function paint(quillop) {
  const pixels = quillop._quillop_paint();
  const bytes = new Uint8ClampedArray(quillop.HEAPU8.buffer, pixels,
                                      canvas.width * canvas.height * 4);
  context.putImageData(new ImageData(bytes, canvas.width, canvas.height), 0, 0);
}

// The canvas pixel under the pointer, whatever the page's scroll, zoom and shown size.
function canvasPixel(event) {
  const area = canvas.getBoundingClientRect();
  return {
    x: Math.floor((event.clientX - area.left) * canvas.width / area.width),
    y: Math.floor((event.clientY - area.top) * canvas.height / area.height),
  };
}

// Plays a press and repaints, timing both for the tests and the figures in docs/benchmarks.md.
function play(quillop, action) {
  const start = performance.now();
  action();
  paint(quillop);
  canvas.dataset.pressMs = (performance.now() - start).toFixed(3);
  showVerdict(quillop);
}

function leftPress(quillop, pixel) {
  play(quillop, () => quillop._quillop_left_button(pixel.x, pixel.y));
}

function rightPress(quillop) {
  play(quillop, () => quillop._quillop_right_button());
}

// Mouse and pen: a press plays at once, before its release.
function buttonPress(quillop, event) {
  if (event.button === 0) {
    if (stopShowing(quillop)) {
      return;  // the press only stops the moves being shown
    }
    leftPress(quillop, canvasPixel(event));
  } else if (event.button === 2) {
    stopShowing(quillop);
    rightPress(quillop);
  }
}

// The fingers on the canvas by pointer id. A finger stays `live` while it can still end as a
// tap or a long press: it has not wandered, no other finger came, no long press fired.
const fingers = new Map();

function endLive(finger) {
  finger.live = false;
  clearTimeout(finger.timer);
}

function fingerDown(quillop, event) {
  // A second finger makes a pinch or a scroll of every finger down.
  const alone = fingers.size === 0;
  fingers.forEach(endLive);
  // A tap that stops the moves being shown plays nothing; a long press still restores.
  const finger = { live: alone, pixel: canvasPixel(event), x: event.clientX, y: event.clientY,
                   timer: 0, stoppedShow: stopShowing(quillop) };
  if (alone) {
    finger.timer = setTimeout(() => {
      endLive(finger);
      rightPress(quillop);
      // A short buzz where the device can, and once the page may: before the first tap a
      // browser refuses it with a console message.
      if (navigator.vibrate && navigator.userActivation?.hasBeenActive !== false) {
        navigator.vibrate(30);
      }
    }, longPressMs);
  }
  fingers.set(event.pointerId, finger);
}

function fingerMove(event) {
  const finger = fingers.get(event.pointerId);
  if (finger !== undefined && finger.live &&
      Math.hypot(event.clientX - finger.x, event.clientY - finger.y) > tapSlop) {
    endLive(finger);
  }
}

// A tap plays where the finger came down, at once on its release.
function fingerUp(quillop, event) {
  const finger = fingers.get(event.pointerId);
  if (finger === undefined) {
    return;
  }
  fingers.delete(event.pointerId);
  if (finger.live) {
    endLive(finger);
    if (!finger.stoppedShow) {
      leftPress(quillop, finger.pixel);
    }
  }
}

// The browser took the finger over, for a scroll or a zoom.
function fingerCancelled(event) {
  const finger = fingers.get(event.pointerId);
  if (finger !== undefined) {
    endLive(finger);
    fingers.delete(event.pointerId);
  }
}

function listen(quillop) {
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'touch') {
      fingerDown(quillop, event);
    } else {
      buttonPress(quillop, event);
    }
  });
  canvas.addEventListener('pointermove', (event) => {
    if (event.pointerType === 'touch') {
      fingerMove(event);
    } else if ((event.button === 0 && (event.buttons & 1)) ||
               (event.button === 2 && (event.buttons & 2))) {
      // A button pressed while another is held comes as a move, not as a pointerdown.
      buttonPress(quillop, event);
    }
  });
  canvas.addEventListener('pointerup', (event) => fingerUp(quillop, event));
  canvas.addEventListener('pointercancel', fingerCancelled);
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());
}

// Smooth when shown smaller than its picture, pixel-sharp otherwise.
function followShownSize() {
  const shrunk = () => {
    canvas.classList.toggle('shrunk', canvas.getBoundingClientRect().width < canvas.width);
  };
  new ResizeObserver(shrunk).observe(canvas);
  shrunk();
}

// ---- Could it have been cleared? ----------------------------------------------------------

// Each deal is solved in a Web Worker within these: a phone gives a page this much.
const solveSeconds = 10;
const tableMib = 64;
const beamMib = 64;
// Above this many cells the solver does not take a board.
const mostSolverCells = 4096;

// For tests only: '#seed=N' deals seed N instead of the clock's, '#seconds=S' solves for S
// seconds and '#table=MIB' asks the worker for a table of MIB MiB.
function testSetting(name) {
  const value = new URLSearchParams(location.hash.slice(1)).get(name);
  return value !== null && /^[0-9]+$/.test(value) ? Number(value) : null;
}

const verdict = document.getElementById('verdict');
const resultLine = document.getElementById('result');
const dealLine = document.getElementById('deal-answer');
const showButton = document.getElementById('show-me');

let solverWorker = null;
// Whether the worker's module has loaded, and whether it is solving: only a solve that has
// begun needs the worker ended to stop it.
let solverReady = false;
let solverBusy = false;
let dealNumber = 0;
// What is known of the current deal: 'solving', 'answered', 'failed' or 'too large'.
let dealState = 'solving';
let answer = null;
let solveStarted = 0;
// The solver's moves being played for the player, one at a time.
let showing = null;

function tilesLeftText(tiles) {
  if (tiles === 0) {
    return 'Cleared';
  }
  return tiles === 1 ? '1 tile left' : `${tiles} tiles left`;
}

// What the deal allowed, beside what the player left.
function dealText(tiles) {
  if (dealState === 'too large') {
    return 'This board is too large to work out whether it could have been cleared.';
  }
  if (dealState === 'failed') {
    return 'Could not work out whether this deal could be cleared.';
  }
  if (dealState === 'solving') {
    return tiles === 0 ? '' : 'Working out whether this deal could have been cleared\u2026';
  }
  if (tiles === 0) {
    return '';
  }
  if (answer.left === 0) {
    return 'This deal could have been cleared.';
  }
  if (!answer.proven) {
    return `The best found leaves ${answer.left}.`;
  }
  if (answer.left < tiles) {
    return `It could have been done with ${answer.left} left.`;
  }
  return `${tiles} is the fewest: no way leaves fewer.`;
}

// The caption under the board: when no move is left, the tiles left and what the deal
// allowed; while the game goes on, only a solve that cannot be done.
function showVerdict(quillop) {
  const over = showing === null && quillop._quillop_any_move_left() === 0;
  const tiles = quillop._quillop_tiles_left();
  const notice = dealState === 'too large' || dealState === 'failed';
  resultLine.textContent = over ? tilesLeftText(tiles) : '';
  resultLine.hidden = !over;
  dealLine.textContent = over || notice ? dealText(tiles) : '';
  dealLine.hidden = dealLine.textContent === '';
  verdict.hidden = resultLine.hidden && dealLine.hidden;
  verdict.dataset.state = dealState;
  showButton.hidden = !(showing !== null ||
                        (over && dealState === 'answered' && answer.moves.length > 0));
  showButton.textContent = showing !== null ? 'Stop' : 'Show me';
}

function answerCame(quillop, message) {
  if (message.ready) {
    solverReady = true;
    return;
  }
  if (message.deal !== dealNumber) {
    return;  // an older deal's
  }
  solverBusy = false;
  if (message.tooLarge) {
    dealState = 'too large';
  } else if (message.failed) {
    dealState = 'failed';
  } else {
    dealState = 'answered';
    answer = message;
  }
  verdict.dataset.solveMs = (performance.now() - solveStarted).toFixed(0);
  if (message.memoryBytes !== undefined) {
    verdict.dataset.solverMemoryBytes = String(message.memoryBytes);
  }
  showVerdict(quillop);
}

function workerFailed(quillop) {
  solverWorker = null;
  solverReady = false;
  solverBusy = false;
  if (dealState === 'solving') {
    dealState = 'failed';
    showVerdict(quillop);
  }
}

// A new worker for a solve that must stop another: a solve cannot be interrupted. A worker
// still loading takes the newest deal sent instead.
function solverFor(quillop) {
  if (solverWorker !== null && solverReady && solverBusy) {
    solverWorker.terminate();
    solverWorker = null;
    solverReady = false;
  }
  if (solverWorker === null) {
    solverWorker = new Worker('solver_worker.js');
    solverWorker.onmessage = (event) => answerCame(quillop, event.data);
    solverWorker.onerror = () => workerFailed(quillop);
  }
  return solverWorker;
}

// Sends the deal just made to the worker; the game goes on meanwhile.
function solveDeal(quillop) {
  dealNumber += 1;
  answer = null;
  dealState = 'solving';
  const width = quillop._quillop_board_width();
  const height = quillop._quillop_board_height();
  if (width * height > mostSolverCells) {
    dealState = 'too large';
  } else {
    const cells = new Int8Array(quillop.HEAP8.buffer, quillop._quillop_cells(), width * height);
    try {
      solverFor(quillop).postMessage({
        id: dealNumber, width, height, cells: cells.slice(),
        seconds: testSetting('seconds') || solveSeconds,
        tableMib: testSetting('table') || tableMib, beamMib,
      });
      solverBusy = true;
      solveStarted = performance.now();
    } catch (error) {
      workerFailed(quillop);
    }
  }
  showVerdict(quillop);
}

// ---- Show me ------------------------------------------------------------------------------

const showStepMs = 500;

function showStep(quillop) {
  const move = answer.moves[showing.next];
  quillop._quillop_play_cell(move[0], move[1]);
  showing.next += 1;
  if (showing.next === answer.moves.length) {
    showing = null;
  } else {
    showing.timer = setTimeout(() => showStep(quillop), showStepMs);
  }
  paint(quillop);
  showVerdict(quillop);
}

// Brings back the deal and plays the solver's moves, each painted.
function startShowing(quillop) {
  quillop._quillop_right_button();
  showing = { next: 0, timer: 0 };
  paint(quillop);
  showVerdict(quillop);
  showing.timer = setTimeout(() => showStep(quillop), showStepMs);
}

// Stops the moves being shown where they are, and says whether there were any.
function stopShowing(quillop) {
  if (showing === null) {
    return false;
  }
  clearTimeout(showing.timer);
  showing = null;
  showVerdict(quillop);
  return true;
}

// ---- New deal and the choice of board -----------------------------------------------------

const choiceForm = document.getElementById('choice');

// The command line's numbers, as the program takes them, in the choice's fields.
function showChoice(quillop) {
  const colours = Math.min(Math.max(quillop._quillop_colour_count(), 2), 5);
  choiceForm.elements.colours.value = String(colours);
  choiceForm.elements.width.value = String(quillop._quillop_board_width());
  choiceForm.elements.height.value = String(quillop._quillop_board_height());
}

// Within what the program takes and the canvas shows: 2 to 5 colours, 2 to 64 tiles a side.
function chosenTail() {
  const number = (name, low, high) => {
    const value = Math.round(Number(choiceForm.elements[name].value));
    return Number.isFinite(value) ? Math.min(Math.max(value, low), high) : low;
  };
  return `${number('colours', 2, 5)} ${number('width', 2, 64)} ${number('height', 2, 64)}`;
}

function keepChoice(tail) {
  try {
    localStorage.setItem(choiceKey, tail);
  } catch (error) {
    // storage refused: the choice lasts as long as the page
  }
  history.replaceState(null, '', `?${tail.replace(/ /g, '+')}`);
}

function listenToButtons(quillop) {
  showButton.addEventListener('click', () => {
    if (!stopShowing(quillop)) {
      startShowing(quillop);
    }
  });
  document.getElementById('new-deal').addEventListener('click', () => {
    stopShowing(quillop);
    quillop._quillop_new_deal();
    paint(quillop);
    solveDeal(quillop);
  });
  choiceForm.addEventListener('submit', (event) => {
    event.preventDefault();
    stopShowing(quillop);
    const tail = chosenTail();
    keepChoice(tail);
    deal(quillop, tail);
    solveDeal(quillop);
  });
}

function readNumbers(quillop, tailText) {
  const tail = new TextEncoder().encode(tailText + '\0');
  const text = quillop._malloc(tail.length);
  quillop.HEAPU8.set(tail, text);
  quillop._quillop_read_numbers(text);
  quillop._free(text);
}

// The service worker keeps the site for a start with no network. A newer build's worker is
// asked to take over by a page that has all its files, for the next start; never by one
// that is being left, since the page that replaces it may be loading its files right then,
// and would get some from the old build and some from the new.
let leaving = false;

function keepForOffline() {
  if (!('serviceWorker' in navigator)) {
    return;
  }
  addEventListener('beforeunload', () => { leaving = true; });
  addEventListener('pagehide', () => { leaving = true; });
  addEventListener('pageshow', () => { leaving = false; });
  const takeOver = (worker) => {
    if (worker === null) {
      return;
    }
    if (worker.state === 'installed' && !leaving) {
      worker.postMessage('take over');
    } else if (worker.state === 'installing') {
      worker.addEventListener('statechange', () => takeOver(worker));
    }
  };
  navigator.serviceWorker.register('sw.js').then((registration) => {
    takeOver(registration.waiting);
    takeOver(registration.installing);
    registration.addEventListener('updatefound', () => takeOver(registration.installing));
  }, () => {});  // a host without the worker still serves the game
}

// The game of a command line: the canvas sized for it and the deal painted.
function deal(quillop, tail) {
  readNumbers(quillop, tail);
  canvas.width = quillop._quillop_canvas_width();
  canvas.height = quillop._quillop_canvas_height();
  canvas.style.minWidth = `${canvas.width * smallestTile / 64}px`;
  quillop._quillop_create();
  const seed = testSetting('seed');
  if (seed !== null) {
    quillop._quillop_deal_seeded(seed);
  }
  paint(quillop);
  showChoice(quillop);
}

function start(quillop) {
  deal(quillop, commandTail());
  // Milliseconds from navigation to the first picture on the canvas.
  canvas.dataset.firstPaintMs = performance.now().toFixed(1);
  followShownSize();
  listen(quillop);
  listenToButtons(quillop);
  // The solver's worker loads once the first picture is on the screen.
  requestAnimationFrame(() => setTimeout(() => solveDeal(quillop), 0));
  addEventListener('pagehide', () => quillop._quillop_destroy());
  // A page brought back from the browser's history cache deals anew, like a new start.
  addEventListener('pageshow', (event) => {
    if (event.persisted) {
      stopShowing(quillop);
      quillop._quillop_create();
      paint(quillop);
      solveDeal(quillop);
    }
  });
  keepForOffline();
}

function showFailure() {
  document.getElementById('caption').hidden = true;
  document.getElementById('no-webassembly').hidden = false;
}

if (typeof createQuillop === 'function') {
  createQuillop().then(start, showFailure);
} else {
  showFailure();
}
