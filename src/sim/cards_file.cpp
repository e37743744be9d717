#include "sim/cards_file.h"

#include "core/file_lock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <optional>
#include <utility>

namespace sim {

namespace {

using core::FileLock;

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

std::string shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// The temporaries that an interrupted save left beside the file: ours, and those of the
// QSaveFile that earlier versions used ("simulated-cards.dat.XXXXXX", holding the cards'
// text or nothing; any other file of such a name is left alone). Only under the exclusive
// lock: every writer holds it while its temporary exists.
void removeStaleTemporaries(const QString& path, const FileLock&) {
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

// What the file holds: nothing, its whole text, or why it cannot serve.
struct Stored {
    enum class State { Missing, Text, Unreadable, NotAFile } state = State::Missing;
    QByteArray data;
    std::string why; // Unreadable, NotAFile: the reason, a phrase after "the file"
};

// Reads the whole file, closed again when this returns.
Stored readStored(const QString& path) {
    Stored s;
    const QFileInfo info(path);
    const std::string odd = core::notRegularFile(localPath(path));
    if (!info.exists() && odd.empty()) {
        return s; // nothing there, or a link to nothing yet
    }
    if (!info.isFile()) {
        s.state = Stored::State::NotAFile;
        s.why = odd.empty() ? "is not a file" : odd;
        return s;
    }
    s.state = Stored::State::Unreadable;
    if (info.size() > CardsFile::kMaxFileSize) {
        s.why = "is too large to be a simulated cards' file";
        return s;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        s.why = "cannot be read (" + file.errorString().toStdString() + ")";
        return s;
    }
    // At most one byte more than allowed, in case the file grew since it was measured; in
    // pieces, so that a small file costs no buffer of the largest size.
    s.data.reserve(std::min(info.size(), CardsFile::kMaxFileSize) + 1);
    for (;;) {
        const QByteArray piece =
            file.read(std::min<qint64>(1 << 20, CardsFile::kMaxFileSize + 1 - s.data.size()));
        if (piece.isEmpty()) {
            break;
        }
        s.data += piece;
    }
    if (file.error() != QFileDevice::NoError) {
        s.why = "cannot be read (" + file.errorString().toStdString() + ")";
    } else if (s.data.size() > CardsFile::kMaxFileSize) {
        s.why = "is too large to be a simulated cards' file";
    } else {
        s.state = Stored::State::Text;
    }
    return s;
}

std::string_view text(const QByteArray& data) {
    return {data.constData(), static_cast<std::size_t>(data.size())};
}

// The file a symbolic link leads to, else path itself.
QString resolved(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

// Moves a damaged file aside to "<file>.damaged-<yyyyMMdd-hhmmss>" (a link's target beside
// the target: the link stays): the name it went to, or why it could not be moved.
core::Result<QString> moveAside(const QString& linkOrFile) {
    const QString path = resolved(linkOrFile);
    const QString stamp = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = stamp;
    for (int n = 2; QFileInfo::exists(aside) && n < 100; ++n) {
        aside = stamp + QStringLiteral("-") + QString::number(n);
    }
    QFile file(path);
    if (!QFileInfo::exists(aside) && file.rename(aside)) {
        return aside;
    }
    return core::refuse(file.errorString().toStdString());
}

// The exclusive lock, waiting for it.
core::Result<FileLock> lockExclusive(const CardsFile& file) {
    return FileLock::acquire(file.lockPath(), FileLock::Mode::Exclusive, true);
}

} // namespace

CardsFile::CardsFile(QString filePath, std::function<bool(core::ReplaceStep)> failAt)
    : path_(std::move(filePath)), failAt_(std::move(failAt)) {}

std::filesystem::path CardsFile::lockPath() const {
    return localPath(path_ + QStringLiteral(".lock"));
}

void CardsFile::attach(SimulatedDriver& cards) const {
    cards.keepBoard = [this, &cards](int board) { return keepBoard(cards, board); };
    cards.refreshBoard = [this, &cards](int board) { refreshBoard(cards, board); };
}

core::Status CardsFile::load(SimulatedDriver& cards) const {
    const core::Result<FileLock> lock = lockExclusive(*this);
    if (lock) {
        removeStaleTemporaries(resolved(path_), *lock);
    }
    const Stored stored = readStored(path_);
    if (stored.state == Stored::State::Missing) {
        return {};
    }
    const auto refuseWith = [&](const std::string& why, const std::string& after) {
        cards.resetToFactory();
        return core::refuse("The simulated cards could not be loaded from \"" + shown(path_) +
                            "\": " + why +
                            ". The simulated cards start with their factory EEPROM." + after);
    };
    if (stored.state == Stored::State::NotAFile) {
        return refuseWith("it " + stored.why, " It is left alone and never written over.");
    }
    // Whatever the file holds, no save may destroy it: move it aside first.
    auto refuse = [&](const std::string& why) {
        const core::Result<QString> aside = moveAside(path_);
        if (aside) {
            return refuseWith(why, " The file was kept as \"" + shown(*aside) + "\".");
        }
        return refuseWith(why, " It could not be moved aside (" + aside.refusal() +
                                   "), so it is not written over: the simulated cards are not "
                                   "saved until it is moved away.");
    };
    if (stored.state == Stored::State::Unreadable) {
        return refuse("the file " + stored.why);
    }
    if (const core::Status restored = cards.restore(text(stored.data)); !restored) {
        return refuse("the file is damaged (" + restored.refusal() + ")");
    }
    return {};
}

core::Status CardsFile::keep(const SimulatedDriver& cards, std::optional<int> board) const {
    const core::Result<FileLock> lock = lockExclusive(*this);
    if (!lock) {
        return core::refuse(lock.refusal());
    }
    removeStaleTemporaries(resolved(path_), *lock);
    const Stored stored = readStored(path_);
    if (stored.state == Stored::State::NotAFile) {
        return core::refuse("the file " + stored.why);
    }
    const QString target = resolved(path_); // written there, the link staying a link
    core::Result<std::string> merged = stored.state == Stored::State::Text
                                           ? cards.serializeOver(text(stored.data), board)
                                           : core::Result<std::string>(cards.serialize());
    if (stored.state == Stored::State::Unreadable || !merged) {
        // No save destroys what the file holds: it goes aside, and the cards here stand in
        // for those it held.
        if (const core::Result<QString> aside = moveAside(path_); !aside) {
            return core::refuse("the damaged file there could not be moved aside (" +
                                aside.refusal() +
                                ") and is kept; move it away to save the simulated cards again");
        }
        merged = cards.serialize();
    }
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
        return core::refuse("its folder cannot be created");
    }
    core::ReplaceOptions options;
    options.tag = kTemporaryTag;
    options.failAt = failAt_;
    return core::replaceFile(localPath(target), *merged, options);
}

core::Status CardsFile::keepBoard(const SimulatedDriver& cards, int board) const {
    const core::Status kept = keep(cards, board);
    if (!kept) {
        return core::refuse(core::Kind::File, "The simulated cards' file \"" + shown(path_) +
                                                  "\" could not be written: " + kept.refusal() +
                                                  ".");
    }
    return {};
}

void CardsFile::refreshBoard(SimulatedDriver& cards, int board) const {
    // Without the lock (a folder this program may not write) the file is read all the same.
    const core::Result<FileLock> lock = FileLock::acquire(lockPath(), FileLock::Mode::Shared, true);
    const Stored stored = readStored(path_);
    if (stored.state == Stored::State::Text) {
        (void)cards.restoreBoard(text(stored.data), board); // damaged: the card keeps its words
    }
}

core::Status CardsFile::save(const SimulatedDriver& cards) const {
    return keep(cards, std::nullopt);
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
