#include "journal/sources.h"

#include "caldata/conversions.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace journal {

session::ValuesSource automaticRunSource(const caldata::CalibrationTable& table) {
    session::ValuesSource s;
    s.kind = session::ValuesSource::Kind::AutomaticRun;
    if (const auto r = caldata::parseReference(table.text(caldata::ref10()))) {
        s.reference10V = *r;
    }
    if (const auto r = caldata::parseReference(table.text(caldata::ref5()))) {
        s.reference5V = *r;
    }
    QJsonObject outputs;
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        for (const caldata::Field f : {caldata::aoMax(k), caldata::aoMin(k)}) {
            outputs[QString::fromStdString(caldata::describe(f))] =
                QString::fromStdString(table.text(f));
        }
    }
    QJsonObject inputs;
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        for (const caldata::Field f : {caldata::aiMax(j), caldata::aiMin(j)}) {
            inputs[QString::fromStdString(caldata::describe(f))] =
                QString::fromStdString(table.text(f));
        }
    }
    const QJsonObject details{
        {"automaticRun", "completed"}, {"endPointCodes", outputs}, {"inputPointCodes", inputs}};
    s.details = QJsonDocument(details).toJson(QJsonDocument::Compact).toStdString();
    return s;
}

session::ValuesSource importedFileSource(const std::string& path, const std::string& bytes) {
    session::ValuesSource s;
    s.kind = session::ValuesSource::Kind::ImportedFile;
    s.file = path;
    s.sha256 =
        QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    return s;
}

} // namespace journal
