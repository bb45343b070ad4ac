#include "board/movegen.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

#include "board/makemove.h"
#include "board/position.h"

namespace corvina {

// Why 256 moves always fit: within the piece limits a side has at most a king, 4 queens,
// 2 rooks, 2 bishops, 2 knights and 8 pawns. On an empty board a queen reaches at most 27
// squares, a rook 14, a bishop 13, a knight 8 and a king 8 plus two castlings; a pawn has at
// most two captures and two pushes. So 4 * 27 + 2 * 14 + 2 * 13 + 2 * 8 + 10 + 8 * 4 = 220
// pseudo-legal moves is the most a position can give, and the list needs no capacity check.
static_assert(4 * 27 + 2 * 14 + 2 * 13 + 2 * 8 + 10 + 8 * 4 <= MoveListCapacity);

// The generator writes whole moves, so the entries past count are never read and an
// interior node of the search need not touch the 1.5 KB of its list.
void MoveList::reset() { count = 0; }

void KillerTable::reset() {
    for (int ply = 0; ply < KillerPlies; ++ply) {
        for (int slot = 0; slot < 3; ++slot) {
            moves[ply][slot] = NoMove;
            scores[ply][slot] = -30000;
        }
    }
}

namespace {

struct Direction {
    std::int8_t df;
    std::int8_t dr;
};

// The order of these tables fixes the order of the generated list: a rook takes the even
// king directions, a bishop the odd ones.
constexpr Direction kingDirections[8] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                         {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
constexpr Direction knightDirections[8] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                           {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};

// Promotions are generated to a queen; the notation reader changes the byte for others.
// The generator writes through a local end pointer, not list.count: a move's bytes may
// alias anything, so a count in memory would be reloaded and stored again for every move.
// The four square bytes go as one word, the kind and promotion bytes as another.
inline void addMove(Move*& out, int fromFile, int fromRank, int toFile, int toRank, int kind) {
    static_assert(offsetof(Move, kind) == 4 && offsetof(Move, promotion) == 5);
    const std::uint32_t squares = std::uint32_t(fromFile) | std::uint32_t(fromRank) << 8 |
                                  std::uint32_t(toFile) << 16 | std::uint32_t(toRank) << 24;
    const std::uint16_t tail = std::uint16_t(kind | 2 << 8);
    std::memcpy(reinterpret_cast<char*>(out), &squares, 4);
    std::memcpy(reinterpret_cast<char*>(out) + 4, &tail, 2);
    ++out;
}

// The target square's two bytes of a move's squares word, by square.
constexpr std::array<std::uint32_t, 64> targetBytes = [] {
    std::array<std::uint32_t, 64> table{};
    for (int square = 0; square < 64; ++square)
        table[square] = std::uint32_t(square >> 3) << 16 | std::uint32_t(square & 7) << 24;
    return table;
}();

// As addMove, for a piece whose from-square bytes (file | rank << 8) are known.
inline void addMoveTo(Move*& out, std::uint32_t fromBytes, int to, int kind) {
    const std::uint32_t squares = fromBytes | targetBytes[to];
    const std::uint16_t tail = std::uint16_t(kind | 2 << 8);
    std::memcpy(reinterpret_cast<char*>(out), &squares, 4);
    std::memcpy(reinterpret_cast<char*>(out) + 4, &tail, 2);
    ++out;
}

constexpr bool onBoard(int file, int rank) { return unsigned(file) < 8 && unsigned(rank) < 8; }

// A knight's or king's targets from each square, in the order of its direction table, so
// that the generator walks no step off the board.
struct Leaps {
    std::uint8_t count;
    std::uint8_t squares[8];
};

constexpr std::array<Leaps, 64> leapsOf(const Direction* directions) {
    std::array<Leaps, 64> table{};
    for (int square = 0; square < 64; ++square) {
        Leaps& leaps = table[square];
        for (int d = 0; d < 8; ++d) {
            const int f = (square >> 3) + directions[d].df, r = (square & 7) + directions[d].dr;
            if (onBoard(f, r)) leaps.squares[leaps.count++] = std::uint8_t(squareIndex(f, r));
        }
    }
    return table;
}

constexpr std::array<Leaps, 64> kingLeaps = leapsOf(kingDirections);

// The squares outward from each square in each king direction, nearest first.
struct Ray {
    std::uint8_t count;
    std::uint8_t squares[7];
};

constexpr std::array<std::array<Ray, 8>, 64> rays = [] {
    std::array<std::array<Ray, 8>, 64> table{};
    for (int square = 0; square < 64; ++square) {
        for (int d = 0; d < 8; ++d) {
            Ray& ray = table[square][d];
            int f = square >> 3, r = square & 7;
            while (onBoard(f += kingDirections[d].df, r += kingDirections[d].dr))
                ray.squares[ray.count++] = std::uint8_t(squareIndex(f, r));
        }
    }
    return table;
}();

// A slider's moves along the king directions first, first + step, ... below 8: all eight
// for a queen, the even ones (the lines) for a rook, the odd ones for a bishop.
template <class Keys>
[[gnu::always_inline]] inline Move* generateSlides(Move* list, const BoardRecord& board,
                                                   int side, int file, int rank, int first,
                                                   int step, Keys& keys) {
    const std::array<Ray, 8>& from = rays[squareIndex(file, rank)];
    const std::uint32_t fromBytes = std::uint32_t(file) | std::uint32_t(rank) << 8;
    for (int d = first; d < 8; d += step) {
        const Ray& ray = from[d];
        for (int i = 0; i < ray.count; ++i) {
            const int to = ray.squares[i];
            const PieceCode target = board.squares[to];
            if (isEmptyCode(target)) {
                addMoveTo(list, fromBytes, to, KindQuiet);
                keys.plain(to);
                continue;
            }
            if (colourOf(target) != side) {
                addMoveTo(list, fromBytes, to, KindCapture);
                keys.capture(to, target);
            }
            break;
        }
    }
    return list;
}
constexpr std::array<Leaps, 64> knightLeaps = leapsOf(knightDirections);

template <class Keys>
[[gnu::always_inline]] inline Move* generateLeaps(Move* list, const BoardRecord& board,
                                                  int side, int file, int rank,
                                                  const Leaps& leaps, Keys& keys) {
    const std::uint32_t fromBytes = std::uint32_t(file) | std::uint32_t(rank) << 8;
    for (int i = 0; i < leaps.count; ++i) {
        const int to = leaps.squares[i];
        const PieceCode target = board.squares[to];
        if (isEmptyCode(target)) {
            addMoveTo(list, fromBytes, to, KindQuiet);
            keys.plain(to);
        } else if (colourOf(target) != side) {
            addMoveTo(list, fromBytes, to, KindCapture);
            keys.capture(to, target);
        }
    }
    return list;
}

template <class Keys>
[[gnu::always_inline]] inline void generateCastling(Move*& list, const Position& position,
                                                   int side, int file, int rank, Keys& keys) {
    const BoardRecord& board = position.board;
    // The rights imply the king stands on the e-file; the test keeps odd trusted FEN from
    // reading past the board.
    if (file != 4) return;
    bool kingSide =
        side ? (board.state & StateWhiteKingSide) != 0 : (board.state & StateBlackKingSide) != 0;
    bool queenSide = side ? (board.state & StateWhiteQueenSide) != 0
                          : (board.state2 & State2BlackQueenSide) != 0;
    PieceCode rook = makeCode(Rook, side);
    if (position.castlePathFree[2 * side + 1] && kingSide &&
        isEmptyCode(board.at(file + 1, rank)) && isEmptyCode(board.at(file + 2, rank)) &&
        board.at(7, rank) == rook) {
        addMove(list, file, rank, file + 2, rank, KindCastling);
        keys.rare(list[-1]);
    }
    if (position.castlePathFree[2 * side] && queenSide && isEmptyCode(board.at(file - 1, rank)) &&
        isEmptyCode(board.at(file - 2, rank)) && isEmptyCode(board.at(file - 3, rank)) &&
        board.at(0, rank) == rook) {
        addMove(list, file, rank, file - 2, rank, KindCastling);
        keys.rare(list[-1]);
    }
}

template <class Keys>
[[gnu::always_inline]] inline void generatePawn(Move*& list, const BoardRecord& board,
                                               int side, int file, int rank, Keys& keys) {
    const int d = side ? 1 : -1;
    const int toRank = rank + d;
    if (unsigned(toRank) >= 8) return;  // no pawn stands on the last rank in a legal game
    const bool lastRank = toRank == 0 || toRank == 7;
    const int epRank = side ? 5 : 2;

    for (int df = -1; df <= 1; df += 2) {
        const int toFile = file + df;
        if (unsigned(toFile) >= 8) continue;
        PieceCode target = board.at(toFile, toRank);
        if (isEmptyCode(target) || colourOf(target) == side) {
            if (board.epAvailable() && toFile == board.epFile() && toRank == epRank) {
                addMove(list, file, rank, toFile, toRank, KindEnPassant);
                keys.rare(list[-1]);
            }
        } else if (lastRank) {
            addMove(list, file, rank, toFile, toRank, KindPromotionCapture);
            keys.rare(list[-1]);
        } else {
            addMove(list, file, rank, toFile, toRank, KindCapture);
            keys.capture(squareIndex(toFile, toRank), target);
        }
    }

    if (!isEmptyCode(board.at(file, toRank))) return;
    if (lastRank) {
        addMove(list, file, rank, file, toRank, KindPromotion);
        keys.rare(list[-1]);
        return;  // no double step from the rank before the last
    }
    addMove(list, file, rank, file, toRank, KindQuiet);
    keys.plain(squareIndex(file, toRank));
    const int startRank = side ? 1 : 6;
    if (rank == startRank && isEmptyCode(board.at(file, toRank + d))) {
        addMove(list, file, rank, file, toRank + d, KindQuiet);
        keys.doubleStep(squareIndex(file, toRank + d), file);
    }
}

inline void swapMoves(MoveList& list, int a, int b) {
    Move t = list.moves[a];
    list.moves[a] = list.moves[b];
    list.moves[b] = t;
}

}  // namespace

namespace {

// Keys for no one: the plain generator.
struct NoKeys {
    void piece(int, PieceCode) {}
    void plain(int) {}
    void capture(int, PieceCode) {}
    void doubleStep(int, int) {}
    void rare(const Move&) {}
};

// The helpers are inlined here, and the writer copied in and out, so that its fields
// stay in registers across the move stores, which may alias anything.
template <class Keys>
void generateInto(MoveList& moveList, const Position& position, Keys& writer) {
    Keys keys = writer;
    const BoardRecord& board = position.board;
    Move* list = moveList.moves + moveList.count;
    const int side = board.sideToMove();
    // In the 90-degree orientation bit b stands for square 63 - b, so taking the highest bit
    // first visits the side's pieces in square index order without touching empty squares.
    for (std::uint64_t pieces = position.side(side).occupancy.occ90; pieces;) {
        const int bit = 63 - std::countl_zero(pieces);
        pieces ^= std::uint64_t(1) << bit;
        const int square = 63 - bit;
        const PieceCode code = board.squares[square];
        const int file = square >> 3;
        const int rank = square & 7;
        keys.piece(square, code);
        switch (typeOf(code)) {
        case King:
            list = generateLeaps(list, board, side, file, rank, kingLeaps[square], keys);
            generateCastling(list, position, side, file, rank, keys);
            break;
        case Queen:
            list = generateSlides(list, board, side, file, rank, 0, 1, keys);
            break;
        case Rook:
            list = generateSlides(list, board, side, file, rank, 0, 2, keys);
            break;
        case Bishop:
            list = generateSlides(list, board, side, file, rank, 1, 2, keys);
            break;
        case Knight:
            list = generateLeaps(list, board, side, file, rank, knightLeaps[square], keys);
            break;
        default:
            generatePawn(list, board, side, file, rank, keys);
            break;
        }
    }
    moveList.count = std::int32_t(list - moveList.moves);
    writer = keys;
}

}  // namespace

void generateMoves(MoveList& moveList, const Position& position) {
    NoKeys none;
    generateInto(moveList, position, none);
}

void generateMoves(MoveList& moveList, const Position& position, ChildKeyWriter& keys) {
    generateInto(moveList, position, keys);
}

// The four square bytes of a move as one word, so that a compare of squares is one compare.
inline std::uint32_t squaresWord(const Move& move) {
    std::uint32_t word;
    std::memcpy(&word, &move, sizeof word);
    return word;
}

inline std::uint16_t targetWord(const Move& move) {
    std::uint16_t word;
    std::memcpy(&word, &move.toFile, sizeof word);
    return word;
}

namespace {

// Each step swaps the chosen move forward, so the entries passed over change places; the
// search's node counts depend on exactly this order.
template <class Swap>
void orderWith(KillerTable& killers, int ply, MoveList& list, const Move& previous,
               const Move& hashMove, Swap swap) {
    static_assert(offsetof(Move, toRank) == offsetof(Move, toFile) + 1);
    int n = 0;
    if (!hashMove.isNone()) {
        const std::uint32_t hash = squaresWord(hashMove);
        for (int i = 0; i < list.count; ++i) {
            if (squaresWord(list.moves[i]) == hash) {
                swap(i, 0);
                n = 1;
                break;
            }
        }
    }
    // Recaptures on the square the opponent just moved to.
    const std::uint16_t recapture = targetWord(previous);
    for (int i = n; i < list.count; ++i) {
        if (targetWord(list.moves[i]) == recapture) swap(i, n++);
    }
    if (ply >= 0 && ply < KillerPlies) {
        const Move* k = killers.moves[ply];
        const std::uint32_t k0 = squaresWord(k[0]), k1 = squaresWord(k[1]), k2 = squaresWord(k[2]);
        for (int i = n; i < list.count; ++i) {
            const std::uint32_t m = squaresWord(list.moves[i]);
            if (m == k0 || m == k1 || m == k2) swap(i, n++);
        }
    }
    for (int i = n; i < list.count; ++i) {
        if (list.moves[i].kind & KindCaptureBit) swap(i, n++);
    }
}

}  // namespace

void orderMoves(KillerTable& killers, int ply, MoveList& list, const Move& previous,
                const Move& hashMove) {
    orderWith(killers, ply, list, previous, hashMove, [&](int a, int b) { swapMoves(list, a, b); });
}

void orderMoves(KillerTable& killers, int ply, MoveList& list, const Move& previous,
                const Move& hashMove, std::uint64_t* keyPairs) {
    orderWith(killers, ply, list, previous, hashMove, [&](int a, int b) {
        swapMoves(list, a, b);
        std::swap(keyPairs[a], keyPairs[b]);
    });
}

void recordKiller(KillerTable& killers, int ply, const Move& move, int score) {
    if (ply < 0 || ply >= KillerPlies) return;
    Move* slot = killers.moves[ply];
    std::int32_t* value = killers.scores[ply];
    if (score <= value[2]) return;

    for (int i = 0; i < 3; ++i) {
        if (!slot[i].sameSquares(move)) continue;
        for (int k = i; k < 2; ++k) {
            slot[k] = slot[k + 1];
            value[k] = value[k + 1];
        }
        slot[2] = NoMove;
        value[2] = -30000;
        break;
    }

    // The new move goes below every slot whose score is at least its own.
    int j = 2;
    while (j > 0 && value[j - 1] < score) --j;
    for (int k = 2; k > j; --k) {
        slot[k] = slot[k - 1];
        value[k] = value[k - 1];
    }
    slot[j] = move;
    value[j] = score;
}

namespace {

// True when the opponent's attack boards say exactly which of its pieces reach a square:
// every piece has its own slot bits, except two bishops on squares of one colour, whose
// shared bit cancels where both reach.
bool marksAreExact(const SideState& s) {
    if (s.rookCount > 2 || s.knightCount > 2 || s.bishopCount > 2 || s.queenCount > 4)
        return false;
    return s.bishopCount < 2 ||
           ((s.bishopFile[0] + s.bishopRank[0] + s.bishopFile[1] + s.bishopRank[1]) & 1) != 0;
}

inline unsigned marksOn(const SideState& s, int square) {
    return s.attackA.cell(square) | s.attackB.cell(square) | s.attackC.cell(square);
}

// Rook, bishop and queen marks (attackA bits 0, 1 and 3, all of attackC).
inline unsigned sliderMarksOn(const SideState& s, int square) {
    return (s.attackA.cell(square) & 11u) | s.attackC.cell(square);
}

// The legal moves of the list, made only where the boards leave it open. With the king
// not in check, a piece that no enemy slider reaches cannot uncover it when it moves, and
// a king step is legal exactly when nothing of the opponent marks the target (no ray can
// run through the king's old square, as none reaches it). Checks, castling, en passant
// (two pawns leave) and possibly pinned pieces are made and tested as in the search.
std::uint64_t countLegalMoves(const Position& position, const MoveList& list) {
    const int mover = position.board.sideToMove();
    const SideState& op = position.side(mover ^ 1);
    const bool settled = !position.inCheck[mover] && marksAreExact(op);
    std::uint64_t nodes = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move& move = list.moves[i];
        if (settled && !(move.kind & (KindCastlingBit | KindEnPassantBit))) {
            const int from = move.from();
            if (typeOf(position.board.squares[from]) == King) {
                nodes += marksOn(op, move.to()) == 0;
                continue;
            }
            if (sliderMarksOn(op, from) == 0) {
                ++nodes;
                continue;
            }
        }
        Position child;
        copyPosition(child, position);
        makeMove(child, move);
        nodes += !child.inCheck[mover];
    }
    return nodes;
}

}  // namespace

namespace {

// True when every piece of the side marks its attacks: a cell with a bit set is then
// attacked, and nothing attacks a square whose cells are all clear but for bishops
// cancelling each other.
bool marksAllPieces(const SideState& s) {
    return s.rookCount <= 2 && s.knightCount <= 2 && s.bishopCount <= 2 && s.queenCount <= 4;
}

// The checking pieces of the mover's king, found on the board; the bits of their squares
// and of the squares between a checking slider and the king. Returns their number.
int checkersOf(const BoardRecord& board, int side, int kingFile, int kingRank,
               std::uint64_t& squares) {
    const int enemy = side ^ 1;
    int checkers = 0;
    squares = 0;
    for (int d = 0; d < 8; ++d) {
        const int df = kingDirections[d].df, dr = kingDirections[d].dr;
        const int slider = makeCode((df == 0 || dr == 0) ? Rook : Bishop, enemy);
        std::uint64_t ray = 0;
        for (int f = kingFile + df, r = kingRank + dr; onBoard(f, r); f += df, r += dr) {
            ray |= std::uint64_t(1) << squareIndex(f, r);
            const PieceCode code = board.at(f, r);
            if (isEmptyCode(code)) continue;
            if (code == slider || code == makeCode(Queen, enemy)) {
                squares |= ray;
                ++checkers;
            }
            break;
        }
    }
    for (const Direction& jump : knightDirections) {
        const int f = kingFile + jump.df, r = kingRank + jump.dr;
        if (onBoard(f, r) && board.at(f, r) == makeCode(Knight, enemy)) {
            squares |= std::uint64_t(1) << squareIndex(f, r);
            ++checkers;
        }
    }
    // An enemy pawn checks from a file beside the king, one rank towards the enemy.
    const int pawnRank = kingRank + (side == White ? 1 : -1);
    for (int f = kingFile - 1; f <= kingFile + 1; f += 2) {
        if (onBoard(f, pawnRank) && board.at(f, pawnRank) == makeCode(Pawn, enemy)) {
            squares |= std::uint64_t(1) << squareIndex(f, pawnRank);
            ++checkers;
        }
    }
    return checkers;
}

// The same from the opponent's marks on the king's square, where each rook, knight and
// queen bit names its slot and so its square. Only when the marks are exact: every piece
// marks, and the bishops, sharing a bit, stand on squares of different colours, so at
// most the one on the king's colour can attack it.
int checkersFromMarks(const Position& position, int side, std::uint64_t& squares) {
    const SideState& me = position.side(side);
    const SideState& op = position.side(side ^ 1);
    const int kingFile = me.kingFile, kingRank = me.kingRank;
    const int king = squareIndex(kingFile, kingRank);
    const unsigned a = op.attackA.cell(king), b = op.attackB.cell(king), c = op.attackC.cell(king);
    int checkers = 0;
    squares = 0;
    auto piece = [&](int file, int rank) {
        squares |= std::uint64_t(1) << squareIndex(file, rank);
        ++checkers;
    };
    // A slider's square and those between it and the king.
    auto slider = [&](int file, int rank) {
        const int df = (file > kingFile) - (file < kingFile);
        const int dr = (rank > kingRank) - (rank < kingRank);
        for (int f = kingFile + df, r = kingRank + dr; f != file || r != rank; f += df, r += dr)
            squares |= std::uint64_t(1) << squareIndex(f, r);
        piece(file, rank);
    };
    for (int slot = 0; slot < 2; ++slot) {
        if ((a >> slot) & 1) slider(op.rookFile[slot], op.rookRank[slot]);
        if ((b >> slot) & 1) piece(op.knightFile[slot], op.knightRank[slot]);
    }
    for (int slot = 0; slot < 4; ++slot)
        if ((c >> slot) & 1) slider(op.queenFile[slot], op.queenRank[slot]);
    if (a & 8) {
        for (int slot = 0; slot < op.bishopCount; ++slot) {
            const int file = op.bishopFile[slot], rank = op.bishopRank[slot];
            if (((file + rank + kingFile + kingRank) & 1) == 0) slider(file, rank);
        }
    }
    // A pawn marking toward the h-file stands a file toward the a-file, and the other way
    // round; one rank toward the enemy.
    const int pawnRank = kingRank + (side == White ? 1 : -1);
    if (b & 4) piece(kingFile - 1, pawnRank);
    if (b & 8) piece(kingFile + 1, pawnRank);
    return checkers;
}

bool sameColourBishops(const SideState& s) {
    return s.bishopCount == 2 &&
           ((s.bishopFile[0] + s.bishopRank[0] + s.bishopFile[1] + s.bishopRank[1]) & 1) == 0;
}

}  // namespace

IllegalMoveFilter illegalMoveFilter(const Position& position) {
    const int side = position.board.sideToMove();
    const SideState& me = position.side(side);
    IllegalMoveFilter filter{~std::uint64_t(0), -1};
    if (me.kingFile < 0 || !marksAllPieces(position.side(side ^ 1))) return filter;
    filter.kingSquare = squareIndex(me.kingFile, me.kingRank);
    if (position.inCheck[side]) {
        std::uint64_t squares;
        const int checkers =
            sameColourBishops(position.side(side ^ 1))
                ? checkersOf(position.board, side, me.kingFile, me.kingRank, squares)
                : checkersFromMarks(position, side, squares);
        // None found: the flag has a cause the board scan does not know; drop nothing.
        if (checkers == 1) filter.evasions = squares;
        if (checkers > 1) filter.evasions = 0;
    }
    return filter;
}

namespace {

// How two squares see each other on an empty board, from the first to the second.
enum : std::uint8_t {
    SameLine = 1,      // a rank or a file
    SameDiagonal = 2,
    KnightJump = 4,
    KingStep = 8,
    WhitePawnTakes = 16,  // a White pawn on the first takes on the second
    BlackPawnTakes = 32,
};

constexpr auto squareRelations = [] {
    std::array<std::array<std::uint8_t, 64>, 64> table{};
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            if (a == b) continue;
            const int df = (b >> 3) - (a >> 3), dr = (b & 7) - (a & 7);
            const int af = df < 0 ? -df : df, ar = dr < 0 ? -dr : dr;
            std::uint8_t r = 0;
            if (df == 0 || dr == 0) r |= SameLine;
            if (af == ar) r |= SameDiagonal;
            if (af * ar == 2) r |= KnightJump;
            if (af <= 1 && ar <= 1) r |= KingStep;
            if (af == 1 && dr == 1) r |= WhitePawnTakes;
            if (af == 1 && dr == -1) r |= BlackPawnTakes;
            table[a][b] = r;
        }
    }
    return table;
}();

// The relations by which a piece of the type (and colour, for a pawn) on one square
// could attack the other.
constexpr std::uint8_t attackRelation(int type, int colour) {
    switch (type) {
        case King: return KingStep;
        case Queen: return SameLine | SameDiagonal;
        case Rook: return SameLine;
        case Bishop: return SameDiagonal;
        case Knight: return KnightJump;
        default: return colour == White ? WhitePawnTakes : BlackPawnTakes;
    }
}

}  // namespace

ForeseenMoveTest foreseenMoveTest(const Position& position) {
    const int side = position.board.sideToMove();
    const SideState& me = position.side(side);
    const SideState& op = position.side(side ^ 1);
    ForeseenMoveTest test{-1, -1};
    if (me.kingFile < 0 || op.kingFile < 0 || position.inCheck[0] || position.inCheck[1] ||
        !marksAreExact(me) || !marksAreExact(op))
        return test;
    test.kingSquare = squareIndex(me.kingFile, me.kingRank);
    test.enemyKing = squareIndex(op.kingFile, op.kingRank);
    return test;
}

// With exact marks a changed occupancy moves a slider's marks only along the lines
// through the squares it reaches there, and a piece standing on the to-square only
// blocks. So the mover's king can be uncovered only through a from-square on one of its
// lines that an enemy slider reaches (a king step only onto a marked square), and the
// enemy's king is attacked only by the moved piece from its new square or through a
// from-square that one of the mover's sliders reaches.
bool ForeseenMoveTest::foresees(const Position& position, const Move& move) const {
    if (kingSquare < 0 || (move.kind != KindQuiet && move.kind != KindCapture)) return false;
    const int side = position.board.sideToMove();
    const int from = move.from(), to = move.to();
    const PieceCode piece = position.board.squares[from];
    if (squareRelations[to][enemyKing] & attackRelation(typeOf(piece), side)) return false;
    const std::uint8_t lines = SameLine | SameDiagonal;
    if ((squareRelations[from][enemyKing] & lines) && sliderMarksOn(position.side(side), from))
        return false;
    if (from == kingSquare) return marksOn(position.side(side ^ 1), to) == 0;
    return !((squareRelations[kingSquare][from] & lines) &&
             sliderMarksOn(position.side(side ^ 1), from));
}

namespace {

std::uint64_t perftLevel(const Position& position, int depth, MoveList* lists) {
    MoveList& list = lists[0];
    list.count = 0;
    generateMoves(list, position);
    if (depth == 1) return countLegalMoves(position, list);
    const int mover = position.board.sideToMove();
    std::uint64_t nodes = 0;
    for (int i = 0; i < list.count; ++i) {
        Position child;
        copyPosition(child, position);
        makeMove(child, list.moves[i]);
        if (child.inCheck[mover]) continue;
        nodes += perftLevel(child, depth - 1, lists + 1);
    }
    return nodes;
}

}  // namespace

std::uint64_t perft(const Position& position, int depth) {
    if (depth <= 0) return 1;
    if (depth > PerftMaxDepth) return 0;
    MoveList lists[PerftMaxDepth];
    return perftLevel(position, depth, lists);
}

}  // namespace corvina
