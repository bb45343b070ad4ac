// The evaluation terms a position carries: material, square control, the exchange on the
// last move's square, king placement, development and the endgame flags.
//
// The pawn-structure term needs the pawn cache of the search, so it is filled by
// evaluationTerms in search/evaluation.h, which runs this pass and then adds pawnTerm.
#pragma once

#include <array>

#include "board/types.h"

namespace corvina {

// Side-independent king tables by square index; rank r and rank 7 - r hold the same row.
extern const std::array<int, 64> kingShelter;
extern const std::array<int, 64> kingCentre;

// Static exchange on one square from the six attack cells there (White's A, B, C, then
// Black's) and the piece standing on it. The side not owning that piece captures first.
// White-positive; never worse for the first capturer than not capturing at all.
int exchangeEstimate(unsigned whiteA, unsigned whiteB, unsigned whiteC, unsigned blackA,
                     unsigned blackB, unsigned blackC, PieceCode target);

// Endgame test of one side: little heavy material left.
bool lowMaterialSide(const SideState& side);

// Refreshes material, squareControl, exchange, kingTerm, development and the three
// endgame flags from the piece lists and attack boards. pawnTerm is left alone. With
// no last move (NoMove) the exchange is 0.
void boardEvaluationTerms(Position& position, const Move& last);

}  // namespace corvina
