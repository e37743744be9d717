// Calibration files: the file choice, Import and Export.
#include "app/form1.h"

#include "calfile/calfile_ops.h"
#include "calfile/profile_file.h"
#include "core/text.h"
#include "journal/sources.h"

#include <QLineEdit>
#include <QPushButton>

namespace app {

void Form1::cmdBrowse_Click() {
    const std::string name = calfile::chooseCalibrationFile(services_.prompts, cdFileBoxFileName_);
    ui.tbxFileName->setText(QString::fromStdString(name));
    if (!name.empty()) {
        ui.cmdSaveINI->setEnabled(true);
        ui.cmdLoadINI->setEnabled(true);
    }
}

void Form1::cmdLoadINI_Click() {
    if (refusedDuringRun("Import")) {
        return;
    }
    calfile::DiskFiles files;
    const std::string name = ui.tbxFileName->text().toStdString();
    const auto imported = calfile::importCalibration(*this, files, name);
    if (imported) {
        state.valuesSource = journal::importedFileSource(name, files.read(name).bytes);
    }
    report(imported);
    if (imported && !imported->empty()) {
        services_.prompts.message(*imported);
    }
}

void Form1::cmdSaveINI_Click() {
    // During an automatic run the output boxes hold codes in the middle of their search: the
    // file would keep a half-done calibration.
    if (autoCalRun.running()) {
        services_.prompts.message("Export: the automatic calibration is still running. Let it "
                                  "finish, or click STOP, then Export. Nothing was written.");
        return;
    }
    const std::string name = ui.tbxFileName->text().toStdString();
    // The simulated cards' EEPROMs live in a file of the program's own: an export over it
    // would destroy every card's calibration.
    if (services_.ownFile && services_.ownFile(name)) {
        services_.prompts.message("Export: " + core::quoteText(name) +
                                  " is one of the program's own files (the simulated cards' "
                                  "EEPROMs or a board lock). Choose another file. Nothing was "
                                  "written.");
        return;
    }
    calfile::DiskFiles files;
    report(calfile::exportCalibration(*this, files, name));
}

} // namespace app
