#include "board/position.h"

#include <cstring>
#include <ostream>

#include "board/attacks.h"
#include "board/tables.h"

namespace corvina {

namespace {

constexpr const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Piece code of a FEN letter, or -1.
int codeOfLetter(char c) {
    switch (c) {
        case 'K': return 1;
        case 'Q': return 3;
        case 'R': return 5;
        case 'B': return 7;
        case 'N': return 9;
        case 'P': return 11;
        case 'k': return 0;
        case 'q': return 2;
        case 'r': return 4;
        case 'b': return 6;
        case 'n': return 8;
        case 'p': return 10;
        default: return -1;
    }
}

// Castling rights tied to a corner: the state byte and second byte bits to keep when a
// move leaves or lands on it. A right dies with its rook, moved or captured.
struct CornerRights {
    std::uint8_t keepState;
    std::uint8_t keepState2;
};

constexpr CornerRights cornerRights(int square) {
    switch (square) {
        case 0: return {std::uint8_t(~StateWhiteQueenSide), 0xFF};   // a1
        case 56: return {std::uint8_t(~StateWhiteKingSide), 0xFF};   // h1
        case 7: return {0xFF, std::uint8_t(~State2BlackQueenSide)};  // a8
        case 63: return {std::uint8_t(~StateBlackKingSide), 0xFF};   // h8
        default: return {0xFF, 0xFF};
    }
}

}  // namespace

bool operator<(const BoardRecord& a, const BoardRecord& b) {
    const int c = std::memcmp(a.squares, b.squares, sizeof a.squares);
    if (c != 0) return c < 0;
    if (a.sideToMove() != b.sideToMove()) return a.sideToMove() < b.sideToMove();
    return a.epFile() < b.epFile();
}

void clearBoard(BoardRecord& board) {
    std::memset(board.squares, EmptySquare, sizeof board.squares);
    board.state = StateWhiteToMove;
    board.state2 &= std::uint8_t(~State2BlackQueenSide);
}

void setStartPosition(BoardRecord& board) { parseFen(board, startFen); }

// Reads well-formed FEN in one pass. It validates nothing, but never writes outside the
// board and stops at the end of the text, so broken input yields some position, never
// corrupted memory (readFenChecked is the reader for outside text).
void parseFen(BoardRecord& board, const char* fen) {
    clearBoard(board);
    board.state2 = 0;
    int i = 0;
    int file = 0, rank = 7;
    for (; fen[i] != '\0' && fen[i] != ' '; ++i) {
        const char c = fen[i];
        if (c == '/') {
            file = 0;
            --rank;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else if (const int code = codeOfLetter(c); code >= 0) {
            if (file >= 0 && file < 8 && rank >= 0 && rank < 8)
                board.squares[file * 8 + rank] = PieceCode(code);
            ++file;
        }
    }
    if (fen[i] == '\0' || fen[i + 1] == '\0') return;
    ++i;
    if (fen[i] == 'b') board.state &= std::uint8_t(~StateWhiteToMove);
    if (fen[i + 1] == '\0') return;
    i += 2;
    for (; fen[i] != '\0' && fen[i] != ' '; ++i) {
        switch (fen[i]) {
            case 'K': board.state |= StateWhiteKingSide; break;
            case 'Q': board.state |= StateWhiteQueenSide; break;
            case 'k': board.state |= StateBlackKingSide; break;
            case 'q': board.state2 |= State2BlackQueenSide; break;
            default: break;
        }
    }
    if (fen[i] == '\0' || fen[i + 1] == '\0' || fen[i + 1] == '-') return;
    const char epLetter = fen[i + 1];
    board.state |= std::uint8_t(StateEpAvailable | (((epLetter - 'a') & 7) << 1));
}

void applyMoveToBoard(BoardRecord& board, const Move& move) {
    // A move from outside the board (such as "no move") would write outside the squares.
    if (move.offBoard()) return;
    const int from = move.from(), to = move.to();
    const PieceCode piece = board.squares[from];
    bool doubleStep = false;
    switch (typeOf(piece)) {
        case Pawn:
            if (move.toRank == 0) {
                board.squares[to] = PieceCode(move.promotion);
            } else if (move.toRank == 7) {
                board.squares[to] = PieceCode(move.promotion | 1);
            } else {
                board.squares[to] = piece;
                if ((board.state & StateEpAvailable) && (move.kind & KindEnPassantBit)) {
                    board.squares[squareIndex(move.toFile, colourOf(piece) ? 4 : 3)] =
                        EmptySquare;
                } else if ((move.fromRank == 1 && move.toRank == 3) ||
                           (move.fromRank == 6 && move.toRank == 4)) {
                    board.state = std::uint8_t((board.state & ~StateEpFileMask) |
                                               (move.fromFile << 1));
                    doubleStep = true;
                }
            }
            break;
        case King: {
            const int rank = move.fromRank;
            if (move.fromFile == 4 && move.toFile == 6) {
                board.squares[squareIndex(5, rank)] = board.squares[squareIndex(7, rank)];
                board.squares[squareIndex(7, rank)] = EmptySquare;
            } else if (move.fromFile == 4 && move.toFile == 2) {
                board.squares[squareIndex(3, rank)] = board.squares[squareIndex(0, rank)];
                board.squares[squareIndex(0, rank)] = EmptySquare;
            }
            if (colourOf(piece))
                board.state &= std::uint8_t(~(StateWhiteKingSide | StateWhiteQueenSide));
            else {
                board.state &= std::uint8_t(~StateBlackKingSide);
                board.state2 &= std::uint8_t(~State2BlackQueenSide);
            }
            board.squares[to] = piece;
            break;
        }
        case Rook: {
            const CornerRights keep = cornerRights(from);
            board.state &= keep.keepState;
            board.state2 &= keep.keepState2;
            board.squares[to] = piece;
            break;
        }
        default:
            board.squares[to] = piece;
            break;
    }
    // Whatever lands on a corner takes the rook there, or finds it gone already.
    const CornerRights keep = cornerRights(to);
    board.state &= keep.keepState;
    board.state2 &= keep.keepState2;
    board.squares[from] = EmptySquare;
    board.state = std::uint8_t(((board.state ^ StateWhiteToMove) & ~StateEpAvailable) |
                               (doubleStep ? StateEpAvailable : 0));
}

std::ostream& printBoard(std::ostream& out, const BoardRecord& board) {
    static constexpr char typeGlyph[] = "kqrbnp";
    for (int rank = 7; rank >= 0; --rank) {
        out << rank + 1 << "  ";
        for (int file = 0; file < 8; ++file) {
            const PieceCode code = board.at(file, rank);
            if (isEmptyCode(code))
                out << ((file + rank) % 2 == 0 ? "::" : "  ");
            else
                out << (colourOf(code) ? 'w' : 'b') << typeGlyph[typeOf(code)];
        }
        out << std::endl;
    }
    out << std::endl;
    out << "   ";
    for (int file = 0; file < 8; ++file) out << char('a' + file) << ' ';
    out << std::endl << std::endl;
    return out;
}

void buildSideState(SideState& side, const BoardRecord& board, int colour) {
    std::memset(&side, 0, sizeof side);
    side.kingFile = -1;
    side.kingRank = -1;
    for (int rank = 0; rank < 8; ++rank) {
        for (int file = 0; file < 8; ++file) {
            const PieceCode code = board.at(file, rank);
            if (isEmptyCode(code) || colourOf(code) != colour) continue;
            const int sq = squareIndex(file, rank);
            const Occupancy& bits = attackTables.squareBits[sq];
            side.occupancy.occ |= bits.occ;
            side.occupancy.occ90 |= bits.occ90;
            side.occupancy.occDiagA |= bits.occDiagA;
            side.occupancy.occDiagB |= bits.occDiagB;
            // Pieces beyond the list capacity are counted but get no slot.
            switch (typeOf(code)) {
                case King:
                    side.kingFile = std::int8_t(file);
                    side.kingRank = std::int8_t(rank);
                    break;
                case Queen:
                    if (side.queenCount < 4) {
                        side.queenFile[side.queenCount] = std::int8_t(file);
                        side.queenRank[side.queenCount] = std::int8_t(rank);
                    }
                    ++side.queenCount;
                    break;
                case Rook:
                    if (side.rookCount < 2) {
                        side.rookFile[side.rookCount] = std::int8_t(file);
                        side.rookRank[side.rookCount] = std::int8_t(rank);
                    }
                    ++side.rookCount;
                    break;
                case Bishop:
                    if (side.bishopCount < 2) {
                        side.bishopFile[side.bishopCount] = std::int8_t(file);
                        side.bishopRank[side.bishopCount] = std::int8_t(rank);
                    }
                    ++side.bishopCount;
                    break;
                case Knight:
                    if (side.knightCount < 2) {
                        side.knightFile[side.knightCount] = std::int8_t(file);
                        side.knightRank[side.knightCount] = std::int8_t(rank);
                    }
                    ++side.knightCount;
                    break;
                default:
                    side.pawns |= bits.occ;
                    ++side.pawnCount;
                    break;
            }
        }
    }
}

void computeFullKeys(const Position& position, std::uint32_t& indexKey, std::uint32_t& lockKey) {
    // A scan of the squares gives the same set of terms as walking the piece lists and
    // also holds for records beyond the list capacity.
    const HashKeys& k = hashKeys();
    std::uint32_t index = 0, lock = 0;
    const BoardRecord& board = position.board;
    for (int sq = 0; sq < 64; ++sq) {
        const PieceCode code = board.squares[sq];
        if (code >= 12) continue;
        index ^= k.pieceIndexKey[sq * 12 + code];
        lock ^= k.pieceLockKey[sq * 12 + code];
    }
    static constexpr std::uint8_t castleBits[4] = {StateWhiteQueenSide, StateWhiteKingSide, 0,
                                                   StateBlackKingSide};
    for (int i = 0; i < 4; ++i) {
        const bool right =
            i == 2 ? (board.state2 & State2BlackQueenSide) : (board.state & castleBits[i]);
        if (right) {
            index ^= k.castleIndexKey[i];
            lock ^= k.castleLockKey[i];
        }
    }
    if (board.state & StateWhiteToMove) {
        index ^= k.sideIndexKey;
        lock ^= k.sideLockKey;
    }
    if (board.state & StateEpAvailable) {
        index ^= k.epIndexKey[board.epFile()];
        lock ^= k.epLockKey[board.epFile()];
    }
    indexKey = index;
    lockKey = lock;
}

void expandPosition(Position& position, const BoardRecord& board) {
    position.board = board;
    buildSideState(position.white, board, White);
    buildSideState(position.black, board, Black);
    position.exchange = 0;
    const Occupancy& w = position.white.occupancy;
    const Occupancy& b = position.black.occupancy;
    position.allOcc = {w.occ | b.occ, w.occ90 | b.occ90, w.occDiagA | b.occDiagA,
                       w.occDiagB | b.occDiagB};
    const int whiteSum = buildAttacks(position, White, position.white);
    const int blackSum = buildAttacks(position, Black, position.black);
    position.squareControl = double(whiteSum - blackSum);
    updateCheckAndPathFlags(position);
    const SideState& ws = position.white;
    const SideState& bs = position.black;
    double material = 0;
    material += pieceValueByType[King] * ((ws.kingFile >= 0) - (bs.kingFile >= 0));
    material += pieceValueByType[Rook] * (ws.rookCount - bs.rookCount);
    material += pieceValueByType[Knight] * (ws.knightCount - bs.knightCount);
    material += pieceValueByType[Bishop] * (ws.bishopCount - bs.bishopCount);
    material += pieceValueByType[Queen] * (ws.queenCount - bs.queenCount);
    material += pieceValueByType[Pawn] * (ws.pawnCount - bs.pawnCount);
    position.material = material;
    computeFullKeys(position, position.hashIndexKey, position.hashLockKey);
}

}  // namespace corvina
