#include "InfoGridFields.h"

#include "AnsiText.h"
#include "Commands.h"
#include "InstrumentClock.h"

#include <QDate>

namespace InfoFields {

const std::array<ReadStep, 10> kReadSteps = {{
    {CMD_READ_NAME, 2, 1, Rendering::Text, false},
    {CMD_READ_SERIAL, 2, 2, Rendering::DashedText, false},
    {CMD_READ_LC15_SN, 2, 3, Rendering::DashedText, false},
    {CMD_READ_LC30_SN, 2, 4, Rendering::DashedText, false},
    {CMD_READ_LC30_COVER_SN, 2, 5, Rendering::DashedText, false},
    {CMD_READ_VERSION, 5, 1, Rendering::Text, true},
    {CMD_READ_BATTERY, 5, 2, Rendering::Battery, false},
    {CMD_READ_LC15_COVER_SN, 5, 3, Rendering::DashedText, false},
    {CMD_READ_LC25_COVER_SN, 5, 4, Rendering::DashedText, false},
    {CMD_READ_CLOCK, 5, 6, Rendering::Clock, false},
}};

const std::array<IdentityField, 6> kIdentityFields = {{
    {3, 2, CMD_WRITE_SERIAL, 11},
    {3, 3, CMD_WRITE_LC15_SN, 9},
    {3, 4, CMD_WRITE_LC30_SN, 9},
    {3, 5, CMD_WRITE_LC30_COVER_SN, 10},
    {6, 3, CMD_WRITE_LC15_COVER_SN, 10},
    {6, 4, CMD_WRITE_LC25_COVER_SN, 10},
}};

QString RenderAnswer(Rendering rendering, const uint8_t *data, int length)
{
    const QString dash = QStringLiteral("-");
    switch (rendering) {
    case Rendering::Text: return DecodeAnsi(data, length);
    case Rendering::DashedText:
        if (data[0] == 0x00 || data[0] == 0xFF)
            return dash;
        return DecodeAnsi(data, length);
    case Rendering::Battery: return QString::asprintf("%d %%", static_cast<int>(static_cast<int8_t>(data[0])));
    case Rendering::Clock: return InstrumentClock::AnswerTimeText(data).value_or(dash);
    }
    return QString();
}

const IdentityField *IdentityFieldAt(int col, int row)
{
    for (const IdentityField &field : kIdentityFields) {
        if (field.buttonCol == col && field.buttonRow == row)
            return &field;
    }
    return nullptr;
}

std::optional<QByteArray> IdentityPayload(const QString &label, const QString &text, int length, QString *refusal)
{
    const std::optional<QByteArray> encoded = EncodeAnsi(text);
    if (!encoded) {
        *refusal = QStringLiteral("%1-'%2' 값에 장비에 저장할 수 없는 문자가 있습니다.").arg(label, text);
        return std::nullopt;
    }
    if (encoded->size() > length) {
        *refusal = QStringLiteral("%1-'%2' 값이 너무 깁니다. 최대 %3 바이트(한글은 글자당 2 바이트)까지 "
                                  "설정할 수 있습니다.")
                       .arg(label, text)
                       .arg(length);
        return std::nullopt;
    }
    QByteArray payload = *encoded;
    payload.append(length - payload.size(), '\0');
    return payload;
}

std::optional<LocalFields> ParseTypedClock(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char('-')).remove(QLatin1Char(':')).remove(QLatin1Char(' '));
    if (digits.size() != 14)
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const auto number = [&](int from, int count) { return digits.mid(from, count).toInt(); };
    const LocalFields f{number(0, 4), number(4, 2), number(6, 2), number(8, 2), number(10, 2), number(12, 2)};
    if (f.year < InstrumentClock::kFirstShownYear || f.year > InstrumentClock::kLastShownYear ||
        !QDate::isValid(f.year, f.month, f.day) || f.hour > 23 || f.minute > 59 || f.second > 59)
        return std::nullopt;
    return f;
}

} // namespace InfoFields
