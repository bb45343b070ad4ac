// Standard algebraic notation for the book builder: reading SAN moves against the
// engine's own generator, and the source formats the builder reads (PGN move text and
// tab-separated opening lists).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "board/types.h"

namespace corvina {

// True when the generated move does not leave the mover's king attacked.
bool isLegalMove(const BoardRecord& board, const Move& move);

// Reads one SAN move (Nf3, exd5, O-O, e8=Q, Qh4xe1+, ...) in the position. Returns NoMove
// and puts a short reason in why when the text is not exactly one legal move there.
Move readSan(const std::string& san, const BoardRecord& board, std::string& why);

// Converts PGN move text from the start position: move numbers, results, comments,
// variations and NAGs are skipped; coordinate moves are read as well as SAN. Fails on the first
// move that does not read, and on an underpromotion, which the engine's book cannot hold.
bool convertMoveText(const std::string& text, std::vector<Move>& moves, std::string& why);

// One opening of a source file, before conversion.
struct SourceLine {
    int lineNumber;  // where it starts in its file
    std::string eco;
    std::string name;
    std::string moveText;
};

// Tab-separated lines of ECO code, name and move text; a first line starting "eco" is
// the header. Lines without three fields are reported in errors and skipped.
void readTsvSource(std::istream& in, std::vector<SourceLine>& lines,
                   std::vector<std::string>& errors);
// PGN games: tag pairs then move text. ECO becomes the code, Opening (and Variation)
// the name; in the engine's book files, Site and White.
void readPgnSource(std::istream& in, std::vector<SourceLine>& lines,
                   std::vector<std::string>& errors);

// One game in the book format: Site and White tags, numbered coordinate moves, "*".
void writeBookGame(std::ostream& out, const std::string& eco, const std::string& name,
                   const std::vector<Move>& moves);

}  // namespace corvina
