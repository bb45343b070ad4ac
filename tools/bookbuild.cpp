// corvina-book [-o OUT] FILE...
// Turns opening lines in standard algebraic notation (PGN games, or tab-separated lines
// of ECO code, name and moves) into the engine's book format. The book goes to OUT or
// standard output, messages to standard error. The whole book is built in memory and
// OUT is replaced by a rename, so a failed run never leaves half a book behind.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "board/tables.h"
#include "tools/san.h"

namespace {

bool looksLikeTsv(const std::string& path, const std::string& firstLine) {
    bool tsvName = path.size() >= 4 && path.compare(path.size() - 4, 4, ".tsv") == 0;
    return tsvName || firstLine.find('\t') != std::string::npos;
}

int usage() {
    std::cerr << "usage: corvina-book [-o OUT] FILE..." << std::endl;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvina;
    std::string outPath;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o") {
            if (++i >= argc) return usage();
            outPath = argv[i];
        } else if (arg == "-h" || arg == "--help") {
            return usage();
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty()) return usage();

    initTables();
    std::ostringstream book;
    int converted = 0;
    int skipped = 0;
    for (const std::string& path : inputs) {
        std::ifstream in(path);
        if (!in) {
            std::cerr << path << ": cannot open" << std::endl;
            return 1;
        }
        std::string firstLine;
        std::getline(in, firstLine);
        in.clear();
        in.seekg(0);
        std::vector<SourceLine> lines;
        std::vector<std::string> errors;
        if (looksLikeTsv(path, firstLine)) {
            readTsvSource(in, lines, errors);
        } else {
            readPgnSource(in, lines, errors);
        }
        for (const std::string& error : errors) {
            std::cerr << path << ": " << error << ", skipped" << std::endl;
            ++skipped;
        }
        for (const SourceLine& line : lines) {
            std::vector<Move> moves;
            std::string why;
            if (!convertMoveText(line.moveText, moves, why)) {
                std::cerr << path << ": line " << line.lineNumber << ": " << why << ", skipped"
                          << std::endl;
                ++skipped;
                continue;
            }
            writeBookGame(book, line.eco, line.name, moves);
            ++converted;
        }
    }

    if (outPath.empty()) {
        std::cout << book.str() << std::flush;
        if (!std::cout) return 1;
    } else {
        std::string temporary = outPath + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << book.str();
            out.close();
            if (!out) {
                std::cerr << temporary << ": cannot write" << std::endl;
                std::remove(temporary.c_str());
                return 1;
            }
        }
        if (std::rename(temporary.c_str(), outPath.c_str()) != 0) {
            std::cerr << outPath << ": cannot replace" << std::endl;
            std::remove(temporary.c_str());
            return 1;
        }
    }
    std::cerr << converted << " lines converted, " << skipped << " skipped" << std::endl;
    return 0;
}
