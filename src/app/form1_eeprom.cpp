// The EEPROM buttons of the window: RELOAD, SAVE and RECOVER.
#include "app/form1.h"

#include "caldata/eeprom_ops.h"

#include <QPushButton>

namespace app {

void Form1::cmdReadEEP_Click() {
    auto ctx = context();
    if (!caldata::Reload(ctx, *this)) {
        // Nothing was loaded: the buttons stay as they are, so a failed read arms nothing
        // (and a table loaded earlier, which still matches dwEEPData, stays savable).
        return;
    }
    ui.cmdWriteEEP->setEnabled(true);
    ui.cmdRecover->setEnabled(true);
    ui.cmdReadEEP->setEnabled(false);
}

void Form1::cmdWriteEEP_Click() {
    auto ctx = context();
    caldata::Save(ctx, *this);
}

void Form1::cmdRecover_Click() {
    auto ctx = context();
    caldata::Recover(ctx);
}

} // namespace app
