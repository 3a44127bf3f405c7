// The page's solver module against the native one: positions a second on the solver
// benchmark's deal (5 colours 10 x 8, seed 72) within 2 000 000 positions, run under node.
// Not a test: it only measures and prints.
//   node scripts/web-solver-speed.js build/web/site/quillop-solver.js build/release/tools/board/quillop-board
'use strict';

const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const [modulePath, boardTool] = process.argv.slice(2);
const positions = 2000000;
const runs = 5;

function dealtCells() {
  const run = spawnSync(boardTool, [], { input: 'deal 5 10 8 72\nprint\n' });
  const rows = String(run.stdout).trim().split('\n').slice(-8);
  return Int8Array.from(rows.flatMap((line) => line.trim().split(/ +/).map(Number)));
}

async function main() {
  const createQuillopSolver = require(path.resolve(modulePath));
  // Handed the bytes: the module's own loading goes through a fetch that node refuses.
  const solver = await createQuillopSolver({
    wasmBinary: fs.readFileSync(modulePath.replace(/\.js$/, '.wasm')) });
  const cells = dealtCells();
  const at = solver._malloc(cells.length);
  solver.HEAP8.set(cells, at);
  const rates = [];
  // The first run makes the table's pages; it is not counted.
  for (let run = 0; run <= runs; ++run) {
    const start = process.hrtime.bigint();
    const status = solver._quillop_solve(10, 8, at, 0, positions, 256, 128);
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    if (status !== 1) {
      throw new Error(`the solve failed (${status})`);
    }
    if (run > 0) {
      rates.push(solver._quillop_solution_positions() / seconds);
    }
  }
  rates.sort((a, b) => a - b);
  console.log(`positions a second: median ${(rates[runs >> 1] / 1e6).toFixed(2)} M, ` +
              `${(rates[0] / 1e6).toFixed(2)}-${(rates[runs - 1] / 1e6).toFixed(2)} M ` +
              `over ${runs} runs; memory ${(solver.HEAP8.buffer.byteLength / 2 ** 20).toFixed(0)} MiB`);
}

main();
