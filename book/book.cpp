#include "book/book.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"

namespace corvina {

namespace {

// Words of a book text, with one word of lookahead: the tag reader hands the first
// character of the word that ends the tags back to the move reader.
class WordReader {
  public:
    explicit WordReader(std::istream& in) : in_(in) {}

    bool next(std::string& word) {
        if (hasPending_) {
            hasPending_ = false;
            word = pending_;
            return true;
        }
        return static_cast<bool>(in_ >> word);
    }

    void giveBack(std::string word) {
        pending_ = std::move(word);
        hasPending_ = true;
    }

    // The rest of the current line after a tag word, without a trailing carriage return
    // so that files with DOS line ends give the same names.
    std::string restOfLine() {
        std::string rest;
        std::getline(in_, rest);
        if (!rest.empty() && rest.back() == '\r') rest.pop_back();
        return rest;
    }

  private:
    std::istream& in_;
    std::string pending_;
    bool hasPending_ = false;
};

// The value of a tag line ` "value"]`: the rest without the blank and the opening quote
// in front and the closing quote and bracket behind. Lines of three characters or fewer
// carry no value.
bool tagValue(const std::string& rest, std::string& value) {
    if (rest.size() <= 3) return false;
    value = rest.substr(2, rest.size() - 4);
    return true;
}

// Reads tag lines until a word that is not a tag; returns false at the end of the text.
bool readTags(WordReader& reader, std::string& name) {
    std::string word;
    while (reader.next(word)) {
        if (word[0] != '[') {
            reader.giveBack(word.substr(0, 1));
            return true;
        }
        std::string rest = reader.restOfLine();
        std::string value;
        // Exact tag words: "[WhiteElo" and the like are ordinary tags, not the name.
        if (word == "[Site") {
            if (tagValue(rest, value)) name = value;
        } else if (word == "[White") {
            if (tagValue(rest, value)) name += ", " + value;
        }
    }
    return false;
}

// A book must not offer a move that leaves the own king attacked. The move reader refuses
// such words too; the book keeps its own guard all the same.
bool keepsKingSafe(const BoardRecord& board, const Move& move) {
    Position position;
    expandPosition(position, board);
    makeMove(position, move);
    return !position.inCheck[board.sideToMove()];
}

}  // namespace

BoardRecord OpeningBook::bookKey(const BoardRecord& board) {
    BoardRecord key = board;
    if (board.epAvailable()) {
        // The pawn that just moved two squares stands on rank 4 (White's) or 5 (Black's);
        // a pawn of the side to move beside it can take it.
        int mover = board.sideToMove();
        int rank = mover ? 4 : 3;
        int file = board.epFile();
        PieceCode takingPawn = makeCode(Pawn, mover);
        bool capturable = (file > 0 && board.at(file - 1, rank) == takingPawn) ||
                          (file < 7 && board.at(file + 1, rank) == takingPawn);
        if (capturable) return key;
    }
    key.state &= std::uint8_t(~(StateEpAvailable | StateEpFileMask));
    return key;
}

void OpeningBook::loadBook(const std::string& path) {
    if (path.empty()) {
        std::cerr << "no opening book used" << std::endl;
        return;
    }
    // A folder opens like a file on some systems and then reads as empty.
    std::error_code error;
    std::ifstream in(path);
    if (!in || std::filesystem::is_directory(path, error)) {
        std::cerr << "book file '" << path << "' not found" << std::endl;
        return;
    }
    readGames(in);
    std::cerr << "opening book read from '" << path << "'" << std::endl;
}

void OpeningBook::readGames(std::istream& in) {
    WordReader reader(in);
    std::string name;  // carried over from game to game; only a Site tag replaces it
    std::string word;
    while (readTags(reader, name)) {
        BoardRecord board;
        setStartPosition(board);
        while (reader.next(word)) {
            char first = word[0];
            if (first >= '0' && first <= '9') continue;  // move numbers and results
            // A '[' word here is the next game's first tag, consumed with the game's end.
            if (first == '[' || first == '*' || word.size() < 4) break;
            Move move = readMove(word.substr(0, 4), board);
            if (move.isNone() || !keepsKingSafe(board, move)) break;
            entries_.emplace(bookKey(board), BookEntry{name, move});
            applyMoveToBoard(board, move);
        }
    }
}

BookEntry OpeningBook::lookupBookMove(const BoardRecord& board) const {
    auto [first, last] = entries_.equal_range(bookKey(board));
    if (first == last) return BookEntry{std::string(), NoMove};
    auto n = static_cast<std::uint32_t>(std::distance(first, last));
    std::advance(first, drawRandom15() % n);
    return first->second;
}

}  // namespace corvina
