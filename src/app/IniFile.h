#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// The private-profile INI format: "[SECTION]" lines, "KEY=value" lines, everything else (comments,
// blank lines, other sections) kept as it stands when a value is written. Sections and keys match
// without regard to case; the first match wins.
//
// Values are written so that any text reads back exactly: a backslash, line breaks, tabs and other
// control characters are escaped (\\ \n \r \t \xHH), and a value with surrounding blanks or quotes is
// wrapped in a pair of double quotes, which the reader strips again. '=', ';', '[' and non-ASCII
// text need nothing: only the first '=' of a line separates, and only a line's first character
// makes a section or comment.
//
// A file is read in the encoding it was written in and written back in that encoding: UTF-16 with
// its byte-order mark, UTF-8 (with or without one) when its bytes are valid UTF-8, and otherwise code
// page 949, as the Windows program writes it. New files are UTF-8.
//
// QSettings is not used: it reads a value with a comma as a list and rewrites the whole file in its
// own order, losing what others wrote into it.
namespace IniFile {

QString EscapeValue(const QString &value);
QString UnescapeValue(const QString &written);

// The value of key in section of an INI text; nullopt when the section or the key is missing.
std::optional<QString> FindValue(const QString &text, const QString &section, const QString &key);

// The INI text with the keys of section set to values (replaced where they stand, else appended to
// the section, which is itself appended when missing).
QString WithValues(const QString &text, const QString &section, const QList<QPair<QString, QString>> &values);

enum class Encoding { Utf8, Utf8WithBom, Utf16LE, Utf16BE, Cp949 };

struct Contents {
    QString text;
    Encoding encoding = Encoding::Utf8;
};

// Reads a whole INI file; nullopt when it is missing, unreadable or no regular file.
std::optional<Contents> ReadFile(const QString &path);
// The text of a file's bytes, in the encoding they are read in (a BOM's, else UTF-8 when valid, else the
// Korean ANSI code page).
Contents Decode(const QByteArray &bytes);

// The bytes of text in encoding, byte-order mark included; nullopt when code page 949 has no form for
// one of its characters.
std::optional<QByteArray> Encode(const QString &text, Encoding encoding);

// Replaces the file in one step, and only once every byte is known to be on the disk: a failed write
// (a full disk, a read-only folder) leaves the old file as it was, byte for byte, and says why in
// *error (in Korean, for the operator).
bool WriteFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Sets the keys of section in the INI file at path, keeping everything else it holds and the encoding
// it was written in (UTF-16 when code page 949 has no form for a new character). A file that is there
// but cannot be read is left alone. False with the operator's text in *error when nothing was saved.
bool SetValues(const QString &path, const QString &section, const QList<QPair<QString, QString>> &values,
               QString *error = nullptr);

// The operator's text for an INI file that could not be saved, and why.
QString SaveFailureText(const QString &path, const QString &reason);

} // namespace IniFile

// text cut to at most maxUnits UTF-16 units at a character boundary: never inside a surrogate pair
// nor between a letter and the marks or jamo that complete it.
QString CutAtCharacterBoundary(const QString &text, int maxUnits);
