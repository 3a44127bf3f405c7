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

// The query string is the command line: everything after '?', '+' read as a blank.
// A page opened without one starts the usual game.
function commandTail() {
  const address = location.href.split('#')[0];
  const at = address.indexOf('?');
  if (at < 0) {
    return '3 10 8';
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

// Plays a press and repaints, timing both for the tests and the figures in the README.
function play(quillop, action) {
  const start = performance.now();
  action();
  paint(quillop);
  canvas.dataset.pressMs = (performance.now() - start).toFixed(3);
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
    leftPress(quillop, canvasPixel(event));
  } else if (event.button === 2) {
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
  const finger = { live: alone, pixel: canvasPixel(event), x: event.clientX, y: event.clientY,
                   timer: 0 };
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
    leftPress(quillop, finger.pixel);
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

function readNumbers(quillop) {
  const tail = new TextEncoder().encode(commandTail() + '\0');
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

function start(quillop) {
  readNumbers(quillop);
  canvas.width = quillop._quillop_canvas_width();
  canvas.height = quillop._quillop_canvas_height();
  canvas.style.minWidth = `${canvas.width * smallestTile / 64}px`;
  quillop._quillop_create();
  paint(quillop);
  // Milliseconds from navigation to the first picture on the canvas.
  canvas.dataset.firstPaintMs = performance.now().toFixed(1);
  followShownSize();
  listen(quillop);
  addEventListener('pagehide', () => quillop._quillop_destroy());
  // A page brought back from the browser's history cache deals anew, like a new start.
  addEventListener('pageshow', (event) => {
    if (event.persisted) {
      quillop._quillop_create();
      paint(quillop);
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
