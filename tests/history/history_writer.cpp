// Writes records for the tests in a process of its own:
//   history_writer LOCATION... write TAG N   N records of board TAG, each begun and completed;
//                                            prints "done", or the refusal
//   history_writer LOCATION... pending       one record begun; prints its id and waits for its
//                                            input to end (the test kills it first)
// LOCATION: see location_args.h.
#include "history/store.h"
#include "location_args.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

history::Change change(int board, const std::string& program) {
    history::Change c;
    c.started = history::Time::clock::now();
    c.program = program;
    c.programVersion = "1.0";
    c.computer = "bench";
    c.operatorName = "tester";
    c.board = board;
    c.cardFingerprint = "fp-" + std::to_string(board);
    c.driver = "simulated card";
    c.eepromBefore.assign(128, static_cast<std::uint16_t>(board));
    c.source = history::Source::HandTrimming;
    return c;
}

int refused(const std::string& text) {
    std::printf("refused: %s\n", text.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::size_t used = 0;
    const history::Location location = testing_support::locationFrom(args, used);
    if (used == 0 || args.size() <= used) {
        std::fprintf(stderr, "usage: history_writer LOCATION... write TAG N | pending\n");
        return 2;
    }
    core::Result<history::Store> store = history::Store::open(location);
    if (!store) {
        return refused(store.refusal());
    }
    if (args[used] == "pending") {
        core::Result<std::string> id = store->beginChange(change(7, "killed"));
        if (!id) {
            return refused(id.refusal());
        }
        std::printf("%s\n", id->c_str());
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
        return 0;
    }
    if (args[used] != "write" || args.size() < used + 3) {
        return 2;
    }
    const int tag = std::stoi(args[used + 1]);
    const int count = std::stoi(args[used + 2]);
    for (int i = 0; i < count; ++i) {
        core::Result<std::string> id =
            store->beginChange(change(tag, "writer-" + std::to_string(tag)));
        if (!id) {
            return refused(id.refusal());
        }
        history::Ending end;
        end.outcome = history::Outcome::Written;
        end.eepromAfter.assign(128, static_cast<std::uint16_t>(i));
        if (core::Status s = store->complete(*id, end); !s) {
            return refused(s.refusal());
        }
    }
    std::printf("done\n");
    return 0;
}
