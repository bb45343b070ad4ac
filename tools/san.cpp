#include "tools/san.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"

namespace corvina {

bool isLegalMove(const BoardRecord& board, const Move& move) {
    int mover = board.sideToMove();
    BoardRecord after = board;
    applyMoveToBoard(after, move);
    Position position;
    expandPosition(position, after);
    return !position.inCheck[mover];
}

namespace {

int pieceTypeOfLetter(char c) {
    switch (c) {
    case 'K':
        return King;
    case 'Q':
        return Queen;
    case 'R':
        return Rook;
    case 'B':
        return Bishop;
    case 'N':
        return Knight;
    default:
        return -1;
    }
}

bool isFileChar(char c) { return c >= 'a' && c <= 'h'; }
bool isRankChar(char c) { return c >= '1' && c <= '8'; }

// The legal generated moves that pass the filter; stops counting at two.
template <class Match> int findLegal(const BoardRecord& board, Match match, Move& found) {
    Position position;
    expandPosition(position, board);
    MoveList list;
    list.reset();
    generateMoves(list, position);
    int matches = 0;
    for (int i = 0; i < list.count && matches < 2; ++i) {
        const Move& m = list.moves[i];
        if (match(m) && isLegalMove(board, m)) {
            if (matches == 0) found = m;
            ++matches;
        }
    }
    return matches;
}

Move resultOf(int matches, const Move& found, std::string& why) {
    if (matches == 1) return found;
    why = matches == 0 ? "no such legal move" : "ambiguous move";
    return NoMove;
}

}  // namespace

Move readSan(const std::string& san, const BoardRecord& board, std::string& why) {
    std::string s = san;
    // Check marks and annotation glyphs carry nothing for the move itself.
    while (!s.empty() &&
           (s.back() == '+' || s.back() == '#' || s.back() == '!' || s.back() == '?')) {
        s.pop_back();
    }
    if (s.size() > 4 && s.compare(s.size() - 4, 4, "e.p.") == 0) s.resize(s.size() - 4);
    Move found = NoMove;

    if (s == "O-O" || s == "0-0" || s == "O-O-O" || s == "0-0-0") {
        int toFile = s.size() == 3 ? 6 : 2;
        int matches = findLegal(
            board, [&](const Move& m) { return (m.kind & KindCastlingBit) && m.toFile == toFile; },
            found);
        return resultOf(matches, found, why);
    }

    std::size_t pos = 0;
    int type = Pawn;
    if (pos < s.size() && pieceTypeOfLetter(s[pos]) >= 0) type = pieceTypeOfLetter(s[pos++]);

    // Promotion: "e8=Q" or "e8Q".
    int promotion = -1;
    if (s.size() >= 2 && s[s.size() - 2] == '=') {
        promotion = pieceTypeOfLetter(s.back());
        if (promotion < 0 || promotion == King) {
            why = "bad promotion piece";
            return NoMove;
        }
        s.resize(s.size() - 2);
    } else if (type == Pawn && !s.empty() && pieceTypeOfLetter(s.back()) > King) {
        promotion = pieceTypeOfLetter(s.back());
        s.pop_back();
    }

    // What is left: optional from-file and from-rank, an optional 'x' or '-', the target.
    std::string rest;
    for (std::size_t i = pos; i < s.size(); ++i) {
        if (s[i] != 'x' && s[i] != ':' && s[i] != '-') rest += s[i];
    }
    if (rest.size() < 2 || rest.size() > 4 || !isFileChar(rest[rest.size() - 2]) ||
        !isRankChar(rest.back())) {
        why = "not a move";
        return NoMove;
    }
    int toFile = rest[rest.size() - 2] - 'a';
    int toRank = rest.back() - '1';
    int fromFile = -1;
    int fromRank = -1;
    for (std::size_t i = 0; i + 2 < rest.size(); ++i) {
        if (isFileChar(rest[i]) && fromFile < 0) {
            fromFile = rest[i] - 'a';
        } else if (isRankChar(rest[i]) && fromRank < 0) {
            fromRank = rest[i] - '1';
        } else {
            why = "not a move";
            return NoMove;
        }
    }
    if (promotion >= 0 && type != Pawn) {
        why = "only pawns promote";
        return NoMove;
    }

    int matches = findLegal(
        board,
        [&](const Move& m) {
            if (m.toFile != toFile || m.toRank != toRank) return false;
            if (fromFile >= 0 && m.fromFile != fromFile) return false;
            if (fromRank >= 0 && m.fromRank != fromRank) return false;
            if (m.kind & KindCastlingBit) return false;  // castling is written O-O
            if (typeOf(board.at(m.fromFile, m.fromRank)) != type) return false;
            return ((m.kind & KindPromotionBit) != 0) == (promotion >= 0);
        },
        found);
    if (matches == 1 && promotion >= 0 && promotion != Queen) {
        why = "underpromotion, which the book cannot hold";
        return NoMove;
    }
    return resultOf(matches, found, why);
}

namespace {

bool isResult(const std::string& w) {
    return w == "1-0" || w == "0-1" || w == "1/2-1/2" || w == "*";
}

// Drops a leading move number: "12." "12..." and "12.e4" (which leaves "e4").
std::string withoutMoveNumber(const std::string& w) {
    std::size_t i = 0;
    while (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i]))) ++i;
    if (i == 0 || i == w.size() || w[i] != '.') return w;
    while (i < w.size() && w[i] == '.') ++i;
    return w.substr(i);
}

}  // namespace

bool convertMoveText(const std::string& text, std::vector<Move>& moves, std::string& why) {
    moves.clear();
    // Comments and variations first, so that their words are never read as moves.
    std::string plain;
    int braces = 0;
    int parens = 0;
    bool lineComment = false;
    for (char c : text) {
        if (lineComment) {
            if (c == '\n') lineComment = false;
            plain += ' ';
            continue;
        }
        if (braces > 0) {
            if (c == '}') --braces;
            plain += ' ';
            continue;
        }
        if (c == '{') {
            ++braces;
        } else if (c == ';') {
            lineComment = true;
        } else if (c == '(') {
            ++parens;
        } else if (c == ')') {
            if (parens > 0) --parens;
        } else if (parens == 0) {
            plain += c;
            continue;
        }
        plain += ' ';
    }

    BoardRecord board;
    setStartPosition(board);
    std::istringstream words(plain);
    std::string word;
    int ply = 0;
    while (words >> word) {
        if (isResult(word)) break;
        word = withoutMoveNumber(word);
        if (word.empty() || word[0] == '$') continue;
        if (std::isdigit(static_cast<unsigned char>(word[0])) && word.find('.') != word.npos) {
            continue;
        }
        std::string reason;
        Move move = readSan(word, board, reason);
        // Coordinate moves (g8f6, e1g1), as in the engine's own book files, are taken too.
        if (move.isNone()) {
            Move coordinate = readMove(word, board);
            if (!coordinate.isNone() && isLegalMove(board, coordinate)) move = coordinate;
        }
        if (move.isNone()) {
            why = "move " + std::to_string(ply / 2 + 1) + (ply % 2 ? "... " : ". ") + word + ": " +
                  reason;
            return false;
        }
        moves.push_back(move);
        applyMoveToBoard(board, move);
        ++ply;
    }
    if (moves.empty()) {
        why = "no moves";
        return false;
    }
    return true;
}

void readTsvSource(std::istream& in, std::vector<SourceLine>& lines,
                   std::vector<std::string>& errors) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (number == 1 && line.compare(0, 4, "eco\t") == 0) continue;
        std::size_t tab1 = line.find('\t');
        std::size_t tab2 = tab1 == line.npos ? line.npos : line.find('\t', tab1 + 1);
        if (tab2 == line.npos) {
            errors.push_back("line " + std::to_string(number) + ": expected eco, name and moves");
            continue;
        }
        lines.push_back({number, line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                         line.substr(tab2 + 1)});
    }
}

namespace {

// Tag pair `[Name "value"]`; false when the line is not one.
bool parseTagPair(const std::string& line, std::string& tag, std::string& value) {
    std::size_t open = line.find('"');
    std::size_t close = line.rfind('"');
    if (line.empty() || line[0] != '[' || open == line.npos || close <= open) return false;
    std::istringstream head(line.substr(1, open - 1));
    head >> tag;
    value = line.substr(open + 1, close - open - 1);
    return !tag.empty();
}

}  // namespace

namespace {

// A00 to E99.
bool looksLikeEco(const std::string& code) {
    return code.size() == 3 && code[0] >= 'A' && code[0] <= 'E' &&
           std::isdigit(static_cast<unsigned char>(code[1])) &&
           std::isdigit(static_cast<unsigned char>(code[2]));
}

}  // namespace

void readPgnSource(std::istream& in, std::vector<SourceLine>& lines,
                   std::vector<std::string>& errors) {
    SourceLine game{0, "", "", ""};
    std::string opening;
    std::string variation;
    // The engine's own book files keep the code in Site and the name in White; in other
    // PGN those tags are a place and a player, so they count only beside an ECO-like Site.
    std::string site;
    std::string white;
    bool inMoves = false;
    auto finish = [&]() {
        if (game.lineNumber > 0 && !game.moveText.empty()) {
            bool bookStyle = game.eco.empty() && opening.empty() && looksLikeEco(site);
            if (bookStyle) game.eco = site;
            game.name = bookStyle ? white : opening;
            if (!variation.empty()) game.name += (opening.empty() ? "" : ": ") + variation;
            lines.push_back(game);
        }
        game = SourceLine{0, "", "", ""};
        opening.clear();
        variation.clear();
        site.clear();
        white.clear();
        inMoves = false;
    };
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t start = line.find_first_not_of(" \t");
        if (start == line.npos) continue;
        if (line[start] == '[' && inMoves) finish();  // a game without a result word
        if (line[start] == '[') {
            std::string tag;
            std::string value;
            if (game.lineNumber == 0) game.lineNumber = number;
            if (!parseTagPair(line.substr(start), tag, value)) {
                errors.push_back("line " + std::to_string(number) + ": bad tag line");
                continue;
            }
            if (tag == "Site") site = value;
            if (tag == "White") white = value;
            if (tag == "ECO") game.eco = value;
            if (tag == "Opening") opening = value;
            if (tag == "Variation") variation = value;
            continue;
        }
        if (game.lineNumber == 0) game.lineNumber = number;
        inMoves = true;
        game.moveText += line.substr(start) + "\n";
        std::istringstream words(line);
        std::string word;
        std::string last;
        while (words >> word) last = word;
        if (isResult(last)) finish();
    }
    finish();
}

void writeBookGame(std::ostream& out, const std::string& eco, const std::string& name,
                   const std::vector<Move>& moves) {
    // Site replaces the name the engine carries over from the game before; an empty
    // White value would leave a stray ", " so it is left out.
    out << "[Site \"" << eco << "\"]\n";
    if (!name.empty()) out << "[White \"" << name << "\"]\n";
    for (std::size_t i = 0; i < moves.size(); ++i) {
        if (i % 2 == 0) out << (i ? " " : "") << i / 2 + 1 << '.';
        const Move& m = moves[i];
        // Plain four-character squares: the book reader cuts longer words to four.
        out << ' ' << char('a' + m.fromFile) << char('1' + m.fromRank) << char('a' + m.toFile)
            << char('1' + m.toRank);
    }
    out << " *\n\n";
}

}  // namespace corvina
