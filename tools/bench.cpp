// corvina-bench: the search's fingerprint and speed. Fixed positions, each searched by
// the MTD(f) driver to a fixed depth with a fresh 16 MB table, the same random seed, no
// book and no tablebases. The total node count changes only when the search does.
// "--search strong" benches the strong search instead of the design's; each search has
// its own count.
#include <cstdint>
#include <iostream>
#include <map>
#include <streambuf>
#include <string_view>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "search/evaluation.h"
#include "search/mtdf.h"
#include "search/searchcontext.h"
#include "search/searcher.h"
#include "search/timecontrol.h"

namespace corvina {

// The bench's game: no history before the root, its own pawn cache, no tablebases.
struct Engine {
    std::map<BoardRecord, std::int32_t> history;
    PawnCache pawnCache;
};

bool gameHasSeen(const Engine& engine, const BoardRecord& board) {
    return engine.history.count(board) != 0;
}
PawnCache& gamePawnCache(Engine& engine) { return engine.pawnCache; }
bool gameUsesTablebases(const Engine&) { return false; }

}  // namespace corvina

namespace {

using namespace corvina;

struct BenchPosition {
    const char* fen;
    int depth;
};

// Openings, tactical middlegames and endgames.
constexpr BenchPosition benchPositions[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 6},
    {"r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 4},
    {"rnbqkb1r/1p2pppp/p2p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R w KQkq - 0 6", 5},
    {"rnbqkb1r/ppp2ppp/4pn2/3p4/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 2 4", 5},
    {"rnbqkbnr/ppp2ppp/4p3/3pP3/3P4/8/PPP2PPP/RNBQKBNR b KQkq - 0 3", 5},
    {"r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 4", 5},
    {"rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 1 6", 5},
    {"rnbqkbnr/pp2pppp/2p5/3p4/3PP3/8/PPP2PPP/RNBQKBNR w KQkq - 0 3", 5},
    {"rnbqkbnr/pppp1ppp/8/4p3/2P5/2N5/PP1PPPPP/R1BQKBNR b KQkq - 1 2", 5},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 4},
    {"r1bq1rk1/pp2bppp/2n2n2/3p4/3P4/2NB1N2/PP3PPP/R1BQ1RK1 w - - 4 10", 4},
    {"2rq1rk1/pb2bppp/1pn1pn2/2pp4/3P4/1P2PN2/PBPNBPPP/2RQ1RK1 w - - 0 11", 4},
    {"r2q1rk1/ppp2ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPP2PPP/R2Q1RK1 w - - 6 8", 4},
    {"rnbq1rk1/pppn1ppp/4p3/3pP3/1b1P4/2NB1N2/PPP2PPP/R1BQK2R w KQ - 3 7", 4},
    {"r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPBN1PP1/R1BQR1K1 w - - 0 13", 4},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4},
    {"r1bqkb1r/pppp1ppp/2n2n2/4p1N1/2B1P3/8/PPPP1PPP/RNBQK2R b KQkq - 5 4", 5},
    {"3r1rk1/p4ppp/1p1q4/2pPn3/2P5/1P2Q1P1/P4PBP/R4RK1 w - - 0 20", 4},
    {"6k1/pp3ppp/4p3/2q5/8/1P3Q2/P4PPP/3R2K1 w - - 0 1", 6},
    {"r2qk2r/pb4pp/1n2Pb2/2B2Q2/p1p5/2P5/2B2PPP/RN2R1K1 w - - 1 1", 5},
    {"8/8/8/4k3/8/8/4P3/4K3 w - - 0 1", 14},
    {"1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", 7},
    {"4k3/8/8/3KP3/8/8/r7/5R2 w - - 0 1", 7},
    {"8/8/8/8/4k3/8/8/Q3K3 w - - 0 1", 7},
    {"8/pp3k2/8/8/8/8/5KPP/8 w - - 0 1", 9},
    {"8/2r2pk1/6p1/7p/7P/6P1/2R2PK1/8 w - - 0 1", 7},
    {"8/4kp2/4p1p1/3nP3/5P2/4BK2/6P1/8 w - - 0 1", 7},
    {"8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1", 16},
    {"r5k1/5ppp/8/8/8/8/5PPP/1R4K1 w - - 0 1", 6},
};

constexpr std::uint32_t BenchSeed = 20260101;
constexpr std::int64_t BenchTableBytes = 16 << 20;

// Swallows the search's own lines while it runs.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

struct BenchResult {
    int depth;  // of the last pass that ran
    std::int32_t value;
    std::uint32_t nodes;
    Move best;
};

// As the engine thinks about a move, without time limit: depth 1, 2, ... with first
// guess 0 and then the previous value, until the depth is done or a pass stops it.
BenchResult searchPosition(const BenchPosition& entry, SearchKind kind) {
    seedRandom(BenchSeed);
    Engine engine;
    Searcher searcher;
    NullBuffer nothing;
    std::ostream silent(&nothing);
    initSearcher(searcher, &engine, BenchTableBytes, silent);
    searcher.kind = kind;

    BoardRecord board;
    parseFen(board, entry.fen);
    resetSearcher(searcher);
    searcher.startTime = clockMilliseconds();

    std::streambuf* saved = std::cout.rdbuf(&nothing);
    std::int32_t guess = 0;
    for (int depth = 1; depth <= entry.depth; ++depth) {
        const std::int32_t g = mtdfPass(searcher, board, guess, depth, 1e9);
        if (searcher.aborted) break;
        guess = g;
        if (searcher.stopDeepening) break;
    }
    std::cout.rdbuf(saved);
    return {searcher.passDepth, guess, searcher.nodeCount, searcher.bestMove};
}

}  // namespace

int main(int argc, char** argv) {
    SearchKind kind = SearchKind::Design;
    if (argc == 3 && std::string_view(argv[1]) == "--search" &&
        (std::string_view(argv[2]) == "design" || std::string_view(argv[2]) == "strong")) {
        kind = searchKindNamed(argv[2]);
    } else if (argc != 1) {
        std::cerr << "usage: corvina-bench [--search design|strong]" << std::endl;
        return 2;
    }
    seedRandom(BenchSeed);
    initTables();

    std::uint64_t totalNodes = 0;
    const double benchStart = clockMilliseconds();
    int number = 0;
    for (const BenchPosition& entry : benchPositions) {
        const double start = clockMilliseconds();
        const BenchResult result = searchPosition(entry, kind);
        const auto ms = std::int64_t(clockMilliseconds() - start);
        totalNodes += result.nodes;
        std::cout << ++number << " depth " << result.depth << " value " << result.value
                  << " nodes " << result.nodes << " ms " << ms << " best ";
        writeCoordinate(std::cout, result.best) << std::endl;
    }
    const auto totalMs = std::int64_t(clockMilliseconds() - benchStart);
    const std::uint64_t nps = totalNodes * 1000 / std::uint64_t(totalMs > 0 ? totalMs : 1);
    std::cout << "bench: " << totalNodes << " nodes " << totalMs << " ms " << nps << " nps"
              << std::endl;
    return 0;
}
