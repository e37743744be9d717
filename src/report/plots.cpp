#include "report/certificate.h"

#include "core/replace_file.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

// The certificate's pictures: the residual plot and the drift plot.
namespace report {

namespace {

QColor colour(unsigned rgb) {
    return QColor::fromRgb(rgb);
}

double nan() {
    return std::numeric_limits<double>::quiet_NaN();
}

// The residual of a pass in tolerances; NaN when not judged.
double inTolerances(const QJsonValue& pass, const char* key) {
    if (!pass.isObject()) {
        return nan();
    }
    const QJsonObject p = pass.toObject();
    const double t = p["toleranceCounts"].toDouble();
    return t > 0 ? p[key].toDouble() / t : nan();
}

double expandedInTolerances(const QJsonValue& pass) {
    if (!pass.isObject()) {
        return nan();
    }
    const QJsonObject p = pass.toObject();
    const double t = p["toleranceCounts"].toDouble();
    return t > 0 ? p["uncertainty"].toObject()["expandedCounts"].toDouble() / t : nan();
}

} // namespace

PlotLayout plotLayout(const QJsonObject& record, const QRectF& area) {
    PlotLayout l;
    l.frame = area.adjusted(area.width() * 0.06, area.height() * 0.08, -area.width() * 0.02,
                            -area.height() * 0.12);
    const QJsonArray outputs = record["outputs"].toArray();
    double extent = 2.0;
    for (const QJsonValue& v : outputs) {
        for (const char* pass : {"asFound", "asLeft"}) {
            const QJsonValue p = v.toObject()[pass];
            const double r = std::abs(inTolerances(p, "residualCounts"));
            const double u = expandedInTolerances(p);
            if (std::isfinite(r) && std::isfinite(u)) {
                extent = std::max(extent, r + u);
            }
        }
    }
    l.scale = std::min(20.0, std::ceil(extent));
    l.zero = l.frame.center().y();
    const double perTolerance = l.frame.height() / 2.0 / l.scale;
    l.toleranceTop = l.zero - perTolerance;
    l.toleranceBottom = l.zero + perTolerance;
    const double column = l.frame.width() / std::max<qsizetype>(1, outputs.size());
    l.markerOffset = column * 0.18;
    const auto y = [&](double inT) {
        return std::isfinite(inT) ? l.zero - std::clamp(inT, -l.scale, l.scale) * perTolerance
                                  : nan();
    };
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        const QJsonObject p = outputs[i].toObject();
        PlotPoint pt;
        pt.x = l.frame.left() + (static_cast<double>(i) + 0.5) * column;
        pt.foundY = y(inTolerances(p["asFound"], "residualCounts"));
        pt.leftY = y(inTolerances(p["asLeft"], "residualCounts"));
        pt.acceptance = y(inTolerances(p["asLeft"], "acceptanceLimitCounts"));
        l.points.push_back(pt);
    }
    return l;
}

void drawResidualPlot(QPainter& painter, const QJsonObject& record, const QRectF& area) {
    const PlotLayout l = plotLayout(record, area);
    const QJsonArray outputs = record["outputs"].toArray();
    const double unit = area.height() / 100.0; // line widths and markers scale with the area
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(std::max(6.0, unit * 2.6)));
    font.setStyleStrategy(QFont::PreferNoShaping);
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, unit * 0.15));
    painter.drawRect(l.frame);
    painter.setPen(QPen(Qt::gray, unit * 0.1, Qt::DotLine));
    painter.drawLine(QPointF(l.frame.left(), l.zero), QPointF(l.frame.right(), l.zero));
    painter.setPen(QPen(colour(kToleranceColour), unit * 0.3));
    for (const double y : {l.toleranceTop, l.toleranceBottom}) {
        painter.drawLine(QPointF(l.frame.left(), y), QPointF(l.frame.right(), y));
    }
    painter.setPen(Qt::black);
    painter.drawText(
        QRectF(area.left(), l.toleranceTop - unit * 2, l.frame.left() - area.left(), unit * 4),
        Qt::AlignCenter, "+T");
    painter.drawText(
        QRectF(area.left(), l.toleranceBottom - unit * 2, l.frame.left() - area.left(), unit * 4),
        Qt::AlignCenter, "-T");
    painter.drawText(QRectF(area.left(), l.zero - unit * 2, l.frame.left() - area.left(), unit * 4),
                     Qt::AlignCenter, "0");
    const double column = l.frame.width() / std::max<qsizetype>(1, outputs.size());
    const double offset = l.markerOffset;
    const double radius = std::min(column * 0.12, unit * 1.2);
    const double perTolerance = l.toleranceBottom - l.zero;
    for (std::size_t i = 0; i < l.points.size(); ++i) {
        const PlotPoint& pt = l.points[i];
        const QJsonObject p = outputs[static_cast<qsizetype>(i)].toObject();
        if (std::isfinite(pt.acceptance)) {
            painter.setPen(QPen(colour(kAcceptanceColour), unit * 0.3));
            const double down = 2 * l.zero - pt.acceptance;
            for (const double y : {pt.acceptance, down}) {
                painter.drawLine(QPointF(pt.x - column * 0.4, y), QPointF(pt.x + column * 0.4, y));
            }
        }
        for (const auto& [y, pass, rgb, dx] :
             {std::tuple{pt.foundY, "asFound", kFoundColour, -offset},
              std::tuple{pt.leftY, "asLeft", kLeftColour, offset}}) {
            if (!std::isfinite(y)) {
                continue;
            }
            const double u = expandedInTolerances(p[pass]) * perTolerance;
            painter.setPen(QPen(colour(rgb), unit * 0.25));
            painter.drawLine(QPointF(pt.x + dx, std::max(l.frame.top(), y - u)),
                             QPointF(pt.x + dx, std::min(l.frame.bottom(), y + u)));
            painter.setBrush(colour(rgb));
            painter.drawEllipse(QPointF(pt.x + dx, y), radius, radius);
            painter.setBrush(Qt::NoBrush);
        }
        // "CH0 U10 +": channel, range and point under the column.
        const QString range = p["range"].toString();
        const QString label = "CH" + QString::number(p["channel"].toInt()) + "\n" +
                              (range.startsWith("Uni") ? "U" : "B") +
                              range.section(' ', 1, 1).remove('V') + "\n" +
                              (p["point"].toString() == "upper" ? "+" : "-");
        painter.setPen(Qt::black);
        painter.drawText(QRectF(pt.x - column / 2, l.frame.bottom() + unit, column, unit * 10),
                         Qt::AlignHCenter | Qt::AlignTop, label);
    }
    // The legend.
    double x = l.frame.left();
    const double y = area.top() + unit * 2;
    for (const auto& [rgb, text] : {std::pair{kFoundColour, "as found ± U"},
                                    {kLeftColour, "as left ± U"},
                                    {kToleranceColour, "tolerance ±T"},
                                    {kAcceptanceColour, "acceptance limit ±A"}}) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour(rgb));
        painter.drawRect(QRectF(x, y - unit, unit * 2, unit * 2));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + unit * 3, y + unit * 0.8), text);
        x += l.frame.width() / 4;
    }
    painter.drawText(
        QRectF(area.left(), area.bottom() - unit * 1.5, area.width(), unit * 3), Qt::AlignCenter,
        QString("Residuals in units of each end point's tolerance T (±%1 T shown)").arg(l.scale));
    painter.restore();
}

namespace {

double driftExtent(const std::vector<DriftRow>& rows) {
    double extent = 1.0;
    for (const DriftRow& r : rows) {
        extent = std::max(extent, std::abs(r.millivoltsPerYear.value_or(0.0)));
    }
    return std::ceil(extent);
}

// "CH0 Unipolar 10V +10V (Hex)" as "CH0 / U10 / +", the way the residual plot labels its
// columns; a name of another form as it is.
QString shortName(const std::string& name) {
    const QStringList t = QString::fromStdString(name).split(' ', Qt::SkipEmptyParts);
    if (t.size() < 4 || !t[0].startsWith("CH")) {
        return QString::fromStdString(name);
    }
    const QString point = t[3];
    const QString end = point.startsWith('-')                               ? "-"
                        : point.startsWith("0V") || point.startsWith("+0V") ? "0"
                                                                            : "+";
    return t[0] + "\n" + (t[1].startsWith("Uni") ? "U" : "B") + QString(t[2]).remove('V') + "\n" +
           end;
}

QRectF driftFrame(const QRectF& area) {
    return area.adjusted(area.width() * 0.08, area.height() * 0.08, -area.width() * 0.02,
                         -area.height() * 0.16);
}

} // namespace

QRectF driftBar(const std::vector<DriftRow>& rows, const QRectF& area, std::size_t i) {
    if (i >= rows.size() || !rows[i].millivoltsPerYear) {
        return {};
    }
    const QRectF frame = driftFrame(area);
    const double column = frame.width() / static_cast<double>(rows.size());
    const double zero = frame.center().y();
    const double y = zero - *rows[i].millivoltsPerYear / driftExtent(rows) * frame.height() / 2;
    const double left = frame.left() + (static_cast<double>(i) + 0.2) * column;
    return QRectF(QPointF(left, std::min(y, zero)),
                  QPointF(left + column * 0.6, std::max(y, zero)));
}

void drawDriftPlot(QPainter& painter, const std::vector<DriftRow>& rows, const QRectF& area) {
    const QRectF frame = driftFrame(area);
    const double unit = area.height() / 100.0;
    const double extent = driftExtent(rows);
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(std::max(6.0, unit * 2.6)));
    font.setStyleStrategy(QFont::PreferNoShaping);
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, unit * 0.15));
    painter.drawRect(frame);
    painter.drawLine(QPointF(frame.left(), frame.center().y()),
                     QPointF(frame.right(), frame.center().y()));
    const QRectF axis(area.left(), 0, frame.left() - area.left() - unit, unit * 4);
    painter.drawText(axis.translated(0, frame.top() - unit * 2), Qt::AlignRight | Qt::AlignVCenter,
                     QString("+%1").arg(extent));
    painter.drawText(axis.translated(0, frame.center().y() - unit * 2),
                     Qt::AlignRight | Qt::AlignVCenter, "0");
    painter.drawText(axis.translated(0, frame.bottom() - unit * 2),
                     Qt::AlignRight | Qt::AlignVCenter, QString("-%1").arg(extent));
    const double column = frame.width() / std::max<std::size_t>(1, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QRectF bar = driftBar(rows, area, i);
        if (!bar.isEmpty()) {
            painter.fillRect(bar, colour(rows[i].atRisk ? kFoundColour : kLeftColour));
        }
        painter.setPen(Qt::black);
        painter.drawText(QRectF(frame.left() + static_cast<double>(i) * column,
                                frame.bottom() + unit, column, unit * 12),
                         Qt::AlignHCenter | Qt::AlignTop, shortName(rows[i].name));
    }
    painter.drawText(QRectF(area.left(), area.top(), area.width(), unit * 5), Qt::AlignCenter,
                     "Drift of each output end point, mV a year (red: out of tolerance by the "
                     "next due date)");
    painter.restore();
}

core::Status writeDriftPng(const std::vector<DriftRow>& rows, const std::string& path, int width,
                           int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawDriftPlot(p, rows, QRectF(0, 0, width, height));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (const core::Status written = core::replaceFile(
            std::filesystem::path(path), std::string_view(bytes.constData(), bytes.size()));
        !written) {
        return core::refuse(core::Kind::File, path + ": " + written.refusal() + ".");
    }
    return {};
}
} // namespace report
