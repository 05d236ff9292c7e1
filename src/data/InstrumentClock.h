#pragma once

#include "LocalTime.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The instrument's real-time clock and the service telephone number it shows to its user.
//
// Setting the clock (0x34) sends, and reading it (0x4B) answers, the same 13 bytes:
//   0-1 year (big-endian binary), 2 month, 3 day, 4 hour, 5 minute, 6 second (binary),
//   7-12 the 11-digit telephone number in packed BCD, packed from its right end: byte 7 holds the
//   last two digits, byte 11 the second and third, byte 12 the lone first digit.
// The instrument reports a year outside 1971..2199 when its clock was never set; such an answer is
// shown with the zero texts.
namespace InstrumentClock {

constexpr int kPayloadSize = 13;
constexpr int kTelephoneOffset = 7;
constexpr int kTelephoneBytes = 6;
constexpr int kTelephoneDigits = 11;
constexpr int kFirstShownYear = 1971;
constexpr int kLastShownYear = 2199;

using Payload = std::array<uint8_t, kPayloadSize>;

// The texts the clock display starts with and falls back to.
inline const QString kZeroTimeText = QStringLiteral("0000-00-00 00:00:00");
inline const QString kZeroTelephoneText = QStringLiteral("000-0000-0000");

// The program's service telephone number, 3-4-4 with dashes. The operator's window and the
// administrator console both write it into the instrument with every clock setting.
QString ServiceTelephone();

// The request data of a clock read: one byte 0x00.
constexpr uint8_t kReadRequest[1] = {0x00};

// The six wire bytes of a telephone text: dashes are dropped, the rest must be exactly 11 decimal
// digits; nullopt otherwise.
std::optional<std::array<uint8_t, kTelephoneBytes>> PackTelephone(const QString &telephone);

// The telephone text of six wire bytes in the 3-4-4 form, each byte printed as two hex digits (so a
// packed-BCD byte reads as its two decimal digits) and the first digit's byte as one or more.
QString TelephoneText(const uint8_t *sixBytes);

// The 0x34 request for a local calendar time. nullopt when the fields are not a calendar time
// (month 13, February 30, ...), the year does not fit two bytes, or the telephone is not 11 digits.
std::optional<Payload> SetClockPayload(const LocalFields &local, const QString &telephone = ServiceTelephone());

// The 0x34 request for an instant (seconds since 1970), taken as the PC's local time. nullopt when
// that local time cannot be obtained: then nothing may be sent.
std::optional<Payload> SetClockPayloadAt(qint64 secondsSince1970, const QString &telephone = ServiceTelephone());

// The time of a 0x4B answer as "%Y-%m-%d %H:%M:%S"; nullopt when the year lies outside 1971..2199 or
// the other fields are not a calendar time. The fields are shown as the instrument sent them, never
// rolled over into another date.
std::optional<QString> AnswerTimeText(const uint8_t *answer);

// How far the instrument's clock may be from the PC's before the operator is told: its records are
// filed under its own dates, so a clock further off puts them on other days than the range asks for.
constexpr qint64 kClockToleranceSeconds = 5 * 60;

// What the operator is told when the time of a 0x4B answer is more than kClockToleranceSeconds from
// the PC's time `pcNow`: both times, by how much and which way, and the button that sets it. Empty
// within the tolerance and for an answer that shows no time.
QString ClockOffsetNotice(const uint8_t *answer, qint64 pcNow);

// What the operator's clock display shows for a 0x4B answer.
struct Display {
    QString time = kZeroTimeText;
    QString telephone = kZeroTelephoneText;
    bool operator==(const Display &) const = default;
};

// Time and telephone of the same answer, or both zero texts when the time is not shown.
Display DecodeAnswer(const uint8_t *answer);

} // namespace InstrumentClock
