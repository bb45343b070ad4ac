// Temporary front end. The runs below only show the starting board and read words until
// "quit", so that start-up and configuration can be used and tested before the command
// loop and the engine object exist. The real runs replace this file as a whole.
#include "app/standin.h"

#include <iostream>
#include <string>

#include "app/frontend.h"
#include "board/position.h"

namespace corvina {

int skipWordsUntilQuit(std::istream& in) {
    int count = 0;
    std::string word;
    while (in >> word && word != "quit") ++count;
    return count;
}

namespace {

// The diagram of the position the real console run starts on, then its input.
void showAndRead(const char* fen) {
    BoardRecord board;
    parseFen(board, fen);
    printBoard(std::cout, board) << std::endl;
    skipWordsUntilQuit(std::cin);
}

}  // namespace

void runXboard(const Settings&) { skipWordsUntilQuit(std::cin); }

void runConsolePositions(const Settings&) { showAndRead("8/8/1K6/4k3/PP6/8/8/8 w - - 0 1"); }

void runConsoleEndgames(const Settings&) { showAndRead("4k3/4p3/8/8/8/8/3PP3/4K3 w - - 0 1"); }

void runSelfPlay(const Settings&) { skipWordsUntilQuit(std::cin); }

}  // namespace corvina
