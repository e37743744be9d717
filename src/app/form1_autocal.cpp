// The START button: the automatic calibration run, and the stop of a run in progress.
#include "app/form1.h"

#include "autocal/run.h"
#include "journal/sources.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

namespace app {

namespace {

// Watches the window during a run: a request to close it also asks the run to stop, so that
// nothing of the run goes on behind a closed window. The close itself proceeds as always.
class StopOnClose : public QObject {
public:
    StopOnClose(QObject* window, autocal::RunControl::Token run)
        : window_(window), run_(std::move(run)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Close) {
            run_->stop = true;
        }
        return false;
    }

private:
    QObject* window_;
    autocal::RunControl::Token run_;
};

} // namespace

void Form1::cmdAutoCal_Click() {
    // While a run is going the button reads "STOP": a click asks it to stop and never starts
    // a second run inside the first.
    if (autoCalRun.running()) {
        autoCalRun.requestStop();
        return;
    }
    // What can be known at the click is checked before anything changes.
    if (const core::Status checked = autocal::checkBeforeRun(context(), *this); !checked) {
        report(checked);
        return;
    }
    const autocal::RunControl::Token run = autoCalRun.begin();

    ui.cmdReadEEP->setEnabled(false);
    ui.cmdAutoCal->setText(QStringLiteral("STOP"));
    // Only the run writes the calibration boxes while it goes, and "Active Board" keeps naming
    // the board the run drives and reads.
    setRunBoxesReadOnly(true);

    // Closing the window or EXIT (when the program does not end inside the click) stop the run.
    StopOnClose stopOnClose(this, run);
    installEventFilter(&stopOnClose);
    const QMetaObject::Connection onExit =
        connect(ui.cmdExit, &QPushButton::clicked, this, [run] { run->stop = true; });

    session::Context ctx = context();
    autocal::RunTally tally;
    autocal::Environment env{
        ctx, acquisition(), *this,
        [this](card::Int16 wStepNo, card::Long lColor) { HighlightStep(wStepNo, lColor); },
        [run] { return run->stop; }};
    env.tally = &tally;
    env.tableGone = [run] { return run->windowGone; };
    const auto outcome = autocal::runAutoCal(env);

    if (run->windowGone) {
        // The window was destroyed during a yield: nothing of it may be touched.
        autocal::RunControl::end(run);
        return;
    }
    QObject::disconnect(onExit);
    removeEventFilter(&stopOnClose);
    autocal::RunControl::end(run);
    setRunBoxesReadOnly(false);
    ui.cmdAutoCal->setText(QStringLiteral("START"));
    ui.cmdReadEEP->setEnabled(true);
    if (outcome && *outcome == autocal::RunOutcome::Completed) {
        state.valuesSource = journal::automaticRunSource(*this);
        return; // the frames stay as the last step left them
    }
    // After a stop or a failure every frame is usable again, so that what the message
    // advises can be done at once.
    reopenSteps();
    if (outcome) {
        services_.prompts.message(autocal::stopMessage(tally));
    }
    report(outcome); // a failure's one message
}

void Form1::setRunBoxesReadOnly(bool readOnly) {
    for (std::size_t k = 0; k < ui.tbxBiAOMax.size(); ++k) {
        ui.tbxBiAOMax[k]->setReadOnly(readOnly);
        ui.tbxBiAOMin[k]->setReadOnly(readOnly);
    }
    for (std::size_t j = 0; j < ui.tbxAIMaxVal.size(); ++j) {
        ui.tbxAIMaxVal[j]->setReadOnly(readOnly);
        ui.tbxAIMinVal[j]->setReadOnly(readOnly);
    }
    ui.tbx10VRef->setReadOnly(readOnly);
    ui.tbx5VRef->setReadOnly(readOnly);
    ui.tbxActive->setReadOnly(readOnly);
}

} // namespace app
