// Pseudo-legal move generation in the fixed order, move ordering and killer moves.
#pragma once

#include <cstdint>

#include "board/makemove.h"
#include "board/types.h"

namespace corvina {

// Room for every pseudo-legal move a position within the piece limits can have.
constexpr int MoveListCapacity = 256;

struct MoveList {
    std::int32_t count;
    Move moves[MoveListCapacity];

    void reset();  // empty list
};

constexpr int KillerPlies = 100;

struct KillerTable {
    Move moves[KillerPlies][3];
    std::int32_t scores[KillerPlies][3];

    void reset();  // all "no move", scores -30000
};

void generateMoves(MoveList& list, const Position& position);
// The same moves, with each child's keys written by keys as its move is listed.
void generateMoves(MoveList& list, const Position& position, ChildKeyWriter& keys);
void orderMoves(KillerTable& killers, int ply, MoveList& list, const Move& previous,
                const Move& hashMove);
// The same order, the children's key pairs (by list index) moved along with their moves.
void orderMoves(KillerTable& killers, int ply, MoveList& list, const Move& previous,
                const Move& hashMove, std::uint64_t* keyPairs);
void recordKiller(KillerTable& killers, int ply, const Move& move, int score);

// Moves a node can drop before making them, since they surely leave the mover's own king
// attacked: a king step onto a square the opponent marks, and, in check, any other move
// that neither takes the single checking piece nor steps between it and the king (in a
// double check every such move). En passant and castling always pass. Rejects nothing
// when the opponent has more pieces of a kind than its attack boards mark, or the mover
// no king, so the filter never disagrees with the inCheck of the made child.
struct IllegalMoveFilter {
    std::uint64_t evasions;  // bit square: where a non-king move must go; all when not in check
    std::int32_t kingSquare;  // the mover's king, -1 to reject nothing

    bool rejects(const Position& position, const Move& move) const;
};
IllegalMoveFilter illegalMoveFilter(const Position& position);

// A piece that attacks the king's target still does once the king has gone there: the
// king leaving its square only opens lines, and what it captures there attacked nothing
// on its own square. A check that the move neither takes nor blocks stays, too.
inline bool IllegalMoveFilter::rejects(const Position& position, const Move& move) const {
    if (move.kind & (KindCastlingBit | KindEnPassantBit)) return false;
    const int to = move.to();
    if (move.from() == kingSquare) {
        const SideState& enemy = position.side(position.board.sideToMove() ^ 1);
        return (enemy.attackA.cell(to) | enemy.attackB.cell(to) | enemy.attackC.cell(to)) != 0;
    }
    return !((evasions >> to) & 1);
}

// Moves whose made child the search can foresee without making it: the mover's king
// stays unattacked and the opponent's king is not attacked, exactly as the child's
// attack boards would show. Only plain moves and captures of a node in which neither
// king is attacked and both sides' marks are exact (each piece its own slot bit, no two
// bishops on one colour); otherwise nothing is foreseen.
struct ForeseenMoveTest {
    std::int32_t kingSquare;  // the mover's; -1 to foresee nothing
    std::int32_t enemyKing;

    // True when the move surely neither leaves the own king attacked nor gives check.
    bool foresees(const Position& position, const Move& move) const;
};
ForeseenMoveTest foreseenMoveTest(const Position& position);

// Leaves of the legal move tree below position (moves that leave the mover's king
// attacked are dropped); depth 0 counts the position itself. Depths beyond PerftMaxDepth
// give 0.
constexpr int PerftMaxDepth = 20;
std::uint64_t perft(const Position& position, int depth);

}  // namespace corvina
