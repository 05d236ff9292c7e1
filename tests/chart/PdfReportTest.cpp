// The PDF report read back by poppler's tools (pdfinfo, pdftotext, pdffonts): page size and count, the header
// block, every ticked row in order with its verdict, the heading and footer of every page, the embedded font.

#include "PdfReport.h"
#include "CSpreadSheet.h"
#include "Measurement.h"
#include "RecordTables.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "PdfWords.h"
#include "ToolOutput.h"

#include <gtest/gtest.h>

namespace {

// Qt Charts draws through the widget application.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "tonvale_pdf_report_tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)app;
}

int PageCount(const QString &pdf)
{
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption);
    return pages.match(ToolOutput(QStringLiteral("pdfinfo"), {pdf})).captured(1).toInt();
}

QString PageText(const QString &pdf, int page)
{
    return ToolOutput(QStringLiteral("pdftotext"),
                      {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                       QString::number(page), pdf, QStringLiteral("-")});
}

std::array<uint8_t, kRecordSize> Record(int i)
{
    // One record a minute from 2026-12-01 08:00, forces around the 10-13톤 and 15톤 ranges.
    const int minutes = 8 * 60 + i;
    const int raw = 950 + (i * 37) % 700;
    return {0x07,
            0xEA,
            12,
            uint8_t(1 + minutes / 1440),
            uint8_t(minutes / 60 % 24),
            uint8_t(minutes % 60),
            0,
            uint8_t(raw >> 8),
            uint8_t(raw & 0xFF),
            uint8_t(i % 2)};
}

// A stored-record table of n rows as the main window holds it, every seventh row unticked, and the same
// records as bytes.
struct StoredTable {
    explicit StoredTable(int n)
    {
        SetUpRecordSheets(grid, RecordSheetColors{});
        RecordTableWriter writer(&grid, 0);
        records.SetMode(MeasurementMode::Memory);
        for (int i = 0; i < n; ++i) {
            const auto record = Record(i);
            writer.AddStoredRecordRow(i, record.data());
            const bool ticked = i % 7 != 3;
            grid.SetCellInteger(1, i + 1, ticked ? 1 : 0);
            records.SetStoredRecord(i, record.data(), ticked);
        }
    }
    CSpreadSheet grid;
    Measurement records;
};

ReportHeader Header()
{
    ReportHeader header;
    header.createdAt = QStringLiteral("2026-12-07 10:00:00");
    header.company = QStringLiteral("한국정밀프레스");
    header.reportName = QStringLiteral("프레스 점검 보고서");
    header.author = QStringLiteral("김철수");
    header.identity.texts[0] = QStringLiteral("PFM-3000");
    header.identity.texts[InstrumentIdentity::kSerialField] = QStringLiteral("PF24050117");
    return header;
}

class PdfReportTest : public ::testing::Test {
  protected:
    void SetUp() override { EnsureApplication(); }
    QTemporaryDir dir;
};

TEST_F(PdfReportTest, ThreeHundredRowsWithVerdictsReadBackInOrderOnNumberedPages)
{
    StoredTable table(300);
    PressClassLimits limits;
    limits.SetRange(0, ForceRange{100, 130});
    limits.SetRange(1, ForceRange{140, 160});
    table.records.SetLimits(limits);
    const PdfReport pdf(Header(), table.records);
    const int rows = pdf.RowCount();
    ASSERT_EQ(rows, table.records.TickedCount());

    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    ASSERT_TRUE(pdf.Save(path, &error)) << error.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.pdf")});

    const QString info = ToolOutput(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();
    const QString fonts = ToolOutput(QStringLiteral("pdffonts"), {path});
    EXPECT_TRUE(fonts.contains(QStringLiteral("NotoSansCJK"))) << fonts.toStdString();
    for (const QString &line : fonts.split('\n').mid(2, -1)) {
        if (!line.trimmed().isEmpty()) {
            EXPECT_TRUE(line.contains(QStringLiteral(" yes "))) << "not embedded: " << line.toStdString();
        }
    }

    const int pages = PageCount(path);
    ASSERT_GT(pages, 3);
    QString all;
    for (int page = 1; page <= pages; ++page) {
        const QString text = PageText(path, page);
        EXPECT_TRUE(text.contains(QStringLiteral("페이지 %1 / %2").arg(page).arg(pages))) << page;
        EXPECT_TRUE(text.contains(QStringLiteral("측정 압력 설정 값"))) << "heading missing on page " << page;
        EXPECT_TRUE(text.contains(QStringLiteral("판정"))) << page;
        all += text;
    }

    // The header block and the title, with the workbook's texts.
    for (const char *text : {"작성 일시", "2026-12-07 10:00:00", "회사 명", "한국정밀프레스", "보고서 명",
                             "프레스 점검 보고서", "작성자 명", "김철수", "측정기 명", "PFM-3000", "측정기 S/N",
                             "PF24050117", "저장 압력 확인 데이터", "(단위: 톤)"})
        EXPECT_TRUE(all.contains(QString::fromUtf8(text))) << text;

    // Every ticked row, numbered 1, 2, 3 ... in the grid's order, with its texts and verdict.
    int k = 0, pass = 0, fail = 0;
    qsizetype at = 0;
    for (int row = 1; row <= table.grid.GetRowCount(); ++row) {
        int ticked = 0;
        table.grid.GetCellInteger(1, row, &ticked);
        const QString time = table.grid.text(3, row);
        if (!ticked) {
            EXPECT_FALSE(all.contains(time)) << "unticked row printed: " << row;
            continue;
        }
        ++k;
        const Verdict verdict = limits.Judge(table.records.Stored(row - 1).data());
        (verdict == Verdict::Pass ? pass : fail)++;
        const QRegularExpression line(
            QStringLiteral("^\\s*%1\\s+%2\\s+%3\\s+%4\\s+%5\\s+%6\\s*$")
                .arg(k)
                .arg(QRegularExpression::escape(time), QRegularExpression::escape(table.grid.text(4, row).trimmed()),
                     QRegularExpression::escape(table.grid.text(5, row)),
                     QRegularExpression::escape(table.grid.text(6, row)), VerdictText(verdict)),
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(all, at);
        ASSERT_TRUE(m.hasMatch()) << "row " << row << " (" << k << ") missing or out of order";
        at = m.capturedEnd();
    }
    EXPECT_EQ(k, rows);
    EXPECT_GT(pass, 0);
    EXPECT_GT(fail, 0);
    EXPECT_TRUE(all.contains(QStringLiteral("판정: 합격 %1 · 불합격 %2").arg(pass).arg(fail)));
}

TEST_F(PdfReportTest, WithoutLimitsThereIsNoVerdictAnywhere)
{
    StoredTable table(5);
    const QString path = dir.filePath(QStringLiteral("plain.pdf"));
    ASSERT_TRUE(PdfReport(Header(), table.records).Save(path));
    const QString text = PageText(path, 1);
    EXPECT_FALSE(text.contains(QStringLiteral("합격")));
    EXPECT_FALSE(text.contains(QStringLiteral("판정")));
    EXPECT_TRUE(text.contains(QStringLiteral("페이지 1 / 1")));
    EXPECT_TRUE(text.contains(table.grid.text(3, 5)));
}

// Long texts of the header block shrink or wrap inside the page; a table with records missing says so in the
// header block.
TEST_F(PdfReportTest, LongHeaderTextsStayWholeOnThePageAndAnIncompleteTableSaysSo)
{
    StoredTable table(4);
    ReportHeader header = Header();
    const QString company =
        QStringLiteral("한국정밀프레스 주식회사 경기도 화성시 제2공장 유압 프레스 품질관리부 정기 점검 담당");
    const QString reportName =
        QStringLiteral("ANNUAL-HYDRAULIC-PRESS-INSPECTION-REPORT-LINE-7-PRESSES-1-TO-12-YEAR-2026");
    header.company = company;
    header.reportName = reportName;
    header.author = QStringLiteral("김");
    table.records.Finish(0, 1);
    const QString path = dir.filePath(QStringLiteral("long.pdf"));
    ASSERT_TRUE(PdfReport(header, table.records).Save(path));

    const QList<PdfPage> pages =
        ParsePdfWords(ToolOutput(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")}));
    ASSERT_FALSE(pages.isEmpty());
    const PdfPage &page = pages.first();
    QString words;
    for (const PdfWord &word : page.words) {
        EXPECT_GE(word.xMin, 0.0) << word.text.toStdString();
        EXPECT_LE(word.xMax, page.width) << word.text.toStdString();
        words += word.text;
    }
    for (const QString &text : {company, reportName})
        EXPECT_TRUE(words.contains(QString(text).remove(QLatin1Char(' ')))) << text.toStdString();
    EXPECT_TRUE(PageText(path, 1).contains(QStringLiteral("표가 완전하지 않음 (손상된 기록 1건 제외)")));
    // The rows still start below the grown header block, numbered from 1.
    EXPECT_TRUE(page.HasLine({QStringLiteral("1"), table.grid.text(3, 1).section(' ', 0, 0)}));
}

TEST_F(PdfReportTest, AFailedWriteLeavesTheOldFileAndSaysWhy)
{
    StoredTable table(3);
    const PdfReport pdf(ReportHeader{}, table.records);
    // The target is a folder: nothing can be renamed onto it.
    const QString folder = dir.filePath(QStringLiteral("taken.pdf"));
    ASSERT_TRUE(QDir().mkdir(folder));
    QString error;
    EXPECT_FALSE(pdf.Save(folder, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    const QString missing = dir.filePath(QStringLiteral("no/such/dir/r.pdf"));
    EXPECT_FALSE(pdf.Save(missing, &error));
    EXPECT_FALSE(QFile::exists(missing));

    EXPECT_EQ(PdfReport::TargetPath(QStringLiteral("a")), QStringLiteral("a.pdf"));
    EXPECT_EQ(PdfReport::TargetPath(QStringLiteral("a.PDF")), QStringLiteral("a.PDF"));
}

} // namespace
