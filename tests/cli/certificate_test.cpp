// The certificate of a calibration kept in the history: its text as a reader (pdftotext)
// finds it, its pages and fonts, and its plot drawn where the record's figures put it.
#include "cli_rig.h"
#include "report/certificate.h"

#include <gmock/gmock.h>

#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QProcess>

#include <cmath>

using testing::HasSubstr;

namespace {

std::string run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput().toStdString();
}

std::string mv(const QJsonValue& volts) {
    return QString::number(volts.toDouble() * 1000.0, 'f', 3).toStdString();
}

struct Certified : ::testing::Test {
    void SetUp() override {
        rig.keepHistory();
        auto args = rig.calibrate();
        args.insert(args.end(), {"--save", "--record", "r.json"});
        ASSERT_EQ(rig.run(args).code, 0);
        record = rig.json("r.json");
        id = rig.records().at(0).id;
    }
    std::string pdf(const std::string& name) const {
        return rig.folder.filePath(QString::fromStdString(name)).toStdString();
    }
    cli_testing::CliRig rig;
    QJsonObject record;
    std::string id;
};

TEST_F(Certified, ItsTextHoldsTheIdOnEveryPageEveryFigureAndTheEndMarker) {
    const auto o = rig.run(
        {"certificate", id.substr(0, 8), "--pdf", pdf("c.pdf"), "--approved-by", "B. Manager"});
    ASSERT_EQ(o.code, 0) << o.err;
    const std::string text = run("pdftotext", {QString::fromStdString(pdf("c.pdf")), "-"});
    const QStringList pages = QString::fromStdString(text).split('\f', Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 2);
    const QString certificate = record["id"].toString();
    for (qsizetype n = 0; n < pages.size(); ++n) {
        EXPECT_TRUE(pages[n].simplified().contains("Calibration certificate " + certificate)) << n;
        EXPECT_TRUE(
            pages[n].simplified().contains(QString("page %1 of %2").arg(n + 1).arg(pages.size())))
            << n;
    }
    EXPECT_TRUE(pages.last().contains("End of certificate"));
    EXPECT_THAT(text, HasSubstr("Approved by: B. Manager, "));
    // The approval is kept in the history: a certificate issued again shows it.
    ASSERT_EQ((*rig.journal->store())->approvals(id)->size(), 1u);
    ASSERT_EQ(rig.run({"certificate", id, "--pdf", pdf("again.pdf")}).code, 0);
    EXPECT_THAT(run("pdftotext", {QString::fromStdString(pdf("again.pdf")), "-"}),
                HasSubstr("Approved by: B. Manager, "));
    EXPECT_THAT(text, HasSubstr(id));
    for (const QJsonValue v : record["outputs"].toArray()) {
        const QJsonObject p = v.toObject();
        const QJsonObject found = p["asFound"].toObject();
        const QJsonObject left = p["asLeft"].toObject();
        for (const std::string& figure :
             {mv(found["residualVolts"]), mv(left["acceptanceLimitVolts"]),
              mv(left["uncertainty"].toObject()["expandedVolts"]),
              p["codeLeft"].toString().toStdString()}) {
            EXPECT_THAT(text, HasSubstr("\n" + figure + "\n"))
                << p["endPoint"].toString().toStdString();
        }
    }
    // Every font is embedded, so that it prints as it shows anywhere.
    const std::string fonts = run("pdffonts", {QString::fromStdString(pdf("c.pdf"))});
    EXPECT_THAT(fonts, HasSubstr("TrueType"));
    for (const QString& line : QString::fromStdString(fonts).split('\n').mid(2)) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.split(' ', Qt::SkipEmptyParts).value(4), "yes") << line.toStdString();
        }
    }
}

TEST_F(Certified, PrintsOnA4AndLetter) {
    ASSERT_EQ(rig.run({"certificate", id, "--pdf", pdf("a4.pdf")}).code, 0);
    ASSERT_EQ(rig.run({"certificate", id, "--pdf", pdf("l.pdf"), "--page", "letter"}).code, 0);
    EXPECT_THAT(run("pdfinfo", {QString::fromStdString(pdf("a4.pdf"))}), HasSubstr("(A4)"));
    EXPECT_THAT(run("pdfinfo", {QString::fromStdString(pdf("l.pdf"))}), HasSubstr("(letter)"));
    // Only a calibration's record has a certificate.
    ASSERT_EQ(rig.run({"recover", "--board", "0"}).code, 0);
    EXPECT_EQ(rig.run({"certificate", rig.records().at(0).id, "--pdf", pdf("x.pdf")}).code, 1);
}

// The plot, drawn into a picture: each end point's as-found marker where its residual puts
// it (outside ±T for the points that were out), its as-left marker inside the band.
TEST_F(Certified, ThePlotShowsWhatWasOutAndWhatWasBroughtIn) {
    QImage image(1200, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF area(0, 0, 1200, 800);
    {
        QPainter p(&image);
        report::drawResidualPlot(p, record, area);
    }
    const report::PlotLayout l = report::plotLayout(record, area);
    const auto at = [&image](double x, double y) {
        return image.pixel(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))) &
               0xFFFFFFu;
    };
    const QJsonArray outputs = record["outputs"].toArray();
    ASSERT_EQ(l.points.size(), 16u);
    int outAsFound = 0;
    for (std::size_t i = 0; i < l.points.size(); ++i) {
        const report::PlotPoint& pt = l.points[i];
        const QJsonObject p = outputs[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(at(pt.x - l.markerOffset, pt.foundY), report::kFoundColour) << i;
        EXPECT_EQ(at(pt.x + l.markerOffset, pt.leftY), report::kLeftColour) << i;
        const bool wasOut = !p["asFound"].toObject()["accepted"].toBool();
        const bool drawnOut = pt.foundY < l.toleranceTop || pt.foundY > l.toleranceBottom;
        EXPECT_EQ(drawnOut, wasOut) << i;
        outAsFound += wasOut ? 1 : 0;
        EXPECT_GE(pt.leftY, pt.acceptance) << i << ": as left within +A";
        EXPECT_LE(pt.leftY, 2 * l.zero - pt.acceptance) << i << ": as left within -A";
    }
    EXPECT_GE(outAsFound, 12) << "the simulated card has aged since its factory calibration";
    EXPECT_EQ(at(l.frame.left() + 3, l.toleranceTop), report::kToleranceColour);
    EXPECT_EQ(at(l.frame.left() + 3, l.toleranceBottom), report::kToleranceColour);
}

// A card calibrated twice, half a year apart: its certificate has a page of its drift, and
// states the next due date only when the customer agreed to it.
TEST(CertifiedAgain, TheDriftPageAndTheDueDateWhereAgreed) {
    using namespace std::chrono;
    cli_testing::CliRig rig;
    journal::Settings settings;
    rig.keepHistory(settings);
    for (const auto& [day, now] : {std::pair{sys_days{2025y / January / 2}, "2025-01-02T12:00:00Z"},
                                   std::pair{sys_days{2025y / July / 3}, "2025-07-03T12:00:00Z"}}) {
        rig.cards.setToday(day);
        rig.now = now;
        auto args = rig.calibrate();
        args.push_back("--save");
        ASSERT_EQ(rig.run(args).code, 0);
    }
    const std::string id = rig.records().at(0).id;
    const std::string pdf = rig.folder.filePath("c.pdf").toStdString();
    ASSERT_EQ(rig.run({"certificate", id, "--pdf", pdf}).code, 0);
    std::string text = run("pdftotext", {QString::fromStdString(pdf), "-"});
    EXPECT_THAT(text, HasSubstr("Drift since the card's earlier calibrations"));
    EXPECT_THAT(text, HasSubstr("2 calibrations of this card, 2025-01-02 to 2025-07-03"));
    EXPECT_THAT(text, testing::Not(HasSubstr("Recommended next calibration")));
    // The same figures as history --drift gives.
    const auto drift = rig.run({"history", "--drift", "--board", "0", "--json"});
    ASSERT_EQ(drift.code, 0) << drift.err;
    const QJsonObject d = QJsonDocument::fromJson(QByteArray::fromStdString(drift.out)).object();
    int shown = 0;
    for (const QJsonValue v : d["endPoints"].toArray()) {
        const QJsonValue perYear = v.toObject()["mVPerYear"];
        if (perYear.isDouble()) {
            EXPECT_THAT(text, HasSubstr(QString::number(perYear.toDouble(), 'f', 3).toStdString()));
            ++shown;
        }
    }
    EXPECT_EQ(shown, 16);

    settings.intervalOnCertificate = true;
    rig.keepHistory(settings);
    ASSERT_EQ(rig.run({"certificate", id, "--pdf", pdf}).code, 0);
    text = run("pdftotext", {QString::fromStdString(pdf), "-"});
    const std::string due = d["interval"].toObject()["nextDue"].toString().toStdString();
    ASSERT_FALSE(due.empty());
    EXPECT_THAT(QString::fromStdString(text).simplified().toStdString(),
                HasSubstr("Recommended next calibration: " + due));
}

// The drift plot: a bar for each end point, red where it is at risk, as long as its drift.
TEST(DriftPlot, EachBarStandsWhereItsDriftPutsItInTheColourOfItsRisk) {
    const std::vector<report::DriftRow> rows{{"a", 1.0, 0.1, 0.6, false},
                                             {"b", -2.5, -0.9, 0.6, true},
                                             {"c", std::nullopt, std::nullopt, 0.6, false}};
    QImage image(900, 600, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF area(0, 0, 900, 600);
    {
        QPainter p(&image);
        report::drawDriftPlot(p, rows, area);
    }
    const QRectF a = report::driftBar(rows, area, 0);
    const QRectF b = report::driftBar(rows, area, 1);
    EXPECT_TRUE(report::driftBar(rows, area, 2).isEmpty()) << "no drift, no bar";
    // Up for a positive drift, down for a negative one, 2.5 times as long.
    EXPECT_LT(a.top(), a.bottom());
    EXPECT_NEAR(a.bottom(), b.top(), 1e-9);
    EXPECT_NEAR(b.height(), 2.5 * a.height(), 1e-6);
    const auto at = [&image](const QPointF& p) { return image.pixel(p.toPoint()) & 0xFFFFFFu; };
    EXPECT_EQ(at(a.center()), report::kLeftColour);
    EXPECT_EQ(at(b.center()), report::kFoundColour);
}

} // namespace
