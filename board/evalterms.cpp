#include "board/evalterms.h"

#include <algorithm>
#include <array>

#include "board/attacks.h"
#include "board/position.h"

namespace corvina {

namespace {

// Rows by rank from the first rank, files a..h; turned into square-index order below.
using RankRows = std::array<std::array<int, 8>, 8>;

constexpr RankRows shelterRows = {{
    {100, 125, 25, 0, 0, 25, 125, 100},
    {50, 15, 0, 0, 0, 0, 15, 25},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {50, 15, 0, 0, 0, 0, 15, 25},
    {100, 125, 25, 0, 0, 25, 125, 100},
}};

constexpr RankRows centreRows = {{
    {10, 12, 14, 16, 16, 14, 12, 10},
    {12, 14, 20, 22, 22, 20, 14, 12},
    {14, 20, 24, 30, 30, 24, 20, 14},
    {16, 22, 30, 30, 30, 30, 22, 16},
    {16, 22, 30, 30, 30, 30, 22, 16},
    {14, 20, 24, 30, 30, 24, 20, 14},
    {12, 14, 20, 22, 22, 20, 14, 12},
    {10, 12, 14, 16, 16, 14, 12, 10},
}};

constexpr std::array<int, 64> bySquare(const RankRows& rows) {
    std::array<int, 64> table{};
    for (int file = 0; file < 8; ++file)
        for (int rank = 0; rank < 8; ++rank) table[squareIndex(file, rank)] = rows[rank][file];
    return table;
}

// Attacker categories of the exchange, cheapest first.
constexpr int CategoryCount = 5;
constexpr int categoryValue[CategoryCount] = {100, 300, 500, 1000, 100000};

// Every side has at most 12 attackers of one square, so 24 captures plus the start.
constexpr int MaxExchangeSteps = 25;

// Bits set in a cell; a table, since a build for plain x86-64 has no popcount instruction.
constexpr int cellBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

void countAttackers(unsigned a, unsigned b, unsigned c, int counts[CategoryCount]) {
    counts[0] = cellBits[b & 12u];                     // pawns
    counts[1] = cellBits[b & 3u] + int((a >> 3) & 1);  // knights and the bishop bit
    counts[2] = cellBits[a & 3u];                      // rooks
    counts[3] = cellBits[c & 15u];                     // queens
    counts[4] = int((a >> 2) & 1);                     // king
}

bool anyCell(unsigned a, unsigned b, unsigned c) { return (a | b | c) != 0; }

int minorAndMajorCount(const SideState& side) {
    return side.bishopCount + side.knightCount + side.rookCount + side.queenCount;
}

// Back-rank pieces still on their starting squares: rooks a/h, knights b/g, bishops c/f,
// queen d. The king is not counted.
int homePieces(const BoardRecord& board, int colour) {
    static constexpr int homeType[8] = {Rook, Knight, Bishop, Queen, -1, Bishop, Knight, Rook};
    const int rank = colour == White ? 0 : 7;
    int count = 0;
    for (int file = 0; file < 8; ++file) {
        if (homeType[file] < 0) continue;
        if (board.at(file, rank) == makeCode(homeType[file], colour)) ++count;
    }
    return count;
}

int kingPlacement(const SideState& side, bool centre) {
    if (side.kingFile < 0) return 0;
    const int square = squareIndex(side.kingFile, side.kingRank);
    return centre ? kingCentre[square] : kingShelter[square];
}

}  // namespace

const std::array<int, 64> kingShelter = bySquare(shelterRows);
const std::array<int, 64> kingCentre = bySquare(centreRows);

int exchangeEstimate(unsigned whiteA, unsigned whiteB, unsigned whiteC, unsigned blackA,
                     unsigned blackB, unsigned blackC, PieceCode target) {
    int counts[2][CategoryCount];
    countAttackers(blackA, blackB, blackC, counts[Black]);
    countAttackers(whiteA, whiteB, whiteC, counts[White]);

    const int firstCapturer = colourOf(target) == White ? Black : White;
    int category[2] = {0, 0};
    int list[MaxExchangeSteps];
    int gain = 0;
    int onSquare = pieceValue(target);
    list[0] = 0;
    int n = 1;

    // Capture with the cheapest attacker left, alternating, until the side to capture
    // has nothing left. list[i] is the balance before the i-th capture.
    int side = firstCapturer;
    while (n < MaxExchangeSteps) {
        int& c = category[side];
        while (c < CategoryCount && counts[side][c] == 0) ++c;
        if (c == CategoryCount) break;
        gain += side == White ? onSquare : -onSquare;
        onSquare = categoryValue[c];
        --counts[side][c];
        list[n++] = gain;
        side ^= 1;
    }

    // Each capturer may stop instead of capturing: minimax from the end of the sequence.
    int v = list[n - 1];
    for (int i = n - 2; i >= 0; --i) {
        const int capturer = (i % 2 == 0) ? firstCapturer : (firstCapturer ^ 1);
        v = capturer == White ? std::max(list[i], v) : std::min(list[i], v);
    }
    return v;
}

bool lowMaterialSide(const SideState& side) {
    if (side.queenCount == 0) return side.rookCount < 2;
    if (side.queenCount == 1) return side.bishopCount + side.knightCount + side.rookCount < 2;
    return false;
}

void boardEvaluationTerms(Position& position, const Move& last) {
    const SideState& white = position.white;
    const SideState& black = position.black;

    // The exchange on the square the last move went to, seen by the side to move.
    position.exchange = 0;
    if (!last.isNone()) {
        const int to = last.to();
        const unsigned wA = white.attackA.cell(to), wB = white.attackB.cell(to),
                       wC = white.attackC.cell(to);
        const unsigned bA = black.attackA.cell(to), bB = black.attackB.cell(to),
                       bC = black.attackC.cell(to);
        const PieceCode moved = position.board.squares[to];
        const bool whiteToMove = position.board.sideToMove() == White;
        const bool attacked = whiteToMove ? anyCell(wA, wB, wC) : anyCell(bA, bB, bC);
        const bool defended = whiteToMove ? anyCell(bA, bB, bC) : anyCell(wA, wB, wC);
        if (attacked && !isEmptyCode(moved)) {
            if (defended)
                position.exchange = exchangeEstimate(wA, wB, wC, bA, bB, bC, moved);
            else
                position.exchange = whiteToMove ? pieceValue(moved) : -pieceValue(moved);
        }
    }

    // Material, the king counted by presence; summed in integers, which a double holds
    // exactly, and converted once.
    int material = pieceValueByType[King] * (int(white.kingFile >= 0) - int(black.kingFile >= 0));
    material += pieceValueByType[Rook] * (white.rookCount - black.rookCount);
    material += pieceValueByType[Knight] * (white.knightCount - black.knightCount);
    material += pieceValueByType[Bishop] * (white.bishopCount - black.bishopCount);
    material += pieceValueByType[Queen] * (white.queenCount - black.queenCount);
    material += pieceValueByType[Pawn] * (white.pawnCount - black.pawnCount);
    position.material = double(material);

    // Square control from the attack boards.
    position.squareControl = double(weightedSum(white) - weightedSum(black));

    // Endgame flags.
    const bool lowWhite = lowMaterialSide(white);
    const bool lowBlack = lowMaterialSide(black);
    const int piecesWhite = minorAndMajorCount(white);
    const int piecesBlack = minorAndMajorCount(black);
    position.lowMaterial = lowWhite || lowBlack;
    position.fewPieces = piecesWhite < 2 || piecesBlack < 2;
    position.piecesGone = piecesWhite == 0 && piecesBlack == 0;

    // King placement: a king whose opponent has little left heads for the centre.
    position.kingTerm = double(kingPlacement(white, lowBlack) - kingPlacement(black, lowWhite));

    // Development: pieces still at home count against their own side.
    position.development =
        double(homePieces(position.board, Black) - homePieces(position.board, White));
}

}  // namespace corvina
