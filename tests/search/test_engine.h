// A stand-in owner of the Searcher for the search tests: the game's positions, the pawn
// cache and the tablebase switch, plus helpers to set up and drive searches.
#pragma once

#include <cstdint>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "board/types.h"
#include "search/evaluation.h"
#include "search/searcher.h"

namespace corvina {

struct Engine {
    std::map<BoardRecord, std::int32_t> history;
    PawnCache pawnCache;
    bool tablebasesInUse = false;
};

namespace testing_support {

// Fixed seed, static tables, and a 1 MB table owned by engine; the memory lines are
// swallowed.
void setUpSearch(Searcher& searcher, Engine& engine, std::int64_t memoryBytes = 1 << 20);

BoardRecord boardFromFen(const char* fen);
Position positionFromFen(const char* fen);

// Drives passes as the engine does: depth 1, 2, ... with first guess 0 and then the
// previous value, until a flag stops it or maxDepth is done. Returns the last value.
std::int32_t deepen(Searcher& searcher, const BoardRecord& root, int maxDepth,
                    double budgetSeconds = 1e9);

// Collects what std::cout receives while it lives.
class CaptureStdout {
public:
    CaptureStdout() : saved(std::cout.rdbuf(text.rdbuf())) {}
    ~CaptureStdout() { std::cout.rdbuf(saved); }
    CaptureStdout(const CaptureStdout&) = delete;
    CaptureStdout& operator=(const CaptureStdout&) = delete;
    std::string str() const { return text.str(); }

private:
    std::ostringstream text;
    std::streambuf* saved;
};

}  // namespace testing_support
}  // namespace corvina
