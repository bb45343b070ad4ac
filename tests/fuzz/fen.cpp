// Fuzz target: the checking FEN reader. Whatever it accepts must be a board the engine
// can hold and play on, so an accepted text is expanded, its moves generated, made and
// written, and counted to depth 2; a rejected one must say why.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "fuzz_support.h"
#include "search/evaluation.h"

using namespace corvina;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceOutput();
    seedRandom(7);
    initTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 256) return 0;  // a FEN is short; long texts only repeat its cases
    const std::string text(reinterpret_cast<const char*>(data), size);
    BoardRecord board;
    setStartPosition(board);
    const BoardRecord before = board;
    std::string why;
    if (!readFenChecked(board, text, why)) {
        // A rejection leaves the board alone and gives a reason.
        if (why.empty() || std::memcmp(&board, &before, sizeof board) != 0) __builtin_trap();
        return 0;
    }

    Position position;
    expandPosition(position, board);
    printBoard(std::cout, board);
    printEvalBreakdown(board, std::cout);
    MoveList list;
    list.reset();
    generateMoves(list, position);
    for (int i = 0; i < list.count; ++i) {
        Position child = position;
        makeMove(child, list.moves[i]);
        writeLongAlgebraic(list.moves[i], board);
        writeCoordinate(std::cout, list.moves[i]);
    }
    perft(position, 2);
    return 0;
}
