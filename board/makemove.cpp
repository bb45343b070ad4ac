#include "board/makemove.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "board/tables.h"

namespace corvina {

namespace {

inline void setBits(Occupancy& o, const Occupancy& bits) {
    o.occ |= bits.occ;
    o.occ90 |= bits.occ90;
    o.occDiagA |= bits.occDiagA;
    o.occDiagB |= bits.occDiagB;
}

inline void clearBits(Occupancy& o, const Occupancy& bits) {
    o.occ &= ~bits.occ;
    o.occ90 &= ~bits.occ90;
    o.occDiagA &= ~bits.occDiagA;
    o.occDiagB &= ~bits.occDiagB;
}

// The incremental path keeps list slots 0 and 1 only. The four counts are adjacent bytes,
// none above 10: adding 125 to each sets its top bit exactly when it is above 2, and no
// byte carries into the next.
inline bool beyondFastLimits(const SideState& s) {
    static_assert(offsetof(SideState, knightCount) == offsetof(SideState, rookCount) + 1 &&
                  offsetof(SideState, bishopCount) == offsetof(SideState, rookCount) + 2 &&
                  offsetof(SideState, queenCount) == offsetof(SideState, rookCount) + 3);
    std::uint32_t counts;
    std::memcpy(&counts, &s.rookCount, sizeof counts);
    return ((counts + 0x7D7D7D7Du) & 0x80808080u) != 0;
}

inline int slotOn(const std::int8_t* files, const std::int8_t* ranks, int square) {
    return files[0] * 8 + ranks[0] == square ? 0 : 1;
}

inline bool onDiagonalOf(int square, int file, int rank) {
    const int f = square >> 3, r = square & 7;
    return f - r == file - rank || f + r == file + rank;
}

inline void toggleQueen(int square, int bit, AttackBoard& board, const Occupancy& occ) {
    toggleLineAttacks(square, bit, board, occ);
    toggleDiagonalAttacks(square, bit, board, occ);
}

// A slider's marks after an occupancy change: the XOR of its attack sets before and
// after, line by line, is exactly what toggling out and in again would change. The word
// tables are linear in their index, so the differences expand like any other set.
inline void remarkLine(int square, int bit, AttackBoard& board, const Occupancy& before,
                       const Occupancy& after) {
    const AttackTables& t = attackTables;
    const int file = square >> 3, rank = square & 7;
    const std::uint8_t* rankLine = t.lineAttack[7 - file];
    const unsigned rankDelta =
        rankLine[(before.occ >> (rank * 8)) & 255] ^ rankLine[(after.occ >> (rank * 8)) & 255];
    if (rankDelta)
        board.w[rank >> 1] ^= std::uint64_t(t.rankSpread[rankDelta]) << ((rank & 1) * 32 + bit);
    const std::uint8_t* fileLine = t.lineAttack[7 - rank];
    const int fileShift = (7 - file) * 8;
    const unsigned fileDelta = fileLine[(before.occ90 >> fileShift) & 255] ^
                               fileLine[(after.occ90 >> fileShift) & 255];
    if (fileDelta) {
        const std::uint64_t* words = t.fileWord[file];
        board.w[0] ^= words[(fileDelta >> 6) & 3] << bit;
        board.w[1] ^= words[(fileDelta >> 4) & 3] << bit;
        board.w[2] ^= words[(fileDelta >> 2) & 3] << bit;
        board.w[3] ^= words[fileDelta & 3] << bit;
    }
}

inline void remarkDiagonal(int square, int bit, AttackBoard& board, const Occupancy& before,
                           const Occupancy& after) {
    const AttackTables& t = attackTables;
    const int file = square >> 3, rank = square & 7;
    const std::uint8_t* line = t.lineAttack[rank];
    const int shiftA = ((rank - file) & 7) * 8, shiftB = ((file + rank + 1) & 7) * 8;
    const unsigned deltaA = (line[(before.occDiagA >> shiftA) & 255] ^
                             line[(after.occDiagA >> shiftA) & 255]) &
                            t.diagMaskA[square];
    const unsigned deltaB = (line[(before.occDiagB >> shiftB) & 255] ^
                             line[(after.occDiagB >> shiftB) & 255]) &
                            t.diagMaskB[square];
    if (deltaA | deltaB) {
        const std::uint64_t(*words)[16] = t.diagWord[square];
        board.w[0] ^= words[0][(deltaA & 3) | (deltaB & 3) << 2] << bit;
        board.w[1] ^= words[1][((deltaA >> 2) & 3) | ((deltaB >> 2) & 3) << 2] << bit;
        board.w[2] ^= words[2][((deltaA >> 4) & 3) | ((deltaB >> 4) & 3) << 2] << bit;
        board.w[3] ^= words[3][((deltaA >> 6) & 3) | ((deltaB >> 6) & 3) << 2] << bit;
    }
}

inline bool sameColourBishops(const SideState& s) {
    return s.bishopCount == 2 &&
           ((s.bishopFile[0] + s.bishopRank[0] + s.bishopFile[1] + s.bishopRank[1]) & 1) == 0;
}

// Re-marks the sliders of one side, other than the moving piece (skipType/skipSlot),
// whose rays reach the from-square or, for a quiet move, the to-square: those are the
// only marks the changed occupancy can alter. Rook and queen bits name their slot, so
// a cell says exactly which one to re-mark. The bishops share a bit, so a clear bit
// rules them out only when they stand on squares of different colours.
[[gnu::noinline]] void remarkSliders(SideState& s, unsigned cellA, unsigned cellC, int skipType,
                                     int skipSlot, int from, int to, bool capture,
                                     const Occupancy& before, const Occupancy& after) {
    if (unsigned rooks = cellA & 3) {
        if (skipType == Rook) rooks &= ~(1u << skipSlot);
        for (int slot = 0; slot < 2; ++slot) {
            if (!((rooks >> slot) & 1)) continue;
            remarkLine(squareIndex(s.rookFile[slot], s.rookRank[slot]), slot, s.attackA, before,
                       after);
        }
    }
    if (unsigned queens = cellC & 3) {
        if (skipType == Queen) queens &= ~(1u << skipSlot);
        for (int slot = 0; slot < 2; ++slot) {
            if (!((queens >> slot) & 1)) continue;
            const int sq = squareIndex(s.queenFile[slot], s.queenRank[slot]);
            remarkLine(sq, slot, s.attackC, before, after);
            remarkDiagonal(sq, slot, s.attackC, before, after);
        }
    }
    if (s.bishopCount == 0) return;
    if (!(cellA & 8) && !sameColourBishops(s)) return;
    for (int slot = 0; slot < s.bishopCount; ++slot) {
        if (skipType == Bishop && slot == skipSlot) continue;
        const int file = s.bishopFile[slot], rank = s.bishopRank[slot];
        if (!onDiagonalOf(from, file, rank) && (capture || !onDiagonalOf(to, file, rank)))
            continue;
        remarkDiagonal(squareIndex(file, rank), 3, s.attackA, before, after);
    }
}

// The cells are read in the caller, so that a side none of whose sliders reaches the
// squares (the common case) costs no call.
[[gnu::always_inline]] inline void remarkCrossingSliders(SideState& s, int skipType, int skipSlot,
                                                         int from, int to, bool capture,
                                                         const Occupancy& before,
                                                         const Occupancy& after) {
    unsigned cellA = s.attackA.cell(from), cellC = s.attackC.cell(from);
    if (!capture) {
        cellA |= s.attackA.cell(to);
        cellC |= s.attackC.cell(to);
    }
    const bool bishops = s.bishopCount != 0 && ((cellA & 8) || sameColourBishops(s));
    if ((cellA & 3) || (cellC & 3) || bishops)
        remarkSliders(s, cellA, cellC, skipType, skipSlot, from, to, capture, before, after);
}

// Removes the opponent's piece standing on the to-square (the board still holds it).
void removeCaptured(SideState& o, PieceCode code, int to, int colour, const Occupancy& occ) {
    switch (typeOf(code)) {
        case King:
            toggleKing(to, o.attackA);
            o.kingFile = -1;
            o.kingRank = -1;
            break;
        case Queen: {
            const int slot = slotOn(o.queenFile, o.queenRank, to);
            toggleQueen(to, slot, o.attackC, occ);
            if (--o.queenCount == 1 && slot == 0) {
                // Slot 0 stays occupied: the slot-1 queen moves down, marks and all.
                const int sq = squareIndex(o.queenFile[1], o.queenRank[1]);
                toggleQueen(sq, 1, o.attackC, occ);
                toggleQueen(sq, 0, o.attackC, occ);
                o.queenFile[0] = o.queenFile[1];
                o.queenRank[0] = o.queenRank[1];
            }
            break;
        }
        case Rook: {
            const int slot = slotOn(o.rookFile, o.rookRank, to);
            toggleLineAttacks(to, slot, o.attackA, occ);
            if (--o.rookCount == 1 && slot == 0) {
                const int sq = squareIndex(o.rookFile[1], o.rookRank[1]);
                toggleLineAttacks(sq, 1, o.attackA, occ);
                toggleLineAttacks(sq, 0, o.attackA, occ);
                o.rookFile[0] = o.rookFile[1];
                o.rookRank[0] = o.rookRank[1];
            }
            break;
        }
        case Bishop: {
            const int slot = slotOn(o.bishopFile, o.bishopRank, to);
            toggleDiagonalAttacks(to, 3, o.attackA, occ);
            if (--o.bishopCount == 1 && slot == 0) {
                o.bishopFile[0] = o.bishopFile[1];
                o.bishopRank[0] = o.bishopRank[1];
            }
            break;
        }
        case Knight: {
            const int slot = slotOn(o.knightFile, o.knightRank, to);
            toggleKnight(to, slot, o.attackB);
            if (--o.knightCount == 1 && slot == 0) {
                const int sq = squareIndex(o.knightFile[1], o.knightRank[1]);
                toggleKnight(sq, 1, o.attackB);
                toggleKnight(sq, 0, o.attackB);
                o.knightFile[0] = o.knightFile[1];
                o.knightRank[0] = o.knightRank[1];
            }
            break;
        }
        case Pawn:
            // The pawn marks are linear in the set of pawns: toggling the one pawn takes
            // out exactly its own.
            togglePawns(attackTables.squareBits[to].occ, o.attackB, colour);
            o.pawns &= ~attackTables.squareBits[to].occ;
            --o.pawnCount;
            break;
        default:
            break;
    }
}

}  // namespace

void makeMoveByRebuild(Position& position, const Move& move) {
    BoardRecord board = position.board;
    applyMoveToBoard(board, move);
    // Expanding in place keeps the evaluation terms the fast path also leaves alone.
    expandPosition(position, board);
}

void makeMove(Position& position, const Move& move) {
    // "No move" and other squares off the board change nothing, as in applyMoveToBoard.
    if (move.offBoard()) return;
    const int from = move.from(), to = move.to();
    const PieceCode piece = position.board.squares[from];
    const int type = typeOf(piece);
    const int colour = colourOf(piece);
    SideState& me = position.side(colour);
    SideState& op = position.side(colour ^ 1);
    const bool promotion = type == Pawn && (move.toRank == 0 || move.toRank == 7);

    // Rare kinds and crowded sides take the full rebuild.
    if (type > Pawn || beyondFastLimits(me) || beyondFastLimits(op) || move.promotion != 2 ||
        (move.kind & (KindCastlingBit | KindEnPassantBit)) || (promotion && me.queenCount >= 2)) {
        makeMoveByRebuild(position, move);
        return;
    }

    const bool capture = move.kind & KindCaptureBit;
    const Occupancy& fromBits = attackTables.squareBits[from];
    const Occupancy& toBits = attackTables.squareBits[to];
    Occupancy& all = position.allOcc;

    // Sliders whose rays cross the move's squares, before anything else changes.
    {
        const Occupancy before = all;
        Occupancy after = before;
        clearBits(after, fromBits);
        setBits(after, toBits);
        int moverSlot = 0;
        if (type == Rook) moverSlot = slotOn(me.rookFile, me.rookRank, from);
        if (type == Queen) moverSlot = slotOn(me.queenFile, me.queenRank, from);
        if (type == Bishop) moverSlot = slotOn(me.bishopFile, me.bishopRank, from);
        remarkCrossingSliders(me, type, moverSlot, from, to, capture, before, after);
        remarkCrossingSliders(op, -1, -1, from, to, capture, before, after);
    }

    clearBits(me.occupancy, fromBits);
    clearBits(all, fromBits);

    // The moving piece's own marks and list entry.
    switch (type) {
        case King:
            toggleKing(from, me.attackA);
            me.kingFile = move.toFile;
            me.kingRank = move.toRank;
            toggleKing(to, me.attackA);
            break;
        case Queen: {
            const int slot = slotOn(me.queenFile, me.queenRank, from);
            toggleQueen(from, slot, me.attackC, all);
            me.queenFile[slot] = move.toFile;
            me.queenRank[slot] = move.toRank;
            toggleQueen(to, slot, me.attackC, all);
            break;
        }
        case Rook: {
            const int slot = slotOn(me.rookFile, me.rookRank, from);
            toggleLineAttacks(from, slot, me.attackA, all);
            me.rookFile[slot] = move.toFile;
            me.rookRank[slot] = move.toRank;
            toggleLineAttacks(to, slot, me.attackA, all);
            break;
        }
        case Bishop: {
            const int slot = slotOn(me.bishopFile, me.bishopRank, from);
            toggleDiagonalAttacks(from, 3, me.attackA, all);
            me.bishopFile[slot] = move.toFile;
            me.bishopRank[slot] = move.toRank;
            toggleDiagonalAttacks(to, 3, me.attackA, all);
            break;
        }
        case Knight: {
            const int slot = slotOn(me.knightFile, me.knightRank, from);
            toggleKnight(from, slot, me.attackB);
            me.knightFile[slot] = move.toFile;
            me.knightRank[slot] = move.toRank;
            toggleKnight(to, slot, me.attackB);
            break;
        }
        default:  // pawn
            if (promotion) {
                togglePawns(fromBits.occ, me.attackB, colour);
                me.pawns &= ~fromBits.occ;
                --me.pawnCount;
            } else {
                togglePawns(fromBits.occ | toBits.occ, me.attackB, colour);
                me.pawns ^= fromBits.occ | toBits.occ;
            }
            if (promotion) {
                const int slot = me.queenCount++;
                me.queenFile[slot] = move.toFile;
                me.queenRank[slot] = move.toRank;
                toggleQueen(to, slot, me.attackC, all);
            }
            break;
    }

    if (capture) {
        removeCaptured(op, position.board.squares[to], to, colour ^ 1, all);
        clearBits(op.occupancy, toBits);
    }
    setBits(me.occupancy, toBits);
    setBits(all, toBits);

    applyMoveToBoard(position.board, move);
    updateCheckAndPathFlags(position);
}

namespace {

// The key pairs of the pieces an en passant capture, a castling or a promotion changes
// besides the mover's from and to squares.
[[gnu::noinline]] std::uint64_t rareMoveKeys(const HashKeys& k, const Move& move, PieceCode p,
                                             PieceCode target) {
    std::uint64_t keys = 0;
    auto piece = [&](int code, int square) {
        if (code < 12) keys ^= k.piecePair[square * 12 + code];  // an empty square has none
    };
    if (move.kind & KindEnPassantBit) {
        if (move.toRank == 2) piece(makeCode(Pawn, White), squareIndex(move.toFile, 3));
        if (move.toRank == 5) piece(makeCode(Pawn, Black), squareIndex(move.toFile, 4));
    } else if (move.kind & KindCastlingBit) {
        const int rook = makeCode(Rook, colourOf(p));
        if (move.toFile == 2) {
            piece(rook, squareIndex(3, move.toRank));
            piece(rook, squareIndex(0, move.toRank));
        } else if (move.toFile == 6) {
            piece(rook, squareIndex(5, move.toRank));
            piece(rook, squareIndex(7, move.toRank));
        }
    } else if (move.kind & KindPromotionBit) {
        const int to = move.to();
        piece(move.promotion | colourOf(p), to);
        piece(p, to);
        if (move.kind & KindCaptureBit) piece(target, to);
    }
    return keys;
}

}  // namespace

void keysAfterMoves(const Position& parent, const Move* moves, int count,
                    std::uint32_t* indexKeys, std::uint32_t* lockKeys, const SlotArray& slots) {
    const HashKeys& k = hashKeys();
    const BoardRecord& board = parent.board;
    const unsigned rights = castleRights(board);
    // A king move ends both rights of its side: the mover is the side to move.
    const unsigned kingLost = board.sideToMove() == White ? 3u : 12u;
    // Every child has the other side to move and loses the parent's en passant file.
    const std::uint64_t sideKeys =
        (parent.hashIndexKey | std::uint64_t(parent.hashLockKey) << 32) ^ k.sidePair;
    const std::uint64_t base = board.epAvailable() ? sideKeys ^ k.epPair[board.epFile()] : sideKeys;
    const char* const slotBase = slots.base;
    const std::uint32_t slotMask = slots.mask;
    for (int i = 0; i < count; ++i) {
        const Move& move = moves[i];
        std::uint64_t keys = sideKeys;  // a move off the board leaves the board as it is
        if (!move.offBoard()) [[likely]] {
            keys = base;
            const int from = move.from(), to = move.to();
            const PieceCode p = board.squares[from];
            const int type = typeOf(p);
            if (p < 12) [[likely]]
                keys ^= k.piecePair[from * 12 + p] ^ k.piecePair[to * 12 + p];
            if (move.kind == KindCapture) {
                const PieceCode target = board.squares[to];
                if (target < 12) keys ^= k.piecePair[to * 12 + target];
            } else if (move.kind != KindQuiet) [[unlikely]] {
                keys ^= rareMoveKeys(k, move, p, board.squares[to]);
            }
            // The rights applyMoveToBoard takes: a king's both, a rook's own corner, and
            // the corner moved to.
            if (rights) {
                unsigned lost = cornerRight[to];
                lost |= type == Rook ? cornerRight[from] : 0u;
                lost |= type == King ? kingLost : 0u;
                keys ^= k.castlePair[rights & lost];
            }
            // A double step opens en passant: the only pawn move over two ranks (an en
            // passant capture goes one).
            if (type == Pawn && (move.fromRank ^ move.toRank) == 2) keys ^= k.epPair[move.fromFile];
        }
        indexKeys[i] = std::uint32_t(keys);
        lockKeys[i] = std::uint32_t(keys >> 32);
        if (slotBase)
            __builtin_prefetch(slotBase +
                               std::size_t(std::uint32_t(keys) & slotMask) * SlotArray::SlotBytes);
    }
}

ChildKeyWriter childKeyWriter(const Position& parent, std::uint64_t* out, const SlotArray& slots) {
    const HashKeys& k = hashKeys();
    const BoardRecord& board = parent.board;
    ChildKeyWriter writer{};
    writer.parent = &parent;
    writer.k = &k;
    writer.base = (parent.hashIndexKey | std::uint64_t(parent.hashLockKey) << 32) ^ k.sidePair;
    if (board.epAvailable()) writer.base ^= k.epPair[board.epFile()];
    writer.out = out;
    writer.slots = slots;
    writer.rights = castleRights(board);
    writer.kingLost = board.sideToMove() == White ? 3u : 12u;
    return writer;
}

void ChildKeyWriter::rare(const Move& move) {
    std::uint32_t index, lock;
    keysAfterMoves(*parent, &move, 1, &index, &lock, slots);
    *out++ = index | std::uint64_t(lock) << 32;
}

void updateKeysAfterMove(Position& child, const Position& parent, const Move& move) {
    keysAfterMoves(parent, &move, 1, &child.hashIndexKey, &child.hashLockKey);
}

}  // namespace corvina
