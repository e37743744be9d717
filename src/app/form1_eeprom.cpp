// The EEPROM buttons of the window: RELOAD, SAVE and RECOVER.
#include "app/form1.h"

#include "caldata/eeprom_ops.h"
#include "session/board.h"

#include <QPushButton>

namespace app {

void Form1::cmdReadEEP_Click() {
    auto ctx = context();
    // The board is taken from other programs before it is read: one that another program
    // holds is refused naming the holder, and nothing changes. The window holds the board it
    // shows until the next RELOAD reads another one.
    const auto board = session::activeBoard(ctx);
    if (board && services_.locks != nullptr) {
        if (const core::Status taken = services_.locks->take(*board); !taken) {
            report(taken);
            return;
        }
    }
    // Only a successful read arms SAVE and RECOVER; after a refused board number or a failed
    // read RELOAD stays available to try again.
    const core::Status reloaded = caldata::Reload(ctx, *this);
    if (services_.locks != nullptr) {
        services_.locks->keepOnly(state.loadedBoard.value_or(-1));
    }
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
    // "Active Board" may name another board than the one shown: it is held for the RECOVER
    // only, and only when no other program holds it.
    const auto board = session::activeBoard(ctx);
    if (board && services_.locks != nullptr) {
        if (const core::Status taken = services_.locks->take(*board); !taken) {
            report(taken);
            return;
        }
    }
    report(caldata::Recover(ctx));
    if (services_.locks != nullptr) {
        services_.locks->keepOnly(state.loadedBoard.value_or(-1));
    }
}

} // namespace app
