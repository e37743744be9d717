#include "sim/cards_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <filesystem>
#include <utility>

namespace sim {

namespace {

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

std::string shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// The temporaries that an interrupted save left beside the file: ours, and those of the
// QSaveFile that earlier versions used ("simulated-cards.dat.XXXXXX", holding the cards'
// text or nothing; any other file of such a name is left alone).
void removeStaleTemporaries(const QString& path) {
    core::removeStaleTemporaries(localPath(path), CardsFile::kTemporaryTag);
    const QFileInfo info(path);
    const QRegularExpression legacy(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDir folder = info.absoluteDir();
    for (const QFileInfo& f : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!legacy.match(f.fileName()).hasMatch() || f.isSymLink()) {
            continue;
        }
        QFile file(f.absoluteFilePath());
        const QByteArray start = file.open(QIODevice::ReadOnly) ? file.read(22) : QByteArray("-");
        file.close();
        if (start.isEmpty() || start == QByteArrayLiteral("MX4815-SIMULATED-CARDS")) {
            QFile::remove(f.absoluteFilePath());
        }
    }
}

// The whole file into data, closed again when this returns; or why it cannot be read.
std::string readWhole(const QString& path, QByteArray& data) {
    if (QFileInfo(path).size() > CardsFile::kMaxFileSize) {
        return "the file is too large to be a simulated cards' file";
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "the file cannot be read (" + file.errorString().toStdString() + ")";
    }
    // Read at most one byte more than allowed, in case the file grew since it was measured.
    data = file.read(CardsFile::kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return "the file cannot be read (" + file.errorString().toStdString() + ")";
    }
    if (data.size() > CardsFile::kMaxFileSize) {
        return "the file is too large to be a simulated cards' file";
    }
    return {};
}

} // namespace

CardsFile::CardsFile(QString filePath, std::function<bool(core::ReplaceStep)> failAt)
    : path_(std::move(filePath)), failAt_(std::move(failAt)) {}

core::Status CardsFile::load(SimulatedDriver& cards) const {
    removeStaleTemporaries(path_);
    const QFileInfo info(path_);
    const std::string name = shown(path_);
    if (!info.exists() && core::notRegularFile(localPath(path_)).empty()) {
        return {}; // nothing there, or a link to nothing yet
    }
    const auto refuseWith = [&](const std::string& why, const std::string& after) {
        cards.resetToFactory();
        return core::refuse("The simulated cards could not be loaded from \"" + name + "\": " +
                            why + ". The simulated cards start with their factory EEPROM." + after);
    };
    if (!info.isFile()) {
        const std::string odd = core::notRegularFile(localPath(path_));
        return refuseWith(odd.empty() ? "it is not a file" : "it " + odd,
                          " It is left alone and never written over.");
    }
    // Whatever the file holds, the next save must not destroy it: move it aside first.
    auto refuse = [&](const std::string& why) {
        const QString stamp =
            path_ + QStringLiteral(".damaged-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        QString aside = stamp;
        for (int n = 2; QFileInfo::exists(aside) && n < 100; ++n) {
            aside = stamp + QStringLiteral("-") + QString::number(n);
        }
        QFile file(path_);
        if (!QFileInfo::exists(aside) && file.rename(aside)) {
            return refuseWith(why, " The file was kept as \"" + shown(aside) + "\".");
        }
        keepDamaged_ = true;
        return refuseWith(why, " It could not be moved aside (" + file.errorString().toStdString() +
                                   "), so it is not written over: the simulated cards are not "
                                   "saved until it is moved away.");
    };
    QByteArray data;
    if (const std::string why = readWhole(path_, data); !why.empty()) {
        return refuse(why);
    }
    const core::Status restored =
        cards.restore(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    if (!restored) {
        return refuse("the file is damaged (" + restored.refusal() + ")");
    }
    return {};
}

core::Status CardsFile::save(const SimulatedDriver& cards) const {
    if (keepDamaged_ && QFileInfo::exists(path_)) {
        return core::refuse("the damaged file there could not be moved aside and is kept; move "
                            "it away to save the simulated cards again");
    }
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        return core::refuse("its folder cannot be created");
    }
    core::ReplaceOptions options;
    options.tag = kTemporaryTag;
    options.failAt = failAt_;
    return core::replaceFile(localPath(path_), cards.serialize(), options);
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
