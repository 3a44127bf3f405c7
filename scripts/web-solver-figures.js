// The page's solver module, run under node, against the native solver. Not a test: it only
// measures and prints.
//   node scripts/web-solver-figures.js MODULE BOARD_TOOL speed
//     positions a second on the solver benchmark's deal (5 colours 10 x 8, seed 72) within
//     2 000 000 positions, with the native benchmark's table (256 MiB)
//   node scripts/web-solver-figures.js MODULE BOARD_TOOL survey FIRST_SEED COUNT
//     5-colour 10 x 8 deals solved as the page solves them (10 s, 64 MiB table, 64 MiB of
//     beams), one line a deal as quillop-survey prints it, then the share decided and the
//     module's peak memory
// MODULE is build/web/site/quillop-solver.js, BOARD_TOOL the release build's quillop-board.
'use strict';

const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const [modulePath, boardTool, mode, ...numbers] = process.argv.slice(2);

function dealtCells(seed) {
  const run = spawnSync(boardTool, [], { input: `deal 5 10 8 ${seed}\nprint\n` });
  const rows = String(run.stdout).trim().split('\n').slice(-8);
  return Int8Array.from(rows.flatMap((line) => line.trim().split(/ +/).map(Number)));
}

async function loadSolver() {
  const createQuillopSolver = require(path.resolve(modulePath));
  // Handed the bytes: the module's own loading goes through a fetch that node refuses.
  return createQuillopSolver({
    wasmBinary: fs.readFileSync(modulePath.replace(/\.js$/, '.wasm')) });
}

function solve(solver, cells, seconds, positions, tableMib, beamMib) {
  const at = solver._malloc(cells.length);
  solver.HEAP8.set(cells, at);
  const start = process.hrtime.bigint();
  const status = solver._quillop_solve(10, 8, at, seconds, positions, tableMib, beamMib);
  const spent = Number(process.hrtime.bigint() - start) / 1e9;
  solver._free(at);
  if (status !== 1) {
    throw new Error(`the solve failed (${status})`);
  }
  return { seconds: spent, left: solver._quillop_solution_left(),
           moves: solver._quillop_solution_moves(),
           proven: solver._quillop_solution_proven() === 1,
           positions: solver._quillop_solution_positions() };
}

async function speed() {
  const solver = await loadSolver();
  const cells = dealtCells(72);
  const runs = 5;
  const rates = [];
  // The first run makes the table's pages; it is not counted.
  for (let run = 0; run <= runs; ++run) {
    const answer = solve(solver, cells, 0, 2000000, 256, 128);
    if (run > 0) {
      rates.push(answer.positions / answer.seconds);
    }
  }
  rates.sort((a, b) => a - b);
  const mega = (rate) => (rate / 1e6).toFixed(2);
  console.log(`positions a second: median ${mega(rates[runs >> 1])} M, ` +
              `${mega(rates[0])}-${mega(rates[runs - 1])} M over ${runs} runs`);
}

async function survey(first, count) {
  const solver = await loadSolver();
  let decided = 0;
  for (let seed = first; seed < first + count; ++seed) {
    const answer = solve(solver, dealtCells(seed), 10, 0, 64, 64);
    decided += answer.proven ? 1 : 0;
    console.log(`${seed} ${answer.left} ${answer.moves} ${answer.proven ? 'optimal' : 'best'} ` +
                answer.seconds.toFixed(3));
  }
  console.log(`# decided ${decided} of ${count} (${(100 * decided / count).toFixed(1)}%); ` +
              `peak memory ${(solver.HEAP8.buffer.byteLength / 2 ** 20).toFixed(0)} MiB`);
}

if (mode === 'speed') {
  speed();
} else if (mode === 'survey' && numbers.length === 2) {
  survey(Number(numbers[0]), Number(numbers[1]));
} else {
  console.error('usage: web-solver-figures.js MODULE BOARD_TOOL speed | survey FIRST COUNT');
  process.exit(2);
}
