// The bench's node count is the search's fingerprint: it must repeat exactly from run to
// run, and it may change only together with tests/search/bench_expected.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct BenchRun {
    std::vector<std::string> positions;  // each line without its time
    std::string total;                   // the node count of the last line
    int status = -1;
};

BenchRun runBench() {
    BenchRun run;
    FILE* pipe = popen(CORVINA_BENCH_EXECUTABLE, "r");
    if (!pipe) return run;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    run.status = pclose(pipe);

    static const std::regex position(R"((\d+ depth \d+ value -?\d+ nodes \d+) ms \d+ (best .*))");
    static const std::regex last(R"(bench: (\d+) nodes \d+ ms \d+ nps)");
    std::istringstream in(text);
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, position)) {
            run.positions.push_back(m[1].str() + " " + m[2].str());
        } else if (std::regex_match(line, m, last)) {
            run.total = m[1];
        } else {
            ADD_FAILURE() << "unexpected bench line: " << line;
        }
    }
    return run;
}

TEST(Bench, RepeatsItsNodeCountAndMatchesTheExpectedOne) {
    const BenchRun first = runBench();
    ASSERT_EQ(first.status, 0);
    ASSERT_FALSE(first.total.empty());
    EXPECT_GE(first.positions.size(), 25u);

    const BenchRun second = runBench();
    EXPECT_EQ(second.positions, first.positions);
    EXPECT_EQ(second.total, first.total);

    std::ifstream file(CORVINA_BENCH_EXPECTED);
    std::string expected;
    ASSERT_TRUE(file >> expected) << CORVINA_BENCH_EXPECTED;
    EXPECT_EQ(first.total, expected)
        << "the search changed; if that is intended, update bench_expected.txt and say why";
}

}  // namespace
