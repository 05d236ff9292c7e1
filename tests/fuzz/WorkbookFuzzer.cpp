// The workbook writer with arbitrary cell texts, read back by the compound-file and BIFF readers of this
// folder (neither shares code or a library with the writer). Checked: the saved file holds a Workbook
// stream whose first sheet has exactly the non-empty cells, each with its text unit for unit, lone
// surrogates and control characters included.
//
// Input: a byte for the column and row counts, then per cell a length byte (low six bits: characters;
// 0x40: two bytes a UTF-16 unit, else one byte a Latin-1 character; 0x80: a repeat byte follows, so that
// long texts reach the CONTINUE records) and the characters.

#include "BiffCells.h"
#include "CompoundFileReader.h"
#include "FuzzCheck.h"
#include "FuzzTempDir.h"

#include "GridSheet.h"
#include "XlsWorkbook.h"

#include <QFile>

namespace {

// Below Excel's cell limit of 32767 characters, which the writer cuts at.
constexpr int kMaxText = 30000;

QString CellText(FuzzInput &input)
{
    const uint8_t head = input.Byte();
    const int repeat = (head & 0x80) ? 1 + input.Byte() : 1;
    const int length = head & 0x3F;
    QString unit;
    for (int i = 0; i < length && input.Remaining() > 0; ++i)
        unit.append((head & 0x40) ? QChar(char16_t(input.U16())) : QChar(input.Byte()));
    QString text;
    for (int i = 0; i < repeat && text.size() + unit.size() <= kMaxText; ++i)
        text.append(unit);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t shape = input.Byte();
    const int columns = 1 + (shape & 0x07);
    const int rows = 1 + (shape >> 3 & 0x0F);

    grid::GridSheet sheet;
    sheet.SetColumnCount(columns);
    sheet.SetRowCount(rows);
    BiffCellTexts expected;
    for (int r = 1; r <= rows && input.Remaining() > 0; ++r) {
        for (int c = 1; c <= columns && input.Remaining() > 0; ++c) {
            const QString text = CellText(input);
            sheet.SetText(c, r, text);
            if (!text.isEmpty())
                expected.insert({r - 1, c - 1}, text);
        }
    }

    const QString path = FuzzTempDir() + QStringLiteral("/book.xls");
    QString error;
    FUZZ_CHECK(xls::SaveWorkbook(sheet, QStringLiteral("Sheet1"), path, &error));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    const std::optional<QByteArray> stream = ReadCompoundStream(file.readAll(), QStringLiteral("Workbook"));
    FUZZ_CHECK(stream.has_value());
    const std::optional<BiffCellTexts> texts = ReadBiffCellTexts(*stream);
    FUZZ_CHECK(texts.has_value());
    FUZZ_CHECK(*texts == expected);
    return 0;
}
