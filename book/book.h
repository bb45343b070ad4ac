// The opening book: every move of every game in a text file, stored under the position
// before it, and a random pick among the stored moves of a position.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>

#include "board/types.h"

namespace corvina {

struct BookEntry {
    std::string name;  // the game's Site and White values when the move was read
    Move move;
};

// Keyed by the BoardRecord order, which ignores castling rights and the en passant bit,
// so transpositions with different rights share their entries. Duplicates stay: a move
// seen k times in a position is drawn k times as often.
class OpeningBook {
  public:
    OpeningBook() = default;
    // Loads the file at path; an empty path means no book. Prints one line.
    explicit OpeningBook(const std::string& path) { loadBook(path); }

    void loadBook(const std::string& path);
    // Reads the games of a book text into the book; the part of loadBook without the
    // file and its messages.
    void readGames(std::istream& in);

    // An entry stored for the position, drawn with one 15-bit value from the random
    // source; an empty name and NoMove when the book does not know the position.
    BookEntry lookupBookMove(const BoardRecord& board) const;

    std::size_t size() const { return entries_.size(); }
    std::size_t count(const BoardRecord& board) const { return entries_.count(bookKey(board)); }
    const std::multimap<BoardRecord, BookEntry>& entries() const { return entries_; }

    // The record a position is stored under. The board keeps the file of the last double
    // step long after it stops mattering, so the file is cleared unless an en passant
    // capture is really possible: otherwise 1.d4 Nf6 2.c4 e6 and 1.c4 e6 2.d4 Nf6 would
    // be two book positions, and a position set from FEN would miss its entries.
    static BoardRecord bookKey(const BoardRecord& board);

  private:
    std::multimap<BoardRecord, BookEntry> entries_;
};

}  // namespace corvina
