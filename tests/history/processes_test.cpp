// What only real programs show: a program killed between its record and its write, and
// two programs writing to one history at once.
#include "history_fixture.h"
#include "location_args.h"
#include "support/child_process.h"

#include <gmock/gmock.h>

#include <map>
#include <set>

using history::Outcome;
using testing_support::ChildProcess;
using testing_support::HistoryTest;

namespace {

std::vector<std::string> writerArgs(const history::Location& l, std::vector<std::string> more) {
    std::vector<std::string> args{MXCAL_HISTORY_WRITER};
    for (const std::string& a : testing_support::locationArgs(l)) {
        args.push_back(a);
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

using HistoryProcesses = HistoryTest;

TEST_P(HistoryProcesses, ARecordLeftByAProgramKilledBeforeItsWriteIsFoundPending) {
    std::string id;
    {
        ChildProcess killed(writerArgs(location, {"pending"}));
        id = killed.readLine();
        ASSERT_EQ(id.size(), 36u) << id;
        EXPECT_EQ(killed.kill(), 128 + SIGKILL);
    }
    history::Store next = open();
    core::Result<std::vector<history::Entry>> pending = next.pending();
    ASSERT_TRUE(pending) << pending.refusal();
    ASSERT_EQ(pending->size(), 1u);
    const history::Entry& left = pending->front();
    EXPECT_EQ(left.id, id);
    EXPECT_EQ(left.change.program, "killed");
    EXPECT_EQ(left.change.board, 7);
    EXPECT_TRUE(left.intact) << left.problem;

    // The next program can close it, saying what it knows.
    history::Ending unknown;
    unknown.outcome = Outcome::Failed;
    unknown.message = "the program ended before the write was confirmed";
    ASSERT_TRUE(next.complete(id, unknown));
    EXPECT_TRUE(next.pending()->empty());
}

TEST_P(HistoryProcesses, TwoProgramsWritingAtOnceLoseNoRecord) {
    // Both start on a history that does not exist yet, so they also create it at once.
    constexpr int kEach = 40;
    ChildProcess first(writerArgs(location, {"write", "1", std::to_string(kEach)}));
    ChildProcess second(writerArgs(location, {"write", "2", std::to_string(kEach)}));
    EXPECT_EQ(first.readLine(), "done");
    EXPECT_EQ(second.readLine(), "done");
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);

    history::Store store = open();
    core::Result<std::vector<history::Entry>> all = store.list();
    ASSERT_TRUE(all) << all.refusal();
    std::map<int, int> perBoard;
    std::set<std::string> ids;
    for (const history::Entry& e : *all) {
        ++perBoard[e.change.board];
        ids.insert(e.id);
        EXPECT_EQ(e.ending.outcome, Outcome::Written);
        EXPECT_TRUE(e.intact) << e.problem;
    }
    EXPECT_EQ(perBoard, (std::map<int, int>{{1, kEach}, {2, kEach}}));
    EXPECT_EQ(ids.size(), 2u * kEach);
    EXPECT_EQ(store.verify()->checked, 2 * kEach);
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryProcesses,
                         testing::Values(history::Location::Engine::SQLite,
                                         history::Location::Engine::PostgreSQL),
                         testing_support::engineName);
