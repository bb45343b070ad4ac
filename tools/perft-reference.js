#!/usr/bin/env node
// Reference perft counts from chess.js, an independent move generator, for the perft suite.
//
// corvina promotes only to a queen, so the published counts (which include under-promotions)
// do not apply to trees that hold promotions. This script counts the same trees with the
// under-promotions left out. With --all it counts every promotion and so reproduces the
// published numbers, which checks the script itself.
//
// Setup (not a test dependency): cd tools && npm install --no-save chess.js
// Usage:  node tools/perft-reference.js [--all] [--divide] DEPTH "FEN"
// Prints "depth d nodes N" for d = 1..DEPTH; with --divide first each root move and its
// count at DEPTH.
'use strict';

const { Chess } = require('chess.js');

function usage() {
    console.error('usage: node perft-reference.js [--all] [--divide] DEPTH "FEN"');
    process.exit(2);
}

let all = false;
let divide = false;
const rest = [];
for (const arg of process.argv.slice(2)) {
    if (arg === '--all') all = true;
    else if (arg === '--divide') divide = true;
    else rest.push(arg);
}
if (rest.length !== 2 || !/^[1-9][0-9]*$/.test(rest[0])) usage();
const depth = Number(rest[0]);
const chess = new Chess(rest[1]);

// chess.js's own perft loop, with the under-promotion filter. The underscore methods are
// chess.js internals (1.x); they skip the notation work of the public moves() call.
function pseudoMoves() {
    const moves = chess._moves({ legal: false });
    return all ? moves : moves.filter((m) => !m.promotion || m.promotion === 'q');
}

function count(d) {
    const colour = chess._turn;
    let nodes = 0;
    for (const move of pseudoMoves()) {
        chess._makeMove(move);
        if (!chess._isKingAttacked(colour)) nodes += d > 1 ? count(d - 1) : 1;
        chess._undoMove();
    }
    return nodes;
}

if (divide) {
    const colour = chess._turn;
    for (const move of pseudoMoves()) {
        chess._makeMove(move);
        if (!chess._isKingAttacked(colour)) {
            const n = depth > 1 ? count(depth - 1) : 1;
            const name = chess.history({ verbose: true }).pop().lan;
            console.log(`${name} ${n}`);
        }
        chess._undoMove();
    }
}
for (let d = 1; d <= depth; ++d) console.log(`depth ${d} nodes ${count(d)}`);
