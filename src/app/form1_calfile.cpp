// Calibration files: the file choice, Import and Export.
#include "app/form1.h"

#include "calfile/calfile_ops.h"
#include "calfile/profile_file.h"

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
    calfile::DiskFiles files;
    calfile::importCalibration(*this, files, services_.prompts,
                               ui.tbxFileName->text().toStdString());
}

void Form1::cmdSaveINI_Click() {
    calfile::DiskFiles files;
    calfile::exportCalibration(*this, files, services_.prompts,
                               ui.tbxFileName->text().toStdString());
}

} // namespace app
