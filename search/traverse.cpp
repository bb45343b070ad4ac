#include "search/traverse.h"

#include <iomanip>
#include <iostream>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/mtdf.h"

namespace corvina {

bool printEntryLine(const Searcher& searcher, const Position& position) {
    const HashEntry* entry = searcher.table.probe(position);
    if (!entry) {
        std::cout << "no hash";
        return false;
    }
    std::cout << "lower: " << entry->lower() << "\tupper: " << entry->upper()
              << "\tdepth: " << int(entry->depth)
              << "\tmv: " << principalVariation(searcher, position.board);
    return true;
}

void printNodeHeader(const Searcher& searcher, const Position& position, int level) {
    const BoardRecord& board = position.board;
    std::cout << std::endl << std::endl << std::string(80, '-') << std::endl;
    printBoard(std::cout, board) << std::endl;
    std::cout << "transp:     ";
    printEntryLine(searcher, position);
    std::cout << std::endl;
    std::cout << "level:      " << level << std::endl;
    std::cout << "en passant: ";
    if (board.epAvailable()) {
        std::cout << board.epFile() << std::endl;
    } else {
        std::cout << "no" << std::endl;
    }
    const bool white = board.sideToMove() == White;
    const bool queenSide = white ? board.state & StateWhiteQueenSide
                                 : board.state2 & State2BlackQueenSide;
    const bool kingSide = white ? board.state & StateWhiteKingSide
                                : board.state & StateBlackKingSide;
    std::cout << "castle qs:  " << (queenSide ? 1 : 0) << std::endl;
    std::cout << "castle ks:  " << (kingSide ? 1 : 0) << std::endl;
}

void traverseTree(const Searcher& searcher, const BoardRecord& board) {
    std::cout << std::endl << "traverse ((q)uit, (u)p, (b)est, <number>)" << std::endl;
    Position node;
    expandPosition(node, board);
    printNodeHeader(searcher, node, 0);

    MoveList list;
    list.reset();
    generateMoves(list, node);
    for (int i = 0; i < list.count; ++i) {
        const Move& move = list.moves[i];
        std::cout << "  " << std::setw(2) << i << ".  " << writeLongAlgebraic(move, board)
                  << "\t";
        Position child = node;
        makeMove(child, move);
        updateKeysAfterMove(child, node, move);
        printEntryLine(searcher, child);
        std::cout << std::endl;
    }
}

}  // namespace corvina
