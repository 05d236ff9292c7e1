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
// makes a section or comment. Files are UTF-8; a file with a UTF-16 byte-order mark is read too.
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

// Reads a whole INI file; nullopt when it is missing or unreadable.
std::optional<QString> ReadFile(const QString &path);

// Replaces the file in one step, so that a failed write leaves the old file whole.
bool WriteFile(const QString &path, const QString &text);

} // namespace IniFile

// text cut to at most maxUnits UTF-16 units at a character boundary: never inside a surrogate pair
// nor between a letter and the marks or jamo that complete it.
QString CutAtCharacterBoundary(const QString &text, int maxUnits);
