// The command-line program: chooses the card backend like the window, builds the services
// and runs the command line.
//
//   mx4815cal-cli [--simulate] [--cards N] COMMAND [options]
//
// On Windows the cards are reached through Dravex.dll unless --simulate or --cards is given;
// elsewhere the simulated cards are always used, kept in the same file as the window's.
#include "calfile/profile_file.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "platform/steady_clock.h"
#include "sim/cards_file.h"
#include "sim/simulated_driver.h"
#ifdef _WIN32
#include "card/dravex_library.h"
#include <io.h>
#define MXCAL_ISATTY _isatty
#define MXCAL_STDERR_FD 2
#else
#include <unistd.h>
#define MXCAL_ISATTY isatty
#define MXCAL_STDERR_FD STDERR_FILENO
#endif

#include <QCoreApplication>
#include <QDateTime>

#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

namespace {

// No window: nothing to process, and a wait simply sleeps (it costs no processor time).
class NoEvents : public platform::EventPump {
public:
    void processEvents() override {}
    void waitForEvents(double maxSeconds) override {
        if (maxSeconds > 0.0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(maxSeconds));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // The window's name: the simulated cards' file is the window's.
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal"));
    const std::vector<std::string> args(argv + 1, argv + argc);
    const core::Result<cli::Options> options = cli::parseOptions(args);
    if (!options) {
        std::cerr << "mx4815cal-cli: " << options.refusal() << "\n";
        return cli::kInputRefused;
    }

    std::unique_ptr<card::Driver> driver;
    std::unique_ptr<sim::CardsFile> store;
    sim::SimulatedDriver* simulator = nullptr;
#ifdef _WIN32
    const bool simulate = options->simulate;
#else
    const bool simulate = true;
#endif
    if (simulate) {
        auto simulated = std::make_unique<sim::SimulatedDriver>(sim::SimOptions{options->cards});
        simulator = simulated.get();
        driver = std::move(simulated);
        store = std::make_unique<sim::CardsFile>(sim::CardsFile::defaultPath());
        if (const core::Status loaded = store->load(*simulator); !loaded) {
            std::cerr << "mx4815cal-cli: " << loaded.refusal() << "\n";
        }
        // A write the file cannot keep fails as the card's own write would: SAVE reports it.
        store->attach(*simulator);
    } else {
#ifdef _WIN32
        auto opened = card::DravexLibrary::open();
        if (!opened) {
            std::cerr << "mx4815cal-cli: " << opened.refusal() << "\n";
            return cli::kCardFailure;
        }
        driver = std::move(*opened);
#endif
    }

    platform::SteadyClock clock;
    NoEvents pump;
    calfile::DiskFiles files;
    cli::Services services{
        *driver,
        clock,
        pump,
        files,
        MXCAL_ISATTY(MXCAL_STDERR_FD) != 0,
        [] { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString(); },
        MXCAL_VERSION};
    return cli::runCli(args, services, std::cout, std::cerr);
}
