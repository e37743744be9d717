// The simulated card (sim::SimulatedDriver) behind the driver library's own interface: a
// Dravex.dll for tests and demonstrations, never shipped. It exports the driver entry points
// by their undecorated names with the standard Win32 calling convention, exactly as
// card::DravexLibrary resolves them, and forwards each to one simulated driver, so that a
// program loading it works with the same analog model, register window, EEPROM and factory
// backup as the program's own simulated card.
//
// The environment, read at the first call:
//   MXCAL_SIM_CARDS=N        the number of cards, 0 .. 1024 (default 1);
//   MXCAL_SIM_DATE=YYYY-MM-DD the day the cards live at (default: today, UTC), as for the
//                            program's simulated cards.
//   MXCAL_SIM_DRAVEX_TRACE=FILE when set, a line is appended to FILE for every call that drives
//                            an output or touches the EEPROM and at the end of every averaged
//                            reading: "<entry point or reading> <seconds since 1970>", for
//                            timing a run from outside.
// A value that is not valid makes every entry point return kBadEnvironment and do nothing.
//
// Built with Qt (the program's build), the cards are kept in the simulated cards' file of the
// programs' data folder, the file the program's own simulated cards use, in the same way: a
// SAVE through this library lasts, and the program started with --simulate sees it. Built
// without Qt (the logic build), the cards live in memory only, as long as the library stays
// loaded.

#include "sim/simulated_driver.h"
#ifdef MXCAL_SIM_DRAVEX_CARDS_FILE
#include "sim/cards_file.h"

#include <QCoreApplication>
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#define SIM_DRAVEX_EXPORT extern "C" __declspec(dllexport)

using card::Int16;
using card::Long;

namespace {

// Returned by every entry point when the environment names no valid card count or day.
constexpr Int16 kBadEnvironment = sim::kBadArgument;

std::optional<std::string> environment(const char* name) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>(std::string());
    }
    std::string value(size, '\0'); // size counts the terminating zero
    const DWORD n = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(n < size ? n : 0);
    return value;
}

std::optional<int> parseCards(std::string_view text) {
    int n = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size() || n < 0 || n > sim::kMaxCards) {
        return std::nullopt;
    }
    return n;
}

std::optional<std::chrono::sys_days> parseDay(std::string_view text) {
    const auto number = [&](std::size_t from, std::size_t length, int& value) {
        const char* first = text.data() + from;
        const auto [end, ec] = std::from_chars(first, first + length, value);
        return ec == std::errc{} && end == first + length && first[0] != '-' && first[0] != '+';
    };
    int y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !number(0, 4, y) ||
        !number(5, 2, m) || !number(8, 2, d)) {
        return std::nullopt;
    }
    const std::chrono::year_month_day day{std::chrono::year{y},
                                          std::chrono::month{static_cast<unsigned>(m)},
                                          std::chrono::day{static_cast<unsigned>(d)}};
    if (!day.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days{day};
}

// The conversions of one averaged reading as both programs take it: three that settle the
// input, then the 1000 averaged. The trace marks a reading's end by this count, so it times
// only readings of that size.
constexpr long kConversionsPerReading = 3 + 1000;

// The trace of MXCAL_SIM_DRAVEX_TRACE, or nothing.
class Trace {
public:
    ~Trace() {
        if (file_) {
            std::fclose(file_);
        }
    }
    void open() {
        const auto path = environment("MXCAL_SIM_DRAVEX_TRACE");
        if (path && !path->empty()) {
            file_ = std::fopen(path->c_str(), "a");
        }
    }
    void line(const char* what) {
        if (!file_) {
            return;
        }
        // The system's time, as a program outside reads it (Unix seconds).
        FILETIME ft;
        GetSystemTimePreciseAsFileTime(&ft);
        const std::uint64_t ticks = (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
        const double seconds = static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
        std::fprintf(file_, "%s %.6f\n", what, seconds);
        std::fflush(file_);
    }
    // After a call: a line when it ended an averaged reading.
    void conversions(long now) {
        if (now != seen_ && now % kConversionsPerReading == 0) {
            line("reading");
        }
        seen_ = now;
    }

private:
    std::FILE* file_ = nullptr;
    long seen_ = 0;
};

struct Library {
    std::mutex mutex;
    bool made = false;
    std::unique_ptr<sim::SimulatedDriver> driver; // none: the environment is not valid
#ifdef MXCAL_SIM_DRAVEX_CARDS_FILE
    std::unique_ptr<sim::CardsFile> store;
#endif
    Trace trace;

    // The driver, made from the environment at the first call; nullptr when not valid.
    sim::SimulatedDriver* get() {
        if (!made) {
            made = true;
            const auto cardsText = environment("MXCAL_SIM_CARDS");
            const auto dayText = environment("MXCAL_SIM_DATE");
            const std::optional<int> cards = cardsText ? parseCards(*cardsText) : 1;
            const auto day =
                dayText
                    ? parseDay(*dayText)
                    : std::optional<std::chrono::sys_days>(
                          std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
            if (cards && day) {
                sim::SimOptions options;
                options.cards = *cards;
                driver = std::make_unique<sim::SimulatedDriver>(options);
                driver->setToday(*day);
                keepInFile();
            }
            trace.open();
        }
        return driver.get();
    }

    // The cards from the simulated cards' file, and every change of their EEPROMs kept there.
    void keepInFile() {
#ifdef MXCAL_SIM_DRAVEX_CARDS_FILE
        // The programs' data folder, named as the programs name it (this library's Qt has
        // no application of its own).
        QCoreApplication::setApplicationName(QStringLiteral("mx4815cal"));
        store = std::make_unique<sim::CardsFile>(sim::CardsFile::defaultPath());
        if (const core::Status loaded = store->load(*driver); !loaded) {
            // No window of its own: the reason goes where a debugger or a console sees it.
            const std::string text = "Dravex.dll (simulated card): " + loaded.refusal() + "\n";
            OutputDebugStringA(text.c_str());
            std::fputs(text.c_str(), stderr);
        }
        store->attach(*driver);
#endif
    }
};

Library& library() {
    static Library l;
    return l;
}

// Runs call on the driver under the library's lock, or gives kBadEnvironment; traced names
// the call in the trace.
template <class Call> Int16 forward(Call call, const char* traced = nullptr) {
    Library& l = library();
    const std::lock_guard<std::mutex> lock(l.mutex);
    sim::SimulatedDriver* driver = l.get();
    if (!driver) {
        return kBadEnvironment;
    }
    const Int16 status = call(*driver);
    if (traced) {
        l.trace.line(traced);
    }
    l.trace.conversions(driver->conversions());
    return status;
}

} // namespace

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_DriverInit(Int16* wTotalBoards) {
    if (!wTotalBoards) {
        return sim::kBadArgument;
    }
    return forward([&](sim::SimulatedDriver& d) { return d.Drvx_DriverInit(*wTotalBoards); });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_SearchCard(Int16* wNumBoards, Long dwCardId) {
    if (!wNumBoards) {
        return sim::kBadArgument;
    }
    return forward(
        [&](sim::SimulatedDriver& d) { return d.Drvx_SearchCard(*wNumBoards, dwCardId); });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_GetCardInfo(Int16 wBoardNo, std::uint8_t* cardInfo,
                                                std::uint8_t* cardConfig, char* modelName) {
    if (!cardInfo || !cardConfig || !modelName) {
        return sim::kBadArgument;
    }
    return forward([&](sim::SimulatedDriver& d) {
        // The records and the name buffer are in/out: what the caller passed goes in.
        card::InfoRecord info;
        card::ConfigRecord config;
        card::ModelName name;
        std::memcpy(info.bytes.data(), cardInfo, info.bytes.size());
        std::memcpy(config.bytes.data(), cardConfig, config.bytes.size());
        std::memcpy(name.data(), modelName, name.size());
        const Int16 status = d.Drvx_GetCardInfo(wBoardNo, info, config, name);
        std::memcpy(cardInfo, info.bytes.data(), info.bytes.size());
        std::memcpy(cardConfig, config.bytes.data(), config.bytes.size());
        std::memcpy(modelName, name.data(), name.size());
        return status;
    });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_DriverClose() {
    return forward([](sim::SimulatedDriver& d) { return d.Drvx_DriverClose(); });
}

namespace {

template <class Call> Int16 withImage(Long* data, const char* traced, Call call) {
    if (!data) {
        return sim::kBadArgument;
    }
    return forward(
        [&](sim::SimulatedDriver& d) {
            card::EepImage image;
            std::copy_n(data, image.size(), image.begin());
            const Int16 status = call(d, image);
            std::copy(image.begin(), image.end(), data);
            return status;
        },
        traced);
}

} // namespace

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_ReadEEP(Int16 wBoardNo, Long* data) {
    return withImage(data, "Drvx_ReadEEP", [&](sim::SimulatedDriver& d, card::EepImage& image) {
        return d.Drvx_ReadEEP(wBoardNo, image);
    });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_WriteEEP(Int16 wBoardNo, Long* data) {
    return withImage(data, "Drvx_WriteEEP", [&](sim::SimulatedDriver& d, card::EepImage& image) {
        return d.Drvx_WriteEEP(wBoardNo, image);
    });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_RecoverEEP(Int16 wBoardNo) {
    return forward([&](sim::SimulatedDriver& d) { return d.Drvx_RecoverEEP(wBoardNo); },
                   "Drvx_RecoverEEP");
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_ConfigAO(Int16 wBoardNo, Int16 wChannel, Int16 wRange) {
    return forward(
        [&](sim::SimulatedDriver& d) { return d.Drvx_ConfigAO(wBoardNo, wChannel, wRange); },
        "Drvx_ConfigAO");
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_WriteAOVoltageH(Int16 wBoardNo, Int16 wChannel, Long dwCode) {
    return forward(
        [&](sim::SimulatedDriver& d) { return d.Drvx_WriteAOVoltageH(wBoardNo, wChannel, dwCode); },
        "Drvx_WriteAOVoltageH");
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long* dwValue) {
    if (!dwValue) {
        return sim::kBadArgument;
    }
    return forward(
        [&](sim::SimulatedDriver& d) { return d.Drvx_ReadPhyMemory(dwAddress, wSize, *dwValue); });
}

SIM_DRAVEX_EXPORT Int16 WINAPI Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) {
    return forward(
        [&](sim::SimulatedDriver& d) { return d.Drvx_WritePhyMemory(dwAddress, wSize, dwValue); });
}
