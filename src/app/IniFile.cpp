#include "IniFile.h"

#include "AnsiText.h"
#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace IniFile {
namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString Trimmed(const QString &s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && IsBlank(s.at(begin)))
        ++begin;
    while (end > begin && IsBlank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

int HexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// One line of an INI text, split where it matters.
struct Line {
    QString raw;
    QString section; // set for a "[SECTION]" line
    QString key;     // set for a "KEY=value" line
    bool isSection = false;
};

Line ParseLine(const QString &raw)
{
    Line line{raw, {}, {}, false};
    const QString t = Trimmed(raw);
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        line.isSection = true;
        line.section = Trimmed(t.mid(1, close < 0 ? -1 : close - 1));
    } else if (!t.startsWith(QLatin1Char(';'))) {
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0)
            line.key = Trimmed(t.left(eq));
    }
    return line;
}

QList<Line> SplitLines(const QString &text)
{
    QList<Line> lines;
    if (text.isEmpty())
        return lines;
    QString body = text;
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    for (QString raw : body.split(QLatin1Char('\n'))) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        lines.append(ParseLine(raw));
    }
    return lines;
}

bool Same(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString EscapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    const bool needsQuotes = !out.isEmpty() && (out.front() == QLatin1Char(' ') || out.back() == QLatin1Char(' ') ||
                                                out.front() == QLatin1Char('"') || out.back() == QLatin1Char('"'));
    return needsQuotes ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

QString UnescapeValue(const QString &written)
{
    QString s = Trimmed(written);
    if (s.size() >= 2 && s.front() == QLatin1Char('"') && s.back() == QLatin1Char('"'))
        s = s.mid(1, s.size() - 2);
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= s.size()) {
            out += c;
            continue;
        }
        const QChar next = s.at(i + 1);
        switch (next.unicode()) {
        case '\\':
            out += QLatin1Char('\\');
            ++i;
            break;
        case 'n':
            out += QLatin1Char('\n');
            ++i;
            break;
        case 'r':
            out += QLatin1Char('\r');
            ++i;
            break;
        case 't':
            out += QLatin1Char('\t');
            ++i;
            break;
        case 'x':
            if (i + 3 < s.size() && HexDigit(s.at(i + 2)) >= 0 && HexDigit(s.at(i + 3)) >= 0) {
                out += QChar(HexDigit(s.at(i + 2)) * 16 + HexDigit(s.at(i + 3)));
                i += 3;
                break;
            }
            [[fallthrough]];
        default: out += c; // a lone backslash, as a file written by another program may hold
        }
    }
    return out;
}

std::optional<QString> FindValue(const QString &text, const QString &section, const QString &key)
{
    bool inSection = false;
    for (const Line &line : SplitLines(text)) {
        if (line.isSection) {
            inSection = Same(line.section, section);
        } else if (inSection && !line.key.isEmpty() && Same(line.key, key)) {
            const qsizetype eq = line.raw.indexOf(QLatin1Char('='));
            return UnescapeValue(line.raw.mid(eq + 1));
        }
    }
    return std::nullopt;
}

QString WithValues(const QString &text, const QString &section, const QList<QPair<QString, QString>> &values)
{
    const QString newline = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QList<Line> lines = SplitLines(text);
    QStringList out;
    for (const Line &line : lines)
        out.append(line.raw);

    // Find the section: its header line and the line after its last non-blank line.
    qsizetype header = -1, insertAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isSection) {
            if (header >= 0)
                break;
            if (Same(lines[i].section, section))
                header = insertAt = i + 1;
        } else if (header >= 0 && !Trimmed(lines[i].raw).isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (header < 0) {
        if (!out.isEmpty() && !Trimmed(out.last()).isEmpty())
            out.append(QString());
        out.append(QLatin1Char('[') + section + QLatin1Char(']'));
        header = insertAt = out.size();
    }

    for (const auto &[key, value] : values) {
        const QString written = key + QLatin1Char('=') + EscapeValue(value);
        bool replaced = false;
        for (qsizetype i = header; i < out.size(); ++i) {
            const Line line = ParseLine(out[i]);
            if (line.isSection)
                break;
            if (!line.key.isEmpty() && Same(line.key, key)) {
                out[i] = written;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out.insert(insertAt++, written);
    }
    // The reader takes one CR before each line break as part of the break. A line that itself ends with a
    // CR (a stray one in a file from elsewhere) keeps it only when a whole CR LF follows it.
    QString joined;
    for (const QString &line : out)
        joined += line + (line.endsWith(QLatin1Char('\r')) ? QStringLiteral("\r\n") : newline);
    return joined;
}

std::optional<Contents> ReadFile(const QString &path)
{
    QFile file(path);
    if (!RegularFile::OpenForReading(file))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return Decode(bytes);
}

Contents Decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decode(QStringDecoder::Utf16LE);
        return Contents{decode(bytes.mid(2)), Encoding::Utf16LE};
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decode(QStringDecoder::Utf16BE);
        return Contents{decode(bytes.mid(2)), Encoding::Utf16BE};
    }
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bom ? bytes.mid(3) : bytes);
    if (!utf8.hasError())
        return Contents{text, bom ? Encoding::Utf8WithBom : Encoding::Utf8};
    // Not UTF-8: the Windows program's own file, in the Korean ANSI code page.
    return Contents{DecodeAnsi(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size())),
                    Encoding::Cp949};
}

std::optional<QByteArray> Encode(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8: return text.toUtf8();
    case Encoding::Utf8WithBom: return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Encoding::Utf16LE: {
        QStringEncoder encode(QStringEncoder::Utf16LE);
        return QByteArray("\xFF\xFE") + QByteArray(encode(text));
    }
    case Encoding::Utf16BE: {
        QStringEncoder encode(QStringEncoder::Utf16BE);
        return QByteArray("\xFE\xFF") + QByteArray(encode(text));
    }
    case Encoding::Cp949: return EncodeAnsi(text);
    }
    return std::nullopt;
}

bool WriteFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // Never written in place: a failed write must leave the old file whole.
    file.setDirectWriteFallback(false);
    // commit() notices neither a flush nor a sync that failed (a full disk), so both are checked first.
    QString reason;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        reason = file.errorString();
    else if (::fsync(file.handle()) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else if (!file.commit())
        reason = file.errorString();
    else
        return true;
    // The unfinished copy goes with `file`; the old file was never touched.
    if (error)
        *error = SaveFailureText(path, reason);
    return false;
}

bool SetValues(const QString &path, const QString &section, const QList<QPair<QString, QString>> &values,
               QString *error)
{
    const std::optional<Contents> old = ReadFile(path);
    // Replacing a file that could not be read would lose whatever else it holds.
    if (!old && QFileInfo(path).exists()) {
        if (error)
            *error = SaveFailureText(path, QStringLiteral("읽을 수 없는 파일"));
        return false;
    }
    const Contents before = old.value_or(Contents{});
    const QString text = WithValues(before.text, section, values);
    std::optional<QByteArray> bytes = Encode(text, before.encoding);
    // Code page 949 has no form for some characters (emoji), and a code-page text may happen to be valid
    // UTF-8 and so read back as other characters. UTF-16 holds any text unmistakably, and both programs read it.
    if (!bytes || Decode(*bytes).text != text)
        bytes = Encode(text, Encoding::Utf16LE);
    return WriteFile(path, *bytes, error);
}

QString SaveFailureText(const QString &path, const QString &reason)
{
    return QStringLiteral("설정 파일을 저장할 수 없습니다: %1 (%2)").arg(QFileInfo(path).absoluteFilePath(), reason);
}

} // namespace IniFile

QString CutAtCharacterBoundary(const QString &text, int maxUnits)
{
    if (text.size() <= maxUnits)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(maxUnits);
    if (!finder.isAtBoundary())
        finder.toPreviousBoundary();
    return text.left(qMax<qsizetype>(finder.position(), 0));
}
