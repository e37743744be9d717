#include "report/certificate.h"

#include "core/replace_file.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace report {

namespace {

QString html(const QString& s) {
    return s.toHtmlEscaped();
}

QString str(const QJsonValue& v) {
    if (v.isString()) {
        return v.toString();
    }
    if (v.isDouble()) {
        return QString::number(v.toDouble(), 'g', 10);
    }
    if (v.isBool()) {
        return v.toBool() ? "yes" : "no";
    }
    return "not recorded";
}

// A figure in millivolts, or a dash for what was not judged.
QString mv(const QJsonValue& volts) {
    return volts.isDouble() ? QString::number(volts.toDouble() * 1000.0, 'f', 3) : "-";
}

QString row(const QString& label, const QString& value) {
    return "<tr><td><b>" + html(label) + "</b></td><td>" + html(value) + "</td></tr>";
}

QString meterText(const QJsonValue& meter) {
    if (!meter.isObject()) {
        return "not recorded";
    }
    const QJsonObject m = meter.toObject();
    QString u = "not recorded";
    if (m["uncertainty"].isObject()) {
        const QJsonObject x = m["uncertainty"].toObject();
        u = QString("±(%1 ppm of reading + %2 ppm of the %3 V range), k = %4")
                .arg(str(x["ppmOfReading"]), str(x["ppmOfRange"]), str(x["rangeVolts"]),
                     str(x["coverageFactor"]));
    }
    QString text = str(m["make"]) + " " + str(m["model"]) + ", serial " + str(m["serialNumber"]) +
                   ", certificate " + str(m["certificateNumber"]) + ", due " + str(m["dueDate"]) +
                   "; uncertainty " + u;
    if (m["usedPastDue"].toBool()) {
        text += "; used past its due date, as the technician stated";
    }
    return text;
}

// One pass's columns: code, residual, U, (A,) verdict.
QString passCells(const QJsonValue& code, const QJsonValue& pass, bool asLeft) {
    const QJsonObject p = pass.toObject();
    QString cells = "<td>" + html(code.isString() ? code.toString() : "-") + "</td>";
    if (!pass.isObject()) {
        return cells + (asLeft ? "<td>-</td><td>-</td><td>-</td><td>-</td>"
                               : "<td>-</td><td>-</td><td>-</td>");
    }
    cells += "<td>" + mv(p["residualVolts"]) + "</td><td>" +
             mv(p["uncertainty"].toObject()["expandedVolts"]) + "</td>";
    if (asLeft) {
        cells += "<td>" + mv(p["acceptanceLimitVolts"]) + "</td>";
    }
    return cells + "<td>" + html(p["verdict"].toString()) + "</td>";
}

QString resultsTable(const QString& title, const QJsonArray& points, bool outputs) {
    QString t = "<h3>" + html(title) +
                "</h3><table border='1' cellspacing='0' "
                "cellpadding='2' width='100%' style='font-size:7.5pt'><tr><th width='21%'>" +
                (outputs ? "End point" : "Input point") +
                "</th><th>T (mV)</th><th>Code found</th><th>r found (mV)</th><th>U (mV)</th>"
                "<th>Verdict</th><th>Code left</th><th>r left (mV)</th><th>U (mV)</th>"
                "<th>A (mV)</th><th>Verdict</th></tr>";
    for (const QJsonValue& v : points) {
        const QJsonObject p = v.toObject();
        const QString name = outputs ? p["endPoint"].toString()
                                     : p["range"].toString() + " " + p["label"].toString();
        const QJsonObject judged = (p["asLeft"].isObject() ? p["asLeft"] : p["asFound"]).toObject();
        t += "<tr><td>" + html(name) + "</td><td>" + mv(judged["toleranceVolts"]) + "</td>" +
             passCells(p["codeFound"], p["asFound"], false) +
             passCells(p["codeLeft"], p["asLeft"], true) + "</tr>";
    }
    return t + "</table>";
}

QString body(const QJsonObject& r, const CertificateOptions& o) {
    const QJsonObject lab = r["laboratory"].toObject();
    const QJsonObject item = r["item"].toObject();
    const QJsonObject method = r["method"].toObject();
    const QJsonObject dates = r["dates"].toObject();
    const QJsonObject env = r["environment"].toObject();
    const QJsonObject trace = r["traceability"].toObject();
    const QJsonObject refs = trace["references"].toObject();
    const QJsonObject rule = r["decisionRule"].toObject();
    QString h = "<h1>Calibration certificate</h1><table cellpadding='2'>";
    h += row("Certificate", r["id"].toString());
    if (!o.historyId.empty()) {
        h += row("Record in the calibration history", QString::fromStdString(o.historyId));
    }
    h += row("Laboratory", str(lab["name"]) + ", " + str(lab["address"]));
    h += row("Item", str(item["model"]) + " data-acquisition card, board " + str(item["board"]) +
                         ", register base " + str(item["registerBase"]));
    h += row("Card fingerprint", str(item["cardFingerprint"]));
    h += row("Method", str(method["procedure"]) + " (version " + str(method["procedureVersion"]) +
                           "), " + str(method["program"]) + " " + str(method["programVersion"]) +
                           ", " + str(method["repeats"]) + " read-backs a point");
    h += row("Calibrated", str(dates["startUtc"]) + " to " + str(dates["endUtc"]) + " (UTC)");
    h += row("Operator", str(r["operator"]));
    const auto figure = [](const QJsonValue& v, const QString& unit) {
        return v.isDouble() ? str(v) + " " + unit : QString("not recorded");
    };
    h += row("Environment", "temperature " + figure(env["temperatureCelsius"], "°C") +
                                ", relative humidity " +
                                figure(env["relativeHumidityPercent"], "%"));
    h += row("Reference meter", meterText(trace["referenceMeter"]));
    h += row("References measured",
             "TP2 " + str(refs["ref10V"]) + " V, TP3 " + str(refs["ref5V"]) + " V");
    h += row("Decision rule", str(rule["name"]) + " (guard band " + str(rule["guardBand"]) +
                                  ", U at k = " + str(rule["coverageFactor"]) + ")");
    h += row("Outcome",
             str(r["outcome"]) + (r["saved"].toBool() ? "; the new calibration was saved"
                                                      : "; the card keeps its former calibration"));
    h += "</table>";
    h += "<p>Residuals r are the mean read-back minus the target, in millivolts at the range's "
         "nominal scale; U is the expanded uncertainty (k = 2); T the tolerance; A the "
         "acceptance limit of the decision rule. As found is judged against T, as left "
         "against A.</p>";
    h += resultsTable("Output end points", r["outputs"].toArray(), true);
    h += resultsTable("Input points", r["inputs"].toArray(), false);
    h += "<h3>Statement of conformity</h3><p>" +
         html(r["conformity"].toObject()["statement"].toString()) + "</p>";
    h += "<p>" + html(r["scope"].toString()) +
         " This certificate shall not be reproduced "
         "except in full. Seal of the record (SHA-256): " +
         html(r["seal"].toObject()["digest"].toString()) + "</p>";
    if (!o.nextDue.empty()) {
        h += "<p><b>Recommended next calibration:</b> " + html(QString::fromStdString(o.nextDue)) +
             " (as agreed with the customer)</p>";
    }
    h += "<p><b>Approved by:</b> " +
         html(o.approvedBy.empty()
                  ? QString("not recorded")
                  : QString::fromStdString(o.approvedBy) +
                        (o.approvedUtc.empty() ? QString()
                                               : ", " + QString::fromStdString(o.approvedUtc))) +
         "</p>";
    return h;
}

QString driftHtml(const CertificateOptions& o) {
    QString h = "<h3>Drift since the card's earlier calibrations</h3><p>" +
                html(QString::fromStdString(o.driftSpan)) +
                ". Drift: the as-found residual of a calibration against what the calibration "
                "before left on the card, in mV a year.</p><table border='1' cellspacing='0' "
                "cellpadding='2' width='100%' style='font-size:7.5pt'><tr><th>End point</th>"
                "<th>Drift (mV/year)</th><th>Residual by the due date (mV)</th><th>T (mV)</th>"
                "<th>At risk</th></tr>";
    const auto figure = [](const std::optional<double>& v) {
        return v ? QString::number(*v, 'f', 3) : QString("-");
    };
    for (const DriftRow& r : o.drift) {
        h += "<tr><td>" + html(QString::fromStdString(r.name)) + "</td><td>" +
             figure(r.millivoltsPerYear) + "</td><td>" + figure(r.atDueMillivolts) + "</td><td>" +
             QString::number(r.toleranceMillivolts, 'f', 3) + "</td><td>" +
             (r.atRisk ? "yes" : "no") + "</td></tr>";
    }
    return h + "</table>";
}

} // namespace

core::Status writeCertificatePdf(const QJsonObject& record, const CertificateOptions& options,
                                 const std::string& path) {
    if (record["recordVersion"].toInt() != 3 || !record["outputs"].isArray() ||
        !record["id"].isString()) {
        return core::refuse("The record is no calibration record of version 3: a certificate "
                            "needs the results of an automatic calibration.");
    }
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&bytes);
        pdf.setResolution(300);
        pdf.setPageSize(
            QPageSize(options.page == PageSize::A4 ? QPageSize::A4 : QPageSize::Letter));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        const QString id = record["id"].toString();
        pdf.setTitle("Calibration certificate " + id);
        pdf.setCreator("mx4815cal");
        const QRectF page(QPointF(0, 0), pdf.pageLayout().paintRectPixels(pdf.resolution()).size());
        const double band = page.height() * 0.04;
        const QRectF bodyArea(page.left(), page.top() + band, page.width(),
                              page.height() - 2 * band);

        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&pdf);
        QFont font("DejaVu Sans");
        font.setPointSizeF(8.5);
        // No ligatures: ids and words read back (and copy) as they were written.
        font.setStyleStrategy(QFont::PreferNoShaping);
        doc.setDefaultFont(font);
        doc.setPageSize(bodyArea.size());
        doc.setHtml(body(record, options));
        const int textPages = doc.pageCount();
        const bool driftPage = !options.drift.empty();
        const int pages = textPages + (driftPage ? 2 : 1);

        QPainter p(&pdf);
        QFont small = font;
        small.setPointSizeF(8);
        const auto frame = [&](int n) {
            p.setFont(small);
            p.setPen(Qt::black);
            p.drawText(QRectF(page.left(), page.top(), page.width(), band * 0.8),
                       Qt::AlignLeft | Qt::AlignVCenter, "Calibration certificate " + id);
            p.drawText(QRectF(page.left(), page.bottom() - band * 0.8, page.width(), band * 0.8),
                       Qt::AlignRight | Qt::AlignVCenter,
                       QString("page %1 of %2").arg(n).arg(pages));
        };
        for (int i = 0; i < textPages; ++i) {
            if (i > 0) {
                pdf.newPage();
            }
            frame(i + 1);
            p.save();
            p.translate(bodyArea.topLeft());
            p.translate(0, -i * bodyArea.height());
            doc.drawContents(&p,
                             QRectF(0, i * bodyArea.height(), bodyArea.width(), bodyArea.height()));
            p.restore();
        }
        if (driftPage) {
            pdf.newPage();
            frame(textPages + 1);
            QTextDocument table;
            table.documentLayout()->setPaintDevice(&pdf);
            table.setDefaultFont(font);
            table.setPageSize(QSizeF(bodyArea.width(), bodyArea.height() * 0.45));
            table.setHtml(driftHtml(options));
            p.save();
            p.translate(bodyArea.topLeft());
            table.drawContents(&p, QRectF(QPointF(0, 0), table.pageSize()));
            p.restore();
            drawDriftPlot(p, options.drift,
                          QRectF(bodyArea.left(), bodyArea.top() + bodyArea.height() * 0.5,
                                 bodyArea.width(), bodyArea.height() * 0.45));
        }
        pdf.newPage();
        frame(pages);
        p.setFont(font);
        p.drawText(QRectF(bodyArea.left(), bodyArea.top(), bodyArea.width(), band),
                   Qt::AlignLeft | Qt::AlignVCenter, "Residuals of the output end points");
        const QRectF plot(bodyArea.left(), bodyArea.top() + band, bodyArea.width(),
                          bodyArea.height() * 0.6);
        drawResidualPlot(p, record, plot);
        p.setFont(font);
        p.drawText(QRectF(bodyArea.left(), plot.bottom() + band, bodyArea.width(), band),
                   Qt::AlignCenter, "End of certificate");
        p.end();
    }
    const QByteArray& data = bytes.data();
    if (const core::Status written = core::replaceFile(
            std::filesystem::path(path), std::string_view(data.constData(), data.size()));
        !written) {
        return core::refuse(core::Kind::File, path + ": " + written.refusal() + ".");
    }
    return {};
}

} // namespace report
