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

} // namespace
