#pragma once

#include "core/result.h"

#include <QJsonObject>
#include <QRectF>

#include <string>
#include <vector>

class QPainter;

// The calibration certificate: a calibration record (version 3) rendered for the customer,
// with Qt's own PDF writer, and the plot of its residuals.
namespace report {

enum class PageSize { A4, Letter };

struct CertificateOptions {
    PageSize page = PageSize::A4;
    std::string approvedBy; // the person who approved the certificate; empty: not recorded
    std::string approvedUtc;
    std::string historyId; // the record's id in the calibration history
};

// Writes the certificate of record (a sealed calibration record, version 3) to path: every
// page carries the certificate's id and "page n of m"; the last line is "End of
// certificate". Refused (Kind::Input) for a document that is no calibration record of
// version 3, (Kind::File) for a file that cannot be written.
core::Status writeCertificatePdf(const QJsonObject& record, const CertificateOptions& options,
                                 const std::string& path);

// The residual plot: for each output end point, its as-found and as-left residuals with
// their expanded uncertainty, in units of the point's tolerance T, against the lines ±T and
// each point's acceptance limit ±A.
struct PlotPoint {
    double x = 0;          // the end point's column, device units
    double foundY = 0;     // the as-found residual's marker; NaN when not judged
    double leftY = 0;      // the as-left residual's marker; NaN when not judged
    double acceptance = 0; // the y of +A (the as-left acceptance limit); NaN when not judged
};
struct PlotLayout {
    QRectF frame;               // the plotting area
    double scale = 1;           // the y range is ±scale tolerances
    double toleranceTop = 0;    // the y of +T
    double toleranceBottom = 0; // the y of -T
    double zero = 0;            // the y of a residual of 0
    double markerOffset = 0;    // as found left of the column's x, as left right of it
    std::vector<PlotPoint> points;
};
PlotLayout plotLayout(const QJsonObject& record, const QRectF& area);
void drawResidualPlot(QPainter& painter, const QJsonObject& record, const QRectF& area);

// The colours the plot draws with.
inline constexpr unsigned kFoundColour = 0xC0392B;      // as found
inline constexpr unsigned kLeftColour = 0x1F5FBF;       // as left
inline constexpr unsigned kToleranceColour = 0x2E7D32;  // ±T
inline constexpr unsigned kAcceptanceColour = 0xE69F00; // ±A

} // namespace report
