// The program: chooses the card backend, builds the services and opens the window.
//
//   mx4815cal [--simulate] [--cards N]
//
// On Windows the cards are reached through Dravex.dll unless --simulate is given; elsewhere
// the simulated card is always used. The simulated cards' EEPROMs are kept in a file in the
// application's data folder.
#include "app/form1.h"
#include "app/qt_platform.h"
#include "sim/cards_file.h"
#include "sim/simulated_driver.h"
#ifdef _WIN32
#include "card/dravex_library.h"
#endif

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

constexpr const char* kTitle = "MX-4815 Calibration Program";

struct Options {
    bool simulate = false;
    int cards = 1;
};

// The command line; nothing when it is wrong (the reason is shown then).
std::optional<Options> parseOptions(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("MX-4815 calibration utility"));
    parser.addHelpOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral(
            "Use the simulated card instead of Dravex.dll (always so outside Windows)."));
    const QCommandLineOption cards(
        QStringLiteral("cards"),
        QStringLiteral("Number of simulated cards, 0 to %1 (default 1); implies --simulate.")
            .arg(sim::kMaxCards),
        QStringLiteral("N"));
    parser.addOption(simulate);
    parser.addOption(cards);
    if (!parser.parse(application.arguments())) {
        QMessageBox::critical(nullptr, QString::fromUtf8(kTitle), parser.errorText());
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(0); // ends the program
    }
    Options o;
    o.simulate = parser.isSet(simulate);
    if (parser.isSet(cards)) {
        bool ok = false;
        o.cards = parser.value(cards).toInt(&ok);
        if (!ok || o.cards < 0 || o.cards > sim::kMaxCards) {
            QMessageBox::critical(nullptr, QString::fromUtf8(kTitle),
                                  QStringLiteral("--cards: \"%1\" is not a number of cards from 0 "
                                                 "to %2.")
                                      .arg(parser.value(cards))
                                      .arg(sim::kMaxCards));
            return std::nullopt;
        }
        o.simulate = true;
    }
#ifndef _WIN32
    o.simulate = true;
#endif
    return o;
}

// EXIT: the program ends at once, also from inside the event processing of a long run. Every
// file the program writes is complete when its write returns, so nothing is left to do.
[[noreturn]] void endProgram() {
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal"));

    const std::optional<Options> options = parseOptions(application);
    if (!options) {
        return 2;
    }

    app::SteadyClock clock;
    app::QtEventPump pump;
    app::QtPrompts prompts;

    std::unique_ptr<card::Driver> driver;
    std::unique_ptr<sim::CardsFile> store;
    sim::SimulatedDriver* simulator = nullptr;
    if (options->simulate) {
        sim::SimOptions simOptions;
        simOptions.cards = options->cards;
        auto simulated = std::make_unique<sim::SimulatedDriver>(simOptions);
        simulator = simulated.get();
        driver = std::move(simulated);
        store = std::make_unique<sim::CardsFile>(sim::CardsFile::defaultPath());
    } else {
#ifdef _WIN32
        auto opened = card::DravexLibrary::open();
        if (!opened) {
            QMessageBox::critical(nullptr, QString::fromUtf8(kTitle),
                                  QString::fromStdString(opened.refusal()));
            return 1;
        }
        driver = std::move(*opened);
#endif
    }

    app::Form1 window(
        app::Services{*driver, clock, pump, prompts, options->simulate, [] { endProgram(); }});
    prompts.setWindow(&window);
    // The window is shown first, so that the start-up messages stand over it.
    window.show();

    if (simulator != nullptr) {
        if (const core::Status loaded = store->load(*simulator); !loaded) {
            prompts.message(loaded.refusal());
        }
        // A write the file cannot keep fails as the card's own write would: SAVE reports it.
        store->attach(*simulator);
    }

    window.Form_Load();
    return application.exec();
}
