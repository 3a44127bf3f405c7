// The page's events turned into calls of the game's module (app/web/main_web.cpp).
'use strict';

const canvas = document.getElementById('board');
const context = canvas.getContext('2d');

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

// The canvas pixel under the pointer, whatever the page's scroll and zoom.
function canvasPixel(event) {
  const area = canvas.getBoundingClientRect();
  return {
    x: Math.floor((event.clientX - area.left) * canvas.width / area.width),
    y: Math.floor((event.clientY - area.top) * canvas.height / area.height),
  };
}

function press(quillop, event) {
  const start = performance.now();
  if (event.button === 0) {
    const pixel = canvasPixel(event);
    quillop._quillop_left_button(pixel.x, pixel.y);
  } else if (event.button === 2) {
    quillop._quillop_right_button();
  } else {
    return;
  }
  paint(quillop);
  // How long the press took, for the tests and the figures in the README.
  canvas.dataset.pressMs = (performance.now() - start).toFixed(3);
}

function readNumbers(quillop) {
  const tail = new TextEncoder().encode(commandTail() + '\0');
  const text = quillop._malloc(tail.length);
  quillop.HEAPU8.set(tail, text);
  quillop._quillop_read_numbers(text);
  quillop._free(text);
}

function start(quillop) {
  readNumbers(quillop);
  canvas.width = quillop._quillop_canvas_width();
  canvas.height = quillop._quillop_canvas_height();
  quillop._quillop_create();
  paint(quillop);
  // Milliseconds from navigation to the first picture on the canvas.
  canvas.dataset.firstPaintMs = performance.now().toFixed(1);

  canvas.addEventListener('mousedown', (event) => press(quillop, event));
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());
  addEventListener('pagehide', () => quillop._quillop_destroy());
  // A page brought back from the browser's history cache deals anew, like a new start.
  addEventListener('pageshow', (event) => {
    if (event.persisted) {
      quillop._quillop_create();
      paint(quillop);
    }
  });
}

function showFailure() {
  document.getElementById('no-webassembly').hidden = false;
}

if (typeof createQuillop === 'function') {
  createQuillop().then(start, showFailure);
} else {
  showFailure();
}
