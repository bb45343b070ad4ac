// The checking FEN reader: the one way in for FEN text from people and interfaces.
// parseFen trusts its text; this reader makes sure that text describes a position the
// engine can hold (piece lists, one king a side, no impossible check) before handing a
// normalised form of it to parseFen.
#include <string>
#include <vector>

#include "board/position.h"

namespace corvina {

namespace {

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : text) {
        if (c == ' ' || (c >= '\t' && c <= '\r')) {  // blank, tab, line and page breaks
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
}

int codeOfLetter(char c) {
    switch (c) {
    case 'K':
        return 1;
    case 'Q':
        return 3;
    case 'R':
        return 5;
    case 'B':
        return 7;
    case 'N':
        return 9;
    case 'P':
        return 11;
    case 'k':
        return 0;
    case 'q':
        return 2;
    case 'r':
        return 4;
    case 'b':
        return 6;
    case 'n':
        return 8;
    case 'p':
        return 10;
    default:
        return -1;
    }
}

bool allDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string squareName(int file, int rank) {
    return std::string(1, char('a' + file)) + char('1' + rank);
}

// A slow ray walk is fine here: this runs once per FEN, never in the search. It also sees
// third and fourth queens, which the attack boards leave unmarked.
bool attackedBy(const PieceCode (&squares)[64], int file, int rank, int colour) {
    auto at = [&](int f, int r) -> int {
        if (f < 0 || f > 7 || r < 0 || r > 7) return -1;
        return squares[f * 8 + r];
    };
    auto is = [&](int f, int r, int type) { return at(f, r) == makeCode(type, colour); };

    const int pawnFrom = colour ? rank - 1 : rank + 1;
    if (is(file - 1, pawnFrom, Pawn) || is(file + 1, pawnFrom, Pawn)) return true;
    static constexpr int knight[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                         {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    for (const auto& d : knight)
        if (is(file + d[0], rank + d[1], Knight)) return true;
    static constexpr int around[8][2] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                         {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    for (const auto& d : around) {
        if (is(file + d[0], rank + d[1], King)) return true;
        const bool diagonal = d[0] != 0 && d[1] != 0;
        int f = file + d[0];
        int r = rank + d[1];
        while (at(f, r) == EmptySquare) {
            f += d[0];
            r += d[1];
        }
        if (is(f, r, Queen) || is(f, r, diagonal ? Bishop : Rook)) return true;
    }
    return false;
}

}  // namespace

bool readFenChecked(BoardRecord& board, const std::string& fen, std::string& why) {
    const std::vector<std::string> fields = splitFields(fen);
    if (fields.empty()) {
        why = "empty FEN";
        return false;
    }
    if (fields.size() < 2) {
        why = "FEN has no side to move";
        return false;
    }
    if (fields.size() > 6) {
        why = "unexpected text after the move number: " + fields[6];
        return false;
    }

    // Placement: eight ranks of exactly eight squares, rank 8 first.
    PieceCode squares[64];
    for (PieceCode& s : squares) s = EmptySquare;
    const std::string& placement = fields[0];
    int rank = 7;
    int file = 0;
    for (char c : placement) {
        if (c == '/') {
            if (file != 8) {
                why = "rank " + std::to_string(rank + 1) + " has " + std::to_string(file) +
                      " squares, not 8";
                return false;
            }
            if (rank == 0) {
                why = "placement has more than 8 ranks";
                return false;
            }
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) {
                why = "rank " + std::to_string(rank + 1) + " runs off the board";
                return false;
            }
        } else if (int code = codeOfLetter(c); code >= 0) {
            if (file >= 8) {
                why = "rank " + std::to_string(rank + 1) + " runs off the board";
                return false;
            }
            squares[file * 8 + rank] = PieceCode(code);
            ++file;
        } else {
            why = std::string("unexpected character '") + c + "' in the placement";
            return false;
        }
    }
    if (rank != 0) {
        why = "placement has " + std::to_string(8 - rank) + " ranks, not 8";
        return false;
    }
    if (file != 8) {
        why = "rank 1 has " + std::to_string(file) + " squares, not 8";
        return false;
    }

    // Piece limits of the engine's lists; a side also never has more than eight pawns.
    static constexpr int limit[6] = {1, 4, 2, 2, 2, 8};
    static constexpr const char* typeName[6] = {"kings",   "queens",  "rooks",
                                                "bishops", "knights", "pawns"};
    int count[2][6] = {};
    int kingFile[2] = {-1, -1};
    int kingRank[2] = {-1, -1};
    for (int sq = 0; sq < 64; ++sq) {
        PieceCode code = squares[sq];
        if (isEmptyCode(code)) continue;
        ++count[colourOf(code)][typeOf(code)];
        if (typeOf(code) == King) {
            kingFile[colourOf(code)] = sq >> 3;
            kingRank[colourOf(code)] = sq & 7;
        }
        if (typeOf(code) == Pawn && ((sq & 7) == 0 || (sq & 7) == 7)) {
            why = "pawn on " + squareName(sq >> 3, sq & 7) + ", on the first or last rank";
            return false;
        }
    }
    for (int colour = 1; colour >= 0; --colour) {
        const char* name = colour ? "White" : "Black";
        if (count[colour][King] != 1) {
            why =
                std::string(name) + " has " + std::to_string(count[colour][King]) + " kings, not 1";
            return false;
        }
        for (int type = Queen; type <= Pawn; ++type) {
            if (count[colour][type] > limit[type]) {
                why = std::string(name) + " has " + std::to_string(count[colour][type]) + " " +
                      typeName[type] + ", more than " + std::to_string(limit[type]);
                return false;
            }
        }
    }

    const std::string& sideField = fields[1];
    if (sideField != "w" && sideField != "b") {
        why = "side to move must be w or b, not " + sideField;
        return false;
    }
    const int side = sideField == "w" ? 1 : 0;

    // Castling: "-" or each of K, Q, k, q at most once. A right that the placement
    // contradicts (king or rook not at home) is dropped: it could never be used, and the
    // generator trusts the rights to mean a king on its home square.
    std::string castling;
    if (fields.size() > 2 && fields[2] != "-") {
        const std::string& f = fields[2];
        bool seen[4] = {};
        static constexpr char letters[] = "KQkq";
        for (char c : f) {
            int i = 0;
            while (i < 4 && letters[i] != c) ++i;
            if (i == 4 || seen[i]) {
                why = "malformed castling field: " + f;
                return false;
            }
            seen[i] = true;
        }
        auto holds = [&](int fl, int rk, int code) { return squares[fl * 8 + rk] == code; };
        if (seen[0] && holds(4, 0, 1) && holds(7, 0, 5)) castling += 'K';
        if (seen[1] && holds(4, 0, 1) && holds(0, 0, 5)) castling += 'Q';
        if (seen[2] && holds(4, 7, 0) && holds(7, 7, 4)) castling += 'k';
        if (seen[3] && holds(4, 7, 0) && holds(0, 7, 4)) castling += 'q';
    }
    if (castling.empty()) castling = "-";

    // En passant: "-" or the square behind a pawn of the side not to move.
    std::string enPassant = "-";
    if (fields.size() > 3 && fields[3] != "-") {
        const std::string& f = fields[3];
        if (f.size() != 2 || f[0] < 'a' || f[0] > 'h' || (f[1] != '3' && f[1] != '6')) {
            why = "malformed en passant field: " + f;
            return false;
        }
        if ((side == 1) != (f[1] == '6')) {
            why = "en passant square " + f + " does not fit the side to move";
            return false;
        }
        // Without the pawn that just made the double step the capture would take
        // whatever stands there: drop such a square.
        const int epFile = f[0] - 'a';
        const int pawnRank = side ? 4 : 3;
        const int passedRank = side ? 5 : 2;
        const int startRank = side ? 6 : 1;
        if (squares[epFile * 8 + pawnRank] == makeCode(Pawn, 1 - side) &&
            squares[epFile * 8 + passedRank] == EmptySquare &&
            squares[epFile * 8 + startRank] == EmptySquare)
            enPassant = f;
    }

    if (fields.size() > 4 && !allDigits(fields[4])) {
        why = "malformed halfmove clock: " + fields[4];
        return false;
    }
    if (fields.size() > 5 && !allDigits(fields[5])) {
        why = "malformed move number: " + fields[5];
        return false;
    }

    const int other = 1 - side;
    if (attackedBy(squares, kingFile[other], kingRank[other], side)) {
        why = std::string("the side not to move (") + (other ? "White" : "Black") + ") is in check";
        return false;
    }

    const std::string normal = placement + ' ' + sideField + ' ' + castling + ' ' + enPassant;
    BoardRecord parsed;
    parseFen(parsed, normal.c_str());
    board = parsed;
    return true;
}

}  // namespace corvina
