#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Text fields that travel to and from the instrument are single-byte text in the Korean ANSI code
// page, code page 949.

// The text of a field: its bytes up to the first zero byte (or `length`), decoded from code page 949.
// Bytes that code page 949 cannot decode become U+FFFD; nothing is dropped silently.
QString DecodeAnsi(const uint8_t *bytes, int length);

// The code page 949 bytes of a text; nullopt when a character has no code page 949 form.
std::optional<QByteArray> EncodeAnsi(const QString &text);
