#include "InstrumentClock.h"

#include <QDate>
#include <QStringList>

#include <algorithm>
#include <cstdlib>

namespace InstrumentClock {

namespace {

// True when the six fields name a real calendar time (no roll-over into another day or month).
bool IsCalendarTime(const LocalFields &f)
{
    return QDate::isValid(f.year, f.month, f.day) && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59 &&
           f.second >= 0 && f.second <= 59;
}

LocalFields AnswerFields(const uint8_t *answer)
{
    return LocalFields{answer[0] * 256 + answer[1], answer[2], answer[3], answer[4], answer[5], answer[6]};
}

} // namespace

QString ServiceTelephone()
{
    return QStringLiteral("031-8033-5120");
}

std::optional<std::array<uint8_t, kTelephoneBytes>> PackTelephone(const QString &telephone)
{
    QString digits = telephone;
    digits.remove(QLatin1Char('-'));
    if (digits.size() != kTelephoneDigits)
        return std::nullopt;
    int d[kTelephoneDigits];
    for (int i = 0; i < kTelephoneDigits; ++i) {
        const QChar c = digits.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        d[i] = c.unicode() - '0';
    }
    // From the right end: (d9 d10), (d7 d8), (d5 d6), (d3 d4), (d1 d2), then d0 alone.
    std::array<uint8_t, kTelephoneBytes> bytes{};
    for (int i = 0; i < 5; ++i) {
        const int high = kTelephoneDigits - 2 - 2 * i;
        bytes[i] = static_cast<uint8_t>(d[high] * 16 + d[high + 1]);
    }
    bytes[5] = static_cast<uint8_t>(d[0]);
    return bytes;
}

QString TelephoneText(const uint8_t *b)
{
    return QString::asprintf("%01X%02X-%02X%02X-%02X%02X", b[5], b[4], b[3], b[2], b[1], b[0]);
}

std::optional<Payload> SetClockPayload(const LocalFields &local, const QString &telephone)
{
    if (!IsCalendarTime(local) || local.year < 0 || local.year > 0xFFFF)
        return std::nullopt;
    const auto phone = PackTelephone(telephone);
    if (!phone)
        return std::nullopt;
    Payload p{};
    p[0] = static_cast<uint8_t>(local.year >> 8);
    p[1] = static_cast<uint8_t>(local.year & 0xFF);
    p[2] = static_cast<uint8_t>(local.month);
    p[3] = static_cast<uint8_t>(local.day);
    p[4] = static_cast<uint8_t>(local.hour);
    p[5] = static_cast<uint8_t>(local.minute);
    p[6] = static_cast<uint8_t>(local.second);
    std::copy(phone->begin(), phone->end(), p.begin() + kTelephoneOffset);
    return p;
}

std::optional<Payload> SetClockPayloadAt(qint64 secondsSince1970, const QString &telephone)
{
    const auto local = LocalFieldsOf(secondsSince1970);
    if (!local)
        return std::nullopt;
    return SetClockPayload(*local, telephone);
}

std::optional<QString> AnswerTimeText(const uint8_t *answer)
{
    const LocalFields f = AnswerFields(answer);
    if (f.year < kFirstShownYear || f.year > kLastShownYear || !IsCalendarTime(f))
        return std::nullopt;
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

QString ClockOffsetNotice(const uint8_t *answer, qint64 pcNow)
{
    const std::optional<QString> shown = AnswerTimeText(answer);
    const std::optional<qint64> instrument = shown ? LocalTimeFromFields(AnswerFields(answer)) : std::nullopt;
    if (!instrument || std::abs(*instrument - pcNow) <= kClockToleranceSeconds)
        return QString();
    const qint64 minutes = std::abs(*instrument - pcNow) / 60;
    QStringList parts;
    if (minutes >= 24 * 60)
        parts << QStringLiteral("%1일").arg(minutes / (24 * 60));
    if (minutes % (24 * 60) >= 60)
        parts << QStringLiteral("%1시간").arg(minutes % (24 * 60) / 60);
    if (minutes % 60 != 0)
        parts << QStringLiteral("%1분").arg(minutes % 60);
    return QStringLiteral("장비 시간(%1)이 컴퓨터 시간(%2)보다 %3 %4.\n측정 기록이 장비 시간의 날짜로 저장되므로 "
                          "조회 기간과 맞지 않습니다. '현재시간 설정'으로 장비 시간을 맞추십시오.")
        .arg(*shown, FormatLocalTime(pcNow), parts.join(QLatin1Char(' ')),
             *instrument < pcNow ? QStringLiteral("느립니다") : QStringLiteral("빠릅니다"));
}

Display DecodeAnswer(const uint8_t *answer)
{
    Display display;
    if (const auto time = AnswerTimeText(answer)) {
        display.time = *time;
        display.telephone = TelephoneText(answer + kTelephoneOffset);
    }
    return display;
}

} // namespace InstrumentClock
