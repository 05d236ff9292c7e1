// The report workbooks as the operator gets them, read back with xlrd.

#include "ReportExport.h"
#include "XlsBook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The main window's stored-record sheet: check box, running number, time, force, set value, load cell.
void FillStoredSheet(CSpreadSheet &grid, int rows, const std::set<int> &ticked)
{
    grid.SetColumnCount(6);
    grid.SetRowCount(rows);
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(grid::kAll);
    grid.SetCellType(grid::CellCheckBox);
    for (int row = 1; row <= rows; ++row) {
        grid.SetCellInteger(1, row, ticked.count(row) ? 1 : 0);
        grid.SetCellTextIfChanged(2, row, QString::number(row));
        grid.SetCellTextIfChanged(3, row, QStringLiteral("2024-03-%1 10:00:00").arg(row, 2, 10, QLatin1Char('0')));
        grid.SetCellTextIfChanged(4, row, QString::asprintf("%4.1f 톤", row + 0.5));
        grid.SetCellTextIfChanged(5, row, QStringLiteral("25-30톤"));
        grid.SetCellTextIfChanged(6, row, QStringLiteral("30톤"));
    }
}

// The continuous sheet: labels, statistics, labels, then `records` rows.
void FillContinuousSheet(CSpreadSheet &grid, int records)
{
    grid.SetColumnCount(5);
    grid.SetRowCount(3 + records);
    const QStringList stats{"3", "12.3 KN", "10.0 KN", "14.1 KN", "1.2 KN"};
    for (int col = 1; col <= 5; ++col)
        grid.SetCellTextIfChanged(col, 2, stats[col - 1]);
    for (int i = 0; i < records; ++i) {
        const int row = 4 + i;
        grid.SetCellTextIfChanged(1, row, QString::number(i + 1));
        grid.SetCellTextIfChanged(2, row, QStringLiteral("2024-05-01 09:00:0%1").arg(i));
        grid.SetCellTextIfChanged(3, row, QStringLiteral("%1.5 KN").arg(100 + i));
        grid.SetCellTextIfChanged(4, row, QStringLiteral("10-13톤"));
        grid.SetCellTextIfChanged(5, row, QStringLiteral("15톤"));
    }
}

ReportHeader SampleHeader()
{
    ReportHeader h;
    const char *values[6][2] = {{"2024-05-01 08:30:00", "한빛 프레스"},
                                {"3월 정기 점검", "김민준"},
                                {"TV-100", "SN240001"},
                                {"LC15-0007", "CV15-0007"},
                                {"LC30-0003", "CV25-0003"},
                                {"CV30-0003", "V1.02"}};
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 2; ++c)
            h.values[r][c] = QString::fromUtf8(values[r][c]);
    return h;
}

class ReportExportTest : public ::testing::Test {
  protected:
    XlsBook Write(ReportExport &report)
    {
        const QString path = dir.filePath(QStringLiteral("report.xls"));
        QString error;
        EXPECT_TRUE(report.Save(path, &error)) << error.toStdString();
        XlsBook book = ReadXls(path);
        EXPECT_TRUE(book.Ok()) << book.error.toStdString();
        return book;
    }

    QTemporaryDir dir;
};

const QStringList kRecordHeadings{"NO.", "측정 시간", "측정 압력 값", "측정 압력 설정 값", "로드셀 종류"};

TEST_F(ReportExportTest, MemoryWithoutTickedRowsKeepsTemplateLayoutAndModelRow)
{
    CSpreadSheet records;
    FillStoredSheet(records, 4, {});
    ReportExport report(ReportMode::Memory);
    ASSERT_TRUE(report.IsReady()) << report.LoadError().toStdString();
    report.FillHeader(SampleHeader());
    EXPECT_EQ(report.FillRecords(records), 0);
    const XlsBook book = Write(report);

    EXPECT_EQ(book.Rows(), 10);
    EXPECT_EQ(book.RowTexts(1), (QStringList{"작성 일시", "", "2024-05-01 08:30:00", "회사 명", "한빛 프레스"}));
    EXPECT_EQ(book.RowTexts(2), (QStringList{"보고서 명", "", "3월 정기 점검", "작성자 명", "김민준"}));
    EXPECT_EQ(book.RowTexts(5), (QStringList{"30톤 로드셀 S/N", "", "LC30-0003", "25톤 로드셀 커버 S/N", "CV25-0003"}));
    EXPECT_EQ(book.RowTexts(6), (QStringList{"30톤 로드셀 커버 S/N", "", "CV30-0003", "버전 정보", "V1.02"}));
    EXPECT_EQ(book.RowTexts(7), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(book.Text(1, 8), QString(30, QLatin1Char(' ')) + QStringLiteral("저장 압력 확인 데이터"));
    EXPECT_EQ(book.Text(5, 8), QStringLiteral(" (단위: 톤)"));
    EXPECT_EQ(book.RowTexts(9), kRecordHeadings);
    EXPECT_EQ(book.RowTexts(10), (QStringList{"1", "-", "-", "-", "-"}));

    EXPECT_EQ(book.Merged(),
              (QStringList{"1,1,2,1", "1,2,2,1", "1,3,2,1", "1,4,2,1", "1,5,2,1", "1,6,2,1", "1,8,4,1"}));
    const double widths[] = {6.0, 25.5, 26.12, 30.12, 25.75};
    for (int col = 1; col <= 5; ++col)
        EXPECT_NEAR(book.ColumnWidth(col), widths[col - 1], 0.01) << "column " << col;
    EXPECT_NEAR(book.RowHeight(8), 30.2, 0.05);

    // The look: bold title, filled and bold labels, framed header block and data rows.
    EXPECT_TRUE(book.Bold(1, 8));
    EXPECT_TRUE(book.Bold(4, 2));
    EXPECT_TRUE(book.Filled(4, 2));
    EXPECT_FALSE(book.Filled(3, 2));
    for (const auto &[col, row] : {std::pair{3, 1}, {5, 6}, {2, 10}})
        EXPECT_EQ(book.Borders(col, row), (QList<int>{1, 1, 1, 1})) << col << "," << row;
}

TEST_F(ReportExportTest, MemoryTakesOnlyTickedRowsNumberedInGridOrder)
{
    CSpreadSheet records;
    FillStoredSheet(records, 10, {2, 5, 9});
    ReportExport report(ReportMode::Memory);
    report.FillHeader(SampleHeader());
    EXPECT_EQ(report.FillRecords(records), 3);
    const XlsBook book = Write(report);

    EXPECT_EQ(book.Rows(), 12);
    EXPECT_EQ(book.RowTexts(10), (QStringList{"1", "2024-03-02 10:00:00", " 2.5 톤", "25-30톤", "30톤"}));
    EXPECT_EQ(book.RowTexts(11), (QStringList{"2", "2024-03-05 10:00:00", " 5.5 톤", "25-30톤", "30톤"}));
    EXPECT_EQ(book.RowTexts(12), (QStringList{"3", "2024-03-09 10:00:00", " 9.5 톤", "25-30톤", "30톤"}));
    // Copied rows carry the model row's frame.
    EXPECT_EQ(book.Borders(5, 12), (QList<int>{1, 1, 1, 1}));
}

TEST_F(ReportExportTest, OutputTakesStatisticsAndEveryRecord)
{
    const QStringList statistics{"3", "12.3 KN", "10.0 KN", "14.1 KN", "1.2 KN"};
    for (const auto &[sheetRows, workbookRows] : {std::pair{3, 12}, {4, 12}, {6, 14}}) {
        SCOPED_TRACE(sheetRows);
        CSpreadSheet records;
        FillContinuousSheet(records, sheetRows - 3);
        ReportExport report(ReportMode::Output);
        report.FillHeader(SampleHeader());
        EXPECT_EQ(report.FillRecords(records), sheetRows - 3);
        const XlsBook book = Write(report);

        EXPECT_EQ(book.Rows(), workbookRows);
        EXPECT_EQ(book.Text(1, 8), QString(23, QLatin1Char(' ')) + QStringLiteral("연속 측정 모드 데이터"));
        EXPECT_EQ(book.Text(5, 8), QStringLiteral("(단위: KN)"));
        EXPECT_EQ(book.RowTexts(9), (QStringList{"측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차"}));
        EXPECT_EQ(book.RowTexts(10), statistics);
        EXPECT_EQ(book.RowTexts(11), kRecordHeadings);
        if (sheetRows == 3) {
            EXPECT_EQ(book.RowTexts(12), (QStringList{"-", "-", "-", "-", "-"}));
        }
        for (int i = 0; i < sheetRows - 3; ++i)
            EXPECT_EQ(book.RowTexts(12 + i),
                      (QStringList{QString::number(i + 1), QStringLiteral("2024-05-01 09:00:0%1").arg(i),
                                   QStringLiteral("%1.5 KN").arg(100 + i), "10-13톤", "15톤"}));
        EXPECT_NEAR(book.RowHeight(8), 28.86, 0.05);
        EXPECT_NEAR(book.ColumnWidth(1), 10.0, 0.01);
        EXPECT_NEAR(book.ColumnWidth(4), 24.62, 0.01);
        EXPECT_EQ(book.Merged().size(), 7);
    }
}

// Both reports print one A4 portrait page wide, as many pages tall as the records need, centred between
// half-inch side margins.
TEST_F(ReportExportTest, ReportsPrintOnePageWideOnA4Portrait)
{
    for (ReportMode mode : {ReportMode::Memory, ReportMode::Output}) {
        SCOPED_TRACE(static_cast<int>(mode));
        CSpreadSheet records;
        if (mode == ReportMode::Memory)
            FillStoredSheet(records, 40, {1, 7, 40});
        else
            FillContinuousSheet(records, 8);
        ReportExport report(mode);
        report.FillHeader(SampleHeader());
        report.FillRecords(records);
        const QJsonObject page = Write(report).json.value(QLatin1String("print")).toObject();

        EXPECT_TRUE(page["fit_to_pages"].toBool());
        EXPECT_EQ(page["paper_size_code"].toInt(), 9);
        EXPECT_EQ(page["fit_width_to_pages"].toInt(), 1);
        EXPECT_EQ(page["fit_height_to_pages"].toInt(), 0);
        EXPECT_TRUE(page["portrait"].toBool());
        EXPECT_FALSE(page["no_pls"].toBool());
        EXPECT_EQ(page["horz_center"].toInt(), 1);
        EXPECT_EQ(page["margins"].toObject(),
                  (QJsonObject{{"left", 0.5}, {"right", 0.5}, {"top", 0.75}, {"bottom", 0.75}}));
    }
}

// A template without print settings loaded over a report sheet leaves none of the report's behind.
TEST(ReportTemplateTest, LoadingReplacesThePrintSettings)
{
    CSpreadSheet sheet;
    ASSERT_TRUE(ReportTemplate::Load(ReportMode::Output, sheet));
    EXPECT_EQ(sheet.GetPrintSettings().fitWidth, 1);
    QString error;
    ASSERT_TRUE(ReportTemplate::LoadJson(R"({"columnCount": 2, "rowCount": 3})", sheet, &error)) << error.toStdString();
    EXPECT_EQ(sheet.GetPrintSettings(), grid::PrintSettings{});
    EXPECT_EQ(sheet.GetColumnCount(), 2);
}

TEST(ReportTargetPath, AppendsXlsOnlyWhenMissing)
{
    EXPECT_EQ(ReportExport::TargetPath("/tmp/Report.XLS"), "/tmp/Report.XLS");
    EXPECT_EQ(ReportExport::TargetPath("/tmp/Report"), "/tmp/Report.xls");
    EXPECT_EQ(ReportExport::TargetPath("/tmp/Report.xlsx"), "/tmp/Report.xlsx.xls");
}

// The proposed name: serial, mode and date; a serial from the instrument never leads out of the folder.
TEST(ReportProposedFileName, SerialModeAndDate)
{
    const QDate day(2026, 12, 7);
    EXPECT_EQ(ReportExport::ProposedFileName("PF24050117", ReportMode::Memory, day),
              "PF24050117_MEMORY_2026-12-07.xls");
    EXPECT_EQ(ReportExport::ProposedFileName(" PF-240 ", ReportMode::Output, day), "PF-240_OUTPUT_2026-12-07.xls");
    EXPECT_EQ(ReportExport::ProposedFileName("../../etc/x", ReportMode::Memory, day),
              "______etc_x_MEMORY_2026-12-07.xls");
    EXPECT_EQ(ReportExport::ProposedFileName("A B:C*\\", ReportMode::Memory, day), "A_B_C___MEMORY_2026-12-07.xls");
    EXPECT_EQ(ReportExport::ProposedFileName("압력01", ReportMode::Memory, day), "압력01_MEMORY_2026-12-07.xls");
    // Not read yet: the template's "-", or nothing at all.
    EXPECT_EQ(ReportExport::ProposedFileName("-", ReportMode::Memory, day), "MEMORY_2026-12-07.xls");
    EXPECT_EQ(ReportExport::ProposedFileName("", ReportMode::Output, QDate(2027, 1, 2)), "OUTPUT_2027-01-02.xls");
}

TEST(ReportTickedRows, CountsOnlyBoxesHoldingOne)
{
    CSpreadSheet records;
    EXPECT_EQ(ReportExport::TickedRowCount(records), 0);
    records.SetRowCount(4);
    records.SetCellInteger(1, 1, 0);
    records.SetCellInteger(1, 2, 1);
    records.SetCellInteger(1, 4, 1);
    EXPECT_EQ(ReportExport::TickedRowCount(records), 2);
}

// A failed save says why and leaves the older workbook as it was.
TEST_F(ReportExportTest, FailedSaveKeepsOldFile)
{
    ReportExport report(ReportMode::Memory);
    report.FillHeader(SampleHeader());

    QString error;
    EXPECT_FALSE(report.Save(dir.filePath("missing/report.xls"), &error));
    EXPECT_FALSE(error.isEmpty());

    const QString path = dir.filePath("old.xls");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older workbook");
    }
    // The file system refuses the write half-way: a file-size limit holds for root as well.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    error.clear();
    const bool saved_ok = report.Save(path, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(saved_ok);
    EXPECT_FALSE(error.isEmpty());
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("older workbook"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.xls"}) << "no temporary file left";
}

} // namespace
