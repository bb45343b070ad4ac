// The game object: board, opening book, game history, pawn cache and searcher, the
// clock and the ratings, and the choice of the engine's move.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "board/types.h"
#include "book/book.h"
#include "search/evaluation.h"
#include "search/searcher.h"

namespace corvina {

// -1 the game goes on; 0 Black has mated; 1 White has mated; 3 draw by repetition.
using GameResult = std::int32_t;

struct Engine {
    Engine(const std::string& bookPath, const std::string& egtbDirectories,
           std::int32_t hashMegabytes, std::int32_t egtbMegabytes);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void newGame();
    void setPosition(const std::string& fen);
    void applyMove(const Move& move);
    Move think();
    double timeForMove(double startMilliseconds) const;
    void updateContempt();
    bool seenAtLeast(const BoardRecord& record, std::int32_t n) const;

    BoardRecord board{};
    OpeningBook book;
    std::int32_t engineSide = 0;
    std::map<BoardRecord, std::int32_t> history;
    PawnCache pawnCache;
    Searcher searcher;
    bool showTree = false;
    GameResult result = -1;
    double clockSeconds = -1.0;  // -1.0: no clock, no `time` command seen
    double maxMoveSeconds = 10000.0;
    std::int32_t plyCount = 0;
    std::int32_t engineRating = 1800;
    std::int32_t opponentRating = 1650;
    std::int32_t contempt = 50;
    bool tablebasesInUse = false;
};

}  // namespace corvina
