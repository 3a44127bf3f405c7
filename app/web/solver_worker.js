// The page's Web Worker: solves each deal it is sent with the solver's module
// (solve_worker.cpp) and posts the answer back. A solve runs to its end; the page ends the
// worker to stop one.
'use strict';

let solver = null;
let unusable = false;
// The deal sent while the module loads: only the newest one counts.
let waiting = null;

function solve(deal) {
  const cells = solver._malloc(Math.max(deal.cells.length, 1));
  solver.HEAP8.set(deal.cells, cells);
  const status = solver._quillop_solve(deal.width, deal.height, cells, deal.seconds, 0,
                                       deal.tableMib, deal.beamMib);
  solver._free(cells);
  const answer = { deal: deal.id, memoryBytes: solver.HEAP8.buffer.byteLength };
  if (status === 0) {
    answer.tooLarge = true;
  } else if (status < 0) {
    answer.failed = true;
  } else {
    const count = solver._quillop_solution_moves();
    const pairs = new Int32Array(solver.HEAP32.buffer, solver._quillop_solution_move_pairs(),
                                 count * 2);
    answer.left = solver._quillop_solution_left();
    answer.proven = solver._quillop_solution_proven() === 1;
    answer.moves = [];
    for (let i = 0; i < count; ++i) {
      answer.moves.push([pairs[2 * i], pairs[2 * i + 1]]);
    }
    answer.positions = solver._quillop_solution_positions();
  }
  postMessage(answer);
}

// A solve that stops the module (it ran out of memory) leaves it unusable.
function solveOrFail(deal) {
  try {
    solve(deal);
  } catch (error) {
    unusable = true;
    postMessage({ deal: deal.id, failed: true });
  }
}

self.onmessage = (event) => {
  if (unusable) {
    postMessage({ deal: event.data.id, failed: true });
  } else if (solver === null) {
    waiting = event.data;
  } else {
    solveOrFail(event.data);
  }
};

try {
  importScripts('quillop-solver.js');
  createQuillopSolver().then((module) => {
    solver = module;
    postMessage({ ready: true });
    if (waiting !== null) {
      solveOrFail(waiting);
    }
  }, () => {
    unusable = true;
    if (waiting !== null) {
      postMessage({ deal: waiting.id, failed: true });
    }
  });
} catch (error) {
  unusable = true;  // every deal sent is answered with the failure
}
