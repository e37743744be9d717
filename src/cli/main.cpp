// The command-line program: chooses the card backend like the window, builds the services
// and runs the command line.
//
//   mx4815cal-cli [--simulate] [--cards N] COMMAND [options]
//
// On Windows the cards are reached through Dravex.dll unless --simulate or --cards is given;
// elsewhere the simulated cards are always used, kept in the same file as the window's.
#include "backend/backend.h"
#include "calfile/profile_file.h"
#include "cli/children.h"
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "cli/options.h"
#include "journal/history_journal.h"
#include "platform/steady_clock.h"
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
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

// The simulated cards' time run faster (MXCAL_SIM_SPEED=N, for tests and demonstrations):
// the program's time passes only in its pauses and waits, each taking 1/N of its real time.
class FastTime : public platform::Clock, public platform::EventPump {
public:
    explicit FastTime(double speed) : speed_(speed) {}
    double now() override { return static_cast<double>(nanoseconds_) / 1e9; }
    void Sleep(std::int32_t milliseconds) override { pass(milliseconds / 1000.0); }
    void processEvents() override {}
    void waitForEvents(double maxSeconds) override { pass(maxSeconds); }

private:
    // Time is counted in whole nanoseconds, at least one a pause, so that the rest of a wait
    // that rounding left (1e-15 s) still ends it.
    void pass(double seconds) {
        if (seconds > 0.0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds / speed_));
            nanoseconds_ += std::max<long long>(1, std::llround(seconds * 1e9));
        }
    }
    double speed_;
    long long nanoseconds_ = 0;
};

// The speed of MXCAL_SIM_SPEED, or 0 when it is not set (or not a number from 1 to 10000).
double simulationSpeed() {
    const char* text = std::getenv("MXCAL_SIM_SPEED");
    if (text == nullptr) {
        return 0.0;
    }
    char* end = nullptr;
    const double speed = std::strtod(text, &end);
    return end != text && *end == '\0' && speed >= 1.0 && speed <= 10000.0 ? speed : 0.0;
}

// Whether stderr is a terminal that shows the progress in place. A Windows console takes the
// escape sequences of the progress line only with virtual terminal processing, which the
// program turns on; a console that has none, like a file or the NUL device, gets the progress
// one line at a time.
bool stderrIsTerminal() {
#ifdef _WIN32
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == INVALID_HANDLE_VALUE || err == nullptr || !::GetConsoleMode(err, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

std::string programName(const cli::Options& options) {
    const std::string command = cli::commandName(options.command);
    return command == "mx4815cal-cli" ? command : "mx4815cal-cli " + command;
}

} // namespace

// The certificate and the drift plot draw, with fonts: they need Qt's GUI application, on the
// offscreen platform where no other is asked for. Every other command runs without one.
static std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find(args.begin(), args.end(), "certificate") == args.end() &&
        std::find(args.begin(), args.end(), "--plot") == args.end()) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
}

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    // The window's name: the simulated cards' file is the window's.
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal"));
    cli::catchInterrupts();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> answered = cli::answerWithoutCard(args, std::cout, std::cerr)) {
        return *answered;
    }
    const core::Result<cli::Options> options = cli::parseOptions(args);
    backend::Choice choice{options->simulate, options->cards};
#ifndef _WIN32
    choice.simulate = true;
#endif
    // The station and the history need no driver.
    if (options->command == cli::Command::Station || options->command == cli::Command::History) {
        choice.simulate = true;
    }
    auto opened = backend::open(choice, programName(*options));
    if (!opened) {
        std::cerr << "mx4815cal-cli: " << opened.refusal() << "\n";
        return cli::exitCode(opened.kind());
    }
    backend::Backend& cards = **opened;
    if (!cards.notice().empty()) {
        std::cerr << "mx4815cal-cli: " << cards.notice() << "\n";
    }

    journal::Opened keeping = journal::openJournal(
        journal::Maker{programName(*options), MXCAL_VERSION, cards.driverDescription()});
    if (!keeping.notice.empty() && options->command != cli::Command::Station) {
        std::cerr << "mx4815cal-cli: " << keeping.notice << "\n";
    }

    platform::SteadyClock steady;
    NoEvents noEvents;
    const double speed = cards.simulated() ? simulationSpeed() : 0.0;
    FastTime fast(speed > 0.0 ? speed : 1.0);
    platform::Clock& clock = speed > 0.0 ? static_cast<platform::Clock&>(fast) : steady;
    platform::EventPump& pump = speed > 0.0 ? static_cast<platform::EventPump&>(fast) : noEvents;
    calfile::DiskFiles files;
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    cli::Services services{
        cards.driver(),
        clock,
        pump,
        files,
        stderrIsTerminal(),
        [day = QDate::fromString(QString::fromStdString(cards.simulatedDate()), Qt::ISODate)] {
            // The simulated cards' day (MXCAL_SIM_DATE) is the records' day too.
            QDateTime now = QDateTime::currentDateTimeUtc();
            if (day.isValid()) {
                now.setDate(day);
            }
            return now.toString(Qt::ISODate).toStdString();
        },
        MXCAL_VERSION,
        &cards.locks(),
        [] { return cli::interruptRequested(); },
        [&cards](const std::string& path) { return cards.ownsFile(path); },
        [&self](const std::vector<std::vector<std::string>>& lines, int jobs,
                const cli::Services::ErrLine& onErrLine) {
            return cli::runChildren(self, lines, jobs, onErrLine,
                                    [] { return cli::interruptRequested(); });
        }};
    services.journal = &keeping.journal;
    const int code = cli::runCli(args, services, std::cout, std::cerr);
    std::cout.flush();
    cli::interruptsDone();
    return code;
}
