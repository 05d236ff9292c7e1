#pragma once

#include <QString>

#include <optional>

// The text of the help command: "help.dat" in the program's directory when it exists, otherwise the
// built-in service and after-sales notice.
namespace HelpText {

constexpr const char *kFileName = "help.dat";
// A larger help.dat is shown only up to this many bytes, so a stray huge file cannot exhaust memory.
constexpr qint64 kMaxBytes = 1024 * 1024;

// help.dat's text, read as UTF-16 little-endian: a leading byte-order mark is dropped, the text ends at the
// first NUL character, an odd last byte is ignored and invalid sequences show as U+FFFD. nullopt when the
// file cannot be opened or is no regular file (a named pipe there would never answer); an empty text
// when it opens but holds nothing.
std::optional<QString> ReadHelpFile(const QString &path);

// The built-in notice: purchase and repair telephone numbers, the shipping address and how to send an
// instrument for repair. Multi-line, without tab characters.
QString BuiltInContactText();

// What the help command shows: the text of the help file at `helpFilePath`, or the built-in notice when
// that file cannot be opened.
QString TextFor(const QString &helpFilePath);

} // namespace HelpText
