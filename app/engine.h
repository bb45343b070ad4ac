// The game object: board, opening book, game history, pawn cache and searcher, the
// clock and the ratings, and the choice of the engine's move.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "board/types.h"
#include "book/book.h"
#include "search/evaluation.h"
#include "search/limits.h"
#include "search/mtdf.h"
#include "search/searcher.h"

namespace corvina {

// -1 the game goes on; 0 Black has mated; 1 White has mated; 3 draw by repetition.
using GameResult = std::int32_t;

// What one finished pass of think found, for the front end's thinking line.
struct PassReport {
    int depth = 0;
    std::int32_t score = 0;       // from White's side, as the search scores
    std::int32_t sideScore = 0;   // from the side to move's side
    double seconds = 0;           // since the move's thinking began
    std::uint32_t nodes = 0;      // leaf evaluations since then
    long long nodesPerSecond = 0; // over this pass alone
    PrincipalVariation pv;
};

// The classic thinking line: depth, score, centiseconds, speed and the variation.
void printThinkingLine(std::ostream& out, const PassReport& report);

struct Engine {
    Engine(const std::string& bookPath, const std::string& egtbDirectories,
           std::int32_t hashMegabytes, std::int32_t egtbMegabytes);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void newGame();
    void setPosition(const std::string& fen);
    // As setPosition, for a board its caller has already read and checked.
    void setBoard(const BoardRecord& record);
    void applyMove(const Move& move);
    // Takes back the last applied move: board, ply count, history and pawn cache as they
    // were before it, and no result. False when no move since the last new game or set
    // position is left to take back.
    bool takeBack();
    // Thinks under limits about the side to move. Each finished pass goes to onPass, or
    // to the classic thinking line when there is none.
    Move think();
    double timeForMove(double startMilliseconds) const;
    void updateContempt();
    bool seenAtLeast(const BoardRecord& record, std::int32_t n) const;

    // Callable from any thread: the running think gives up its pass and returns the move
    // of the last finished one, as after the hard time limit. Cleared by the caller of
    // think (clearStop) before it thinks, never by think itself, so that a request that
    // came just before the search began still counts.
    void requestStop() { stopRequest.store(true, std::memory_order_relaxed); }
    void clearStop() { stopRequest.store(false, std::memory_order_relaxed); }

    // A move applied to the game and what taking it back must undo.
    struct PlayedMove {
        BoardRecord before;
        bool pawnEvent;  // the pawn cache was emptied by it
    };

    BoardRecord board{};
    OpeningBook book;
    std::int32_t engineSide = 0;
    std::map<BoardRecord, std::int32_t> history;
    PawnCache pawnCache;
    Searcher searcher;
    bool showTree = false;
    GameResult result = -1;
    SearchLimits limits;  // clockSeconds -1.0: no clock, no `time` command seen
    double maxMoveSeconds = 10000.0;
    std::int32_t plyCount = 0;
    std::int32_t engineRating = 1800;
    std::int32_t opponentRating = 1650;
    std::int32_t contempt = 50;
    bool tablebasesInUse = false;
    std::vector<PlayedMove> played;  // since the last new game or set position
    std::function<void(const PassReport&)> onPass;
    std::atomic<bool> stopRequest{false};
};

}  // namespace corvina
