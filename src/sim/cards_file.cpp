#include "sim/cards_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <utility>

namespace sim {

CardsFile::CardsFile(QString filePath) : path_(std::move(filePath)) {}

core::Status CardsFile::load(SimulatedDriver& cards) const {
    const QFileInfo info(path_);
    if (!info.exists()) {
        return {};
    }
    const std::string name = QDir::toNativeSeparators(path_).toStdString();
    auto refuse = [&](const std::string& why) {
        cards.resetToFactory();
        return core::refuse("The simulated cards could not be loaded from \"" + name + "\": " +
                            why + ". The simulated cards start with their factory EEPROM.");
    };
    if (!info.isFile()) {
        return refuse("it is not a file");
    }
    if (info.size() > kMaxFileSize) {
        return refuse("the file is too large to be a simulated cards' file");
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        return refuse("the file cannot be read (" + file.errorString().toStdString() + ")");
    }
    // Read at most one byte more than allowed, in case the file grew since it was measured.
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return refuse("the file cannot be read (" + file.errorString().toStdString() + ")");
    }
    if (data.size() > kMaxFileSize) {
        return refuse("the file is too large to be a simulated cards' file");
    }
    const core::Status restored =
        cards.restore(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    if (!restored) {
        return refuse("the file is damaged (" + restored.refusal() + ")");
    }
    return {};
}

core::Status CardsFile::save(const SimulatedDriver& cards) const {
    auto fail = [&](const QString& why) { return core::refuse(why.toStdString()); };
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        return fail(QStringLiteral("its folder cannot be created"));
    }
    const std::string text = cards.serialize();
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit()) {
        return fail(file.errorString());
    }
    return {};
}

QString CardsFile::defaultPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty()) {
        folder = QDir::home().filePath(QStringLiteral(".mx4815cal"));
    }
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("simulated-cards.dat"));
}

} // namespace sim
