// The report workbooks as the operator gets them, read back with xlrd.

#include "ReportExport.h"
#include "XlsBook.h"

#include "PdfWords.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
    h.createdAt = QString::fromUtf8(values[0][0]);
    h.company = QString::fromUtf8(values[0][1]);
    h.reportName = QString::fromUtf8(values[1][0]);
    h.author = QString::fromUtf8(values[1][1]);
    // The identity fields stand in rows 3..6, left and then right.
    for (int r = 2; r < 6; ++r)
        for (int c = 0; c < 2; ++c)
            h.identity.texts[size_t(c * 4 + r - 2)] = QString::fromUtf8(values[r][c]);
    return h;
}

// The report's rows from a sheet laid out as the main window's: MEMORY the ticked rows (check box in column
// 1, texts in columns 3..6), OUTPUT the statistics in row 2 and the records from row 4.
ReportRows RowsOf(const CSpreadSheet &sheet, ReportMode mode)
{
    ReportRows rows;
    const bool memory = mode == ReportMode::Memory;
    const int textColumn = memory ? 3 : 2;
    if (!memory)
        for (int col = 1; col <= 5; ++col)
            rows.summary << sheet.text(col, 2);
    for (int row = memory ? 1 : 4; row <= sheet.GetRowCount(); ++row) {
        int ticked = 0;
        if (memory && !(sheet.GetCellInteger(1, row, &ticked) && ticked == 1))
            continue;
        rows.rows.append({sheet.text(textColumn, row), sheet.text(textColumn + 1, row), sheet.text(textColumn + 2, row),
                          sheet.text(textColumn + 3, row)});
    }
    return rows;
}

int FillFromSheet(ReportExport &report, const CSpreadSheet &sheet)
{
    return report.FillRecords(RowsOf(sheet, report.Mode()));
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
    EXPECT_EQ(FillFromSheet(report, records), 0);
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
    EXPECT_TRUE(book.IsNumber(1, 10));

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
    EXPECT_EQ(FillFromSheet(report, records), 3);
    const XlsBook book = Write(report);

    EXPECT_EQ(book.Rows(), 12);
    EXPECT_EQ(book.RowTexts(10), (QStringList{"1", "2024-03-02 10:00:00", " 2.5 톤", "25-30톤", "30톤"}));
    EXPECT_EQ(book.RowTexts(11), (QStringList{"2", "2024-03-05 10:00:00", " 5.5 톤", "25-30톤", "30톤"}));
    EXPECT_EQ(book.RowTexts(12), (QStringList{"3", "2024-03-09 10:00:00", " 9.5 톤", "25-30톤", "30톤"}));
    // Copied rows carry the model row's frame, and their numbers are numbers a spreadsheet sorts and sums.
    EXPECT_EQ(book.Borders(5, 12), (QList<int>{1, 1, 1, 1}));
    for (int row = 10; row <= 12; ++row) {
        EXPECT_TRUE(book.IsNumber(1, row)) << row;
        EXPECT_FALSE(book.IsNumber(2, row)) << row;
    }
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
        EXPECT_EQ(FillFromSheet(report, records), sheetRows - 3);
        const XlsBook book = Write(report);

        EXPECT_EQ(book.Rows(), workbookRows);
        EXPECT_EQ(book.Text(1, 8), QString(23, QLatin1Char(' ')) + QStringLiteral("연속 측정 모드 데이터"));
        EXPECT_EQ(book.Text(5, 8), QStringLiteral("(단위: KN)"));
        EXPECT_EQ(book.RowTexts(9), (QStringList{"측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차"}));
        EXPECT_EQ(book.RowTexts(10), statistics);
        EXPECT_TRUE(book.IsNumber(1, 10)); // the count; the statistics with their unit stay texts
        EXPECT_FALSE(book.IsNumber(2, 10));
        EXPECT_EQ(book.RowTexts(11), kRecordHeadings);
        if (sheetRows == 3) {
            EXPECT_EQ(book.RowTexts(12), (QStringList{"-", "-", "-", "-", "-"}));
            EXPECT_FALSE(book.IsNumber(1, 12));
        }
        for (int i = 0; i < sheetRows - 3; ++i) {
            EXPECT_EQ(book.RowTexts(12 + i),
                      (QStringList{QString::number(i + 1), QStringLiteral("2024-05-01 09:00:0%1").arg(i),
                                   QStringLiteral("%1.5 KN").arg(100 + i), "10-13톤", "15톤"}));
            EXPECT_TRUE(book.IsNumber(1, 12 + i));
        }
        EXPECT_NEAR(book.RowHeight(8), 28.86, 0.05);
        EXPECT_NEAR(book.ColumnWidth(1), 10.0, 0.01);
        EXPECT_NEAR(book.ColumnWidth(4), 24.62, 0.01);
        EXPECT_EQ(book.Merged().size(), 7);
    }
}

// Both reports print one A4 portrait page wide, as many pages tall as the records need, centred between
// half-inch side margins, with the record headings on top of every page and the page number at the foot.
// Header values shrink into their cells rather than widen what is printed.
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
        FillFromSheet(report, records);
        const XlsBook book = Write(report);
        const QJsonObject page = book.json.value(QLatin1String("print")).toObject();

        EXPECT_TRUE(page["fit_to_pages"].toBool());
        EXPECT_EQ(page["paper_size_code"].toInt(), 9);
        EXPECT_EQ(page["fit_width_to_pages"].toInt(), 1);
        EXPECT_EQ(page["fit_height_to_pages"].toInt(), 0);
        EXPECT_TRUE(page["portrait"].toBool());
        EXPECT_FALSE(page["no_pls"].toBool());
        EXPECT_EQ(page["horz_center"].toInt(), 1);
        EXPECT_EQ(page["margins"].toObject(),
                  (QJsonObject{{"left", 0.5}, {"right", 0.5}, {"top", 0.75}, {"bottom", 0.75}}));
        EXPECT_EQ(page["footer"].toString(), "&C&P / &N");

        const QJsonArray names = book.json.value(QLatin1String("names")).toArray();
        ASSERT_EQ(names.size(), 2);
        EXPECT_EQ(names[0]["name"].toString(), "Print_Area");
        EXPECT_EQ(names[0]["area"].toArray(), (QJsonArray{0, 1, 0, book.Rows(), 0, 5}));
        EXPECT_EQ(names[1]["name"].toString(), "Print_Titles");
        const int headings = mode == ReportMode::Memory ? 9 : 11;
        EXPECT_EQ(names[1]["area"].toArray(), (QJsonArray{0, 1, headings - 1, headings, 0, 256}));
        EXPECT_EQ(book.RowTexts(headings), kRecordHeadings);

        auto shrinks = [&](int col, int row) { return book.Format(col, row).value("shrink").toBool(); };
        for (int row = 1; row <= 6; ++row) {
            EXPECT_TRUE(shrinks(3, row) && shrinks(5, row)) << row;
            EXPECT_FALSE(shrinks(1, row) || shrinks(4, row)) << row;
        }
        EXPECT_FALSE(shrinks(5, 8));
        EXPECT_FALSE(shrinks(5, headings + 1));
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

// Runs a program to its end. False, with what it printed, when it cannot start, fails or does not end in time.
bool RunTool(const QString &program, const QStringList &args, QByteArray *output, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, args);
    const bool ended = process.waitForFinished(timeoutMs);
    *output = process.readAllStandardOutput();
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    if (!ended)
        process.kill();
    *output += process.readAllStandardError() + process.errorString().toUtf8();
    return false;
}

// Paths of the programs a check needs; empty when one of them is not installed.
QStringList FindTools(const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names) {
        paths << QStandardPaths::findExecutable(name);
        if (paths.last().isEmpty())
            return {};
    }
    return paths;
}

// A MEMORY report of 170 records, three A4 pages, whose author is far longer than the author cell.
QString WriteThreePageReport(const QTemporaryDir &dir)
{
    std::set<int> all;
    for (int row = 1; row <= 170; ++row)
        all.insert(row);
    CSpreadSheet records;
    FillStoredSheet(records, 170, all);
    ReportHeader header = SampleHeader();
    header.author =
        QStringLiteral("김민준 (품질보증팀 프레스 정기 점검 담당, 한빛 프레스 제2공장 설비관리과 책임연구원)")
            .repeated(3);
    ReportExport report(ReportMode::Memory);
    report.FillHeader(header);
    FillFromSheet(report, records);
    const QString path = dir.filePath(QStringLiteral("report.xls"));
    QString error;
    EXPECT_TRUE(report.Save(path, &error)) << error.toStdString();
    return path;
}

// gnumeric reads the repeated headings, the footer, the number cells and the shrinking header values.
TEST_F(ReportExportTest, GnumericReadsTitlesFooterNumbersAndShrinkingValues)
{
    const QStringList tools = FindTools({"ssconvert", "gzip"});
    if (tools.isEmpty())
        GTEST_SKIP() << "gnumeric's ssconvert (or gzip) is not installed";
    const QString &ssconvert = tools[0], &gzip = tools[1];
    const QString xls = WriteThreePageReport(dir);
    const QString converted = dir.filePath(QStringLiteral("report.gnumeric"));
    QByteArray output;
    ASSERT_TRUE(RunTool(ssconvert, {xls, converted}, &output)) << output.toStdString();
    QByteArray bytes;
    ASSERT_TRUE(RunTool(gzip, {QStringLiteral("-dc"), converted}, &bytes)) << bytes.toStdString();
    const QString xml = QString::fromUtf8(bytes);

    EXPECT_TRUE(xml.contains(QRegularExpression(
        QStringLiteral(R"(<gnm:name>Print_Titles</gnm:name>\s*<gnm:value>Sheet1!\$A\$9:\$IV\$9</gnm:value>)"))));
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<gnm:Footer Left="" Middle="&amp;[PAGE] / &amp;[PAGES]" Right=""/>)")));
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<gnm:Header Left="" Middle="" Right=""/>)")));
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<gnm:Cell Row="9" Col="0" ValueType="40">1</gnm:Cell>)")));
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<gnm:Cell Row="178" Col="0" ValueType="40">170</gnm:Cell>)")));
    EXPECT_TRUE(
        xml.contains(QStringLiteral(R"(<gnm:Cell Row="9" Col="1" ValueType="60">2024-03-01 10:00:00</gnm:Cell>)")));

    // Shrink-to-fit of the style region holding each cell (columns and rows from 0).
    auto shrinkAt = [&](int col, int row) {
        static const QRegularExpression region(QStringLiteral(
            R"re(<gnm:StyleRegion startCol="(\d+)" startRow="(\d+)" endCol="(\d+)" endRow="(\d+)">\s*<gnm:Style [^>]*ShrinkToFit="(\d)")re"));
        for (auto it = region.globalMatch(xml); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (col >= m.captured(1).toInt() && row >= m.captured(2).toInt() && col <= m.captured(3).toInt() &&
                row <= m.captured(4).toInt())
                return m.captured(5).toInt();
        }
        return -1;
    };
    EXPECT_EQ(shrinkAt(4, 1), 1); // the author
    EXPECT_EQ(shrinkAt(2, 5), 1);
    EXPECT_EQ(shrinkAt(3, 1), 0); // its label
    EXPECT_EQ(shrinkAt(1, 20), 0);
}

// LibreOffice prints the three-page report at the width of the page: the long author shrinks into its cell,
// the record headings head every page, and each page ends with "page / pages".
TEST_F(ReportExportTest, LibreOfficePrintsThreeFullWidthPagesWithHeadingsAndFooter)
{
    const QStringList tools = FindTools({"soffice", "pdftotext"});
    if (tools.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) or poppler's pdftotext is not installed";
    const QString &soffice = tools[0], &pdftotext = tools[1];
    const QString xls = WriteThreePageReport(dir);
    QByteArray output;
    // A profile of its own, so that neither a running LibreOffice nor the user's settings take part.
    const QString profile = QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString();
    ASSERT_TRUE(
        RunTool(soffice,
                {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                 QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"), dir.path(), xls},
                &output, 600000))
        << output.toStdString();
    QByteArray bbox;
    ASSERT_TRUE(RunTool(pdftotext, {QStringLiteral("-bbox"), dir.filePath(QStringLiteral("report.pdf")), "-"}, &bbox))
        << bbox.toStdString();
    const QList<PdfPage> pages = ParsePdfWords(QString::fromUtf8(bbox));

    ASSERT_EQ(pages.size(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k + 1);
        const PdfPage &page = pages[k];
        EXPECT_TRUE(page.HasLine({"NO.", "측정", "시간", "측정", "압력", "값"}));
        EXPECT_TRUE(page.HasLine({QString::number(k + 1), "/", "3"}));
        // Printed near full size (about 83 % for these five columns): a page shrunk to fit text spilling
        // beyond the last column prints the headings at less than half that height.
        const PdfWord *no = page.Find(QStringLiteral("NO."));
        ASSERT_NE(no, nullptr);
        EXPECT_GT(no->yMax - no->yMin, 6.0);
        EXPECT_LT(no->xMin, page.width * 0.15);
    }
    EXPECT_TRUE(pages[0].HasLine({"작성자", "명"}));
    EXPECT_FALSE(pages[1].HasLine({"작성자", "명"}));
    EXPECT_TRUE(pages[2].HasLine({"170", "2024-03-170", "10:00:00"})); // the last record
    // Nothing is printed in the right margin: the author's shrunk text stays inside its cell.
    for (const PdfPage &page : pages)
        for (const PdfWord &word : page.words)
            EXPECT_LT(word.xMax, page.width - 36) << word.text.toStdString();
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
