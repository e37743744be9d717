#include "calfile/profile_file.h"

#include "core/text.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryFile>

#include <filesystem>

namespace calfile {

namespace {

QString toQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

std::filesystem::path localPath(const QFileInfo& info) {
    return std::filesystem::path(info.filePath().toStdU16String());
}

FileContent unreadable(std::string problem) {
    FileContent content;
    content.state = FileContent::State::Unreadable;
    content.problem = std::move(problem);
    return content;
}

} // namespace

FileContent DiskFiles::read(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return unreadable("name is not valid");
    }
    const QFileInfo info(toQt(name));
    if (!info.exists()) {
        // A symbolic link that loops or leads nowhere readable is there all the same.
        if (const std::string odd = core::notRegularFile(localPath(info)); !odd.empty()) {
            return unreadable(odd);
        }
        FileContent content;
        content.state = FileContent::State::Missing;
        content.problem = "does not exist";
        return content;
    }
    if (info.isDir()) {
        return unreadable("is a folder");
    }
    if (!info.isFile()) {
        const std::string odd = core::notRegularFile(localPath(info));
        return unreadable(odd.empty() ? "is not an ordinary file" : odd);
    }
    if (info.size() > kMaxFileSize) {
        return unreadable("is too large for a calibration file (" + std::to_string(info.size()) +
                          " bytes)");
    }
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return unreadable("cannot be opened (" + file.errorString().toStdString() + ")");
    }
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return unreadable("cannot be read (" + file.errorString().toStdString() + ")");
    }
    if (data.size() > kMaxFileSize) {
        return unreadable("is too large for a calibration file");
    }
    FileContent content;
    content.state = FileContent::State::Read;
    content.bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return content;
}

core::Status DiskFiles::write(const std::string& name, const std::string& bytes) {
    if (name.empty()) {
        return core::refuse("no file name was given");
    }
    if (name.find('\0') != std::string::npos) {
        return core::refuse("the file name is not valid");
    }
    const QFileInfo info(toQt(name));
    const QDir folder = info.absoluteDir();
    if (!folder.exists()) {
        return core::refuse("the folder \"" + shown(folder.path()) + "\" does not exist");
    }
    if (info.exists()) {
        if (info.isDir()) {
            return core::refuse("the name is that of a folder");
        }
        // The replacement would replace a read-only file through its folder; refuse it instead.
        // A file without its owner's write permission counts as read-only for every user,
        // the administrator included, as a read-only file does on Windows.
        if (!info.isWritable() || !info.permission(QFileDevice::WriteOwner)) {
            return core::refuse("the file is read-only");
        }
    }
    core::ReplaceOptions options;
    options.tag = kTemporaryTag;
    options.failAt = failAt_;
    return core::replaceFile(localPath(info), bytes, options);
}

core::Status DiskFiles::probe(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return core::refuse("the name is not valid");
    }
    const QFileInfo info(toQt(name));
    if (const std::string odd = core::notRegularFile(localPath(info)); !odd.empty()) {
        return core::refuse("it " + odd);
    }
    if (!info.absoluteDir().exists()) {
        return core::refuse("the folder " + core::quoteText(shown(info.absolutePath())) +
                            " does not exist");
    }
    if (info.exists() && (!info.isWritable() || !info.permission(QFileDevice::WriteOwner))) {
        return core::refuse("the file is read-only");
    }
    // A file created beside it, as the replacement's temporary will be, and removed again.
    QTemporaryFile trial(info.absoluteFilePath() + QStringLiteral(".mx4815cal-probe-XXXXXX.tmp"));
    if (!trial.open()) {
        return core::refuse("no file can be created in its folder (" +
                            trial.errorString().toStdString() + ")");
    }
    return {};
}

} // namespace calfile
