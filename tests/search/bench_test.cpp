// The bench's node count is the search's fingerprint: it must repeat exactly from run to
// run, and it may change only together with its expected file: bench_expected.txt for
// the design search, bench_expected_strong.txt for the strong one.
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

BenchRun runBench(const std::string& arguments) {
    BenchRun run;
    const std::string command = std::string(CORVINA_BENCH_EXECUTABLE) + arguments;
    FILE* pipe = popen(command.c_str(), "r");
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

struct BenchCase {
    const char* arguments;
    const char* expectedFile;
};

void checkFingerprint(const BenchCase& bench) {
    SCOPED_TRACE(bench.arguments);
    const BenchRun first = runBench(bench.arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_FALSE(first.total.empty());
    EXPECT_GE(first.positions.size(), 25u);

    const BenchRun second = runBench(bench.arguments);
    EXPECT_EQ(second.positions, first.positions);
    EXPECT_EQ(second.total, first.total);

    std::ifstream file(bench.expectedFile);
    std::string expected;
    ASSERT_TRUE(file >> expected) << bench.expectedFile;
    EXPECT_EQ(first.total, expected)
        << "the search changed; if that is intended, update " << bench.expectedFile
        << " and say why";
}

TEST(Bench, RepeatsItsNodeCountAndMatchesTheExpectedOne) {
    const BenchCase searches[] = {
        {"", CORVINA_BENCH_EXPECTED},
        {" --search strong", CORVINA_BENCH_EXPECTED_STRONG},
    };
    for (const BenchCase& bench : searches) checkFingerprint(bench);
}

TEST(Bench, RefusesAnUnknownSearch) {
    const BenchRun run = runBench(" --search fast 2>/dev/null");
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.total.empty());
}

}  // namespace
