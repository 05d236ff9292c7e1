// help.dat decoding and the firmware file check, on the same file of the fuzzer's bytes. Checked against a
// decoding written here: help.dat is UTF-16 little-endian, a leading byte-order mark is dropped, the text
// ends at the first NUL, an odd last byte is ignored and half a surrogate pair shows as U+FFFD. A firmware
// file is taken exactly when it starts with 0x33 0x55, and then whole.
//
// Input: the file's bytes.

#include "FuzzCheck.h"
#include "FuzzTempDir.h"

#include "FirmwareUpload.h"
#include "HelpText.h"

#include <QFile>

namespace {

QString ExpectedHelpText(const std::vector<uint8_t> &bytes)
{
    const size_t used = std::min<size_t>(bytes.size(), HelpText::kMaxBytes) / 2;
    std::vector<char16_t> units;
    for (size_t i = 0; i < used; ++i)
        units.push_back(char16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
    size_t begin = !units.empty() && units[0] == 0xFEFF ? 1 : 0;
    QString text;
    for (size_t i = begin; i < units.size() && units[i] != 0; ++i) {
        const char16_t u = units[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            text.append(QChar(u)).append(QChar(units[i + 1]));
            ++i;
        } else {
            text.append(high || low ? QChar(QChar::ReplacementCharacter) : QChar(u));
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    const QString path = FuzzTempDir() + QStringLiteral("/help.dat");
    {
        QFile out(path);
        FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    const std::optional<QString> help = HelpText::ReadHelpFile(path);
    FUZZ_CHECK(help.has_value());
    FUZZ_CHECK(*help == ExpectedHelpText(bytes));
    FUZZ_CHECK(HelpText::TextFor(path) == *help);

    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool signed3355 = size >= 2 && data[0] == 0x33 && data[1] == 0x55;
    FUZZ_CHECK(Firmware::IsValidImage(image) == signed3355);
    const Firmware::LoadedFile loaded = Firmware::LoadFile(path);
    if (size == 0) {
        FUZZ_CHECK(loaded.status == Firmware::LoadedFile::Unreadable);
    } else if (signed3355) {
        FUZZ_CHECK(loaded.status == Firmware::LoadedFile::Valid);
        FUZZ_CHECK(loaded.image == image);
    } else {
        FUZZ_CHECK(loaded.status == Firmware::LoadedFile::Invalid);
        FUZZ_CHECK(loaded.image.isEmpty());
    }
    return 0;
}
