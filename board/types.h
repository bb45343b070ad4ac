// Basic board types shared by every part of the engine.
//
// Squares are indexed file-major: index = file * 8 + rank, a1 = 0, a2 = 1, ..., h8 = 63.
// Every table of the board core and the search uses this index.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace corvina {

// One byte per square: bit 0 the colour (1 White, 0 Black), bits 1..3 the type.
using PieceCode = std::uint8_t;

enum PieceType : std::uint8_t { King = 0, Queen = 1, Rook = 2, Bishop = 3, Knight = 4, Pawn = 5 };
enum Colour : std::uint8_t { Black = 0, White = 1 };

constexpr PieceCode EmptySquare = 13;  // (code & 12) == 12 means empty; 12 only in the diagram

constexpr int squareIndex(int file, int rank) { return file * 8 + rank; }
constexpr bool isEmptyCode(PieceCode code) { return (code & 12) == 12; }
constexpr int typeOf(PieceCode code) { return code >> 1; }
constexpr int colourOf(PieceCode code) { return code & 1; }
constexpr PieceCode makeCode(int type, int colour) { return PieceCode(type << 1 | colour); }

inline constexpr int pieceValueByType[6] = {100000, 1000, 500, 300, 300, 100};
inline constexpr char pieceLetters[] = "KQRBN ";  // by type; a pawn has a blank letter

// State byte bits of a BoardRecord.
constexpr std::uint8_t StateEpAvailable = 0x01;  // last move was a pawn double step
constexpr std::uint8_t StateEpFileMask = 0x0E;   // bits 1..3: file of that pawn
constexpr std::uint8_t StateWhiteToMove = 0x10;
constexpr std::uint8_t StateWhiteKingSide = 0x20;
constexpr std::uint8_t StateWhiteQueenSide = 0x40;
constexpr std::uint8_t StateBlackKingSide = 0x80;
constexpr std::uint8_t State2BlackQueenSide = 0x01;  // in the second flag byte

// The compact board: squares plus flags. Used as game-history and book key.
struct BoardRecord {
    std::uint8_t squares[64];
    std::uint8_t state;
    std::uint8_t state2;

    int sideToMove() const { return (state >> 4) & 1; }
    int epFile() const { return (state >> 1) & 7; }
    bool epAvailable() const { return state & StateEpAvailable; }
    PieceCode at(int file, int rank) const { return squares[file * 8 + rank]; }
};
static_assert(sizeof(BoardRecord) == 66);

// Squares, then side to move (Black first), then the en passant file bits.
// Castling rights and the en passant bit take no part.
bool operator<(const BoardRecord& a, const BoardRecord& b);

enum MoveKind : std::int8_t {
    KindQuiet = 1,
    KindCapture = 2,
    KindEnPassant = 6,
    KindCastling = 8,
    KindPromotion = 16,
    KindPromotionCapture = 18,
};
constexpr std::int8_t KindCaptureBit = 2;
constexpr std::int8_t KindEnPassantBit = 4;
constexpr std::int8_t KindCastlingBit = 8;
constexpr std::int8_t KindPromotionBit = 16;

struct Move {
    std::int8_t fromFile;
    std::int8_t fromRank;
    std::int8_t toFile;
    std::int8_t toRank;
    std::int8_t kind;
    std::int8_t promotion;  // type code with colour bit 0: 2 queen, 4 rook, 6 bishop, 8 knight

    int from() const { return fromFile * 8 + fromRank; }
    int to() const { return toFile * 8 + toRank; }
    bool isNone() const {
        return fromFile == -1 && fromRank == -1 && toFile == -1 && toRank == -1;
    }
    // A square byte outside 0..7, as in "no move": the four bytes tested as one word.
    bool offBoard() const {
        std::uint32_t squares;
        std::memcpy(&squares, this, sizeof squares);
        return squares & 0xF8F8F8F8u;
    }
    bool sameSquares(const Move& o) const {
        return fromFile == o.fromFile && fromRank == o.fromRank && toFile == o.toFile &&
               toRank == o.toRank;
    }
};
static_assert(sizeof(Move) == 6);

inline constexpr Move NoMove = {-1, -1, -1, -1, 0, 2};

// 64 four-bit cells in four words; word k holds ranks 2k and 2k+1 and the cell of
// (file, rank) is the nibble at bit (rank & 1) * 32 + (7 - file) * 4 of word rank >> 1.
struct AttackBoard {
    std::uint64_t w[4];

    unsigned cell(int file, int rank) const {
        return unsigned(w[rank >> 1] >> ((rank & 1) * 32 + (7 - file) * 4)) & 15u;
    }
    unsigned cell(int square) const {
        return unsigned(w[(square & 7) >> 1] >> cellShift[square]) & 15u;
    }

    // The cell's shift in its word, by square.
    static constexpr std::array<std::uint8_t, 64> cellShift = [] {
        std::array<std::uint8_t, 64> shifts{};
        for (int square = 0; square < 64; ++square)
            shifts[square] = std::uint8_t((square & 1) * 32 + (7 - (square >> 3)) * 4);
        return shifts;
    }();
};

// One colour's occupancy in the four orientations of the rotated-board scheme.
struct Occupancy {
    std::uint64_t occ;       // bit rank * 8 + (7 - file)
    std::uint64_t occ90;     // bit (7 - file) * 8 + (7 - rank)
    std::uint64_t occDiagA;  // bit ((rank - file) & 7) * 8 + rank
    std::uint64_t occDiagB;  // bit ((file + rank + 1) & 7) * 8 + rank
};

struct SideState {
    AttackBoard attackA;  // bit 0/1 rook slots, bit 2 king, bit 3 bishops
    AttackBoard attackB;  // bit 0/1 knight slots, bit 2 pawn toward h, bit 3 pawn toward a
    AttackBoard attackC;  // bits 0..3 queen slots
    Occupancy occupancy;
    std::uint64_t pawns;  // orientation as occ
    std::int8_t rookCount;
    std::int8_t knightCount;
    std::int8_t bishopCount;
    std::int8_t queenCount;
    std::int8_t pawnCount;
    std::int8_t kingFile;  // -1 when the side has no king
    std::int8_t kingRank;
    std::int8_t rookFile[2];
    std::int8_t rookRank[2];
    std::int8_t knightFile[2];
    std::int8_t knightRank[2];
    std::int8_t bishopFile[2];
    std::int8_t bishopRank[2];
    std::int8_t queenFile[4];
    std::int8_t queenRank[4];
};

// The full position the search copies per ply: flat, no pointers.
struct Position {
    BoardRecord board;
    SideState white;
    SideState black;
    Occupancy allOcc;
    double material;
    double squareControl;
    double exchange;
    double pawnTerm;
    double kingTerm;
    double development;
    std::uint32_t hashIndexKey;
    std::uint32_t hashLockKey;
    std::uint8_t lowMaterial;
    std::uint8_t fewPieces;
    std::uint8_t piecesGone;
    std::uint8_t inCheck[2];         // [colour]: that colour's king is attacked
    std::uint8_t castlePathFree[4];  // Black Q, Black K, White Q, White K: [2 * side + (0 Q, 1 K)]

    SideState& side(int colour) { return colour ? white : black; }
    const SideState& side(int colour) const { return colour ? white : black; }
};

}  // namespace corvina
