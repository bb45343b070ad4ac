// Board records, full positions, FEN and the diagram.
#pragma once

#include <iosfwd>
#include <string>

#include "board/types.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The search copies a Position for every child it makes. For these 512 bytes sixteen-byte
// moves beat the string copy the compiler would choose.
inline void copyPosition(Position& to, const Position& from) {
#if defined(__SSE2__)
    static_assert(sizeof(Position) % 16 == 0);
    const __m128i* source = reinterpret_cast<const __m128i*>(&from);
    __m128i* target = reinterpret_cast<__m128i*>(&to);
#pragma GCC unroll 32
    for (unsigned k = 0; k < sizeof(Position) / 16; ++k)
        _mm_storeu_si128(target + k, _mm_loadu_si128(source + k));
#else
    to = from;
#endif
}

inline int pieceValue(PieceCode code) { return pieceValueByType[code >> 1]; }
inline char pieceLetter(PieceCode code) {
    return isEmptyCode(code) ? ' ' : pieceLetters[code >> 1];
}

// The checking FEN reader for text from people and interfaces. On success fills board
// and returns true; otherwise leaves board unchanged and puts a one-line reason in why.
bool readFenChecked(BoardRecord& board, const std::string& fen, std::string& why);

}  // namespace corvina
