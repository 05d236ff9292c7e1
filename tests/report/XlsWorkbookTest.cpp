// Workbooks written by SaveExcelFile, read back with xlrd.

#include "XlsWorkbook.h"
#include "CSpreadSheet.h"
#include "XlrdReader.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <iterator>

#include <gtest/gtest.h>

using namespace grid;

namespace {

QJsonObject Read(const QString &path, int formatRows = 0)
{
    QString failure;
    QJsonObject book = ReadWithXlrd(path, formatRows, &failure);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    return book;
}

QString CellText(const QJsonObject &book, int row, int col)
{
    return book["texts"].toArray()[row].toArray()[col].toString();
}

QJsonObject FormatOf(const QJsonObject &book, int row, int col)
{
    return book["formats"].toObject()[QStringLiteral("%1,%2").arg(row).arg(col)].toObject();
}

QJsonArray RgbList(int r, int g, int b)
{
    return QJsonArray{r, g, b};
}

// Counts the records of one id in a BIFF stream.
int CountRecords(const QByteArray &stream, quint16 id)
{
    int n = 0;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 rid = qFromLittleEndian<quint16>(stream.constData() + at);
        const quint16 len = qFromLittleEndian<quint16>(stream.constData() + at + 2);
        n += rid == id;
        at += 4 + len;
    }
    return n;
}

// A long text with Hangul and Latin letters that differs per cell.
QString LongText(int row, int col, int length)
{
    QString s = QStringLiteral("측정%1-%2 ").arg(row).arg(col);
    while (s.size() < length)
        s += QStringLiteral("압력값톤KN");
    return s.left(length);
}

// Checks every EXTSST bucket against the SST: its stream position must hold the start of string
// k * stringsPerBucket, and its offset must count from the header of the record holding that string.
// Returns the number of buckets checked, or -1 at the first wrong one.
int CheckExtSst(const QByteArray &stream, const QStringList &uniqueStrings)
{
    struct Rec {
        qsizetype start;
        quint16 id, len;
    };
    QList<Rec> records;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const Rec r{at, qFromLittleEndian<quint16>(stream.constData() + at),
                    qFromLittleEndian<quint16>(stream.constData() + at + 2)};
        records.append(r);
        at += 4 + r.len;
    }
    const auto ext = std::find_if(records.begin(), records.end(), [](const Rec &r) { return r.id == 0x00FF; });
    if (ext == records.end())
        return -1;
    const char *body = stream.constData() + ext->start + 4;
    const int perBucket = qFromLittleEndian<quint16>(body);
    const int buckets = (ext->len - 2) / 8;
    for (int b = 0; b < buckets; ++b) {
        const quint32 pos = qFromLittleEndian<quint32>(body + 2 + 8 * b);
        const quint16 offset = qFromLittleEndian<quint16>(body + 6 + 8 * b);
        const auto holder = std::find_if(records.begin(), records.end(), [&](const Rec &r) {
            return qsizetype(pos) >= r.start + 4 && qsizetype(pos) < r.start + 4 + r.len;
        });
        if (holder == records.end() || (holder->id != 0x00FC && holder->id != 0x003C) ||
            qsizetype(pos) - holder->start != offset)
            return -1;
        const int length = qFromLittleEndian<quint16>(stream.constData() + pos);
        const bool wide = stream.at(pos + 3 - 1) & 1;
        const qsizetype end = holder->start + 4 + holder->len;
        QString start;
        for (qsizetype at = pos + 3; at < end && start.size() < length; at += wide ? 2 : 1)
            start += QChar(wide ? qFromLittleEndian<quint16>(stream.constData() + at) : quint8(stream.at(at)));
        if (start.isEmpty() || !uniqueStrings.at(b * perBucket).startsWith(start) ||
            uniqueStrings.at(b * perBucket).size() != length)
            return -1;
    }
    return buckets;
}

// Walks the SST and its CONTINUE records and counts the strings whose characters go on in the next record.
// -1 if a string's header or first character is split, or its remainder does not start with the flag byte.
int CountSplitStrings(const QByteArray &stream, int uniqueCount)
{
    QList<QByteArray> parts; // bodies of SST and the CONTINUE records after it
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 id = qFromLittleEndian<quint16>(stream.constData() + at);
        const quint16 len = qFromLittleEndian<quint16>(stream.constData() + at + 2);
        if (id == 0x00FC || (id == 0x003C && !parts.isEmpty()))
            parts.append(stream.mid(at + 4, len));
        else if (!parts.isEmpty())
            break;
        at += 4 + len;
    }
    int part = 0, splits = 0;
    qsizetype pos = 8;
    for (int i = 0; i < uniqueCount; ++i) {
        if (pos == parts[part].size()) {
            ++part;
            pos = 0;
        }
        const QByteArray &b = parts[part];
        if (pos + 3 >= b.size())
            return -1;
        int left = qFromLittleEndian<quint16>(b.constData() + pos);
        int charSize = (b.at(pos + 2) & 1) ? 2 : 1;
        pos += 3;
        while (true) {
            const int here = std::min<int>(left, (parts[part].size() - pos) / charSize);
            if (here == 0) // a header or flag byte without a character after it
                return -1;
            pos += here * charSize;
            left -= here;
            if (left == 0)
                break;
            if (pos != parts[part].size() || ++part >= parts.size())
                return -1;
            ++splits;
            const char flag = parts[part].at(0);
            if (flag != 0 && flag != 1)
                return -1;
            charSize = flag ? 2 : 1;
            pos = 1;
        }
    }
    return splits;
}

class XlsWorkbookTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString PathOf(const QString &name) const { return dir.filePath(name); }
};

TEST_F(XlsWorkbookTest, SmallReportSheetKeepsTextsJoinsSizesFontsFillsAndBorders)
{
    CSpreadSheet grid;
    grid.SetColumnCount(5);
    grid.SetRowCount(10);
    grid.SetCurrentColumn(kAll);
    grid.SetCurrentRow(kAll);
    grid.SetFontName(QStringLiteral("굴림체"));
    grid.SetFontSize(11);
    grid.SetHorizontalAlign(AlignHCenter);
    grid.SetVerticalAlign(AlignVCenter);
    grid.DrawBlockBorder(1, 1, 5, 6, EdgeAll, Rgb(0x12, 0x34, 0x56), BorderSolid);
    grid.SetCellTextIfChanged(1, 1, QStringLiteral("작성 일시"));
    grid.SetCellTextIfChanged(3, 1, QStringLiteral("2026-12-07 14:00:00"));
    grid.SetCellTextIfChanged(1, 8, QString(30, QChar(' ')) + QStringLiteral("저장 압력 확인 데이터"));
    grid.SetCellTextIfChanged(5, 8, QStringLiteral(" (단위: 톤)"));
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(1);
    grid.SetCellBackColor(Rgb(0x2D, 0x2D, 0x30)); // not in the standard palette
    grid.SetCellTextColor(Rgb(0xF1, 0xF1, 0xF1));
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(8);
    grid.SetFontBold(true);
    grid.SetFontName(QStringLiteral("Arial"));
    grid.SetHorizontalAlign(AlignLeft);
    ASSERT_TRUE(grid.JoinCells(1, 1, 2, 1));
    ASSERT_TRUE(grid.JoinCells(1, 8, 4, 1));
    const double widths[] = {6.0, 25.5, 26.12, 30.12, 25.75};
    for (int c = 1; c <= 5; ++c)
        grid.SetColumnWidth(c, widths[c - 1]);
    grid.SetRowHeight(8, 30.2);

    QString error;
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("report.xls"), QString(), 0, &error)) << error.toStdString();
    const QJsonObject book = Read(PathOf("report.xls"), 10);

    EXPECT_EQ(book["sheetname"].toString(), "Sheet1");
    EXPECT_EQ(book["nrows"].toInt(), 10);
    EXPECT_EQ(book["ncols"].toInt(), 5);
    EXPECT_EQ(CellText(book, 0, 0), QStringLiteral("작성 일시"));
    EXPECT_EQ(CellText(book, 0, 2), QStringLiteral("2026-12-07 14:00:00"));
    EXPECT_EQ(CellText(book, 7, 0), QString(30, QChar(' ')) + QStringLiteral("저장 압력 확인 데이터"));
    EXPECT_EQ(CellText(book, 7, 4), QStringLiteral(" (단위: 톤)"));

    const QJsonArray merged = book["merged"].toArray();
    ASSERT_EQ(merged.size(), 2);
    EXPECT_EQ(merged[0].toArray(), (QJsonArray{0, 1, 0, 2}));
    EXPECT_EQ(merged[1].toArray(), (QJsonArray{7, 8, 0, 4}));

    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(book["colwidths"].toObject()[QString::number(c)].toInt(), qRound(widths[c] * 256)) << c;
    EXPECT_EQ(book["rowheights"].toObject()["7"].toInt(), 604);
    EXPECT_EQ(book["rowheights"].toObject()["0"].toInt(), 300);

    const QJsonObject label = FormatOf(book, 0, 0);
    EXPECT_EQ(label["font"].toString(), QStringLiteral("굴림체"));
    EXPECT_EQ(label["height"].toInt(), 220);
    EXPECT_EQ(label["charset"].toInt(), 0x81);
    EXPECT_FALSE(label["bold"].toBool());
    EXPECT_EQ(label["fontcolor"].toArray(), RgbList(0xF1, 0xF1, 0xF1));
    EXPECT_EQ(label["pattern"].toInt(), 1);
    EXPECT_EQ(label["fill"].toArray(), RgbList(0x2D, 0x2D, 0x30));
    EXPECT_EQ(label["hor"].toInt(), 2);
    EXPECT_EQ(label["vert"].toInt(), 1);
    for (const char *side : {"left", "right", "top", "bottom"})
        EXPECT_EQ(label[side].toInt(), 1) << side;
    EXPECT_EQ(label["leftcolor"].toArray(), RgbList(0x12, 0x34, 0x56));

    const QJsonObject title = FormatOf(book, 7, 0);
    EXPECT_EQ(title["font"].toString(), "Arial");
    EXPECT_TRUE(title["bold"].toBool());
    EXPECT_EQ(title["charset"].toInt(), 0);
    EXPECT_EQ(title["hor"].toInt(), 1);
    EXPECT_EQ(title["pattern"].toInt(), 0);
    EXPECT_EQ(title["left"].toInt(), 0); // row 8 is outside the bordered block
    EXPECT_EQ(FormatOf(book, 5, 4)["bottom"].toInt(), 1);
}

TEST_F(XlsWorkbookTest, TenThousandRowsSpreadTheirStringsOverContinueRecords)
{
    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(10000);
    for (int r = 1; r <= 10000; ++r)
        for (int c = 1; c <= 6; ++c)
            grid.SetCellTextIfChanged(c, r, c == 1 ? QStringLiteral("1") : LongText(r, c, 20 + (r * 7 + c) % 90));
    // Latin-only strings too, stored with one byte a character.
    grid.SetCellTextIfChanged(2, 5000, QString(9000, QChar('x')));

    QString error;
    const QByteArray stream = xls::BuildWorkbookStream(*grid.Sheet(1), QStringLiteral("Data"), &error);
    EXPECT_GT(CountRecords(stream, 0x003C), 50); // CONTINUE
    QStringList unique;
    QSet<QString> seen;
    for (int r = 1; r <= 10000; ++r)
        for (int c = 1; c <= 6; ++c)
            if (!seen.contains(grid.text(c, r))) {
                seen.insert(grid.text(c, r));
                unique.append(grid.text(c, r));
            }
    EXPECT_EQ(CheckExtSst(stream, unique), 128);
    EXPECT_GT(CountSplitStrings(stream, static_cast<int>(unique.size())), 50);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("big.xls"), QStringLiteral("Data"), 0, &error)) << error.toStdString();

    const QJsonObject book = Read(PathOf("big.xls"));
    ASSERT_EQ(book["nrows"].toInt(), 10000);
    const QJsonArray texts = book["texts"].toArray();
    int mismatches = 0;
    for (int r = 1; r <= 10000; ++r) {
        const QJsonArray row = texts[r - 1].toArray();
        for (int c = 1; c <= 6; ++c)
            mismatches += row[c - 1].toString() != grid.text(c, r);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(CellText(book, 4999, 1).size(), 9000);
}

TEST_F(XlsWorkbookTest, WorkbookLargerThanTheFirstFatTableStillOpens)
{
    // More than 109 FAT sectors (7.2 MB) needs the extra FAT index sectors of the container.
    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(12000);
    for (int r = 1; r <= 12000; ++r)
        for (int c = 1; c <= 6; ++c)
            grid.SetCellTextIfChanged(c, r, LongText(r, c, 60));
    QString error;
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("huge.xls"), QString(), 0, &error)) << error.toStdString();
    EXPECT_GT(QFile(PathOf("huge.xls")).size(), 7200000);
    const QJsonObject book = Read(PathOf("huge.xls"));
    ASSERT_EQ(book["nrows"].toInt(), 12000);
    EXPECT_EQ(CellText(book, 11999, 5), LongText(12000, 6, 60));
    EXPECT_EQ(CellText(book, 0, 0), LongText(1, 1, 60));
}

TEST_F(XlsWorkbookTest, CustomColoursTakeUnusedPaletteEntriesThenTheNearestOne)
{
    // 70 distinct fills that the standard palette lacks: 56 get their own entry, the rest the nearest one.
    CSpreadSheet grid;
    grid.SetColumnCount(1);
    grid.SetRowCount(70);
    for (int r = 1; r <= 70; ++r) {
        grid.SetCurrentColumn(1);
        grid.SetCurrentRow(r);
        grid.SetCellBackColor(Rgb(3 * r, 100, 200 - r));
        grid.SetCellText(QString::number(r));
    }
    QString error;
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("colours.xls"), QString(), 0, &error));
    const QJsonObject book = Read(PathOf("colours.xls"), 70);
    int exact = 0;
    for (int r = 1; r <= 70; ++r) {
        const QJsonObject f = FormatOf(book, r - 1, 0);
        ASSERT_EQ(f["pattern"].toInt(), 1);
        const QJsonArray got = f["fill"].toArray();
        if (got == RgbList(3 * r, 100, 200 - r))
            ++exact;
        else // the nearest colour that has an entry: the one of row 16
            EXPECT_EQ(got, RgbList(48, 100, 184)) << r;
    }
    EXPECT_EQ(exact, 55); // 56 entries, one of them kept for the black text
}

TEST_F(XlsWorkbookTest, TinySheetIsPaddedOutOfTheContainersSmallBlocks)
{
    CSpreadSheet grid;
    grid.SetColumnCount(1);
    grid.SetRowCount(1);
    grid.SetCellTextIfChanged(1, 1, QStringLiteral("한"));
    QString error;
    EXPECT_GE(xls::BuildWorkbookStream(*grid.Sheet(1), QStringLiteral("S"), &error).size(), 4096);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("tiny.xls"), QString(), 0, &error));
    const QJsonObject book = Read(PathOf("tiny.xls"));
    EXPECT_EQ(book["nrows"].toInt(), 1);
    EXPECT_EQ(CellText(book, 0, 0), QStringLiteral("한"));
}

TEST_F(XlsWorkbookTest, ManyJoinsAreSplitOverSeveralMergeRecords)
{
    CSpreadSheet grid;
    grid.SetColumnCount(2);
    grid.SetRowCount(1500);
    for (int r = 1; r <= 1500; ++r) {
        grid.JoinCells(1, r, 2, 1);
        grid.SetCellTextIfChanged(1, r, QString::number(r));
    }
    QString error;
    const QByteArray stream = xls::BuildWorkbookStream(*grid.Sheet(1), QStringLiteral("S"), &error);
    EXPECT_EQ(CountRecords(stream, 0x00E5), 2);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("joins.xls"), QString(), 0, &error));
    const QJsonObject book = Read(PathOf("joins.xls"));
    EXPECT_EQ(book["merged"].toArray().size(), 1500);
    EXPECT_EQ(book["merged"].toArray()[1499].toArray(), (QJsonArray{1499, 1500, 0, 2}));
}

// Position of the first record of an id in the sheet's record list, -1 if none.
int RecordAt(const QJsonObject &page, int id)
{
    const QJsonArray records = page["records"].toArray();
    for (int i = 0; i < records.size(); ++i)
        if (records[i].toInt() == id)
            return i;
    return -1;
}

TEST_F(XlsWorkbookTest, PrintSettingsReadBackBeforeTheColumnRecords)
{
    CSpreadSheet grid;
    grid.SetColumnCount(3);
    grid.SetRowCount(2);
    grid.SetCellTextIfChanged(1, 1, QStringLiteral("인쇄"));
    QString error;

    // A sheet left at the default settings writes no page setup: the reader keeps its own.
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("plain.xls"), QString(), 0, &error)) << error.toStdString();
    const QJsonObject plainBook = Read(PathOf("plain.xls"));
    EXPECT_TRUE(plainBook["names"].toArray().isEmpty());
    const QJsonObject plain = plainBook["print"].toObject();
    for (int id : {0x0081, 0x0083, 0x0084, 0x0026, 0x00A1})
        EXPECT_EQ(RecordAt(plain, id), -1) << id;

    PrintSettings settings;
    settings.orientation = PageLandscape;
    settings.fitWidth = 2;
    settings.fitHeight = 3;
    settings.centerHorizontally = true;
    settings.marginLeft = 0.4;
    settings.marginRight = 0.6;
    settings.marginTop = 1.0;
    settings.marginBottom = 1.25;
    grid.SetPrintSettings(settings);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("landscape.xls"), QString(), 0, &error)) << error.toStdString();
    const QJsonObject book = Read(PathOf("landscape.xls"));
    EXPECT_EQ(CellText(book, 0, 0), QStringLiteral("인쇄"));
    const QJsonObject page = book["print"].toObject();
    EXPECT_TRUE(page["fit_to_pages"].toBool());
    EXPECT_EQ(page["paper_size_code"].toInt(), 9);
    EXPECT_EQ(page["fit_width_to_pages"].toInt(), 2);
    EXPECT_EQ(page["fit_height_to_pages"].toInt(), 3);
    EXPECT_FALSE(page["portrait"].toBool());
    EXPECT_FALSE(page["no_pls"].toBool()); // otherwise paper and orientation would be ignored
    EXPECT_FALSE(page["no_orient"].toBool());
    EXPECT_EQ(page["scale"].toInt(), 100);
    EXPECT_EQ(page["copies"].toInt(), 1);
    EXPECT_EQ(page["horz_center"].toInt(), 1);
    EXPECT_EQ(page["vert_center"].toInt(), 0);
    EXPECT_EQ(page["margins"].toObject(), (QJsonObject{{"left", 0.4}, {"right", 0.6}, {"top", 1.0}, {"bottom", 1.25}}));
    // Sheet options, then the page settings, then the column records and the dimensions.
    const int order[] = {0x0225, 0x0081, 0x0083, 0x0084, 0x0026, 0x0029, 0x00A1, 0x0055, 0x0200, 0x007D};
    for (int i = 1; i < int(std::size(order)); ++i)
        EXPECT_LT(RecordAt(page, order[i - 1]), RecordAt(page, order[i])) << std::hex << order[i];

    // Portrait at full size; values beyond what a workbook can hold are brought into range.
    settings = PrintSettings{};
    settings.orientation = 7;
    settings.fitWidth = -3;
    settings.fitHeight = 0;
    settings.centerHorizontally = true;
    settings.marginLeft = std::nan("");
    grid.SetPrintSettings(settings);
    EXPECT_EQ(grid.GetPrintSettings().orientation, PagePortrait);
    EXPECT_EQ(grid.GetPrintSettings().marginLeft, -1);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("portrait.xls"), QString(), 0, &error)) << error.toStdString();
    QJsonObject portrait = Read(PathOf("portrait.xls"))["print"].toObject();
    EXPECT_FALSE(portrait["fit_to_pages"].toBool());
    EXPECT_TRUE(portrait["portrait"].toBool());
    EXPECT_EQ(portrait["fit_width_to_pages"].toInt(), 0);
    EXPECT_TRUE(portrait["margins"].toObject().isEmpty());

    settings.fitWidth = 40000;
    grid.SetPrintSettings(settings);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("wide.xls"), QString(), 0, &error)) << error.toStdString();
    portrait = Read(PathOf("wide.xls"))["print"].toObject();
    EXPECT_TRUE(portrait["fit_to_pages"].toBool());
    EXPECT_EQ(portrait["fit_width_to_pages"].toInt(), 32767);
}

TEST_F(XlsWorkbookTest, RefusedOrFailedSavesSayWhyAndLeaveTheTargetAlone)
{
    const QString target = PathOf("kept.xls");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("previous workbook");
    }
    CSpreadSheet grid;
    QString error;

    grid.SetColumnCount(257);
    EXPECT_FALSE(grid.SaveExcelFile(target, QString(), 0, &error));
    EXPECT_TRUE(error.contains("257")) << error.toStdString();

    grid.SetColumnCount(3);
    grid.SetRowCount(65537);
    error.clear();
    EXPECT_FALSE(grid.SaveExcelFile(target, QString(), 0, &error));
    EXPECT_TRUE(error.contains("65537")) << error.toStdString();

    grid.SetRowCount(65536); // the largest sheet the format takes
    grid.SetCellTextIfChanged(3, 65536, QStringLiteral("끝"));
    EXPECT_TRUE(grid.SaveExcelFile(PathOf("full.xls"), QString(), 0, &error)) << error.toStdString();
    EXPECT_EQ(CellText(Read(PathOf("full.xls")), 65535, 2), QStringLiteral("끝"));

    error.clear();
    EXPECT_FALSE(grid.SaveExcelFile(target, QStringLiteral("a/b"), 0, &error));
    EXPECT_FALSE(error.isEmpty());

    error.clear();
    EXPECT_FALSE(grid.SaveExcelFile(dir.filePath("missing/dir/x.xls"), QString(), 0, &error));
    EXPECT_FALSE(error.isEmpty());

    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("previous workbook"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary files left behind
}

// Cells of the number type hold numbers in the workbook when their text is a plain whole number.
TEST_F(XlsWorkbookTest, NumberCellsHoldWholeNumbersAndOtherTextsStayTexts)
{
    CSpreadSheet grid;
    grid.SetColumnCount(2);
    const QStringList texts{"1", "-3", "536870912", "9007199254740993", "007", "1.5", "-", " 4"};
    grid.SetRowCount(static_cast<int>(texts.size()));
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(kAll);
    grid.SetCellType(CellNumber);
    for (int i = 0; i < texts.size(); ++i) {
        grid.SetCellTextIfChanged(1, i + 1, texts[i]);
        grid.SetCellTextIfChanged(2, i + 1, texts[i]); // a text cell keeps even "1" a text
    }
    QString error;
    const QByteArray stream = xls::BuildWorkbookStream(*grid.Sheet(1), QStringLiteral("S"), &error);
    EXPECT_EQ(CountRecords(stream, 0x027E), 2); // RK: 1 and -3
    EXPECT_EQ(CountRecords(stream, 0x0203), 1); // NUMBER: 2^29 does not fit the 30 bits of an RK
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("numbers.xls"), QString(), 0, &error)) << error.toStdString();

    const QJsonObject book = Read(PathOf("numbers.xls"));
    const QJsonArray values = book["texts"].toArray();
    const QJsonArray types = book["types"].toArray();
    const double numbers[] = {1, -3, 536870912};
    for (int r = 0; r < texts.size(); ++r) {
        SCOPED_TRACE(texts[r].toStdString());
        const QJsonValue value = values[r].toArray()[0];
        if (r < 3) {
            EXPECT_EQ(types[r].toArray()[0].toInt(), 2);
            EXPECT_EQ(value.toDouble(), numbers[r]);
        } else { // too large to be exact, a leading zero, a fraction, a dash, a space: shown as typed
            EXPECT_EQ(types[r].toArray()[0].toInt(), 1);
            EXPECT_EQ(value.toString(), texts[r]);
        }
        EXPECT_EQ(types[r].toArray()[1].toInt(), 1);
        EXPECT_EQ(CellText(book, r, 1), texts[r]);
    }
}

// Readers decode each record's part of a string on its own and refuse half a surrogate pair.
TEST_F(XlsWorkbookTest, TextsAreNeverCutInsideASurrogatePair)
{
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const QChar han(0xD55C);
    // 8 bytes of SST counts and 3 + 2 x 4104 bytes of this string leave 5 bytes of the first record: room for
    // the next string's header and one unit, not for the pair it starts with.
    const QString fillsFirstRecord = emoji + QString(4102, han);
    const QString startsWithPair = emoji + QStringLiteral("끝");
    // One Hangul syllable, then pairs: a record holding an even number of its units ends inside a pair.
    QString oddPairs = QString(han);
    while (oddPairs.size() < 20000)
        oddPairs += emoji;
    // Longer than a cell may be, with a pair across the cut.
    const QString overLimit = QString(32766, han) + emoji + QStringLiteral("끝");

    CSpreadSheet grid;
    grid.SetColumnCount(1);
    grid.SetRowCount(4);
    const QStringList texts{fillsFirstRecord, startsWithPair, oddPairs, overLimit};
    for (int r = 1; r <= 4; ++r)
        grid.SetCellTextIfChanged(1, r, texts[r - 1]);
    QString error;
    const QByteArray stream = xls::BuildWorkbookStream(*grid.Sheet(1), QStringLiteral("S"), &error);
    EXPECT_GE(CountSplitStrings(stream, 4), 3);
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("pairs.xls"), QString(), 0, &error)) << error.toStdString();

    const QJsonObject book = Read(PathOf("pairs.xls"));
    ASSERT_EQ(book["nrows"].toInt(), 4);
    EXPECT_EQ(CellText(book, 0, 0), fillsFirstRecord);
    EXPECT_EQ(CellText(book, 1, 0), startsWithPair);
    EXPECT_EQ(CellText(book, 2, 0), oddPairs);
    EXPECT_EQ(CellText(book, 3, 0), overLimit.left(32766));

    EXPECT_EQ(xls::LeftWholeCharacters(QStringLiteral("ab") + emoji, 3), QStringLiteral("ab"));
    EXPECT_EQ(xls::LeftWholeCharacters(QStringLiteral("ab") + emoji, 4), QStringLiteral("ab") + emoji);
}

TEST_F(XlsWorkbookTest, PrintTitlesFooterAndShrinkToFitReadBack)
{
    CSpreadSheet grid;
    grid.SetColumnCount(3);
    grid.SetRowCount(40);
    grid.SetCellTextIfChanged(1, 1, QStringLiteral("제목"));
    grid.SetCurrentColumn(2);
    grid.SetCurrentRow(1);
    grid.SetShrinkToFit(true);
    grid.SetCellTextIfChanged(2, 1, QStringLiteral("셀보다 훨씬 긴 작성자 이름"));
    PrintSettings settings;
    settings.fitWidth = 1;
    settings.titleFirstRow = 2;
    settings.titleLastRow = 3;
    settings.footer = QStringLiteral("&C페이지 &P / &N");
    grid.SetPrintSettings(settings);
    QString error;
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("titles.xls"), QString(), 0, &error)) << error.toStdString();

    QJsonObject book = Read(PathOf("titles.xls"), 1);
    EXPECT_TRUE(FormatOf(book, 0, 1)["shrink"].toBool());
    EXPECT_FALSE(FormatOf(book, 0, 0)["shrink"].toBool());
    // A sheet fitted to pages prints its own cells only, whatever spills past them; rows 2 and 3 head every page.
    const QJsonArray names = book["names"].toArray();
    ASSERT_EQ(names.size(), 2);
    for (const QJsonValue &name : names) {
        EXPECT_EQ(name["builtin"].toInt(), 1);
        EXPECT_EQ(name["scope"].toInt(), 0);
    }
    EXPECT_EQ(names[0]["name"].toString(), "Print_Area");
    EXPECT_EQ(names[0]["area"].toArray(), (QJsonArray{0, 1, 0, 40, 0, 3}));
    EXPECT_EQ(names[1]["name"].toString(), "Print_Titles");
    EXPECT_EQ(names[1]["area"].toArray(), (QJsonArray{0, 1, 1, 3, 0, 256}));
    QJsonObject page = book["print"].toObject();
    EXPECT_EQ(page["footer"].toString(), QStringLiteral("&C페이지 &P / &N"));
    EXPECT_EQ(page["header"].toString(), "&C");
    const int order[] = {0x0081, 0x0014, 0x0015, 0x0083, 0x00A1};
    for (int i = 1; i < int(std::size(order)); ++i)
        EXPECT_LT(RecordAt(page, order[i - 1]), RecordAt(page, order[i])) << std::hex << order[i];

    // Title rows in the wrong order or beyond a workbook's rows mean none; a long footer keeps whole characters.
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    settings.titleFirstRow = 5;
    settings.titleLastRow = 4;
    settings.footer = QString(254, QChar('a')) + emoji;
    grid.SetPrintSettings(settings);
    EXPECT_FALSE(grid.GetPrintSettings().HasTitleRows());
    EXPECT_EQ(grid.GetPrintSettings().footer, QString(254, QChar('a')));
    settings.titleFirstRow = 1;
    settings.titleLastRow = 65537;
    grid.SetPrintSettings(settings);
    EXPECT_FALSE(grid.GetPrintSettings().HasTitleRows());
    ASSERT_TRUE(grid.SaveExcelFile(PathOf("untitled.xls"), QString(), 0, &error)) << error.toStdString();
    book = Read(PathOf("untitled.xls"));
    ASSERT_EQ(book["names"].toArray().size(), 1);
    EXPECT_EQ(book["names"][0]["name"].toString(), "Print_Area");
    EXPECT_EQ(book["print"].toObject()["footer"].toString(), QString(254, QChar('a')));
}

} // namespace
