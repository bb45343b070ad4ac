#include "board/notation.h"

#include <ostream>
#include <sstream>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"

namespace corvina {

namespace {

// The first generated move with these four squares, or "no move". The generator's order
// decides which move wins, and the list's preset makes every promotion a queen.
Move findGenerated(const BoardRecord& board, int fromFile, int fromRank, int toFile, int toRank) {
    Position position;
    expandPosition(position, board);
    MoveList list;
    list.reset();
    generateMoves(list, position);
    for (int i = 0; i < list.count; ++i) {
        const Move& m = list.moves[i];
        if (m.fromFile == fromFile && m.fromRank == fromRank && m.toFile == toFile &&
            m.toRank == toRank)
            return m;
    }
    return NoMove;
}

// The generator does not look at the own king; a word names a move only when it is legal.
bool leavesKingAttacked(const BoardRecord& board, const Move& move) {
    Position position;
    expandPosition(position, board);
    makeMove(position, move);
    return position.inCheck[board.sideToMove()];
}

int countOnBoard(const BoardRecord& board, PieceCode piece) {
    int count = 0;
    for (const PieceCode square : board.squares) count += square == piece;
    return count;
}

bool isCoordinateText(const std::string& s) {
    return (s.size() == 4 || s.size() == 5) && s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' &&
           s[1] <= '8' && s[2] >= 'a' && s[2] <= 'h' && s[3] >= '1' && s[3] <= '8';
}

}  // namespace

Move readMove(std::string text, const BoardRecord& board) {
    const bool coordinate = isCoordinateText(text);
    const bool shortCastle = text == "o-o" || text == "O-O" || text == "0-0";
    const bool longCastle = text == "o-o-o" || text == "O-O-O" || text == "0-0-0";
    if (!coordinate && !shortCastle && !longCastle) return NoMove;
    int promoteTo = Queen;
    if (coordinate && text.size() == 5) {
        const char piece = text[4];
        if (piece == 'r') promoteTo = Rook;
        else if (piece == 'b') promoteTo = Bishop;
        else if (piece == 'n') promoteTo = Knight;
        else if (piece != 'q') return NoMove;
    }
    const int rank = board.sideToMove() ? 0 : 7;
    Move move = coordinate ? findGenerated(board, text[0] - 'a', text[1] - '1', text[2] - 'a',
                                           text[3] - '1')
                           : findGenerated(board, 4, rank, shortCastle ? 6 : 2, rank);
    if (move.isNone() || leavesKingAttacked(board, move)) return NoMove;
    // The engine itself only promotes to a queen, but an opponent's under-promotion must be
    // played as sent, or the two boards part. The piece lists hold two rooks, bishops and
    // knights a side; a third stays a queen, as the lists cannot carry it.
    if ((move.kind & KindPromotionBit) && promoteTo != Queen &&
        countOnBoard(board, PieceCode(promoteTo << 1 | board.sideToMove())) < 2)
        move.promotion = std::int8_t(promoteTo << 1);
    return move;
}

Move completeMove(const BoardRecord& board, const Move& move) {
    return findGenerated(board, move.fromFile, move.fromRank, move.toFile, move.toRank);
}

std::ostream& writeCoordinate(std::ostream& out, const Move& move) {
    if (std::uint8_t(move.fromFile) == 0xFF) return out << "no move";
    out << char('a' + move.fromFile) << move.fromRank + 1;
    if (move.kind & KindCaptureBit) out << 'x';
    return out << char('a' + move.toFile) << move.toRank + 1;
}

std::string writeLongAlgebraic(const Move& move, const BoardRecord& board) {
    if (std::uint8_t(move.fromFile) == 0xFF) return "no move";
    std::ostringstream text;
    if (move.kind & KindCastlingBit) {
        text << (move.toFile > move.fromFile ? "O-O" : "O-O-O");
    } else {
        PieceCode piece = board.squares[move.from()];
        if (!isEmptyCode(piece) && typeOf(piece) != Pawn) text << pieceLetter(piece);
        text << char('a' + move.fromFile) << move.fromRank + 1;
        if (move.kind & KindCaptureBit) text << 'x';
        text << char('a' + move.toFile) << move.toRank + 1;
        if (move.kind & KindEnPassantBit) text << "ep";
    }
    Position after;
    expandPosition(after, board);
    makeMove(after, move);
    if (after.inCheck[after.board.sideToMove()]) text << '+';
    return text.str();
}

}  // namespace corvina
