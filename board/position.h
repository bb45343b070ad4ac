// Board records, full positions, FEN and the diagram.
#pragma once

#include <iosfwd>
#include <string>

#include "board/types.h"

namespace corvina {

void clearBoard(BoardRecord& board);
void setStartPosition(BoardRecord& board);
// Trusts its text: for outside input use readFenChecked.
void parseFen(BoardRecord& board, const char* fen);
void applyMoveToBoard(BoardRecord& board, const Move& move);
std::ostream& printBoard(std::ostream& out, const BoardRecord& board);

void buildSideState(SideState& side, const BoardRecord& board, int colour);
void expandPosition(Position& position, const BoardRecord& board);
// Full recomputation of both keys of an expanded position.
void computeFullKeys(const Position& position, std::uint32_t& indexKey, std::uint32_t& lockKey);

inline int pieceValue(PieceCode code) { return pieceValueByType[code >> 1]; }
inline char pieceLetter(PieceCode code) {
    return isEmptyCode(code) ? ' ' : pieceLetters[code >> 1];
}

// The checking FEN reader for text from people and interfaces. On success fills board
// and returns true; otherwise leaves board unchanged and puts a one-line reason in why.
bool readFenChecked(BoardRecord& board, const std::string& fen, std::string& why);

}  // namespace corvina
