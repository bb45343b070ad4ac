// Attack boards: building, the self-inverse toggles, check and castling-path flags,
// and the weighted square-control sum.
#pragma once

#include "board/types.h"

namespace corvina {

// XORs in the marks of every piece of the side; returns its weighted sum.
int buildAttacks(const Position& position, int colour, SideState& side);

void toggleLineAttacks(int square, int bit, AttackBoard& board, const Occupancy& allOcc);
void toggleDiagonalAttacks(int square, int bit, AttackBoard& board, const Occupancy& allOcc);
void toggleKnight(int square, int slot, AttackBoard& attackB);
void toggleKing(int square, AttackBoard& attackA);
void togglePawns(std::uint64_t pawns, AttackBoard& attackB, int colour);

int weightedSum(const SideState& side);

// Recomputes inCheck and castlePathFree from the attack boards.
void updateCheckAndPathFlags(Position& position);

}  // namespace corvina
