#include "history_fixture.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <fstream>

using namespace std::chrono_literals;
using history::Outcome;
using history::Source;
using testing::HasSubstr;
using testing_support::HistoryTest;

namespace {

history::Time at(int minute) {
    return history::Time(std::chrono::sys_days{std::chrono::year{2026} / 12 / 9}) +
           std::chrono::minutes{minute} + 123ms;
}

history::Ending written(std::uint16_t fill = 0xABCD) {
    history::Ending e;
    e.outcome = Outcome::Written;
    e.eepromAfter.assign(128, fill);
    e.ended = at(90);
    return e;
}

std::vector<std::string> ids(const std::vector<history::Entry>& entries) {
    std::vector<std::string> out;
    for (const history::Entry& e : entries) {
        out.push_back(e.id);
    }
    return out;
}

} // namespace

// The sealed form is what anyone verifying a record recomputes: keys in byte order, no
// whitespace, JSON escapes, the shortest decimal of a reference, null for what is absent.
TEST(HistoryContent, CanonicalFormAndSeal) {
    history::Entry e;
    e.id = "0a1b";
    e.change.started = at(0);
    e.change.operatorName = "A \"B\"\n\x01";
    e.change.board = 3;
    e.change.eepromBefore = {1, 65535};
    e.change.reference10V = 9.9995;
    e.change.source = Source::Recover;
    e.ending.status = -4;
    EXPECT_EQ(history::contentJson(e),
              "{\"board\":3,\"cardFingerprint\":\"\",\"computer\":\"\",\"driver\":\"\","
              "\"eepromAfter\":null,\"eepromBefore\":[1,65535],\"ended\":null,\"id\":\"0a1b\","
              "\"message\":\"\",\"operator\":\"A \\\"B\\\"\\n\\u0001\",\"outcome\":\"pending\","
              "\"program\":\"\",\"programVersion\":\"\",\"record\":null,\"reference10V\":9.9995,"
              "\"reference5V\":null,\"restoredFrom\":null,\"source\":\"RECOVER\","
              "\"sourceFile\":null,\"sourceSha256\":null,\"started\":\"2026-12-09T00:00:00.123Z\","
              "\"status\":-4}");
    // printf '%s' '<the text above>' | sha256sum
    EXPECT_EQ(history::sealOf(e),
              "5046b788334f46dbf60c8f8b3166d669b2cf40ed259d969a677c38bbde8c7caa");
    EXPECT_EQ(history::parseUtcText("2026-12-09T00:00:00.123Z"), at(0));
    EXPECT_FALSE(history::parseUtcText("2026-02-30T00:00:00.000Z"));
}

TEST_P(HistoryTest, SchemaIsCreatedAtVersion1AndMigratedToTheLatestKeepingItsRecords) {
    const std::string index =
        std::string("SELECT COUNT(*) FROM ") +
        (postgres() ? "pg_indexes WHERE indexname" : "sqlite_master WHERE name") +
        " = 'eeprom_changes_by_board'";
    std::string id;
    {
        core::Result<history::Store> v1 = history::Store::open(location, 1);
        ASSERT_TRUE(v1) << v1.refusal();
        EXPECT_EQ(v1->schemaVersion(), 1);
        core::Result<std::string> begun = v1->beginChange(testing_support::sampleChange());
        ASSERT_TRUE(begun) << begun.refusal();
        id = *begun;
        ASSERT_TRUE(v1->complete(id, written()));
    }
    EXPECT_EQ(value(index), "0") << "version 1 has no index yet";

    history::Store v2 = open();
    EXPECT_EQ(v2.schemaVersion(), 3);
    EXPECT_EQ(value(index), "1");
    EXPECT_EQ(value("SELECT COUNT(*) FROM schema_version WHERE version IN (1, 2, 3)"), "3");
    // Version 3 keeps approvals of completed records.
    ASSERT_TRUE(v2.approve(id.substr(0, 8), "B. Manager"));
    EXPECT_EQ(v2.approve(id, "").kind(), core::Kind::Input);
    ASSERT_EQ(v2.approvals(id)->size(), 1u);
    EXPECT_EQ(v2.approvals(id)->front().approvedBy, "B. Manager");
    core::Result<history::Entry> kept = v2.get(id);
    ASSERT_TRUE(kept) << kept.refusal();
    EXPECT_TRUE(kept->intact) << kept->problem;
    EXPECT_EQ(kept->ending.outcome, Outcome::Written);
    EXPECT_EQ(history::Store::open(location)->schemaVersion(), 3) << "opened again unchanged";

    // A history that a newer program has brought further is left alone.
    ASSERT_EQ(sql("INSERT INTO schema_version (version, applied_utc) VALUES (4, 'later')"), "");
    core::Result<history::Store> old = history::Store::open(location);
    ASSERT_FALSE(old);
    EXPECT_EQ(old.kind(), core::Kind::File);
    EXPECT_THAT(old.refusal(), HasSubstr("The " + history::describe(location)));
    EXPECT_THAT(old.refusal(), HasSubstr("newer program (schema version 4"));
}

TEST_P(HistoryTest, ARecordIsPendingUntilCompletedAndKeepsEveryField) {
    history::Store store = open();
    history::Change change = testing_support::sampleChange(2, "fp-b", at(5));
    change.source = Source::ImportedFile;
    change.sourceFile = "C:\\cal\\card 7.ini";
    change.sourceSha256 = std::string(63, 'A') + "f";
    core::Result<std::string> id = store.beginChange(change);
    ASSERT_TRUE(id) << id.refusal();
    EXPECT_EQ(id->size(), 36u);

    core::Result<history::Entry> pending = store.get(id->substr(0, 8));
    ASSERT_TRUE(pending) << pending.refusal();
    EXPECT_TRUE(pending->intact) << pending->problem;
    EXPECT_EQ(pending->ending.outcome, Outcome::Pending);
    EXPECT_FALSE(pending->ending.ended);
    EXPECT_EQ(pending->seal, history::sealOf(*pending));
    const history::Change& got = pending->change;
    EXPECT_EQ(got.started, at(5));
    EXPECT_EQ(got.operatorName, change.operatorName);
    EXPECT_EQ(got.board, 2);
    EXPECT_EQ(got.eepromBefore, change.eepromBefore);
    EXPECT_EQ(got.reference10V, 9.9995);
    EXPECT_EQ(got.reference5V, 4.9977);
    EXPECT_EQ(got.sourceFile, change.sourceFile);
    EXPECT_EQ(got.sourceSha256, std::string(63, 'a') + "f");
    EXPECT_EQ(got.recordJson, change.recordJson);
    EXPECT_EQ(ids(*store.pending()), std::vector<std::string>{*id});

    ASSERT_TRUE(store.complete(*id, written()));
    const history::Entry done = *store.get(*id);
    EXPECT_TRUE(done.intact) << done.problem;
    EXPECT_EQ(done.ending.outcome, Outcome::Written);
    EXPECT_EQ(done.ending.eepromAfter, written().eepromAfter);
    EXPECT_EQ(done.ending.ended, at(90));
    EXPECT_NE(done.seal, pending->seal);
    EXPECT_TRUE(store.pending()->empty());
    const core::Status again = store.complete(*id, written());
    EXPECT_THAT(again.refusal(), HasSubstr("is written already"));

    // A failed write keeps its status and message; a restore names a record of the history.
    history::Change restore = testing_support::sampleChange(2, "fp-b", at(6));
    restore.source = Source::Restore;
    restore.restoredFrom = *id;
    core::Result<std::string> second = store.beginChange(restore);
    ASSERT_TRUE(second) << second.refusal();
    history::Ending failed;
    failed.outcome = Outcome::Failed;
    failed.status = -3;
    failed.message = "SAVE: writing the EEPROM of board 2 failed (Error Code=-3).";
    ASSERT_TRUE(store.complete(*second, failed));
    const history::Entry f = *store.get(*second);
    EXPECT_EQ(f.change.restoredFrom, *id);
    EXPECT_EQ(f.ending.status, -3);
    EXPECT_EQ(f.ending.message, failed.message);
    EXPECT_TRUE(f.ending.eepromAfter.empty());
    EXPECT_TRUE(f.intact) << f.problem;
}

TEST_P(HistoryTest, WrongRequestsAreRefusedAsInputAndRecordNothing) {
    history::Store store = open();
    history::Change noSha = testing_support::sampleChange();
    noSha.source = Source::ImportedFile;
    noSha.sourceFile = "cal.ini";
    history::Change unknownRestore = testing_support::sampleChange();
    unknownRestore.source = Source::Restore;
    unknownRestore.restoredFrom = "00000000-0000-4000-8000-000000000000";
    history::Change nul = testing_support::sampleChange();
    nul.recordJson = std::string("{\"a\":\"\0\"}", 9);
    for (const history::Change& c : {noSha, unknownRestore, nul}) {
        core::Result<std::string> r = store.beginChange(c);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.kind(), core::Kind::Input) << r.refusal();
        EXPECT_THAT(r.refusal(), HasSubstr(history::describe(location)));
    }
    EXPECT_TRUE(store.list()->empty());

    // Of seventeen ids, two start with the same hexadecimal digit.
    std::vector<std::string> made;
    for (int i = 0; i < 17; ++i) {
        made.push_back(*store.beginChange(testing_support::sampleChange()));
    }
    std::sort(made.begin(), made.end());
    const auto twin =
        std::adjacent_find(made.begin(), made.end(), [](auto& x, auto& y) { return x[0] == y[0]; });
    ASSERT_NE(twin, made.end());
    EXPECT_THAT(store.get(twin->substr(0, 1)).refusal(), HasSubstr("more than one record"));
    EXPECT_EQ(store.get(twin->substr(0, 1)).kind(), core::Kind::Input);
    EXPECT_EQ(store.get(twin->substr(0, 13))->id, *twin);
    EXPECT_EQ(store.get(*twin)->id, *twin);
    EXPECT_THAT(store.get("ffffffff-ffff-ffff-ffff-ffffffffffff").refusal(),
                HasSubstr("has no record"));
    for (const char* wrong : {"", "zz", "%", "_"}) {
        EXPECT_EQ(store.get(wrong).kind(), core::Kind::Input) << wrong;
    }
    EXPECT_EQ(store.complete(made[0], history::Ending{}).kind(), core::Kind::Input)
        << "a record is completed as written or failed";
}

TEST_P(HistoryTest, ListFiltersByBoardCardAndDateNewestFirst) {
    history::Store store = open();
    std::vector<std::string> made;
    const std::vector<std::pair<int, std::string>> cards{
        {0, "fp-a"}, {1, "fp-b"}, {0, "fp-a"}, {1, "fp-c"}};
    for (std::size_t i = 0; i < cards.size(); ++i) {
        made.push_back(*store.beginChange(testing_support::sampleChange(
            cards[i].first, cards[i].second, at(static_cast<int>(i) * 60))));
    }
    ASSERT_TRUE(store.complete(made[0], written()));
    const auto listed = [&](const history::Filter& f) { return ids(*store.list(f)); };
    using V = std::vector<std::string>;
    EXPECT_EQ(listed({}), (V{made[3], made[2], made[1], made[0]}));
    history::Filter board1;
    board1.board = 1;
    EXPECT_EQ(listed(board1), (V{made[3], made[1]}));
    history::Filter card;
    card.cardFingerprint = "fp-a";
    EXPECT_EQ(listed(card), (V{made[2], made[0]}));
    card.cardFingerprint = "fp-"; // the start of a fingerprint, as a listing shows it
    EXPECT_EQ(listed(card), (V{made[3], made[2], made[1], made[0]}));
    card.cardFingerprint = "fp-a-and-more";
    EXPECT_EQ(listed(card), V{});
    card.cardFingerprint = "%"; // not a pattern
    EXPECT_EQ(listed(card), V{});
    history::Filter since;
    since.since = at(120);
    EXPECT_EQ(listed(since), (V{made[3], made[2]}));
    since.since = at(120) + 1ms;
    EXPECT_EQ(listed(since), (V{made[3]}));
    history::Filter all;
    all.board = 0;
    all.cardFingerprint = "fp-a";
    all.since = at(1);
    all.limit = 5;
    EXPECT_EQ(listed(all), (V{made[2]}));
    history::Filter newest;
    newest.limit = 1;
    EXPECT_EQ(listed(newest), (V{made[3]}));
    EXPECT_EQ(ids(*store.pending()), (V{made[3], made[2], made[1]}));
}

TEST_P(HistoryTest, VerifyReportsEveryRecordChangedBehindTheStore) {
    history::Store store = open();
    std::vector<std::string> made;
    for (int i = 0; i < 4; ++i) {
        made.push_back(*store.beginChange(testing_support::sampleChange(i, "fp", at(i))));
        ASSERT_TRUE(store.complete(made.back(), written()));
    }
    made.push_back(*store.beginChange(testing_support::sampleChange(9, "fp", at(9))));
    core::Result<history::Verification> clean = store.verify();
    ASSERT_TRUE(clean) << clean.refusal();
    EXPECT_EQ(clean->checked, 5);
    EXPECT_TRUE(clean->broken.empty());

    const auto where = [&](int i) {
        return " WHERE id = '" + made[static_cast<std::size_t>(i)] + "'";
    };
    ASSERT_EQ(sql("UPDATE eeprom_changes SET outcome = 'failed'" + where(1)), "");
    ASSERT_EQ(sql("UPDATE eeprom_changes SET eeprom_after = replace(eeprom_after, 'ABCD', 'ABCE')" +
                  where(2)),
              "");
    ASSERT_EQ(sql("UPDATE eeprom_changes SET started_utc = 'yesterday'" + where(3)), "");
    ASSERT_EQ(sql("UPDATE eeprom_changes SET record_json = '{}'" + where(4)), "");
    core::Result<history::Verification> v = store.verify();
    ASSERT_TRUE(v) << v.refusal();
    EXPECT_EQ(v->checked, 5);
    ASSERT_EQ(v->broken.size(), 4u);
    std::vector<std::string> broken = ids(v->broken);
    std::sort(broken.begin(), broken.end());
    std::vector<std::string> changed(made.begin() + 1, made.end());
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(broken, changed);
    for (const history::Entry& e : v->broken) {
        EXPECT_EQ(e.problem, e.id == made[3] ? "its started_utc cannot be read"
                                             : "its content does not match its seal");
    }
    EXPECT_FALSE(store.get(made[1])->intact) << "a listing tells it too";

    // A pending record changed behind the store is not sealed again by its completion.
    const core::Status s = store.complete(made[4], written());
    EXPECT_THAT(s.refusal(), HasSubstr("was changed after it was written"));
    EXPECT_EQ(store.get(made[4])->ending.outcome, Outcome::Pending);
}

TEST_P(HistoryTest, AnUnreachableReadOnlyOrDamagedHistoryIsACleanRefusal) {
    const auto refusedAtOpen = [](const history::Location& l) {
        core::Result<history::Store> s = history::Store::open(l);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.kind(), core::Kind::File);
        EXPECT_THAT(s.refusal(), HasSubstr("The " + history::describe(l) + " cannot be opened: "));
    };
    const auto refusedChange = [&](history::Store& s) {
        core::Result<std::string> r = s.beginChange(testing_support::sampleChange());
        ASSERT_FALSE(r);
        EXPECT_EQ(r.kind(), core::Kind::File);
        EXPECT_THAT(r.refusal(),
                    HasSubstr("The " + history::describe(s.location()) +
                              " could not keep the record of the change to board 0: "));
    };
    if (postgres()) {
        history::Location nowhere = location;
        nowhere.host = (folder / "no-server").string();
        history::Location noDatabase = location;
        noDatabase.database += "_missing";
        for (history::Location* l : {&nowhere, &noDatabase}) {
            if (l->engine == history::Location::Engine::Odbc) {
                l->odbc = testing_support::odbcString(*l);
            }
            refusedAtOpen(*l);
        }
        { history::Store made = open(); }
        history::Location reader = readOnlyRole();
        core::Result<history::Store> readOnly = history::Store::open(reader);
        ASSERT_TRUE(readOnly) << readOnly.refusal();
        EXPECT_TRUE(readOnly->list()) << "a reader may list";
        refusedChange(*readOnly);
        // A connection the server ended is opened again.
        history::Store store = open();
        ASSERT_EQ(sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                      "current_database() AND usename = current_user AND pid <> pg_backend_pid()"),
                  "");
        core::Result<std::string> after = store.beginChange(testing_support::sampleChange());
        EXPECT_TRUE(after) << after.refusal();
    } else {
        const std::filesystem::path file = folder / "plain-file";
        std::ofstream(file) << "not a folder";
        refusedAtOpen(history::sqliteAt((file / "history.sqlite").string()));
        refusedAtOpen(history::sqliteAt(folder.string()));
        std::ofstream(folder / "damaged.sqlite") << std::string(4096, 'x');
        refusedAtOpen(history::sqliteAt((folder / "damaged.sqlite").string()));
    }
    // A history whose table went away after it was opened.
    history::Store store = open();
    ASSERT_EQ(sql("DROP TABLE eeprom_changes"), "");
    refusedChange(store);
    EXPECT_EQ(store.list().kind(), core::Kind::File);
    EXPECT_EQ(store.verify().kind(), core::Kind::File);
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryTest,
                         testing::Values(history::Location::Engine::SQLite,
                                         history::Location::Engine::PostgreSQL,
                                         history::Location::Engine::Odbc),
                         testing_support::engineName);
