#include "app/qt_platform.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace app {

void QtEventPump::processEvents() {
    // A reading yields after every status read, several thousand times a reading; the
    // window takes its events at most every half millisecond, which no technician notices
    // and which keeps the readings' processor time low.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProcessed_ < std::chrono::microseconds(500)) {
        return;
    }
    lastProcessed_ = now;
    QCoreApplication::processEvents();
}

void QtEventPump::waitForEvents(double maxSeconds) {
    // A precise single-shot timer bounds the wait: its expiry is an event of its own, so
    // the blocking processing below returns by the deadline at the latest, and at once when
    // anything else arrives first.
    const double ms = std::ceil(std::clamp(maxSeconds, 0.0, 3600.0) * 1000.0);
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(ms));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    lastProcessed_ = std::chrono::steady_clock::now();
}

void QtPrompts::message(const std::string& text) {
    const QString title = window_ ? window_->windowTitle() : QCoreApplication::applicationName();
    QMessageBox box(QMessageBox::NoIcon, title, QString::fromStdString(text), QMessageBox::Ok,
                    window_);
    box.exec();
}

bool QtPrompts::confirm(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel, window_);
    // Enter alone never confirms a change of the card: the default is Cancel.
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> QtPrompts::chooseOpenFile(const std::string& filter,
                                                     const std::string& startName) {
    const QString chosen = QFileDialog::getOpenFileName(
        window_, QString(), QString::fromStdString(startName), qtFileFilter(filter));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.toStdString();
}

QString qtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString bracketed = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (description.endsWith(bracketed)) {
            choices << description;
        } else {
            choices << description + QLatin1Char(' ') + bracketed;
        }
    }
    if (choices.isEmpty()) {
        return QStringLiteral("All files (*)");
    }
    return choices.join(QStringLiteral(";;"));
}

} // namespace app
