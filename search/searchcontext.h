// What the search reads from the game that owns its Searcher: the positions played so
// far (repetitions at the root), the pawn-structure cache of the evaluation and the
// tablebase switch. The search reaches its owner only through these three functions;
// whoever owns a Searcher (the engine object, a test, the bench) defines them for its
// Engine type.
#pragma once

#include "board/types.h"
#include "search/evaluation.h"

namespace corvina {

struct Engine;

// True when the board has occurred at least once in the game so far.
bool gameHasSeen(const Engine& engine, const BoardRecord& board);
PawnCache& gamePawnCache(Engine& engine);
bool gameUsesTablebases(const Engine& engine);

}  // namespace corvina
