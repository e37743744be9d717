#include "cli/children.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <memory>

namespace cli {

namespace {

struct Running {
    std::unique_ptr<QProcess> process;
    QByteArray errTail; // the start of a line not ended yet
    bool asked = false; // asked to stop
};

// A line without its end: "\n", or "\r\n" as a Windows program writes it (a '\r' left in
// would take a terminal's cursor back to the start of the line).
std::string withoutLineEnd(QByteArray line) {
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line.toStdString();
}

void passLines(Running& r, std::size_t index, const Services::ErrLine& onErrLine, bool all) {
    r.errTail += r.process->readAllStandardError();
    for (qsizetype end = r.errTail.indexOf('\n'); end >= 0; end = r.errTail.indexOf('\n')) {
        onErrLine(index, withoutLineEnd(r.errTail.left(end)));
        r.errTail.remove(0, end + 1);
    }
    if (all && !r.errTail.isEmpty()) {
        onErrLine(index, withoutLineEnd(r.errTail));
        r.errTail.clear();
    }
}

} // namespace

std::vector<Services::Child> runChildren(const std::string& programPath,
                                         const std::vector<std::vector<std::string>>& lines,
                                         int jobs, const Services::ErrLine& onErrLine,
                                         const std::function<bool()>& stopRequested) {
    std::vector<Services::Child> children(lines.size());
    std::vector<Running> running(lines.size());
    std::size_t next = 0;
    int active = 0;
    QEventLoop loop;
    const auto start = [&](std::size_t i) {
        Running& r = running[i];
        r.process = std::make_unique<QProcess>();
        QStringList args;
        for (const std::string& a : lines[i]) {
            args << QString::fromStdString(a);
        }
        QObject::connect(r.process.get(), &QProcess::readyReadStandardError,
                         [&, i] { passLines(running[i], i, onErrLine, false); });
        QObject::connect(
            r.process.get(), &QProcess::finished, [&, i](int code, QProcess::ExitStatus how) {
                passLines(running[i], i, onErrLine, true);
                children[i].out = running[i].process->readAllStandardOutput().toStdString();
                children[i].exitCode = how == QProcess::NormalExit ? code : -1;
                --active;
                loop.quit();
            });
        QObject::connect(r.process.get(), &QProcess::errorOccurred,
                         [&, i](QProcess::ProcessError e) {
                             if (e == QProcess::FailedToStart) {
                                 onErrLine(i, "mx4815cal-cli: the program could not be started: " +
                                                  running[i].process->errorString().toStdString());
                                 --active;
                                 loop.quit();
                             }
                         });
        ++active;
        r.process->start(QString::fromStdString(programPath), args);
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { loop.quit(); });
    tick.start(50);
    while (next < lines.size() || active > 0) {
        const bool stopping = stopRequested && stopRequested();
        while (!stopping && next < lines.size() && active < jobs) {
            start(next++);
        }
        if (stopping) {
            next = lines.size(); // boards not started stay so
            for (Running& r : running) {
                if (r.process && r.process->state() != QProcess::NotRunning && !r.asked) {
                    r.process->terminate();
                    r.asked = true;
                }
            }
        }
        if (active > 0) {
            loop.exec();
        }
    }
    return children;
}

} // namespace cli
