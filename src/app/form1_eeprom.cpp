// The EEPROM buttons of the window: RELOAD, SAVE and RECOVER.
#include "app/form1.h"

#include "caldata/eeprom_ops.h"

#include <QPushButton>

namespace app {

void Form1::cmdReadEEP_Click() {
    auto ctx = context();
    // Only a successful read arms SAVE and RECOVER; after a refused board number or a failed
    // read RELOAD stays available to try again.
    const core::Status reloaded = caldata::Reload(ctx, *this);
    report(reloaded);
    const bool loaded = reloaded.ok();
    ui.cmdWriteEEP->setEnabled(loaded);
    ui.cmdRecover->setEnabled(loaded);
    ui.cmdReadEEP->setEnabled(!loaded && !autoCalRun.running());
}

void Form1::cmdWriteEEP_Click() {
    // During an automatic run the output boxes hold codes in the middle of their search:
    // writing them would put a half-done calibration into the EEPROM.
    if (autoCalRun.running()) {
        services_.prompts.message("SAVE: the automatic calibration is still running. Let it "
                                  "finish, or click STOP, then SAVE. Nothing was saved.");
        return;
    }
    auto ctx = context();
    report(caldata::Save(ctx, *this));
}

void Form1::cmdRecover_Click() {
    auto ctx = context();
    report(caldata::Recover(ctx));
}

} // namespace app
