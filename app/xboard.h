// The xboard protocol beyond the classic command set: force mode and the sides, take back,
// time controls, ping, feature lines, and the words that only inform.
#pragma once

#include <string>

namespace corvina {

struct Engine;
struct CommandLoop;

// What readXboardCommand did with a word.
enum class XboardCommand {
    NotOne,  // not one of its words
    ReadOn,  // done; read the next word
    Think,   // done; return to the loop, which may let the engine move
    Move,    // the next word is a move: usermove
    EndOfInput,
};

XboardCommand readXboardCommand(const std::string& word, Engine& engine, CommandLoop& loop);

// A word written as xboard writes moves: from and to squares, maybe a promotion letter, or
// castling. A word like this that is not a legal move is answered "Illegal move: ".
bool looksLikeMove(const std::string& word);

// Whether the engine answers now: never in force mode; for the side go or playother gave
// it; otherwise, as in protocol 1, after a time.
bool xboardEngineToMove(const Engine& engine, const CommandLoop& loop);

// A line seen while the engine thinks: "?" moves now; a command that changes the game,
// sent while the engine thinks, stops the search and throws its move away. Lines that were
// waiting when the search began are read after the move, as in a script. True when the
// line is used up.
bool xboardLineWhileThinking(const std::string& line, bool waiting, Engine& engine,
                             CommandLoop& loop);

}  // namespace corvina
