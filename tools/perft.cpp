// corvina-perft [--divide] DEPTH "FEN": counts the leaves of the legal move tree with the
// engine's own generator, make-move and check test, for every depth up to DEPTH.
#include <chrono>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace {

using corvina::Position;

int fail(const std::string& message) {
    std::cerr << "error: " << message << '\n';
    return 2;
}

bool parseDepth(const std::string& text, int& depth) {
    if (text.empty() || text.size() > 2) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    depth = std::stoi(text);
    return depth >= 1 && depth <= corvina::PerftMaxDepth;
}

std::uint64_t microsecondsSince(std::chrono::steady_clock::time_point start) {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count());
}

}  // namespace

int main(int argc, char** argv) {
    bool divide = false;
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--divide") {
        divide = true;
        first = 2;
    }
    if (argc - first != 2) return fail("usage: corvina-perft [--divide] DEPTH \"FEN\"");
    int depth = 0;
    if (!parseDepth(argv[first], depth))
        return fail("depth must be a whole number from 1 to " +
                    std::to_string(corvina::PerftMaxDepth) + ", not " + argv[first]);

    // The keys play no part in the count; a fixed seed keeps runs alike.
    corvina::seedRandom(1);
    corvina::initTables();

    corvina::BoardRecord board;
    std::string why;
    if (!corvina::readFenChecked(board, argv[first + 1], why)) return fail("bad FEN: " + why);
    Position root;
    corvina::expandPosition(root, board);

    if (divide) {
        corvina::MoveList list;
        list.reset();
        corvina::generateMoves(list, root);
        const int mover = board.sideToMove();
        for (int i = 0; i < list.count; ++i) {
            Position child = root;
            corvina::makeMove(child, list.moves[i]);
            if (child.inCheck[mover]) continue;
            std::ostringstream name;
            corvina::writeCoordinate(name, list.moves[i]);
            std::cout << name.str() << ' ' << corvina::perft(child, depth - 1) << '\n';
        }
    }

    std::uint64_t nodes = 0;
    std::uint64_t micros = 0;
    for (int d = 1; d <= depth; ++d) {
        auto start = std::chrono::steady_clock::now();
        nodes = corvina::perft(root, d);
        micros = microsecondsSince(start);
        std::cout << "depth " << d << " nodes " << nodes << " ms " << micros / 1000 << '\n'
                  << std::flush;
    }
    std::cout << "nps " << (micros ? nodes * 1000000 / micros : nodes * 1000000) << '\n';
    return 0;
}
