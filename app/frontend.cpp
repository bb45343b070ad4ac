// The front-end runs and the command loop shared by the xboard and console modes.
#include "app/frontend.h"

#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "app/engine.h"
#include "app/input.h"
#include "app/xboard.h"
#include "board/notation.h"
#include "board/position.h"

namespace corvina {

// xboard takes plain coordinates with the promotion piece ("e7e8q"); it rejects the
// capture mark and a promotion without its letter. UCI writes moves the same way.
std::string xboardMove(const Move& move) {
    std::string text;
    text += char('a' + move.fromFile);
    text += char('1' + move.fromRank);
    text += char('a' + move.toFile);
    text += char('1' + move.toRank);
    if (move.kind & KindPromotion) {
        const int type = move.promotion >> 1;
        text += "?qrbn"[type >= 1 && type <= 4 ? type : 1];
    }
    return text;
}

namespace {

void printMoveLine(const Move& move, bool xboard) {
    std::cout << "move ";
    if (xboard) std::cout << xboardMove(move);
    else writeCoordinate(std::cout, move);
    std::cout << std::endl;
}

void showBoard(const Engine& engine) { printBoard(std::cout, engine.board) << std::endl; }

const char* resultLine(GameResult result) {
    switch (result) {
        case 0: return "0-1 {black mates}";
        case 1: return "1-0 {white mates}";
        case 3: return "1/2-1/2 {draw by repetition}";
        default: return nullptr;
    }
}

}  // namespace

int readCommands(Engine& engine, CommandLoop& loop) {
    std::istream& in = loop.in;
    const bool xboard = loop.xboard;
    bool& thinkNow = loop.thinkNow;
    bool& goSeen = loop.goSeen;
    std::string word;
    for (;;) {
        // A closed input ends the loop as "quit" would.
        if (!(in >> word)) return -1;
        if (word == "black") {
            engine.engineSide = 0;
        } else if (word == "white") {
            engine.engineSide = 1;
        } else if (word == "go") {
            // xboard's go plays the side to move at any time of the game.
            if (xboard) {
                readXboardCommand(word, engine, loop);
                return 0;
            }
            if (!goSeen) {
                goSeen = true;
                return 0;
            }
        } else if (word == "m") {
            thinkNow = true;
            return 0;
        } else if (word == "b") {
            showBoard(engine);
            std::cout << (engine.board.sideToMove() == 1 ? "white" : "black") << " to move"
                      << std::endl;
        } else if (word == "new") {
            engine.newGame();
            thinkNow = false;
            goSeen = false;
            // xboard: out of force mode, no side taken, no depth limit.
            loop.forceMode = false;
            loop.playing = -1;
            engine.limits.depth = 0;
        } else if (word == "quit") {
            return -1;
        } else if (word == "time") {
            if (!(in >> word)) return -1;
            // xboard sends a negative time when a flag falls unclaimed. That is an empty
            // clock, not the -1.0 of "no clock": it gets the shortest move, one pass.
            const long centiseconds = std::atol(word.c_str());
            engine.limits.clockSeconds = centiseconds > 0 ? centiseconds * 0.01 : 0.0;
            thinkNow = true;
        } else if (word == "rating") {
            std::int32_t own = 0;
            std::int32_t other = 0;
            if (in >> own >> other) {
                engine.engineRating = own;
                engine.opponentRating = other;
            } else {
                if (in.eof()) return -1;
                // Not numbers: keep the earlier ratings and read the words as usual.
                in.clear();
            }
        } else if (word == "setboard") {
            // Drop the blank after the word; a line end there ends an empty text, so
            // "accepted setboard" does not swallow the next line as a position.
            std::string fen;
            char c = 0;
            if (in.get(c) && c != '\n')
                while (in.get(c) && c != '\n') fen += c;
            if (!fen.empty() && fen.back() == '\r') fen.pop_back();
            if (!in) {
                // Cut off by the end of input: the game stays as it was.
                return -1;
            }
            // "accepted setboard" from xboard leaves nothing on the line: not a position.
            if (fen.find_first_not_of(" \t") == std::string::npos) continue;
            BoardRecord checked{};
            std::string why;
            if (readFenChecked(checked, fen, why)) {
                // As setPosition does, but with the checked board: the raw text would keep
                // an en passant square with no pawn behind it (the capture then takes
                // whatever stands there) and rights the placement contradicts.
                engine.setBoard(checked);
            } else if (xboard) {
                std::cout << "tellusererror Illegal position" << std::endl;
            } else {
                std::cout << why << std::endl;
            }
        } else if (word == "result") {
            std::cout << "the game is over" << std::endl;
            thinkNow = false;
            goSeen = false;
            loop.forceMode = false;
            loop.playing = -1;
        } else if (word == "stat") {
        } else if (word == "trav") {
            engine.showTree = true;
        } else {
            bool moveWord = false;
            if (xboard) {
                const XboardCommand done = readXboardCommand(word, engine, loop);
                if (done == XboardCommand::EndOfInput) return -1;
                if (done == XboardCommand::Think) return 0;
                if (done == XboardCommand::ReadOn) continue;
                if (done == XboardCommand::Move) {
                    if (!(in >> word)) return -1;
                    moveWord = true;
                }
            }
            const Move move = readMove(word, engine.board);
            if (move.isNone()) {
                if (!xboard) std::cout << "illegal move or command" << std::endl;
                // The protocol's answer, so that xboard takes the move back; other words
                // stay unanswered.
                else if (moveWord || looksLikeMove(word))
                    std::cout << "Illegal move: " << word << std::endl;
                continue;
            }
            if (!xboard) {
                std::cout << engine.plyCount << ". move ";
                writeCoordinate(std::cout, move) << std::endl;
            }
            engine.applyMove(move);
            return 0;
        }
    }
}

void runGameLoop(Engine& engine, CommandLoop& loop) {
    const bool xboard = loop.xboard;
    loop.goSeen = false;
    if (!xboard) showBoard(engine);
    for (;;) {
        loop.thinkNow = false;
        if (readCommands(engine, loop) == -1) return;
        if (!xboard) showBoard(engine);
        if (!(xboard ? xboardEngineToMove(engine, loop) : loop.thinkNow)) continue;
        Move move;
        if (loop.reader) {
            // The input thread may stop the search; a request left from before is void.
            engine.clearStop();
            loop.abandoned = false;
            loop.reader->beginThinking();
            move = engine.think();
            loop.reader->endThinking();
            // The game changed under the search (force, new, quit, ...): no move.
            if (loop.abandoned) continue;
        } else {
            move = engine.think();
        }
        if (!move.isNone()) {
            if (!xboard) std::cout << engine.plyCount << ". ";
            printMoveLine(move, xboard);
            engine.applyMove(move);
        }
        if (const char* line = resultLine(engine.result)) std::cout << line << std::endl;
        if (!xboard) showBoard(engine);
    }
}

void runConsolePositions(const Settings& settings) {
    Engine engine(settings.book, settings.egtb, settings.hashsize, settings.egtbsize);
    engine.searcher.kind = searchKindNamed(settings.search.c_str());
    engine.limits.clockSeconds = 10.0;
    engine.plyCount = 100;
    static const char* const positions[] = {
        "2b1k3/p1p5/2p2B2/4P1Np/2p5/3q4/PQ3PPP/3R1RK1 b - - 0 23",
        "2r2rk1/pp4pp/3pbp2/n7/3n4/1PNN4/P3BPPP/3R1RK1 w - - 0 19",
        "8/2R4p/1p2r1k1/n7/4N3/PP4P1/5P1P/6K1 w - - 0 57",
        "8/8/1p6/4k3/PPK3P1/8/8/8 w - - 0 91",
        "8/8/1p6/4k3/PPK5/8/8/8 w - - 0 1",
        "8/8/1K6/4k3/PP6/8/8/8 w - - 0 1",
    };
    for (const char* fen : positions) engine.setPosition(fen);
    CommandLoop loop(std::cin, false);
    runGameLoop(engine, loop);
}

void runConsoleEndgames(const Settings& settings) {
    Engine engine(settings.book, settings.egtb, settings.hashsize, settings.egtbsize);
    engine.searcher.kind = searchKindNamed(settings.search.c_str());
    engine.limits.clockSeconds = 120.0;
    engine.plyCount = 40;
    static const char* const endgames[] = {
        "8/8/8/8/5K1k/8/7P/8 w - - 0 1",     "8/8/8/8/2K3Pk/8/8/8 w - - 0 1",
        "8/8/8/8/2K2P1k/8/8/8 w - - 0 1",    "8/8/8/8/2K2P1k/8/6p1/8 w - - 0 1",
        "8/7P/8/8/5K1k/8/8/8 w - - 0 1",     "8/8/7P/8/8/8/5K2/7k w - - 0 1",
        "4k3/4p3/8/8/8/8/3PP3/4K3 w - - 0 1",
    };
    for (const char* fen : endgames) parseFen(engine.board, fen);
    CommandLoop loop(std::cin, false);
    runGameLoop(engine, loop);
}

void runSelfPlay(const Settings& settings) {
    Engine engine(settings.book, settings.egtb, settings.hashsize, settings.egtbsize);
    engine.searcher.kind = searchKindNamed(settings.search.c_str());
    engine.limits.clockSeconds = 120.0;
    engine.plyCount = 40;
    parseFen(engine.board, "2b1k3/p1p5/2p2B2/4P1Np/2p5/3q4/PQ3PPP/3R1RK1 b - - 0 23");
    while (engine.result == -1) {
        const Move move = engine.think();
        if (!move.isNone()) engine.applyMove(move);
        writeCoordinate(std::cout, move) << std::endl;
        printBoard(std::cout, engine.board) << std::endl;
        if (move.isNone() && engine.result == -1) {
            // No legal move and no mate reported: stalemate, nothing more to play.
            std::cout << "the game is over: no move to play" << std::endl;
            return;
        }
    }
}

}  // namespace corvina
