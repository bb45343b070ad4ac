// Temporary front end: stands in for the real runs until the command loop exists.
#pragma once

#include <istream>

namespace corvina {

// Reads whitespace-separated words until "quit" or the end of input; the words after
// "quit" stay in the stream for the next run. Returns the number of words read before it.
int skipWordsUntilQuit(std::istream& in);

}  // namespace corvina
