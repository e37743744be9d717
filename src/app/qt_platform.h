#pragma once

// The real implementations of the platform interfaces: the steady clock (shared with the
// command line), Qt's event processing and Qt's dialogs.

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"
#include "platform/steady_clock.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>

namespace app {

using SteadyClock = platform::SteadyClock;

// Qt's event processing. processEvents takes the pending events at most every half
// millisecond; waitForEvents blocks until the next event or the deadline.
class QtEventPump : public platform::EventPump {
public:
    void processEvents() override;
    void waitForEvents(double maxSeconds) override;

private:
    std::chrono::steady_clock::time_point lastProcessed_{};
};

// Message boxes and the open-file dialog, over the window once it is set (its caption is the
// title of the messages).
class QtPrompts : public platform::Prompts {
public:
    void setWindow(QWidget* window) { window_ = window; }

    void message(const std::string& text) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    std::optional<std::string> chooseOpenFile(const std::string& filter,
                                              const std::string& startName) override;

private:
    QPointer<QWidget> window_;
};

// "description|pattern|description|pattern..." in Qt's "description (pattern);;..." form.
// A description that already ends in its pattern in brackets, such as "ini(*.ini)", is kept
// as it is; several patterns joined by ';' are listed with blanks.
QString qtFileFilter(const std::string& filter);

} // namespace app
