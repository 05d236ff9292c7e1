// The INI reader and writer. The three report texts are written into whatever file the fuzzer makes and
// read back. Checked: each text reads back exactly (through IniFile's text functions and, cut to the
// report-text limit, through CIniSysInfo's Save and Load on a real file); every line of the file that is
// not one of those three keys in a [REPORT] section is still there, in its order; a save that fails
// leaves the file as it was.
//
// Input: three length bytes, the three texts (UTF-8), then the bytes of the existing file.

#include "FuzzCheck.h"
#include "FuzzTempDir.h"

#include "CIniSysInfo.h"
#include "IniFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

namespace {

const QString kSection = QStringLiteral("REPORT");
const QStringList kKeys = {QStringLiteral("COMPANY"), QStringLiteral("REPORT_NAME"), QStringLiteral("USER_NAME")};

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString StripBlanks(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

// The lines of an INI text: one final line break does not start another line, and a CR before a line
// break belongs to the break.
QStringList Lines(QString text)
{
    if (text.isEmpty())
        return {};
    if (text.endsWith(u'\n'))
        text.chop(1);
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    return lines;
}

// The lines that writing the report texts may replace: a line setting one of the three keys inside a
// section called REPORT (sections and keys in any case).
QStringList LinesToKeep(const QString &text)
{
    QStringList kept;
    bool inReport = false;
    for (const QString &line : Lines(text)) {
        const QString t = StripBlanks(line);
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            inReport = StripBlanks(t.mid(1, close < 0 ? -1 : close - 1)).compare(kSection, Qt::CaseInsensitive) == 0;
        } else if (inReport && !t.startsWith(u';') && t.indexOf(u'=') > 0 &&
                   kKeys.contains(StripBlanks(t.left(t.indexOf(u'='))), Qt::CaseInsensitive)) {
            continue;
        }
        kept.append(line);
    }
    return kept;
}

// The text of a file as this target reads it: UTF-16 after its byte-order mark, else UTF-8. nullopt for bytes that are
// neither, which the program may read in another code page. Half a surrogate pair becomes U+FFFD, since only UTF-16
// files can hold one.
std::optional<QString> DecodedText(const QByteArray &bytes)
{
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // An odd last byte is no character; what a program makes of it is its own choice.
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        QStringDecoder utf16(bytes.startsWith("\xFF") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::ConvertInitialBom);
        text = utf16.decode(bytes.mid(2));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8,
                            QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
        if (utf8.hasError())
            return std::nullopt;
    }
    // Byte-order marks at the start are no text, however many there are.
    while (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return QString::fromUtf8(text.toUtf8());
}

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IsSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    for (const QString &line : whole)
        if (at < part.size() && line == part[at])
            ++at;
    return at == part.size();
}

void CheckUntouched(const QString &before, const QString &after)
{
    FUZZ_CHECK(IsSubsequence(LinesToKeep(before), Lines(after)));
    // Nothing is added but the three keys, a section header and the blank line before it.
    FUZZ_CHECK(Lines(after).size() <= Lines(before).size() + 5);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t lengths[3] = {input.Byte(), input.Byte(), input.Byte()};
    QList<QPair<QString, QString>> values;
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t> bytes = input.Bytes(lengths[i]);
        values.append(
            {kKeys[i], QString::fromUtf8(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()))});
    }
    const std::vector<uint8_t> rest = input.Rest();
    const QByteArray file(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    // In text: every value reads back, everything else stays.
    const std::optional<QString> original = DecodedText(file);
    const QString text = original.value_or(QString::fromUtf8(file));
    const QString written = IniFile::WithValues(text, kSection, values);
    for (const auto &[key, value] : values)
        FUZZ_CHECK(IniFile::FindValue(written, kSection, key) == value);
    CheckUntouched(text, written);

    // On disk, through the configuration object: the texts cut to the limit at a character boundary.
    const QString dir = FuzzTempDir();
    const QString iniPath = dir + QStringLiteral("/Press.ini");
    {
        QFile out(iniPath);
        FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(out.write(file) == file.size());
    }
    CIniSysInfo saved;
    saved.SetExecutablePath(dir + QStringLiteral("/Press"));
    saved.SetWritableCheck([](const QString &) { return true; });
    saved.ResolvePaths();
    FUZZ_CHECK(saved.iniPath == iniPath);
    saved.company = values[0].second;
    saved.reportName = values[1].second;
    saved.userName = values[2].second;
    if (!saved.Save()) {
        FUZZ_CHECK(FileBytes(iniPath) == file);
        return 0;
    }
    for (const auto &[cut, full] : {std::pair{saved.company, values[0].second},
                                    {saved.reportName, values[1].second},
                                    {saved.userName, values[2].second}}) {
        FUZZ_CHECK(cut.size() <= CIniSysInfo::kMaxTextLength && full.startsWith(cut));
        FUZZ_CHECK(full.size() > CIniSysInfo::kMaxTextLength || cut == full);
        FUZZ_CHECK(cut.isEmpty() || !cut.back().isHighSurrogate());
    }

    CIniSysInfo loaded;
    loaded.SetExecutablePath(dir + QStringLiteral("/Press"));
    loaded.SetWritableCheck([](const QString &) { return true; });
    loaded.Load();
    FUZZ_CHECK(loaded.company == saved.company);
    FUZZ_CHECK(loaded.reportName == saved.reportName);
    FUZZ_CHECK(loaded.userName == saved.userName);
    if (original) {
        const std::optional<QString> onDisk = DecodedText(FileBytes(iniPath));
        FUZZ_CHECK(onDisk.has_value());
        CheckUntouched(*original, *onDisk);
    }
    return 0;
}
