// The report files of memory and output written by the command line: the PDF read back by pdftotext and
// pdfinfo, the chart alone as a PNG, with no display at all, and the options' usage errors.

#include "CliRunner.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include "ToolOutput.h"

#include <gtest/gtest.h>

namespace {

// tonvale-cli as a service account or a cron job runs it: no display, no platform chosen.
CliRun RunCliWithoutDisplay(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return RunCli(arguments, {}, env);
}

class ReportFiles : public ::testing::Test {
  protected:
    QString File(const QString &name) { return m_dir.filePath(name); }
    QString Scenario(const QByteArray &json)
    {
        QFile file(File(QStringLiteral("scenario.json")));
        file.open(QIODevice::WriteOnly);
        file.write(json);
        return file.fileName();
    }

  private:
    QTemporaryDir m_dir;
};

TEST_F(ReportFiles, MemoryPdfHoldsTheHeaderAndTheChosenRowsNumberedInOrder)
{
    const QString scenario = Scenario(R"({"stored": [
        {"time": "2026-12-01 09:00:00", "raw": 1176, "setting": 0},
        {"time": "2026-12-01 09:05:00", "raw": 1470, "setting": 1},
        {"time": "2026-12-01 09:10:00", "raw": 2842, "setting": 2},
        {"time": "2026-12-01 09:15:00", "raw": 1000, "setting": 0}]})");
    const QString pdf = File(QStringLiteral("memory.pdf"));
    const CliRun run = RunCliWithoutDisplay(
        {"--simulate=" + scenario, "--virtual-time", "memory", "--from", "2026-12-01", "--to", "2026-12-01", "--pdf",
         pdf, "--rows", "2-4", "--company", "한국정밀프레스", "--report-name", "월간 점검", "--author", "김철수"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("PDF 저장: ") + pdf));

    EXPECT_TRUE(
        ToolOutput(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    const QString text = ToolOutput(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const char *expected :
         {"한국정밀프레스", "월간 점검", "김철수", "PFM-3000", "저장 압력 확인 데이터", "NO.", "페이지 1 / 1"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("2026-12-01 09:00:00"))); // row 1 was not chosen
    const QRegularExpression rows(QStringLiteral("1\\s+2026-12-01 09:05:00\\s+15.0 톤\\s+15톤\\s+15톤.*\\n"
                                                 "\\s*2\\s+2026-12-01 09:10:00\\s+29.0 톤\\s+25-30톤\\s+30톤.*\\n"
                                                 "\\s*3\\s+2026-12-01 09:15:00\\s+10.2 톤\\s+10-13톤\\s+15톤"));
    EXPECT_TRUE(rows.match(text).hasMatch()) << text.toStdString();
}

TEST_F(ReportFiles, OutputPdfAndPngOfTheContinuousRun)
{
    const QString scenario = Scenario(R"({"continuous": {"average": 12340, "minimum": 11000, "maximum": 15000,
        "deviation": 35, "records": [{"time": "2026-12-01 09:20:00", "raw": 1100, "setting": 1},
                                     {"time": "2026-12-01 09:20:01", "raw": 1500, "setting": 1},
                                     {"time": "2026-12-01 09:20:02", "raw": 1234, "setting": 1}]}})");
    const QString pdf = File(QStringLiteral("output.pdf")), png = File(QStringLiteral("output.png"));
    const CliRun run =
        RunCliWithoutDisplay({"--simulate=" + scenario, "--virtual-time", "output", "--pdf", pdf, "--png", png});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString text = ToolOutput(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const char *expected : {"연속 측정 모드 데이터", "(단위: KN)", "측정횟수", "123.4 KN", "150.0 KN"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("3\\s+2026-12-01 09:20:02\\s+123.4 KN\\s+15톤\\s+15톤"))
                    .match(text)
                    .hasMatch())
        << text.toStdString();

    const QImage chart(png);
    ASSERT_FALSE(chart.isNull());
    EXPECT_EQ(chart.size(), QSize(1200, 700));
    // A chart, not an empty picture: many colours were drawn.
    QSet<QRgb> colours;
    for (int y = 0; y < chart.height(); y += 7)
        for (int x = 0; x < chart.width(); x += 7)
            colours.insert(chart.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
}

TEST_F(ReportFiles, PngAloneNeedsNoIdentityAndReportOptionsNeedAFile)
{
    const QString scenario = Scenario(R"({"stored": [{"time": "2026-12-01 09:00:00", "raw": 1176, "setting": 0}]})");
    const QString png = File(QStringLiteral("chart.png"));
    CliRun run = RunCli({"--simulate=" + scenario, "--virtual-time", "memory", "--from", "2026-12-01", "--to",
                         "2026-12-01", "--png", png});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(QImage(png).isNull());

    run = RunCli({"--simulate=" + scenario, "--virtual-time", "memory", "--from", "2026-12-01", "--to", "2026-12-01",
                  "--rows", "1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--xls, --pdf or --png")));

    run = RunCli(
        {"--simulate=" + scenario, "--virtual-time", "memory", "--from", "2026-12-01", "--to", "2026-12-01", "--pdf"});
    EXPECT_EQ(run.exitCode, 2);
}

} // namespace
