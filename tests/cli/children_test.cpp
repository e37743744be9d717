// The boards' programs of calibrate --boards, run as real processes (a shell stands in for
// the program): what reaches the progress display of their stderr, and what they print.
#include "cli/children.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Gathered {
    std::vector<std::vector<std::string>> lines;
    std::vector<cli::Services::Child> children;
};

Gathered run(const std::vector<std::string>& scripts) {
    int argc = 1;
    char name[] = "cli_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    std::vector<std::vector<std::string>> commandLines;
    for (const std::string& s : scripts) {
        commandLines.push_back({"-c", s});
    }
    Gathered g;
    g.lines.resize(scripts.size());
    g.children = cli::runChildren(
        "/bin/sh", commandLines, 2,
        [&](std::size_t i, const std::string& line) { g.lines.at(i).push_back(line); }, nullptr);
    return g;
}

} // namespace

TEST(Children, EachLineOfStderrComesWholeWithoutItsEndAndStdoutIsKept) {
    // The second writes its lines the Windows way ("\r\n"), the last one unended.
    const Gathered g =
        run({"printf '[ 1%%] Step: CH0\\npart' >&2; sleep 0.1; printf ' two\\n' >&2; "
             "printf '{\"outcome\": 1}\\n'; exit 3",
             "printf '[ 5%%] one\\r\\ntwo\\r\\nlast\\r' >&2"});
    ASSERT_EQ(g.children.size(), 2u);
    EXPECT_EQ(g.lines[0], (std::vector<std::string>{"[ 1%] Step: CH0", "part two"}));
    EXPECT_EQ(g.children[0].out, "{\"outcome\": 1}\n");
    EXPECT_EQ(g.children[0].exitCode, 3);
    EXPECT_EQ(g.lines[1], (std::vector<std::string>{"[ 5%] one", "two", "last"}));
    EXPECT_EQ(g.children[1].exitCode, 0);
}
