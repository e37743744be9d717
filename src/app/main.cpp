// The program: chooses the card backend, builds the services and opens the window.
//
//   mx4815cal [--simulate] [--cards N]
//
// On Windows the cards are reached through Dravex.dll unless --simulate is given; elsewhere
// the simulated card is always used. The simulated cards' EEPROMs are kept in a file in the
// application's data folder.
#include "app/form1.h"
#include "app/qt_platform.h"
#include "backend/backend.h"
#include "journal/history_journal.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

constexpr const char* kTitle = "MX-4815 Calibration Program";

// The command line; nothing when it is wrong (the reason is shown then).
std::optional<backend::Choice> parseOptions(const QApplication& application) {
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
            .arg(backend::kMaxSimulatedCards),
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
    backend::Choice choice;
    choice.simulate = parser.isSet(simulate);
    if (parser.isSet(cards)) {
        const core::Result<int> n = backend::parseCardCount(parser.value(cards).toStdString());
        if (!n) {
            QMessageBox::critical(nullptr, QString::fromUtf8(kTitle),
                                  QString::fromStdString(n.refusal()));
            return std::nullopt;
        }
        choice.cards = *n;
        choice.simulate = true;
    }
#ifndef _WIN32
    choice.simulate = true;
#endif
    return choice;
}

// EXIT: the program ends at once, also from inside the event processing of a long run. Every
// file the program writes is complete when its write returns, so nothing is left to do; the
// system lets go of the boards the program held.
[[noreturn]] void endProgram() {
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal"));

    const std::optional<backend::Choice> choice = parseOptions(application);
    if (!choice) {
        return 2;
    }
    auto opened = backend::open(*choice, "mx4815cal");
    if (!opened) {
        QMessageBox::critical(nullptr, QString::fromUtf8(kTitle),
                              QString::fromStdString(opened.refusal()));
        return 1;
    }
    backend::Backend& cards = **opened;

    // Every EEPROM change goes into the calibration history the station names.
    journal::Opened keeping =
        journal::openJournal(journal::Maker{"mx4815cal", MXCAL_VERSION, cards.driverDescription()});

    app::SteadyClock clock;
    app::QtEventPump pump;
    app::QtPrompts prompts;
    app::Form1 window(app::Services{
        cards.driver(), clock, pump, prompts, cards.simulated(), [] { endProgram(); },
        &cards.locks(), [&cards](const std::string& path) { return cards.ownsFile(path); },
        &keeping.journal});
    prompts.setWindow(&window);
    // The window is shown first, so that the start-up messages stand over it.
    window.show();
    for (const std::string& notice : {cards.notice(), keeping.notice}) {
        if (!notice.empty()) {
            prompts.message(notice);
        }
    }
    window.Form_Load();
    return application.exec();
}
