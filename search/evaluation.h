// The static score of a position and the pawn-structure evaluation with its cache.
//
// Scores are centipawns from White's side. A leaf runs evaluationTerms, then evaluate.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "board/types.h"

namespace corvina {

// Pawn cache key: White's pawns, Black's pawns (unsigned, so the high half decides
// first), then the flags piecesGone + 2 * fewPieces + 4 * lowMaterial.
struct PawnKey {
    std::uint64_t whitePawns;
    std::uint64_t blackPawns;
    std::int32_t flags;

    auto operator<=>(const PawnKey&) const = default;
};

struct PawnKeyHash {
    std::size_t operator()(const PawnKey& key) const {
        std::uint64_t h = key.whitePawns * 0x9E3779B97F4A7C15ull;
        h ^= (key.blackPawns + std::uint64_t(std::uint32_t(key.flags))) * 0xC2B2AE3D27D4EB4Full;
        return std::size_t(h ^ h >> 29);
    }
};

// Pawn-structure scores by pawn boards and flags. The engine empties it whenever the
// pawn structure of the game changes; the evaluation only adds to it. Open addressing
// with linear probing in a flat array: the cache is only looked up, filled and counted
// ("pawns: "), never walked, so where a key sits reaches no output, and the lookup, a
// leaf's commonest cost, reads one slot or a few neighbours instead of a chain of nodes.
class PawnCache {
public:
    const std::int32_t* find(const PawnKey& key) const;  // nullptr when absent
    std::int32_t& operator[](const PawnKey& key);       // a new key starts at 0
    std::size_t count(const PawnKey& key) const { return find(key) ? 1 : 0; }
    std::size_t size() const { return used; }
    bool empty() const { return used == 0; }
    void clear();

private:
    struct Slot {
        PawnKey key;
        std::int32_t value;
        std::uint8_t full;
    };
    std::vector<Slot> slots;  // a power of two long, or empty; at most half full
    std::size_t used = 0;
    int shift = 64;  // 64 - log2 of the length

    std::size_t slotOf(const PawnKey& key) const;  // where the key is, or would go
    void grow();
};

// Bonus of a front pawn by how far it has come: [middle game 0 / end game 1][index].
inline constexpr int passedPawnRankBonus[2][8] = {
    {0, 2, 5, 10, 25, 100, 300, 1000},
    {0, 10, 30, 80, 150, 300, 550, 1000},
};

// White minus Black. Looked up in the cache first; a new score is stored there.
std::int32_t pawnStructureScore(PawnCache& cache, std::uint64_t whitePawns,
                                std::uint64_t blackPawns, bool lowMaterial, bool fewPieces,
                                bool piecesGone);

// The full term pass: the board terms of board/evalterms.h plus pawnTerm.
void evaluationTerms(Position& position, const Move& last, PawnCache& cache);

// Combines the terms of a position after evaluationTerms. Never 0: that is a draw.
std::int32_t evaluate(const Position& position);

// The endgame flags and the pawn-structure score of a board, for the console.
void printEvalBreakdown(const BoardRecord& board);
void printEvalBreakdown(const BoardRecord& board, std::ostream& out);

}  // namespace corvina
