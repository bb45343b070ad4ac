// The xboard run and the protocol-2 commands of its command loop.
#include "app/xboard.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "app/engine.h"
#include "app/frontend.h"
#include "app/input.h"

namespace corvina {

namespace {

// What the engine can do, for xboard's protocol 2. colors=0 keeps xboard from sending the
// old white and black commands; sigint=0 and sigterm=0 leave the process to "quit".
const char* const FeatureLine =
    "feature ping=1 setboard=1 usermove=1 playother=1 sigint=0 sigterm=0 "
    "myname=\"corvina\" colors=0 analyze=0 name=0 nps=0 done=1";

void skipRestOfLine(std::istream& in) {
    for (char c; in.get(c) && c != '\n';) {
    }
}

}  // namespace

bool looksLikeMove(const std::string& w) {
    const bool coordinate = (w.size() == 4 || w.size() == 5) && w[0] >= 'a' && w[0] <= 'h' &&
                            w[1] >= '1' && w[1] <= '8' && w[2] >= 'a' && w[2] <= 'h' &&
                            w[3] >= '1' && w[3] <= '8';
    return coordinate || w == "O-O" || w == "O-O-O" || w == "o-o" || w == "o-o-o" || w == "0-0" ||
           w == "0-0-0";
}

bool xboardEngineToMove(const Engine& engine, const CommandLoop& loop) {
    if (loop.forceMode) return false;
    if (loop.playing != -1) return engine.board.sideToMove() == loop.playing;
    return loop.thinkNow;
}

XboardCommand readXboardCommand(const std::string& word, Engine& engine, CommandLoop& loop) {
    std::istream& in = loop.in;
    std::string arg;
    // Commands with one argument lose nothing at the end of input but the command.
    const auto argument = [&] { return static_cast<bool>(in >> arg); };
    const int side = engine.board.sideToMove();

    if (word == "protover") {
        if (!argument()) return XboardCommand::EndOfInput;
        if (std::atol(arg.c_str()) >= 2) std::cout << FeatureLine << std::endl;
    } else if (word == "force") {
        loop.forceMode = true;
    } else if (word == "go") {
        // The engine takes the side to move, now and for the rest of the game.
        loop.forceMode = false;
        loop.playing = side;
        loop.thinkNow = true;
        return XboardCommand::Think;
    } else if (word == "playother") {
        loop.forceMode = false;
        loop.playing = 1 - side;
    } else if (word == "usermove") {
        return XboardCommand::Move;
    } else if (word == "undo") {
        engine.takeBack();
    } else if (word == "remove") {
        if (engine.takeBack()) engine.takeBack();
    } else if (word == "ping") {
        // Everything before it is done: the loop reads it only after the engine's move.
        if (!argument()) return XboardCommand::EndOfInput;
        std::cout << "pong " << arg << std::endl;
    } else if (word == "post") {
        loop.post = true;
    } else if (word == "nopost") {
        loop.post = false;
    } else if (word == "otim") {
        if (!argument()) return XboardCommand::EndOfInput;
        engine.limits.opponentSeconds = std::atol(arg.c_str()) * 0.01;
    } else if (word == "level") {
        std::string moves;
        std::string base;
        if (!(in >> moves >> base >> arg)) return XboardCommand::EndOfInput;
        // The base time is not kept: the clock itself comes with every time command.
        engine.limits.movesPerSession = std::max(0L, std::atol(moves.c_str()));
        engine.limits.sessionStartPly = engine.plyCount;
        engine.limits.incrementSeconds = std::max(0.0, std::atof(arg.c_str()));
        engine.limits.moveSeconds = 0;
    } else if (word == "st") {
        if (!argument()) return XboardCommand::EndOfInput;
        engine.limits.moveSeconds = std::max(0.0, std::atof(arg.c_str()));
        engine.limits.movesPerSession = 0;
        engine.limits.incrementSeconds = 0;
    } else if (word == "sd") {
        if (!argument()) return XboardCommand::EndOfInput;
        engine.limits.depth = std::max(0L, std::atol(arg.c_str()));
    } else if (word == "name" || word == "accepted" || word == "rejected") {
        // Their words are a name or a feature, never moves or commands.
        skipRestOfLine(in);
    } else if (word == "xboard" || word == "?" || word == "hard" || word == "easy" ||
               word == "draw" || word == "computer" || word == "random") {
        // No pondering, no random play; a draw offer is declined by saying nothing; "?"
        // outside a search has nothing to hurry.
    } else {
        return XboardCommand::NotOne;
    }
    return XboardCommand::ReadOn;
}

bool xboardLineWhileThinking(const std::string& line, bool waiting, Engine& engine,
                             CommandLoop& loop) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "?") {
        engine.requestStop();
        return true;
    }
    // The game the engine thinks about is over or changed: its move would be wrong.
    if (waiting) return false;
    if (word == "quit" || word == "force" || word == "new" || word == "result" ||
        word == "setboard" || word == "undo" || word == "remove" || word == "edit") {
        loop.abandoned = true;
        engine.requestStop();
    }
    return false;
}

void runXboard(const Settings& settings) {
    // xboard interrupts its engines with SIGINT before relaying a move (unless told
    // sigint=0); the default action would end the process in the middle of the game.
    std::signal(SIGINT, SIG_IGN);
    std::cout << "feature setboard=1" << std::endl;
    std::cout << "feature analyze=0" << std::endl;
    std::cout << "feature done=1" << std::endl;
    // The loop reads the input thread's queue. The filter needs the loop, which needs the
    // reader's stream: it is handed over before any thinking, the only time it is used.
    // The thread starts first, so that a script's lines are all waiting by the first move.
    Engine* engineSeen = nullptr;
    CommandLoop* loopSeen = nullptr;
    InputReader reader(std::cin, [&](const std::string& line, bool waiting) {
        return loopSeen && xboardLineWhileThinking(line, waiting, *engineSeen, *loopSeen);
    });
    Engine engine(settings.book, settings.egtb, settings.hashsize, settings.egtbsize);
    engine.searcher.kind = searchKindNamed(settings.search.c_str());
    CommandLoop loop(reader.stream(), true);
    loop.reader = &reader;
    engineSeen = &engine;
    loopSeen = &loop;
    engine.onPass = [&loop](const PassReport& report) {
        if (loop.post) printThinkingLine(std::cout, report);
    };
    runGameLoop(engine, loop);
}

}  // namespace corvina
