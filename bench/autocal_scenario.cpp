#include "bench_platform.h"
#include "scenarios.h"

#include "app/form1.h"
#include "app/qt_platform.h"
#include "caldata/conversions.h"
#include "card/facts.h"
#include "sim/simulated_driver.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>

namespace bench {

namespace {

constexpr double kWaitsMs = 22 * 1000.0;   // the run's settling waits
constexpr double kReadingMs = 100.0 + 3.0; // the sleeps of one reading
constexpr double kRatioGoal = 1.005;
constexpr double kCpuGoal = 0.05;
constexpr double kLongGapMs = 5.0;
constexpr double kVoltsGoal = 0.0015;
constexpr double kMemoryGoalKb = 256.0;

// Processor time of this process so far, user and system, in milliseconds.
double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Resident memory of this process, in kilobytes.
double residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// A heartbeat that stands for the technician's events: a precise 1 ms timer whose ticks
// the window processes. The time between two ticks is the gap between two processed events;
// a gap across a reading's set-up (which sleeps 103 ms on purpose, holding the window) is
// told from all others by the sleeps the clock saw in between.
class Heartbeat {
public:
    explicit Heartbeat(const RealClock& clock) : clock_(clock) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }
    double worstGapMs = 0.0;
    double worstSetupGapMs = 0.0;
    long longGaps = 0; // outside a reading's set-up, longer than kLongGapMs
    long ticks = 0;
    std::string longGapTimes; // the first few: seconds into the run, and milliseconds

private:
    void tick() {
        const auto t = Steady::now();
        const double slept = clock_.askedMs();
        if (ticks > 0) {
            const double gap = msBetween(last_, t);
            const bool setup = slept != sleptAtLast_;
            double& worst = setup ? worstSetupGapMs : worstGapMs;
            worst = std::max(worst, gap);
            if (!setup && gap > kLongGapMs && ++longGaps <= 8) {
                longGapTimes +=
                    " " + fixed(msBetween(first_, t) / 1000.0, 3) + " s: " + fixed(gap, 1) + " ms;";
            }
        }
        if (ticks == 0) {
            first_ = t;
        }
        ++ticks;
        last_ = t;
        sleptAtLast_ = slept;
    }
    const RealClock& clock_;
    QTimer timer_;
    Steady::time_point first_{};
    Steady::time_point last_{};
    double sleptAtLast_ = 0.0;
};

// The window's event pump, timing the waits: the time spent blocked in them, processing
// what arrives meanwhile. (The yields of the readings, thousands a reading, are not timed:
// reading the clock around each would cost more than most of them take.)
class TimingPump : public platform::EventPump {
public:
    void processEvents() override { pump_.processEvents(); }
    void waitForEvents(double maxSeconds) override {
        const auto t = Steady::now();
        pump_.waitForEvents(maxSeconds);
        waitingMs += msBetween(t, Steady::now());
    }
    double waitingMs = 0.0;

private:
    app::QtEventPump pump_;
};

// The window on the simulated card, after start-up (its one card loaded), with the
// reference voltages a technician would measure at the test points typed in.
struct Bench {
    Bench(platform::Clock& clock, platform::EventPump& pump)
        : form(app::Services{cards, clock, pump, prompts, true, {}}) {
        form.show();
        form.Form_Load();
        type(app::testProbe(form).ui.tbx10VRef, cards.reference10V(0));
        type(app::testProbe(form).ui.tbx5VRef, cards.reference5V(0));
    }
    // Lets the window be shown and painted, as the technician sees it before the click.
    static void settle() {
        const auto until = Steady::now() + std::chrono::milliseconds(300);
        while (Steady::now() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
    static void type(QLineEdit* box, double volts) {
        box->setText(QString::fromStdString(caldata::formatReference(static_cast<float>(volts))));
    }
    // The worst error of the calibrated end points against their nominal voltages.
    double worstEndPointVolts() {
        double worst = 0.0;
        for (int k = 0; k < card::kOutputBoxCount; ++k) {
            const card::OutputBoxFacts& box = card::kOutputBoxes[static_cast<std::size_t>(k)];
            for (bool upper : {true, false}) {
                const auto code =
                    caldata::parseCode(form.text(upper ? caldata::aoMax(k) : caldata::aoMin(k)));
                const double volts =
                    code ? cards.outputVoltageAt(0, box.channel, box.rangeFacts().rangeCode,
                                                 static_cast<std::uint16_t>(*code))
                         : 1e9;
                const double nominal = upper ? box.rangeFacts().high : box.rangeFacts().low;
                worst = std::max(worst, std::abs(volts - nominal));
            }
        }
        return worst;
    }
    long readings() const { return cards.conversions() / (1000 + 3); }

    sim::SimulatedDriver cards;
    PrintingPrompts prompts;
    app::Form1 form;
};

// Virtual time for the memory scenario: sleeps cost nothing, every reading of the clock
// moves it on by a millisecond.
class FastClock : public platform::Clock {
public:
    double now() override { return t_ += 0.001; }
    void Sleep(std::int32_t milliseconds) override { t_ += milliseconds / 1000.0; }

private:
    double t_ = 0.0;
};

// The window's event processing without the blocking wait (virtual time does not pass
// while the process waits).
class QuickPump : public platform::EventPump {
public:
    void processEvents() override { pump_.processEvents(); }

private:
    app::QtEventPump pump_;
};

} // namespace

bool autocalScenario(std::ostream& out) {
    RealClock clock;
    TimingPump pump;
    Bench b(clock, pump);
    Bench::settle();
    clock.reset();
    Heartbeat heartbeat(clock);

    const long conversionsBefore = b.cards.conversions();
    const double cpuBefore = cpuMs();
    const auto start = Steady::now();
    b.form.cmdAutoCal_Click();
    const double wallMs = msBetween(start, Steady::now());
    const double runCpuMs = cpuMs() - cpuBefore;

    const long readings = (b.cards.conversions() - conversionsBefore) / (1000 + 3);
    const double mandatedMs = kWaitsMs + kReadingMs * static_cast<double>(readings);
    const double ratio = wallMs / mandatedMs;
    const double cpuShare = runCpuMs / wallMs;
    const double worstVolts = b.worstEndPointVolts();
    const bool completed = b.prompts.messages == 0;
    out << "  run            " << (completed ? "completed" : "DID NOT COMPLETE") << "\n"
        << "  wall time      " << fixed(wallMs / 1000.0, 3) << " s\n"
        << "  mandated time  " << fixed(mandatedMs / 1000.0, 3) << " s (22 waits of 1 s + "
        << readings << " readings x 103 ms)\n"
        << "  ratio          " << fixed(ratio, 4) << " (goal at most " << fixed(kRatioGoal, 3)
        << ")\n"
        << "  over the floor " << fixed(wallMs - mandatedMs, 1) << " ms: sleeps late "
        << fixed(clock.sleptMs() - clock.askedMs(), 1) << ", waits late "
        << fixed(pump.waitingMs - kWaitsMs, 1)
        << ", the run's own work and the events it processed between the waits "
        << fixed(wallMs - clock.sleptMs() - pump.waitingMs, 1) << "\n"
        << "  processor time " << fixed(runCpuMs / 1000.0, 3) << " s, "
        << fixed(100.0 * cpuShare, 2) << " % of the wall time (goal at most "
        << fixed(100.0 * kCpuGoal, 0) << " %)\n"
        << "  worst gap between two processed events: " << fixed(heartbeat.worstGapMs, 3) << " ms ("
        << heartbeat.longGaps << " gaps over " << fixed(kLongGapMs, 0) << " ms, goal none"
        << (heartbeat.longGapTimes.empty() ? "" : ", at") << heartbeat.longGapTimes
        << "); across a reading's set-up, which holds the window for its 103 ms "
           "of pauses: "
        << fixed(heartbeat.worstSetupGapMs, 3) << " ms\n"
        << "  worst end point error " << fixed(worstVolts * 1000.0, 3) << " mV (goal < "
        << fixed(kVoltsGoal * 1000.0, 1) << " mV)\n";
    return completed && ratio <= kRatioGoal && cpuShare <= kCpuGoal && heartbeat.longGaps == 0 &&
           worstVolts < kVoltsGoal && b.cards.protocolViolations().empty();
}

bool memoryScenario(std::ostream& out) {
    FastClock clock;
    QuickPump pump;
    Bench b(clock, pump);
    constexpr int kRuns = 10;
    b.form.cmdAutoCal_Click(); // the first run fills the caches that every run shares
    const double afterFirst = residentKb();
    out << "  after 1 run    " << fixed(afterFirst, 0) << " KB resident\n";
    for (int i = 0; i < kRuns; ++i) {
        b.form.cmdAutoCal_Click();
    }
    const double growth = residentKb() - afterFirst;
    out << "  after " << kRuns + 1 << " runs   " << fixed(afterFirst + growth, 0)
        << " KB resident: " << fixed(growth, 0) << " KB more for " << kRuns << " runs (goal under "
        << fixed(kMemoryGoalKb, 0) << " KB)\n";
    return b.prompts.messages == 0 && growth < kMemoryGoalKb;
}

} // namespace bench
