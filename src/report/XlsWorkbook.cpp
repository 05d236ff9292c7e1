#include "XlsWorkbook.h"

#include "CompoundFile.h"
#include "XlsPalette.h"

#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>

namespace xls {

namespace {

using grid::CellFormat;
using grid::GridSheet;

// Record identifiers.
enum : quint16 {
    kBof = 0x0809,
    kEof = 0x000A,
    kCodePage = 0x0042,
    kWindow1 = 0x003D,
    kDateMode = 0x0022,
    kFont = 0x0031,
    kXf = 0x00E0,
    kStyle = 0x0293,
    kPalette = 0x0092,
    kBoundSheet = 0x0085,
    kSst = 0x00FC,
    kContinue = 0x003C,
    kExtSst = 0x00FF,
    kDefColWidth = 0x0055,
    kDefaultRowHeight = 0x0225,
    kDimensions = 0x0200,
    kColInfo = 0x007D,
    kRow = 0x0208,
    kLabelSst = 0x00FD,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kRk = 0x027E,
    kSupBook = 0x01AE,
    kExternSheet = 0x0017,
    kName = 0x0018,
    kHeader = 0x0014,
    kFooter = 0x0015,
    kWindow2 = 0x023E,
    kMergedCells = 0x00E5,
    kWsBool = 0x0081,
    kHCenter = 0x0083,
    kVCenter = 0x0084,
    kLeftMargin = 0x0026,
    kRightMargin = 0x0027,
    kTopMargin = 0x0028,
    kBottomMargin = 0x0029,
    kSetup = 0x00A1,
};

constexpr int kMaxRecordData = 8224;  // bytes of data one record may carry
constexpr int kMaxTextLength = 32767; // characters of one cell's text
constexpr int kMaxMergesPerRecord = 1026;
constexpr int kStyleXfCount = 15; // XF 0..14 are style XFs
constexpr int kDefaultCellXf = 15;
constexpr int kFirstCellXf = 16;
constexpr int kMaxXfs = 4050;
constexpr int kColorAuto = 0x7FFF;     // font colour "automatic"
constexpr int kDefaultFontTwips = 200; // Arial 10, the workbook's standard font
constexpr int kRowsPerBlock = 32;
constexpr int kMinStreamSize = 4096;
constexpr int kPaperA4 = 9;
constexpr int kBuiltinPrintArea = 0x06; // codes of built-in names
constexpr int kBuiltinPrintTitles = 0x07;
constexpr qint64 kMaxRkInteger = (1 << 29) - 1;
constexpr qint64 kMaxExactInteger = qint64(1) << 53; // larger whole numbers lose digits in a double

class Bytes {
  public:
    void U8(int v) { m_data.append(static_cast<char>(v & 0xFF)); }
    void U16(int v)
    {
        char b[2];
        qToLittleEndian<quint16>(static_cast<quint16>(v), b);
        m_data.append(b, 2);
    }
    void U32(quint32 v)
    {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        m_data.append(b, 4);
    }
    void F64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        char b[8];
        qToLittleEndian<quint64>(bits, b);
        m_data.append(b, 8);
    }
    void Raw(const QByteArray &b) { m_data.append(b); }
    const QByteArray &Data() const { return m_data; }
    int Size() const { return static_cast<int>(m_data.size()); }

  private:
    QByteArray m_data;
};

class Stream {
  public:
    void Record(quint16 id, const QByteArray &body)
    {
        Q_ASSERT(body.size() <= kMaxRecordData);
        Bytes header;
        header.U16(id);
        header.U16(static_cast<int>(body.size()));
        m_data.append(header.Data());
        m_data.append(body);
    }
    void Record(quint16 id, const Bytes &body) { Record(id, body.Data()); }
    qsizetype Size() const { return m_data.size(); }
    QByteArray &Data() { return m_data; }

  private:
    QByteArray m_data;
};

bool IsLatin1(const QString &s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

void AppendChars(QByteArray &out, const QString &s, int from, int count, bool wide)
{
    for (int i = from; i < from + count; ++i) {
        const ushort u = s.at(i).unicode();
        out.append(static_cast<char>(u & 0xFF));
        if (wide)
            out.append(static_cast<char>(u >> 8));
    }
}

// How many of the n UTF-16 units from `from` go together without parting a surrogate pair.
int WholeUnits(const QString &s, int from, int n)
{
    const int end = from + n;
    if (n > 0 && end < s.size() && s.at(end - 1).isHighSurrogate() && s.at(end).isLowSurrogate())
        return n - 1;
    return n;
}

// A short string with a one-byte length (sheet and font names).
QByteArray ShortString(const QString &s)
{
    const QString t = LeftWholeCharacters(s, 255);
    const bool wide = !IsLatin1(t);
    QByteArray out;
    out.append(static_cast<char>(t.size()));
    out.append(static_cast<char>(wide ? 1 : 0));
    AppendChars(out, t, 0, static_cast<int>(t.size()), wide);
    return out;
}

// A string with a two-byte length (header and footer).
QByteArray LongString(const QString &s)
{
    const bool wide = !IsLatin1(s);
    QByteArray out;
    out.append(static_cast<char>(s.size() & 0xFF));
    out.append(static_cast<char>(s.size() >> 8));
    out.append(static_cast<char>(wide ? 1 : 0));
    AppendChars(out, s, 0, static_cast<int>(s.size()), wide);
    return out;
}

QByteArray BofBody(int kind)
{
    Bytes b;
    b.U16(0x0600); // BIFF8
    b.U16(kind);
    b.U16(0x0DBB); // build
    b.U16(0x07CC); // year
    b.U32(0x00000041);
    b.U32(0x00000006);
    return b.Data();
}

// ---------------------------------------------------------------------------------------------------------
// Shared strings: SST split over CONTINUE records, and EXTSST pointing into it.

class SharedStrings {
  public:
    int Add(const QString &s)
    {
        ++m_total;
        auto it = m_index.constFind(s);
        if (it != m_index.constEnd())
            return it.value();
        const int index = static_cast<int>(m_strings.size());
        m_index.insert(s, index);
        m_strings.append(s);
        return index;
    }

    // Appends SST (+ CONTINUE) and EXTSST to the stream.
    void Write(Stream &stream) const
    {
        const int perBucket = std::max(8, static_cast<int>((m_strings.size() + 127) / 128));
        struct Bucket {
            quint32 streamPos;
            int recordOffset;
        };
        QList<Bucket> buckets;

        QByteArray record;
        quint16 recordId = kSst;
        qsizetype recordStart = stream.Size(); // where the current record's header will go
        Bytes head;
        head.U32(static_cast<quint32>(m_total));
        head.U32(static_cast<quint32>(m_strings.size()));
        record = head.Data();

        auto flush = [&] {
            stream.Record(recordId, record);
            record.clear();
            recordId = kContinue;
            recordStart = stream.Size();
        };

        for (int i = 0; i < m_strings.size(); ++i) {
            const QString &s = m_strings.at(i);
            const bool wide = !IsLatin1(s);
            const int charSize = wide ? 2 : 1;
            // The length, the flags and the first character (both halves of a surrogate pair) always stay
            // together in one record.
            const int firstUnits = s.size() >= 2 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate() ? 2 : 1;
            if (kMaxRecordData - record.size() < 3 + charSize * firstUnits)
                flush();
            if (i % perBucket == 0)
                buckets.append(
                    {static_cast<quint32>(recordStart + 4 + record.size()), static_cast<int>(4 + record.size())});
            Bytes h;
            h.U16(static_cast<int>(s.size()));
            h.U8(wide ? 1 : 0);
            record.append(h.Data());
            int done = 0;
            const int length = static_cast<int>(s.size());
            while (true) {
                const int room = static_cast<int>((kMaxRecordData - record.size()) / charSize);
                // Readers decode each record's part on its own, so a pair must not be parted between two.
                const int n = WholeUnits(s, done, std::min(room, length - done));
                AppendChars(record, s, done, n, wide);
                done += n;
                if (done >= length)
                    break;
                // The rest of the string goes on in a CONTINUE record that opens with the character-size flag.
                flush();
                record.append(static_cast<char>(wide ? 1 : 0));
            }
        }
        flush();

        Bytes ext;
        ext.U16(perBucket);
        for (const Bucket &b : buckets) {
            ext.U32(b.streamPos);
            ext.U16(b.recordOffset);
            ext.U16(0);
        }
        stream.Record(kExtSst, ext);
    }

  private:
    QHash<QString, int> m_index;
    QList<QString> m_strings;
    int m_total = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Fonts and cell formats

struct FontKey {
    QString name;
    int twips;
    bool bold;
    int color; // palette index
    bool operator<(const FontKey &o) const
    {
        return std::tie(name, twips, bold, color) < std::tie(o.name, o.twips, o.bold, o.color);
    }
};

struct XfKey {
    int font;
    int hAlign, vAlign;
    int lineStyle[4]; // left, right, top, bottom (BIFF styles)
    int lineColor[4];
    int fill; // palette index, 0 for none
    bool locked;
    bool shrink;
    bool operator<(const XfKey &o) const
    {
        return std::tie(font, hAlign, vAlign, lineStyle[0], lineStyle[1], lineStyle[2], lineStyle[3], lineColor[0],
                        lineColor[1], lineColor[2], lineColor[3], fill, locked, shrink) <
               std::tie(o.font, o.hAlign, o.vAlign, o.lineStyle[0], o.lineStyle[1], o.lineStyle[2], o.lineStyle[3],
                        o.lineColor[0], o.lineColor[1], o.lineColor[2], o.lineColor[3], o.fill, o.locked, o.shrink);
    }
};

int BiffLineStyle(int gridStyle)
{
    switch (gridStyle) {
    case grid::BorderSolid: return 1; // thin
    case grid::BorderDash: return 3;
    case grid::BorderDot: return 4;
    case grid::BorderDashDot: return 9;
    default: return 0;
    }
}

int BiffHAlign(int a)
{
    switch (a) {
    case grid::AlignRight: return 3;
    case grid::AlignHCenter: return 2;
    default: return 1;
    }
}

int BiffVAlign(int a)
{
    switch (a) {
    case grid::AlignTop: return 0;
    case grid::AlignVCenter: return 1;
    default: return 2;
    }
}

class FormatTable {
  public:
    explicit FormatTable(XlsPalette &palette) : m_palette(palette) {}

    void Register(const CellFormat &f)
    {
        m_palette.Use(f.textColor);
        if (f.backColorSet)
            m_palette.Use(f.backColor);
        for (const grid::BorderLine *l : {&f.left, &f.right, &f.top, &f.bottom})
            if (l->style != grid::BorderNone)
                m_palette.Use(l->color);
    }

    // XF index of a cell format (after the palette is assigned); kDefaultCellXf for the plain format.
    // -1 when the workbook would need more formats than Excel allows.
    int XfOf(const CellFormat &f)
    {
        XfKey key{};
        key.font = FontOf(f);
        key.hAlign = BiffHAlign(f.hAlign);
        key.vAlign = BiffVAlign(f.vAlign);
        const grid::BorderLine *lines[4] = {&f.left, &f.right, &f.top, &f.bottom};
        for (int i = 0; i < 4; ++i) {
            key.lineStyle[i] = BiffLineStyle(lines[i]->style);
            key.lineColor[i] = key.lineStyle[i] ? m_palette.IndexOf(lines[i]->color) : 0;
        }
        key.fill = f.backColorSet ? m_palette.IndexOf(f.backColor) : 0;
        key.locked = f.locked;
        key.shrink = f.shrinkToFit;
        if (key.font == 0 && key.hAlign == 1 && key.vAlign == 2 && key.fill == 0 && !key.shrink &&
            std::all_of(key.lineStyle, key.lineStyle + 4, [](int s) { return s == 0; }))
            return kDefaultCellXf;
        auto it = m_xfs.find(key);
        if (it != m_xfs.end())
            return it->second;
        if (kFirstCellXf + static_cast<int>(m_xfOrder.size()) >= kMaxXfs)
            return -1;
        const int index = kFirstCellXf + static_cast<int>(m_xfOrder.size());
        m_xfs.emplace(key, index);
        m_xfOrder.push_back(key);
        return index;
    }

    void WriteFonts(Stream &stream) const
    {
        const QByteArray standard = FontBody(FontKey{QStringLiteral("Arial"), kDefaultFontTwips, false, kColorAuto});
        for (int i = 0; i < 4; ++i)
            stream.Record(kFont, standard);
        for (const FontKey &k : m_fontOrder)
            stream.Record(kFont, FontBody(k));
    }

    void WriteXfs(Stream &stream) const
    {
        for (int i = 0; i < kStyleXfCount; ++i)
            stream.Record(kXf, XfBody(XfKey{0, 0, 2, {}, {}, 0, true, false}, true, i == 0 ? 0 : 0xF4));
        stream.Record(kXf, XfBody(XfKey{0, 0, 2, {}, {}, 0, true, false}, false, 0));
        for (const XfKey &k : m_xfOrder)
            stream.Record(kXf, XfBody(k, false, 0xFC));
    }

  private:
    // Font index; 0 is the standard font. Index 4 does not exist in a workbook, so fonts we add start at 5.
    int FontOf(const CellFormat &f)
    {
        const int twips = std::clamp(static_cast<int>(std::lround(f.fontSize * 20)), 20, 8180);
        const int color = m_palette.IndexOf(f.textColor);
        const QString name = f.fontName.isEmpty() ? QStringLiteral("Arial") : f.fontName;
        // Black text in the standard face is the standard font.
        if (name == QLatin1String("Arial") && twips == kDefaultFontTwips && !f.fontBold &&
            (f.textColor & 0xFFFFFF) == 0)
            return 0;
        const FontKey key{name, twips, f.fontBold, color};
        auto it = m_fonts.find(key);
        if (it != m_fonts.end())
            return it->second;
        const int index = 5 + static_cast<int>(m_fontOrder.size());
        m_fonts.emplace(key, index);
        m_fontOrder.push_back(key);
        return index;
    }

    static QByteArray FontBody(const FontKey &k)
    {
        Bytes b;
        b.U16(k.twips);
        b.U16(k.bold ? 0x0001 : 0); // older readers take bit 0 for bold; not italic, not struck out
        b.U16(k.color);
        b.U16(k.bold ? 700 : 400);
        b.U16(0); // no super- or subscript
        b.U8(0);  // no underline
        b.U8(0);  // family not given
        b.U8(IsHangulFace(k.name) ? 0x81 : 0x00);
        b.U8(0);
        b.Raw(ShortString(k.name));
        return b.Data();
    }

    static QByteArray XfBody(const XfKey &k, bool style, int usedAttributes)
    {
        Bytes b;
        b.U16(k.font);
        b.U16(0); // number format "General"
        // Protection and parent: style XFs have the parent 0xFFF, cell XFs the Normal style 0.
        b.U16((k.locked ? 0x0001 : 0) | (style ? 0xFFF4 : 0x0000));
        b.U8(k.hAlign | (k.vAlign << 4));
        b.U8(0);                   // no rotation
        b.U8(k.shrink ? 0x10 : 0); // no indent; shrink to fit
        b.U8(usedAttributes);
        quint32 lines = static_cast<quint32>(k.lineStyle[0] | (k.lineStyle[1] << 4) | (k.lineStyle[2] << 8) |
                                             (k.lineStyle[3] << 12));
        lines |= static_cast<quint32>(k.lineColor[0] & 0x7F) << 16;
        lines |= static_cast<quint32>(k.lineColor[1] & 0x7F) << 23;
        b.U32(lines);
        quint32 more = static_cast<quint32>(k.lineColor[2] & 0x7F) | static_cast<quint32>(k.lineColor[3] & 0x7F) << 7;
        if (k.fill)
            more |= 1u << 26; // solid pattern
        b.U32(more);
        b.U16(k.fill ? (k.fill | (0x41 << 7)) : (0x40 | (0x41 << 7)));
        return b.Data();
    }

    XlsPalette &m_palette;
    std::map<FontKey, int> m_fonts;
    std::vector<FontKey> m_fontOrder;
    std::map<XfKey, int> m_xfs;
    std::vector<XfKey> m_xfOrder;
};

QString CheckSheetName(const QString &name)
{
    if (name.size() > 31)
        return QStringLiteral("시트 이름은 31자를 넘을 수 없습니다.");
    for (QChar c : name)
        if (QStringLiteral("[]:*?/\\").contains(c))
            return QStringLiteral("시트 이름에 쓸 수 없는 문자가 있습니다: %1").arg(c);
    return {};
}

// What a cell puts into the workbook: its text, or a button's caption when it has none.
QString CellOutputText(const GridSheet &sheet, int col, int row, const CellFormat &f)
{
    const QString text = sheet.Text(col, row);
    if (text.isEmpty() && f.cellType == grid::CellButton)
        return f.buttonCaption;
    return text;
}

// The sheet's print settings: WSBOOL (whether the printout is fitted to pages) and the page settings block.
// A sheet with the default settings writes none of them, so readers keep their own defaults.
void WritePrintSettings(Stream &s, const grid::PrintSettings &p)
{
    if (p == grid::PrintSettings{})
        return;
    {
        Bytes b;
        // Excel's usual sheet options (automatic page breaks shown, outline summaries below and right, row
        // outline symbols), plus "fit printout to pages" instead of a percentage.
        b.U16(0x04C1 | (p.FitsToPages() ? 0x0100 : 0));
        s.Record(kWsBool, b);
    }
    // An empty centre section rather than no header at all: some readers print their own default header
    // (the sheet's name) when the record is empty.
    s.Record(kHeader, LongString(QStringLiteral("&C")));
    s.Record(kFooter, p.footer.isEmpty() ? QByteArray() : LongString(p.footer));
    for (const auto &[id, on] : {std::pair{kHCenter, p.centerHorizontally}, {kVCenter, false}}) {
        Bytes b;
        b.U16(on ? 1 : 0);
        s.Record(id, b);
    }
    for (const auto &[id, inches] : {std::pair{kLeftMargin, p.marginLeft},
                                     {kRightMargin, p.marginRight},
                                     {kTopMargin, p.marginTop},
                                     {kBottomMargin, p.marginBottom}}) {
        if (inches < 0)
            continue;
        Bytes b;
        b.F64(inches);
        s.Record(id, b);
    }
    Bytes b;
    b.U16(kPaperA4);
    b.U16(100); // percentage, used only when not fitting to pages
    b.U16(1);   // first page number
    b.U16(p.fitWidth);
    b.U16(p.fitHeight);
    // Pages down, then over; bit 1 set: portrait. fNoPls (bit 2) and fNoOrient (bit 6) stay clear: paper,
    // scale, orientation, resolution and copies above and below are meant to be read.
    b.U16(p.orientation == grid::PageLandscape ? 0x0000 : 0x0002);
    b.U16(600); // print resolution, dots per inch
    b.U16(600);
    b.F64(0.3); // header and footer margins, inches
    b.F64(0.3);
    b.U16(1); // copies
    s.Record(kSetup, b);
}

// A built-in name of the first sheet naming a rectangle of it: rows and columns from 1, inclusive.
void WriteBuiltinName(Stream &s, int code, int firstRow, int lastRow, int firstCol, int lastCol)
{
    Bytes formula;
    formula.U8(0x3B); // a rectangle of one sheet, absolute references
    formula.U16(0);   // EXTERNSHEET reference
    formula.U16(firstRow - 1);
    formula.U16(lastRow - 1);
    formula.U16(firstCol - 1);
    formula.U16(lastCol - 1);
    Bytes b;
    b.U16(0x0020); // built-in name
    b.U8(0);       // no keyboard shortcut
    b.U8(1);       // a built-in name is one code
    b.U16(formula.Size());
    b.U16(0);
    b.U16(1); // belongs to the first sheet
    b.U32(0); // no menu, description, help or status bar texts
    b.U8(0);  // the name's code, one byte a character
    b.U8(code);
    b.Raw(formula.Data());
    s.Record(kName, b);
}

// The sheet's built-in names, which point into it through the workbook's own sheet list (SUPBOOK,
// EXTERNSHEET). Print_Area: a sheet fitted to pages prints its own columns and rows only; a reader that
// chooses the printed area itself takes in texts spilling past the last column and then shrinks the whole
// page to fit them. Print_Titles: the rows printed at the top of every page.
void WriteNames(Stream &s, const grid::PrintSettings &p, int rows, int cols)
{
    const bool printArea = p.FitsToPages() && rows > 0 && cols > 0;
    if (!printArea && !p.HasTitleRows())
        return;
    {
        Bytes b;
        b.U16(1);      // sheets in this workbook
        b.U16(0x0401); // the workbook itself, not an external one
        s.Record(kSupBook, b);
    }
    {
        Bytes b;
        b.U16(1); // one reference: the first sheet of the workbook above
        b.U16(0);
        b.U16(0);
        b.U16(0);
        s.Record(kExternSheet, b);
    }
    if (printArea)
        WriteBuiltinName(s, kBuiltinPrintArea, 1, rows, 1, cols);
    if (p.HasTitleRows())
        WriteBuiltinName(s, kBuiltinPrintTitles, p.titleFirstRow, p.titleLastRow, 1, kMaxColumns);
}

// The value a number cell puts into the workbook: its text when that is a whole number written plainly
// ("12", "-3"), which a spreadsheet shows exactly as the text. Any other text stays a text.
std::optional<qint64> WholeNumberOf(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || QString::number(value) != text || value > kMaxExactInteger || value < -kMaxExactInteger)
        return std::nullopt;
    return value;
}

} // namespace

QString LeftWholeCharacters(const QString &s, int n)
{
    if (n >= s.size())
        return s;
    return s.left(WholeUnits(s, 0, std::max(0, n)));
}

bool IsHangulFace(const QString &face)
{
    for (QChar c : face) {
        const ushort u = c.unicode();
        if ((u >= 0xAC00 && u <= 0xD7A3) || (u >= 0x1100 && u <= 0x11FF) || (u >= 0x3130 && u <= 0x318F))
            return true;
    }
    static const QStringList latinNames = {QStringLiteral("Gulim"),         QStringLiteral("GulimChe"),
                                           QStringLiteral("Dotum"),         QStringLiteral("DotumChe"),
                                           QStringLiteral("Batang"),        QStringLiteral("BatangChe"),
                                           QStringLiteral("Gungsuh"),       QStringLiteral("GungsuhChe"),
                                           QStringLiteral("Malgun Gothic"), QStringLiteral("New Gulim")};
    return latinNames.contains(face, Qt::CaseInsensitive) ||
           face.startsWith(QLatin1String("Nanum"), Qt::CaseInsensitive);
}

namespace {

// Why the sheet cannot be written as a workbook, or an empty text.
QString SheetProblem(const GridSheet &sheet, const QString &sheetName)
{
    const int rows = sheet.RowCount();
    const int cols = sheet.ColumnCount();
    if (rows > kMaxRows || cols > kMaxColumns)
        return QStringLiteral("시트가 너무 커서 엑셀 97-2003 파일로 저장할 수 없습니다: %1행 %2열 (최대 %3행 %4열)")
            .arg(rows)
            .arg(cols)
            .arg(kMaxRows)
            .arg(kMaxColumns);
    return CheckSheetName(sheetName);
}

// A cell as the workbook gets it.
struct OutCell {
    int col;
    int xf;
    enum Kind { Blank, Label, Number } kind;
    int sst;       // Label: shared string index
    qint64 number; // Number
};
using OutRows = std::vector<std::vector<OutCell>>;

// Each cell's XF and shared string, row by row; cells without text in the default XF are left out.
// False when the sheet needs more XFs than a workbook holds.
bool CollectCells(const GridSheet &sheet, FormatTable &formats, SharedStrings &strings, OutRows &rowCells)
{
    const int rows = sheet.RowCount();
    const int cols = sheet.ColumnCount();
    rowCells.assign(static_cast<size_t>(rows), {});
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const CellFormat f = sheet.Format(c, r);
            const int xf = formats.XfOf(f);
            if (xf < 0)
                return false;
            const auto span = sheet.SpanAt(c, r);
            const bool covered = span && (span->col != c || span->row != r);
            const QString text = covered ? QString() : CellOutputText(sheet, c, r, f);
            const auto number = f.cellType == grid::CellNumber ? WholeNumberOf(text) : std::nullopt;
            if (number)
                rowCells[r - 1].push_back({c, xf, OutCell::Number, -1, *number});
            else if (!text.isEmpty())
                rowCells[r - 1].push_back(
                    {c, xf, OutCell::Label, strings.Add(LeftWholeCharacters(text, kMaxTextLength)), 0});
            else if (xf != kDefaultCellXf)
                rowCells[r - 1].push_back({c, xf, OutCell::Blank, -1, 0});
        }
    }
    return true;
}

// The workbook globals: code page, window, fonts, XFs, palette, the sheet's entry (pointed at the sheet's
// BOF, which follows them), names and shared strings.
void WriteGlobals(Stream &s, const GridSheet &sheet, const QString &sheetName, const FormatTable &formats,
                  const XlsPalette &palette, const SharedStrings &strings)
{
    s.Record(kBof, BofBody(0x0005));
    {
        Bytes b;
        b.U16(1200); // texts are UTF-16
        s.Record(kCodePage, b);
    }
    {
        Bytes b;
        b.U16(0);
        b.U16(0);
        b.U16(0x4000);
        b.U16(0x2000);
        b.U16(0x0038);
        b.U16(0);
        b.U16(0);
        b.U16(1);
        b.U16(0x0258);
        s.Record(kWindow1, b);
    }
    {
        Bytes b;
        b.U16(0);
        s.Record(kDateMode, b);
    }
    formats.WriteFonts(s);
    formats.WriteXfs(s);
    {
        Bytes b;
        b.U16(0x8000); // built-in style "Normal" on XF 0
        b.U8(0);
        b.U8(0xFF);
        s.Record(kStyle, b);
    }
    s.Record(kPalette, palette.RecordBody());
    const qsizetype boundSheetAt = s.Size() + 4;
    {
        Bytes b;
        b.U32(0); // the sheet's BOF position, set below
        b.U8(0);  // visible
        b.U8(0);  // worksheet
        b.Raw(ShortString(sheetName));
        s.Record(kBoundSheet, b);
    }
    WriteNames(s, sheet.Printing(), sheet.RowCount(), sheet.ColumnCount());
    strings.Write(s);
    s.Record(kEof, QByteArray());
    qToLittleEndian<quint32>(static_cast<quint32>(s.Size()), s.Data().data() + boundSheetAt);
}

// The sheet's records before its rows: BOF, default row height, print settings, default column width,
// dimensions and one record per column.
void WriteSheetHead(Stream &s, const GridSheet &sheet)
{
    const int rows = sheet.RowCount();
    const int cols = sheet.ColumnCount();
    s.Record(kBof, BofBody(0x0010));
    {
        Bytes b;
        b.U16(0x0001); // rows without a ROW record do not have Excel's own default height
        b.U16(static_cast<int>(std::lround(grid::GridSheet::kDefaultRowHeight * 20)));
        s.Record(kDefaultRowHeight, b);
    }
    // The print settings go between the sheet's default row height and its column records.
    WritePrintSettings(s, sheet.Printing());
    {
        Bytes b;
        b.U16(8);
        s.Record(kDefColWidth, b);
    }
    {
        Bytes b;
        b.U32(0);
        b.U32(static_cast<quint32>(rows));
        b.U16(0);
        b.U16(cols);
        b.U16(0);
        s.Record(kDimensions, b);
    }
    for (int c = 1; c <= cols; ++c) {
        Bytes b;
        b.U16(c - 1);
        b.U16(c - 1);
        b.U16(std::clamp(static_cast<int>(std::lround(sheet.ColumnWidth(c) * 256)), 0, 0xFF00));
        b.U16(kDefaultCellXf);
        b.U16(sheet.ColumnWidth(c) <= 0 ? 0x0001 : 0x0000); // zero width: hidden
        b.U16(0);
        s.Record(kColInfo, b);
    }
}

void WriteCell(Stream &s, int row, const OutCell &cell)
{
    Bytes b;
    b.U16(row - 1);
    b.U16(cell.col - 1);
    b.U16(cell.xf);
    switch (cell.kind) {
    case OutCell::Label:
        b.U32(static_cast<quint32>(cell.sst));
        s.Record(kLabelSst, b);
        break;
    case OutCell::Number:
        if (cell.number >= -kMaxRkInteger - 1 && cell.number <= kMaxRkInteger) {
            // A whole number in the 30 bits above the flags; bit 1: integer.
            b.U32((static_cast<quint32>(cell.number) << 2) | 0x2);
            s.Record(kRk, b);
        } else {
            b.F64(static_cast<double>(cell.number));
            s.Record(kNumber, b);
        }
        break;
    case OutCell::Blank: s.Record(kBlank, b); break;
    }
}

// The rows in blocks: each block's ROW records, then its cells.
void WriteRowBlocks(Stream &s, const GridSheet &sheet, const OutRows &rowCells)
{
    const int rows = sheet.RowCount();
    for (int blockStart = 1; blockStart <= rows; blockStart += kRowsPerBlock) {
        const int blockEnd = std::min(rows, blockStart + kRowsPerBlock - 1);
        for (int r = blockStart; r <= blockEnd; ++r) {
            const auto &cells = rowCells[r - 1];
            const int twips = std::clamp(static_cast<int>(std::lround(sheet.RowHeight(r) * 20)), 0, 8191);
            Bytes b;
            b.U16(r - 1);
            b.U16(cells.empty() ? 0 : cells.front().col - 1);
            b.U16(cells.empty() ? 0 : cells.back().col);
            b.U16(twips);
            b.U16(0);
            b.U16(0);
            b.U16(0x0140 | (twips == 0 ? 0x0020 : 0)); // height set by hand; zero height: hidden
            b.U16(kDefaultCellXf);
            s.Record(kRow, b);
        }
        for (int r = blockStart; r <= blockEnd; ++r)
            for (const OutCell &cell : rowCells[r - 1])
                WriteCell(s, r, cell);
    }
}

// The sheet's window, then its joined cells, as many to a record as one holds.
void WriteWindowAndMerges(Stream &s, const QList<grid::CellSpan> &spans)
{
    {
        Bytes b;
        b.U16(0x06B6); // grid lines, headings, zeros, outline symbols, selected, shown in the window
        b.U16(0);
        b.U16(0);
        b.U32(0x40);
        b.U16(0);
        b.U16(0);
        b.U32(0);
        s.Record(kWindow2, b);
    }
    for (qsizetype first = 0; first < spans.size(); first += kMaxMergesPerRecord) {
        const qsizetype n = std::min<qsizetype>(kMaxMergesPerRecord, spans.size() - first);
        Bytes b;
        b.U16(static_cast<int>(n));
        for (qsizetype i = first; i < first + n; ++i) {
            const grid::CellSpan &sp = spans.at(i);
            b.U16(sp.row - 1);
            b.U16(sp.row + sp.rowCount - 2);
            b.U16(sp.col - 1);
            b.U16(sp.col + sp.colCount - 2);
        }
        s.Record(kMergedCells, b);
    }
}

} // namespace

QByteArray BuildWorkbookStream(const GridSheet &sheet, const QString &sheetName, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    if (const QString why = SheetProblem(sheet, sheetName); !why.isEmpty())
        return fail(why);

    // First the colours every cell needs, so that the palette is fixed before fonts and XFs are made.
    XlsPalette palette;
    FormatTable formats(palette);
    palette.Use(0);
    for (int r = 1; r <= sheet.RowCount(); ++r)
        for (int c = 1; c <= sheet.ColumnCount(); ++c)
            formats.Register(sheet.Format(c, r));
    palette.Assign();

    OutRows rowCells;
    SharedStrings strings;
    if (!CollectCells(sheet, formats, strings, rowCells))
        return fail(QStringLiteral("셀 서식이 너무 많아 엑셀 97-2003 파일로 저장할 수 없습니다."));

    Stream s;
    WriteGlobals(s, sheet, sheetName, formats, palette, strings);
    WriteSheetHead(s, sheet);
    WriteRowBlocks(s, sheet, rowCells);
    WriteWindowAndMerges(s, sheet.Spans());
    s.Record(kEof, QByteArray());
    // Excel does not read a Workbook stream short enough to sit in the container's small blocks (under
    // 4096 bytes); zeros after the last EOF make it long enough and are never read.
    if (s.Data().size() < kMinStreamSize)
        s.Data().append(QByteArray(kMinStreamSize - s.Data().size(), '\0'));
    return s.Data();
}

bool SaveWorkbook(const GridSheet &sheet, const QString &sheetName, const QString &path, QString *error)
{
    QString reason;
    const QByteArray stream = BuildWorkbookStream(sheet, sheetName, &reason);
    if (stream.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }
    return WriteCompoundFile(path, "Workbook", stream, error);
}

} // namespace xls
