#pragma once

#include "core/result.h"

#include <QJsonObject>
#include <QRectF>

#include <optional>
#include <string>
#include <vector>

class QPainter;

// The calibration certificate: a calibration record (version 3) rendered for the customer,
// with Qt's own PDF writer, and the plot of its residuals.
namespace report {

enum class PageSize { A4, Letter };

// One output end point's drift across a card's calibrations, as the certificate and the drift
// plot show it.
struct DriftRow {
    std::string name;
    std::optional<double> millivoltsPerYear; // none: no span to measure it over
    std::optional<double> atDueMillivolts;   // the residual the drift makes by the due date
    double toleranceMillivolts = 0.0;
    bool atRisk = false;
};

struct CertificateOptions {
    PageSize page = PageSize::A4;
    std::string approvedBy; // the person who approved the certificate; empty: not recorded
    std::string approvedUtc;
    std::string historyId; // the record's id in the calibration history
    // The card's drift up to this calibration (a page of its own when not empty), and over
    // which calibrations ("3 calibrations, 2024-05-01 to 2025-05-01").
    std::vector<DriftRow> drift;
    std::string driftSpan;
    // The next due date and how it was found; printed only when the customer agreed to a
    // recommended interval on the certificate.
    std::string nextDue;
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

// The drift plot: one bar a end point, its drift in mV a year, at risk in kFoundColour;
// barRect gives where end point i's bar stands (for tests), or an empty rectangle.
void drawDriftPlot(QPainter& painter, const std::vector<DriftRow>& rows, const QRectF& area);
QRectF driftBar(const std::vector<DriftRow>& rows, const QRectF& area, std::size_t i);
// The drift plot as a PNG picture of width x height pixels; a refusal names the file.
core::Status writeDriftPng(const std::vector<DriftRow>& rows, const std::string& path,
                           int width = 1200, int height = 700);

// The colours the plot draws with.
inline constexpr unsigned kFoundColour = 0xC0392B;      // as found
inline constexpr unsigned kLeftColour = 0x1F5FBF;       // as left
inline constexpr unsigned kToleranceColour = 0x2E7D32;  // ±T
inline constexpr unsigned kAcceptanceColour = 0xE69F00; // ±A

} // namespace report
