// Gaviota probes of table positions, for the table maker and for the tests that check
// its tables against Gaviota. Needs Debian's Gaviota probing library (libgaviotatb-dev).
#pragma once

#include <gtb-probe.h>

#include <string>

#include "tablebases/indexing.h"

namespace corvina {

inline std::string tableSquareName(int x) {
    return std::string(1, char('a' + (x & 7))) + char('1' + (x >> 3));
}

// A table position in words, for messages: "white to move: white Ke1 qd1; black Ke8".
inline std::string describeTablePosition(const TableMen& men, const TablePosition& p) {
    static const char letters[] = "?pnbrq";
    std::string text = p.sideToMove == 0 ? "white to move:" : "black to move:";
    for (int s = 0; s < 2; ++s) {
        text += s == 0 ? " white K" : "; black K";
        text += tableSquareName(p.king[s]);
        for (int i = 0; i < men.count[s]; ++i) {
            text += ' ';
            text += letters[men.kind[s][i]];
            text += tableSquareName(p.square[s][i]);
        }
    }
    if (p.epSquare != NoSquare) {
        text += "; en passant " + tableSquareName(p.epSquare);
    }
    return text;
}

enum class GaviotaVerdict { NoAnswer, Illegal, Draw, MoverWins, MoverLoses };

// Gaviota's verdict on a table position from the side to move's view; for a win or a loss
// moves is the mate distance in moves (a loss in 0 is mate on the board). Gaviota must
// have been started (tb_init) on a folder holding the material's table.
inline GaviotaVerdict probeGaviota(const TableMen& men, const TablePosition& p, int& moves) {
    unsigned squares[2][5];
    unsigned char pieces[2][5];
    for (int s = 0; s < 2; ++s) {
        int n = 0;
        squares[s][n] = unsigned(p.king[s]);
        pieces[s][n++] = tb_KING;
        for (int i = 0; i < men.count[s]; ++i) {
            squares[s][n] = unsigned(p.square[s][i]);
            pieces[s][n++] = static_cast<unsigned char>(men.kind[s][i]);  // same numbers as Gaviota's
        }
        squares[s][n] = tb_NOSQUARE;
        pieces[s][n] = tb_NOPIECE;
    }
    unsigned info = tb_UNKNOWN;
    unsigned plies = 0;
    const unsigned stm = p.sideToMove == 0 ? tb_WHITE_TO_MOVE : tb_BLACK_TO_MOVE;
    const unsigned ep = p.epSquare == NoSquare ? unsigned(tb_NOSQUARE) : unsigned(p.epSquare);
    moves = 0;
    if (!tb_probe_hard(stm, ep, tb_NOCASTLE, squares[0], squares[1], pieces[0], pieces[1], &info,
                       &plies)) {
        return GaviotaVerdict::NoAnswer;
    }
    if (info == tb_DRAW) {
        return GaviotaVerdict::Draw;
    }
    if (info != tb_WMATE && info != tb_BMATE) {
        return GaviotaVerdict::Illegal;
    }
    // Mating in n moves takes 2n - 1 plies, being mated in n moves 2n plies.
    if ((info == tb_WMATE) == (p.sideToMove == 0)) {
        moves = int(plies + 1) / 2;
        return GaviotaVerdict::MoverWins;
    }
    moves = int(plies) / 2;
    return GaviotaVerdict::MoverLoses;
}

}  // namespace corvina
