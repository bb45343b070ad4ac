// Reading and writing moves.
#pragma once

#include <iosfwd>
#include <string>

#include "board/types.h"

namespace corvina {

Move readMove(std::string text, const BoardRecord& board);
Move completeMove(const BoardRecord& board, const Move& move);
std::ostream& writeCoordinate(std::ostream& out, const Move& move);
std::string writeLongAlgebraic(const Move& move, const BoardRecord& board);

}  // namespace corvina
