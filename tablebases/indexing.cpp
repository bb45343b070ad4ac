#include "tablebases/indexing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace corvina {

namespace {

constexpr int fileOf(int x) { return x & 7; }
constexpr int rankOf(int x) { return x >> 3; }
constexpr int transposed(int x) { return fileOf(x) * 8 + rankOf(x); }

bool touching(int a, int b) {
    return a != b && std::abs(fileOf(a) - fileOf(b)) <= 1 && std::abs(rankOf(a) - rankOf(b)) <= 1;
}

// May a man of this type stand on s with the other king on k?
bool allowed(int type, int k, int s) {
    if (s == k) {
        return false;
    }
    int df = std::abs(fileOf(s) - fileOf(k));
    int dr = std::abs(rankOf(s) - rankOf(k));
    switch (type) {
        case OtherPawn:
            return s >= 8 && s <= 55;
        case MoverPawn:
            if (s < 8 || s > 55) {
                return false;
            }
            return !((k == s + 7 && fileOf(s) > 0) || (k == s + 9 && fileOf(s) < 7));
        case EnumKnight:
            return !((df == 1 && dr == 2) || (df == 2 && dr == 1));
        case EnumBishop:
            return !(df == 1 && dr == 1);
        case EnumRook:
            return df + dr != 1;
        default:
            return std::max(df, dr) != 1;
    }
}

bool inTriangle(int x) { return fileOf(x) <= 3 && rankOf(x) <= fileOf(x); }
bool onDiagonal(int x) { return fileOf(x) == rankOf(x); }

// Quadrant mask: brings the square into files a-d, ranks 1-4.
int quadrantMask(int x) { return (fileOf(x) >= 4 ? 7 : 0) | (rankOf(x) >= 4 ? 56 : 0); }

std::uint32_t pairCount(int pt, int pu, bool same) {
    return same ? std::uint32_t(pt * (pt - 1) / 2) : std::uint32_t(pt * pu);
}

void buildTables(EnumerationTables& t) {
    for (int type = 0; type < 6; ++type) {
        for (int k = 0; k < 64; ++k) {
            int n = 0;
            for (int s = 0; s < 64; ++s) {
                t.number[type][k][s] = allowed(type, k, s) ? std::uint8_t(n++) : 255;
            }
            t.count[type][k] = std::uint8_t(n);
        }
    }
    std::fill(std::begin(t.kp1806), std::end(t.kp1806), std::int16_t(-1));
    std::fill(std::begin(t.kp462), std::end(t.kp462), std::int16_t(-1));
    int n1806 = 0;
    int n462 = 0;
    for (int big = 0; big < 64; ++big) {
        for (int small = 0; small < 64; ++small) {
            if (small == big || touching(big, small)) {
                continue;
            }
            if (fileOf(big) <= 3) {
                t.kp1806[big * 64 + small] = std::int16_t(n1806++);
            }
            if (inTriangle(big) && (!onDiagonal(big) || rankOf(small) <= fileOf(small))) {
                t.kp462[big * 64 + small] = std::int16_t(n462++);
            }
        }
    }
    std::memset(t.singleWithPawns, 0, sizeof t.singleWithPawns);
    std::memset(t.singlePawnless, 0, sizeof t.singlePawnless);
    std::memset(t.pairWithPawns, 0, sizeof t.pairWithPawns);
    std::memset(t.pairPawnless, 0, sizeof t.pairPawnless);
    std::memset(t.singleWithPawnsTotal, 0, sizeof t.singleWithPawnsTotal);
    std::memset(t.singlePawnlessTotal, 0, sizeof t.singlePawnlessTotal);
    std::memset(t.pairWithPawnsTotal, 0, sizeof t.pairWithPawnsTotal);
    std::memset(t.pairPawnlessTotal, 0, sizeof t.pairPawnlessTotal);

    // Sums in increasing order of K * 64 + k, which is also the pair numbering.
    auto accumulate = [&](const std::int16_t* kp, auto countOf, std::uint32_t* table,
                          std::uint32_t& total) {
        std::uint32_t sum = 0;
        for (int pair = 0; pair < 4096; ++pair) {
            if (kp[pair] < 0) {
                continue;
            }
            table[kp[pair]] = sum;
            sum += countOf(pair / 64, pair % 64);
        }
        total = sum;
    };
    for (int type = 0; type < 6; ++type) {
        auto single = [&](int big, int small) { return std::uint32_t(places(t, type, big, small)); };
        accumulate(t.kp1806, single, t.singleWithPawns[type], t.singleWithPawnsTotal[type]);
        if (type >= EnumKnight) {
            accumulate(t.kp462, single, t.singlePawnless[type], t.singlePawnlessTotal[type]);
        }
    }
    for (int tt = 0; tt < 6; ++tt) {
        for (int uu = tt == 0 ? 0 : 1; uu <= tt; ++uu) {
            auto pair = [&](int big, int small) {
                return pairCount(places(t, tt, big, small), places(t, uu, big, small), tt == uu);
            };
            accumulate(t.kp1806, pair, t.pairWithPawns[tt][uu], t.pairWithPawnsTotal[tt][uu]);
            if (uu >= EnumKnight) {
                accumulate(t.kp462, pair, t.pairPawnless[tt][uu], t.pairPawnlessTotal[tt][uu]);
            }
        }
    }
}

int manOf(int tableSide, int i) { return 2 + 3 * tableSide + i; }

}  // namespace

const EnumerationTables& enumerationTables() {
    static EnumerationTables tables;
    static const bool built = (buildTables(tables), true);
    (void)built;
    return tables;
}

int places(const EnumerationTables& tables, int type, int moverKing, int otherKing) {
    return tables.count[type][otherKing] - (tables.number[type][otherKing][moverKing] != 255);
}

bool TableMen::hasPawns() const {
    for (int s = 0; s < 2; ++s) {
        for (int i = 0; i < count[s]; ++i) {
            if (kind[s][i] == ManPawn) {
                return true;
            }
        }
    }
    return false;
}

bool TableMen::pawnsOnBothSides() const {
    bool has[2] = {false, false};
    for (int s = 0; s < 2; ++s) {
        for (int i = 0; i < count[s]; ++i) {
            has[s] = has[s] || kind[s][i] == ManPawn;
        }
    }
    return has[0] && has[1];
}

TableMen parseTableMen(std::string_view name) {
    TableMen men;
    int tableSide = -1;
    for (char letter : name) {
        if (letter == 'k') {
            ++tableSide;
            continue;
        }
        if (tableSide < 0 || tableSide > 1 || men.count[tableSide] >= 3) {
            continue;
        }
        std::int8_t kind = ManPawn;
        switch (letter) {
            case 'n': kind = ManKnight; break;
            case 'b': kind = ManBishop; break;
            case 'r': kind = ManRook; break;
            case 'q': kind = ManQueen; break;
            default: break;
        }
        men.kind[tableSide][men.count[tableSide]++] = kind;
    }
    return men;
}

int squareOfPiece(const SideState& side, int kind, int slot) {
    auto fromSlots = [&](int count, const std::int8_t* files, const std::int8_t* ranks) {
        return slot < count ? ranks[slot] * 8 + files[slot] : NoSquare;
    };
    switch (kind) {
        case ManKnight: return fromSlots(side.knightCount, side.knightFile, side.knightRank);
        case ManBishop: return fromSlots(side.bishopCount, side.bishopFile, side.bishopRank);
        case ManRook: return fromSlots(side.rookCount, side.rookFile, side.rookRank);
        case ManQueen: return fromSlots(side.queenCount, side.queenFile, side.queenRank);
        default: break;
    }
    std::uint64_t pawns = side.pawns;
    for (int i = 0; pawns != 0; ++i) {
        int bit = __builtin_ctzll(pawns);
        if (i == slot) {
            return (bit & ~7) | (7 - (bit & 7));
        }
        pawns &= pawns - 1;
    }
    return NoSquare;
}

IndexFunction makeIndexFunction(std::string_view name, int side) {
    const EnumerationTables& tables = enumerationTables();
    IndexFunction f;
    f.men = parseTableMen(name);
    f.side = std::int8_t(side);
    f.withPawns = f.men.hasPawns();
    const int mover = side;
    const int other = 1 - side;
    const TableMen& men = f.men;

    // Primary men: the mover's men, or else the other side's pawns.
    std::uint8_t primaryMask = 0;
    if (men.count[mover] > 0) {
        for (int i = 0; i < men.count[mover]; ++i) {
            int kind = men.kind[mover][i];
            f.primaryMan[f.primaryCount] = std::int8_t(manOf(mover, i));
            f.primaryType[f.primaryCount] = std::int8_t(kind == ManPawn ? MoverPawn : kind);
            ++f.primaryCount;
        }
    } else {
        for (int i = 0; i < men.count[other]; ++i) {
            if (men.kind[other][i] == ManPawn) {
                f.primaryMan[f.primaryCount] = std::int8_t(manOf(other, i));
                f.primaryType[f.primaryCount] = OtherPawn;
                ++f.primaryCount;
            }
        }
    }
    if (f.primaryCount == 2 && f.primaryType[0] < f.primaryType[1]) {
        std::swap(f.primaryMan[0], f.primaryMan[1]);
        std::swap(f.primaryType[0], f.primaryType[1]);
    }
    bool primaryPawn = false;
    for (int i = 0; i < f.primaryCount; ++i) {
        primaryMask |= std::uint8_t(1u << f.primaryMan[i]);
        primaryPawn = primaryPawn || f.primaryType[i] <= MoverPawn;
    }
    f.primaryFlip = std::int8_t(side == 1 && primaryPawn ? 56 : 0);

    std::uint32_t size = 0;
    if (f.primaryCount == 0) {
        size = f.withPawns ? KingPairsWithPawns : KingPairsPawnless;
    } else if (f.primaryCount == 1) {
        size = f.withPawns ? tables.singleWithPawnsTotal[f.primaryType[0]]
                           : tables.singlePawnlessTotal[f.primaryType[0]];
    } else {
        int tt = f.primaryType[0];
        int uu = f.primaryType[1];
        size = f.withPawns ? tables.pairWithPawnsTotal[tt][uu] : tables.pairPawnlessTotal[tt][uu];
    }

    // Secondary men: the other side's pieces in name order, then its pawns.
    std::uint8_t moverPawns = 0;
    std::uint8_t allPawns = 0;
    std::uint8_t moverMen = 0;
    for (int s = 0; s < 2; ++s) {
        for (int i = 0; i < men.count[s]; ++i) {
            std::uint8_t bit = std::uint8_t(1u << manOf(s, i));
            if (men.kind[s][i] == ManPawn) {
                allPawns |= bit;
                if (s == mover) {
                    moverPawns |= bit;
                }
            }
            if (s == mover) {
                moverMen |= bit;
            }
        }
    }
    std::uint8_t earlier = 0;
    for (int i = 0; i < men.count[other]; ++i) {
        int kind = men.kind[other][i];
        int man = manOf(other, i);
        if (kind == ManPawn) {
            continue;
        }
        IndexFunction::Secondary item;
        item.man[0] = std::int8_t(man);
        bool likePair = i + 1 < men.count[other] && men.kind[other][i + 1] == kind;
        std::uint8_t base = std::uint8_t(3 | moverMen | allPawns | earlier);
        if (likePair) {
            item.man[1] = std::int8_t(man + 1);
            std::uint8_t pairMask = std::uint8_t((1u << man) | (1u << (man + 1)));
            // every man but the pair: its later pieces too
            std::uint8_t everyone = 3;
            for (int s = 0; s < 2; ++s) {
                for (int j = 0; j < men.count[s]; ++j) {
                    everyone |= std::uint8_t(1u << manOf(s, j));
                }
            }
            item.counted = std::uint8_t(everyone & ~pairMask);
            int r = 64 - __builtin_popcount(item.counted);
            item.radix = std::uint32_t(r * (r - 1) / 2);
            earlier |= pairMask;
            ++i;
        } else {
            item.counted = base;
            item.radix = std::uint32_t(64 - __builtin_popcount(base));
            earlier |= std::uint8_t(1u << man);
        }
        f.secondary[f.secondaryCount++] = item;
    }
    for (int i = 0; i < men.count[other]; ++i) {
        int man = manOf(other, i);
        if (men.kind[other][i] != ManPawn || (primaryMask >> man & 1)) {
            continue;
        }
        IndexFunction::Secondary item;
        item.pawn = 1;
        item.man[0] = std::int8_t(man);
        item.counted = moverPawns;
        int r = 48 - __builtin_popcount(moverPawns);
        bool likePair = i + 1 < men.count[other] && men.kind[other][i + 1] == ManPawn;
        if (likePair) {
            item.man[1] = std::int8_t(man + 1);
            item.radix = std::uint32_t(r * (r - 1) / 2);
            ++i;
        } else {
            item.radix = std::uint32_t(r);
        }
        f.secondary[f.secondaryCount++] = item;
    }
    for (int i = 0; i < f.secondaryCount; ++i) {
        size *= f.secondary[i].radix;
    }
    f.normalSize = size;
    f.indexSpace = size;
    if (men.pawnsOnBothSides()) {
        // The en passant zone: a base (king pairs, or a mover's piece over them), the
        // remaining man, 14 capture codes.
        std::uint32_t zone = KingPairsWithPawns;
        std::uint32_t radix = 1;
        for (int i = 0; i < men.count[mover]; ++i) {
            if (men.kind[mover][i] != ManPawn) {
                zone = tables.singleWithPawnsTotal[men.kind[mover][i]];
            }
        }
        if (men.total() == 3) {
            bool remainingPawn = men.count[0] == 2 && men.kind[0][1] == ManPawn &&
                                 men.kind[0][0] == ManPawn;
            if (remainingPawn) {
                radix = 44;
            } else if (side == 1) {
                radix = 58;
            }
        }
        f.indexSpace = size + zone * radix * 14;
    }
    return f;
}

namespace {

// Number of the given squares below x.
int countBelow(int x, const int* squares, int n) {
    int below = 0;
    for (int i = 0; i < n; ++i) {
        below += squares[i] < x;
    }
    return below;
}

}  // namespace

std::uint32_t IndexFunction::operator()(const SideState& tableWhite, const SideState& tableBlack,
                                        int epSquare, int flip) const {
    const EnumerationTables& tables = enumerationTables();
    const SideState* records[2] = {&tableWhite, &tableBlack};
    int square[8];
    for (int s = 0; s < 2; ++s) {
        const SideState& record = *records[s];
        if (record.kingFile < 0) {
            return InvalidIndex;
        }
        square[s] = record.kingRank * 8 + record.kingFile;
        int used[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < men.count[s]; ++i) {
            int kind = men.kind[s][i];
            int x = squareOfPiece(record, kind, used[kind]++);
            if (x == NoSquare) {
                return InvalidIndex;
            }
            square[manOf(s, i)] = x;
        }
    }
    const int mover = side;
    const int other = 1 - side;

    // Orientation: the c-square of every man.
    int mask;
    bool transpose = false;
    if (withPawns) {
        mask = (fileOf(square[mover]) >= 4 ? 7 : 0) ^ (flip ? 56 : 0);
    } else {
        mask = quadrantMask(square[mover]);
        int bigKing = square[mover] ^ mask;
        int smallKing = square[other] ^ mask;
        transpose = !(inTriangle(bigKing) &&
                      (!onDiagonal(bigKing) || rankOf(smallKing) <= fileOf(smallKing)));
    }
    int c[8];
    const int menTotal = 2 + 3 + men.count[1];
    for (int m = 0; m < menTotal; ++m) {
        if (m >= 2 + men.count[0] && m < 5) {
            continue;
        }
        int y = square[m] ^ mask;
        c[m] = transpose ? transposed(y) : y;
    }

    if (epSquare != NoSquare && men.pawnsOnBothSides()) {
        // En passant zone, on c-squares.
        const int e = epSquare ^ mask;
        const int pushed = side == 0 ? e - 8 : e + 8;
        const int origin = side == 0 ? e + 8 : e - 8;
        int moverPawn[2];
        int moverPawns = 0;
        int moverPiece = -1;
        for (int i = 0; i < men.count[mover]; ++i) {
            if (men.kind[mover][i] == ManPawn) {
                moverPawn[moverPawns++] = c[manOf(mover, i)];
            } else {
                moverPiece = manOf(mover, i);
            }
        }
        int otherPawn[2];
        int otherPawns = 0;
        int otherPiece = -1;
        for (int i = 0; i < men.count[other]; ++i) {
            if (men.kind[other][i] == ManPawn) {
                otherPawn[otherPawns++] = c[manOf(other, i)];
            } else {
                otherPiece = manOf(other, i);
            }
        }
        int capturer;
        int code;
        int remainingPawn = -1;
        // A step of +7 or +9 (-9 for Black) crosses the board's edge from the a-file or
        // the h-file: an h4 pawn is no capturer towards a6.
        const auto takesLeft = [e](int x, int step) { return fileOf(x) > 0 && x + step == e; };
        const auto takesRight = [e](int x) { return fileOf(x) < 7 && x + 9 == e; };
        if (side == 0) {
            if (moverPawns == 1) {
                capturer = moverPawn[0];
                code = takesLeft(capturer, 7) ? fileOf(capturer) - 1 : fileOf(capturer) + 7;
            } else {
                int lo = std::min(moverPawn[0], moverPawn[1]);
                int hi = std::max(moverPawn[0], moverPawn[1]);
                if (takesLeft(lo, 7)) {
                    capturer = lo, code = fileOf(lo) - 1, remainingPawn = hi;
                } else if (takesRight(lo)) {
                    capturer = lo, code = fileOf(lo) + 7, remainingPawn = hi;
                } else {
                    capturer = hi, remainingPawn = lo;
                    code = takesLeft(hi, 7) ? fileOf(hi) - 1 : fileOf(hi) + 7;
                }
            }
        } else {
            capturer = moverPawn[0];
            code = takesLeft(capturer, -9) ? fileOf(capturer) - 1 : fileOf(capturer) + 7;
            if (otherPawns == 2) {
                int lo = std::min(otherPawn[0], otherPawn[1]);
                int hi = std::max(otherPawn[0], otherPawn[1]);
                remainingPawn = lo == e + 8 ? hi : lo;
            }
        }
        int pair = tables.kp1806[c[mover] * 64 + c[other]];
        if (pair < 0) {
            return InvalidIndex;
        }
        std::uint32_t primary = std::uint32_t(pair);
        if (moverPiece >= 0) {
            int type = men.kind[mover][moverPiece - manOf(mover, 0)];
            int x = c[moverPiece];
            int n = tables.number[type][c[other]][x];
            if (n == 255) {
                return InvalidIndex;
            }
            n -= tables.number[type][c[other]][c[mover]] != 255 && x > c[mover];
            primary = tables.singleWithPawns[type][pair] + std::uint32_t(n);
        }
        const int gone[6] = {capturer, pushed, e, origin, c[0], c[1]};
        std::uint32_t index;
        if (remainingPawn >= 0) {
            int value = remainingPawn - 8 - countBelow(remainingPawn, gone, 4);
            if (value < 0 || value >= 44) {
                return InvalidIndex;
            }
            index = (primary * 44 + std::uint32_t(value)) * 14;
        } else if (otherPiece >= 0) {
            int x = c[otherPiece];
            int value = x - countBelow(x, gone, 6);
            if (value < 0 || value >= 58) {
                return InvalidIndex;
            }
            index = (primary * 58 + std::uint32_t(value)) * 14;
        } else {
            index = primary * 14;
        }
        if (code < 0 || code > 13) {
            return InvalidIndex;
        }
        return normalSize + index + std::uint32_t(code);
    }

    // Primary value on v-squares.
    const int vMover = c[mover] ^ primaryFlip;
    const int vOther = c[other] ^ primaryFlip;
    int pair = withPawns ? tables.kp1806[vMover * 64 + vOther] : tables.kp462[vMover * 64 + vOther];
    if (pair < 0) {
        return InvalidIndex;
    }
    auto numberOf = [&](int type, int v) {
        int n = tables.number[type][vOther][v];
        if (n == 255) {
            return -1;
        }
        return n - int(tables.number[type][vOther][vMover] != 255 && v > vMover);
    };
    std::uint32_t index;
    if (primaryCount == 0) {
        index = std::uint32_t(pair);
    } else if (primaryCount == 1) {
        int type = primaryType[0];
        int n = numberOf(type, c[primaryMan[0]] ^ primaryFlip);
        if (n < 0) {
            return InvalidIndex;
        }
        index = (withPawns ? tables.singleWithPawns[type][pair] : tables.singlePawnless[type][pair]) +
                std::uint32_t(n);
    } else {
        int tt = primaryType[0];
        int uu = primaryType[1];
        int a = c[primaryMan[0]] ^ primaryFlip;
        int b = c[primaryMan[1]] ^ primaryFlip;
        std::uint32_t base =
            withPawns ? tables.pairWithPawns[tt][uu][pair] : tables.pairPawnless[tt][uu][pair];
        if (tt == uu) {
            if (a > b) {
                std::swap(a, b);
            }
            int na = numberOf(tt, a);
            int nb = numberOf(tt, b);
            if (na < 0 || nb <= na) {
                return InvalidIndex;
            }
            index = base + std::uint32_t(nb * (nb - 1) / 2 + na);
        } else {
            int nt = numberOf(tt, a);
            int nu = numberOf(uu, b);
            if (nt < 0 || nu < 0) {
                return InvalidIndex;
            }
            index = base + std::uint32_t(nt * places(tables, uu, vMover, vOther) + nu);
        }
    }

    // Secondary men on c-squares.
    for (int i = 0; i < secondaryCount; ++i) {
        const Secondary& item = secondary[i];
        int counted[8];
        int n = 0;
        for (int m = 0; m < 8; ++m) {
            if (item.counted >> m & 1) {
                counted[n++] = c[m];
            }
        }
        auto valueOf = [&](int x) { return x - (item.pawn ? 8 : 0) - countBelow(x, counted, n); };
        std::int64_t value;
        if (item.man[1] < 0) {
            value = valueOf(c[item.man[0]]);
        } else {
            int a = c[item.man[0]];
            int b = c[item.man[1]];
            if (a > b) {
                std::swap(a, b);
            }
            std::int64_t va = valueOf(a);
            std::int64_t vb = valueOf(b);
            if (va < 0 || vb <= va) {
                return InvalidIndex;
            }
            value = vb * (vb - 1) / 2 + va;
        }
        if (value < 0 || value >= std::int64_t(item.radix)) {
            return InvalidIndex;
        }
        index = index * item.radix + std::uint32_t(value);
    }
    return index;
}

void fillSideState(SideState& side, int king, const std::int8_t* kinds, const std::int8_t* squares,
                   int count) {
    side = SideState{};
    side.kingFile = std::int8_t(fileOf(king));
    side.kingRank = std::int8_t(rankOf(king));
    for (int i = 0; i < count; ++i) {
        std::int8_t file = std::int8_t(fileOf(squares[i]));
        std::int8_t rank = std::int8_t(rankOf(squares[i]));
        switch (kinds[i]) {
            case ManKnight:
                side.knightFile[side.knightCount] = file;
                side.knightRank[side.knightCount++] = rank;
                break;
            case ManBishop:
                side.bishopFile[side.bishopCount] = file;
                side.bishopRank[side.bishopCount++] = rank;
                break;
            case ManRook:
                side.rookFile[side.rookCount] = file;
                side.rookRank[side.rookCount++] = rank;
                break;
            case ManQueen:
                side.queenFile[side.queenCount] = file;
                side.queenRank[side.queenCount++] = rank;
                break;
            default:
                side.pawns |= std::uint64_t(1) << (rank * 8 + 7 - file);
                ++side.pawnCount;
                break;
        }
    }
}

namespace {

// A small board for the enumeration: kinds and colours by square, occupancy mask.
struct EnumBoard {
    std::uint64_t occupied = 0;
    std::int8_t kind[64] = {};    // 0 king, else ManKind; only valid where occupied
    std::int8_t colour[64] = {};  // table side
};

bool rayClear(const EnumBoard& board, int from, int to, int df, int dr) {
    int x = from + dr * 8 + df;
    while (x != to) {
        if (board.occupied >> x & 1) {
            return false;
        }
        x += dr * 8 + df;
    }
    return true;
}

// Does the man on from attack target? Pawns of table side 0 move up the board.
bool attacks(const EnumBoard& board, int from, int target) {
    int df = fileOf(target) - fileOf(from);
    int dr = rankOf(target) - rankOf(from);
    int adf = std::abs(df);
    int adr = std::abs(dr);
    int sf = (df > 0) - (df < 0);
    int sr = (dr > 0) - (dr < 0);
    switch (board.kind[from]) {
        case 0: return std::max(adf, adr) == 1;
        case ManPawn: return adf == 1 && dr == (board.colour[from] == 0 ? 1 : -1);
        case ManKnight: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
        case ManBishop: return adf == adr && adf > 0 && rayClear(board, from, target, sf, sr);
        case ManRook: return (adf == 0) != (adr == 0) && rayClear(board, from, target, sf, sr);
        default:
            return (adf == adr || adf == 0 || adr == 0) && (adf | adr) != 0 &&
                   rayClear(board, from, target, sf, sr);
    }
}

bool sideAttacks(const EnumBoard& board, const int* squares, int n, int target) {
    for (int i = 0; i < n; ++i) {
        if (attacks(board, squares[i], target)) {
            return true;
        }
    }
    return false;
}

struct Enumerator {
    const TableMen& men;
    int sideToMove;
    const std::function<void(const TablePosition&)>& visit;
    std::uint64_t visited = 0;
    EnumBoard board{};
    TablePosition position{};
    int flatKind[6] = {};
    int flatSide[6] = {};
    int flatIndex[6] = {};
    int flatCount = 0;

    void emit(int epSquare) {
        position.sideToMove = sideToMove;
        position.epSquare = epSquare;
        for (int s = 0; s < 2; ++s) {
            fillSideState(position.sides[s], position.king[s], men.kind[s], position.square[s],
                          men.count[s]);
        }
        visit(position);
        ++visited;
    }

    // Squares of one side: king first, then its men.
    int sideSquares(int s, int* out) const {
        out[0] = position.king[s];
        for (int i = 0; i < men.count[s]; ++i) {
            out[1 + i] = position.square[s][i];
        }
        return 1 + men.count[s];
    }

    void placed() {
        const int mover = sideToMove;
        const int other = 1 - mover;
        int attackers[4];
        int n = sideSquares(mover, attackers);
        if (sideAttacks(board, attackers, n, position.king[other])) {
            return;
        }
        emit(NoSquare);
        if (!men.pawnsOnBothSides()) {
            return;
        }
        // The other side's pawn may just have made a double step beside a mover's pawn.
        const int forward = other == 0 ? 8 : -8;
        const int pushedRank = other == 0 ? 3 : 4;
        for (int i = 0; i < men.count[other]; ++i) {
            int pushed = position.square[other][i];
            if (men.kind[other][i] != ManPawn || rankOf(pushed) != pushedRank) {
                continue;
            }
            int e = pushed - forward;
            int origin = pushed - 2 * forward;
            if ((board.occupied >> e & 1) || (board.occupied >> origin & 1)) {
                continue;
            }
            bool capturer = false;
            for (int j = 0; j < men.count[mover]; ++j) {
                int x = position.square[mover][j];
                capturer = capturer || (men.kind[mover][j] == ManPawn && rankOf(x) == pushedRank &&
                                        std::abs(x - pushed) == 1);
            }
            if (!capturer) {
                continue;
            }
            // Before the double step the mover's king was not in check.
            EnumBoard before = board;
            before.occupied &= ~(std::uint64_t(1) << pushed);
            before.occupied |= std::uint64_t(1) << origin;
            before.kind[origin] = ManPawn;
            before.colour[origin] = std::int8_t(other);
            int pushers[4];
            int m = sideSquares(other, pushers);
            pushers[1 + i] = origin;
            if (sideAttacks(before, pushers, m, position.king[mover])) {
                continue;
            }
            emit(e);
        }
    }

    void place(int k) {
        if (k == flatCount) {
            placed();
            return;
        }
        const int s = flatSide[k];
        const int i = flatIndex[k];
        const int kind = flatKind[k];
        int first = kind == ManPawn ? 8 : 0;
        int last = kind == ManPawn ? 55 : 63;
        // Men of one kind and side in increasing squares: each position once.
        if (i > 0 && men.kind[s][i - 1] == kind) {
            first = std::max(first, position.square[s][i - 1] + 1);
        }
        for (int x = first; x <= last; ++x) {
            if (board.occupied >> x & 1) {
                continue;
            }
            board.occupied |= std::uint64_t(1) << x;
            board.kind[x] = std::int8_t(kind);
            board.colour[x] = std::int8_t(s);
            position.square[s][i] = std::int8_t(x);
            place(k + 1);
            board.occupied &= ~(std::uint64_t(1) << x);
        }
    }

    void run() {
        for (int s = 0; s < 2; ++s) {
            for (int i = 0; i < men.count[s]; ++i) {
                flatKind[flatCount] = men.kind[s][i];
                flatSide[flatCount] = s;
                flatIndex[flatCount++] = i;
            }
        }
        for (int wk = 0; wk < 64; ++wk) {
            for (int bk = 0; bk < 64; ++bk) {
                if (wk == bk || touching(wk, bk)) {
                    continue;
                }
                position.king[0] = std::int8_t(wk);
                position.king[1] = std::int8_t(bk);
                board.occupied = (std::uint64_t(1) << wk) | (std::uint64_t(1) << bk);
                board.kind[wk] = 0;
                board.colour[wk] = 0;
                board.kind[bk] = 0;
                board.colour[bk] = 1;
                place(0);
            }
        }
    }
};

}  // namespace

bool isLegalTablePosition(const TableMen& men, const TablePosition& position) {
    EnumBoard board;
    int movers[4];
    int n = 0;
    for (int s = 0; s < 2; ++s) {
        for (int i = -1; i < men.count[s]; ++i) {
            int x = i < 0 ? position.king[s] : position.square[s][i];
            int kind = i < 0 ? 0 : men.kind[s][i];
            if (x < 0 || x > 63 || (board.occupied >> x & 1)) {
                return false;
            }
            if (kind == ManPawn && (x < 8 || x > 55)) {
                return false;
            }
            board.occupied |= std::uint64_t(1) << x;
            board.kind[x] = std::int8_t(kind);
            board.colour[x] = std::int8_t(s);
            if (s == position.sideToMove) {
                movers[n++] = x;
            }
        }
    }
    return !sideAttacks(board, movers, n, position.king[1 - position.sideToMove]);
}

std::uint64_t forEachTablePosition(const TableMen& men, int sideToMove,
                                   const std::function<void(const TablePosition&)>& visit) {
    Enumerator enumerator{men, sideToMove, visit};
    enumerator.run();
    return enumerator.visited;
}

}  // namespace corvina
