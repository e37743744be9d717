// A program of the tests that works on the simulated cards' file as the utility does, from a
// process of its own:
//
//   cards_writer FILE CARDS BOARD TIMES [PAUSE_MS]
//
// loads CARDS simulated cards from FILE, then writes BOARD's EEPROM TIMES times through
// Drvx_WriteEEP (word 8: the write's number 1..TIMES, word 9: 0xB000 + BOARD) and reads each
// write back. With PAUSE_MS, every write stops for that long before its temporary file takes
// the file's place, after printing "renaming". Prints "done" and ends with 0, or prints what
// failed and ends with 1.
#include "sim/cards_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

int failed(const std::string& what) {
    std::printf("%s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        return failed("usage: cards_writer FILE CARDS BOARD TIMES [PAUSE_MS]");
    }
    const int board = std::atoi(argv[3]);
    const int times = std::atoi(argv[4]);
    const int pause = argc > 5 ? std::atoi(argv[5]) : 0;
    sim::SimulatedDriver cards({.cards = std::atoi(argv[2])});
    const sim::CardsFile store(QString::fromLocal8Bit(argv[1]), [pause](core::ReplaceStep step) {
        if (pause > 0 && step == core::ReplaceStep::Rename) {
            std::printf("renaming\n");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        }
        return false;
    });
    if (const core::Status loaded = store.load(cards); !loaded) {
        return failed("load: " + loaded.refusal());
    }
    store.attach(cards);
    for (int k = 1; k <= times; ++k) {
        card::EepImage image{};
        card::EepImage readBack{};
        const auto words = cards.eeprom(board);
        for (std::size_t i = 0; i < words.size(); ++i) {
            image[i] = words[i];
        }
        image[8] = k;
        image[9] = 0xB000 + board;
        if (const card::Int16 s = cards.Drvx_WriteEEP(static_cast<card::Int16>(board), image)) {
            return failed("write " + std::to_string(k) + ": " + std::to_string(s) + " " +
                          cards.failureDetail());
        }
        if (cards.Drvx_ReadEEP(static_cast<card::Int16>(board), readBack) != 0 ||
            readBack != image) {
            return failed("write " + std::to_string(k) + " not read back");
        }
    }
    std::printf("done\n");
    return 0;
}
