// The input reader: lines queued in order, the thinking filter, the end at quit.
#include "app/input.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace corvina {
namespace {

std::vector<std::string> wordsOf(std::istream& in) {
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST(InputReader, ThinkingFilterTakesItsLinesAndReadingEndsAtQuit) {
    // Whether a line arrives before or after beginThinking, the filter sees it once.
    std::istringstream source("force\n?\ne2e4 ?x\nping 7\n?\nname quitter\nquit now\nnever read\n");
    std::vector<std::string> seen;
    InputReader reader(source, [&](const std::string& line, bool) {
        seen.push_back(line);
        return line == "?\n";
    });
    reader.beginThinking();
    const std::vector<std::string> words = wordsOf(reader.stream());
    reader.endThinking();
    EXPECT_EQ(words, (std::vector<std::string>{"force", "e2e4", "?x", "ping", "7", "name",
                                               "quitter", "quit", "now"}));
    EXPECT_EQ(seen.size(), 7u);  // every line up to the one with quit, none after
}

TEST(InputReader, LinesKeepTheirEndsAndALastLineWithoutOneStaysWithout) {
    std::istringstream source("setboard 8/8 w\n\nrating 1 2");
    InputReader reader(source, nullptr);
    std::string text;
    for (char c; reader.stream().get(c);) text += c;
    EXPECT_EQ(text, "setboard 8/8 w\n\nrating 1 2");
}

TEST(LineHasWord, MatchesWholeWordsOnly) {
    EXPECT_TRUE(lineHasWord("quit\n", "quit"));
    EXPECT_TRUE(lineHasWord("\tresult quit\r\n", "quit"));
    EXPECT_FALSE(lineHasWord("quitter\n", "quit"));
    EXPECT_FALSE(lineHasWord("aquit", "quit"));
    EXPECT_FALSE(lineHasWord("", "quit"));
}

}  // namespace
}  // namespace corvina
