#include "search/evaluation.h"

#include <algorithm>
#include <bit>
#include <iostream>

#include "board/evalterms.h"
#include "board/position.h"

namespace corvina {

namespace {

constexpr int BasePerPawn = 5;
constexpr int BasePerPawnFewPieces = 50;
constexpr int IsolatedFile = -10;
constexpr int PerIsland = -10;
constexpr int DoubledFile = -70;
constexpr int TripledFile = -160;
constexpr int PassedMultiplier = 2;
constexpr int SupportedPassedMultiplier = 3;
constexpr int DistantPawns = 200;

// Per-file summary of one side's pawns. Files -1 and 8 are the sentinels at index 0
// and 9, always empty.
struct PawnFiles {
    int count[10] = {};
    int highest[10];  // highest rank on the file
    int lowest[10];   // lowest rank on the file, 8 when empty

    PawnFiles() {
        for (int i = 0; i < 10; ++i) {
            highest[i] = -1;
            lowest[i] = 8;
        }
    }
    bool has(int file) const { return count[file + 1] > 0; }
};

// Pawn boards use the occupancy orientation: bit rank * 8 + (7 - file). Pawns never stand
// on the first or last rank, so only ranks 1..6 are read. A file's pawns are one bit in
// each rank byte of its column: a multiply adds the bytes up, the end bits give the
// highest and the lowest rank.
PawnFiles scanPawns(std::uint64_t pawns, int& score, int base) {
    constexpr std::uint64_t bytes = 0x0101010101010101ull;
    PawnFiles files;
    pawns &= 0x00FFFFFFFFFFFF00ull;
    for (int file = 0; file < 8; ++file) {
        const std::uint64_t column = (pawns >> (7 - file)) & bytes;
        if (!column) continue;
        const int count = int((column * bytes) >> 56);
        files.count[file + 1] = count;
        files.highest[file + 1] = (63 - std::countl_zero(column)) >> 3;
        files.lowest[file + 1] = std::countr_zero(column) >> 3;
        score += base * count;
    }
    return files;
}

// Front rank: the most advanced pawn of the file for its owner.
int frontRank(const PawnFiles& files, int file, int colour) {
    return colour == White ? files.highest[file + 1] : files.lowest[file + 1];
}

// Islands, isolation, doubling and the advancement of the front pawn of each file.
void scoreFiles(const PawnFiles& own, const PawnFiles& other, int colour, int row, int& score,
                int& islands) {
    for (int f = 0; f < 8; ++f) {
        const int count = own.count[f + 1];
        if (count > 0 && !own.has(f - 1)) {
            ++islands;
            if (!own.has(f + 1)) score += IsolatedFile;
        }
        if (count >= 3)
            score += TripledFile;
        else if (count == 2)
            score += DoubledFile;
        if (count == 0) continue;

        const int front = frontRank(own, f, colour);
        // Black's index runs one step further than the mirror of White's.
        const int index = colour == White ? front : 8 - front;
        const int bonus = passedPawnRankBonus[row][index];
        if (other.has(f)) {
            score += bonus;
            continue;
        }

        bool passed = true;
        for (int g : {f - 1, f + 1}) {
            if (g < 0 || g > 7 || !other.has(g)) continue;
            if (colour == White ? other.highest[g + 1] > front : other.lowest[g + 1] < front)
                passed = false;
        }
        int multiplier = 1;
        if (passed) {
            multiplier = PassedMultiplier;
            for (int g : {f - 1, f + 1}) {
                if (!own.has(g)) continue;
                const int diff = frontRank(own, g, colour) - front;
                if (diff >= -1 && diff <= 1) {
                    multiplier = SupportedPassedMultiplier;
                    break;
                }
            }
        }
        score += bonus * multiplier;
    }
}

// In a pawn ending, two pawns four or more files apart stretch the defending king.
int distantPawnsBonus(const PawnFiles& files, bool piecesGone) {
    int last = 8;
    for (int f = 0; f < 8; ++f) {
        if (!files.has(f)) continue;
        if (f - last >= 4) return DistantPawns * (piecesGone ? 2 : 1);
        last = f;
    }
    return 0;
}

}  // namespace

std::size_t PawnCache::slotOf(const PawnKey& key) const {
    // The top bits of a second multiply spread keys that differ only in high ranks.
    const std::size_t mask = slots.size() - 1;
    std::size_t i = std::size_t((PawnKeyHash{}(key) * 0x9E3779B97F4A7C15ull) >> shift);
    while (slots[i].full && !(slots[i].key == key)) i = (i + 1) & mask;
    return i;
}

const std::int32_t* PawnCache::find(const PawnKey& key) const {
    if (slots.empty()) return nullptr;
    const Slot& slot = slots[slotOf(key)];
    return slot.full ? &slot.value : nullptr;
}

std::int32_t& PawnCache::operator[](const PawnKey& key) {
    if (2 * (used + 1) > slots.size()) grow();
    Slot& slot = slots[slotOf(key)];
    if (!slot.full) {
        slot = Slot{key, 0, 1};
        ++used;
    }
    return slot.value;
}

void PawnCache::grow() {
    std::vector<Slot> old = std::move(slots);
    slots.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
    shift = 64 - std::countr_zero(slots.size());
    for (const Slot& slot : old)
        if (slot.full) slots[slotOf(slot.key)] = slot;
}

void PawnCache::clear() {
    std::fill(slots.begin(), slots.end(), Slot{});
    used = 0;
}

std::int32_t pawnStructureScore(PawnCache& cache, std::uint64_t whitePawns,
                                std::uint64_t blackPawns, bool lowMaterial, bool fewPieces,
                                bool piecesGone) {
    const PawnKey key{whitePawns, blackPawns,
                      int(piecesGone) + 2 * int(fewPieces) + 4 * int(lowMaterial)};
    if (const std::int32_t* found = cache.find(key)) return *found;

    const int base = fewPieces ? BasePerPawnFewPieces : BasePerPawn;
    const int row = fewPieces ? 1 : 0;
    int white = 0, black = 0;
    const PawnFiles whiteFiles = scanPawns(whitePawns, white, base);
    const PawnFiles blackFiles = scanPawns(blackPawns, black, base);

    int whiteIslands = 0, blackIslands = 0;
    scoreFiles(whiteFiles, blackFiles, White, row, white, whiteIslands);
    scoreFiles(blackFiles, whiteFiles, Black, row, black, blackIslands);

    if (fewPieces) {
        white += distantPawnsBonus(whiteFiles, piecesGone);
        black += distantPawnsBonus(blackFiles, piecesGone);
    }
    white += PerIsland * whiteIslands;
    black += PerIsland * blackIslands;

    const std::int32_t result = white - black;
    cache[key] = result;
    return result;
}

void evaluationTerms(Position& position, const Move& last, PawnCache& cache) {
    boardEvaluationTerms(position, last);
    position.pawnTerm =
        pawnStructureScore(cache, position.white.pawns, position.black.pawns, position.lowMaterial,
                           position.fewPieces, position.piecesGone);
}

std::int32_t evaluate(const Position& position) {
    // Each product is truncated on its own before the sum.
    const std::int32_t score =
        std::int32_t(position.material + position.exchange) +
        std::int32_t(0.1 * position.pawnTerm) + std::int32_t(0.05 * position.squareControl) +
        std::int32_t(10 * position.development) + std::int32_t(0.5 * position.kingTerm);
    return score == 0 ? 1 : score;
}

void printEvalBreakdown(const BoardRecord& board, std::ostream& out) {
    Position position{};
    expandPosition(position, board);
    PawnCache cache;
    evaluationTerms(position, NoMove, cache);
    const std::int32_t pawns =
        pawnStructureScore(cache, position.white.pawns, position.black.pawns, position.lowMaterial,
                           position.fewPieces, position.piecesGone);
    out << "mid: " << int(position.lowMaterial) << ", end: " << int(position.fewPieces)
        << ", king: " << int(position.piecesGone) << std::endl;
    out << "diff: " << pawns << std::endl;
}

void printEvalBreakdown(const BoardRecord& board) { printEvalBreakdown(board, std::cout); }

}  // namespace corvina
