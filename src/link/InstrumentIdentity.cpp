#include "InstrumentIdentity.h"

#include "AnsiText.h"
#include "CFt260.h"

#include <QStringList>

#include <algorithm>

bool SilenceWatch::Silent(int result)
{
    m_timeoutsInRow = result == RESULT_READ_FAILED ? m_timeoutsInRow + 1 : 0;
    return m_timeoutsInRow >= 2;
}

int IdentityFieldIndex(uint8_t readCommand)
{
    for (size_t i = 0; i < kIdentityFields.size(); ++i)
        if (kIdentityFields[i].readCommand == readCommand)
            return int(i);
    return -1;
}

QString IdentityText(const IdentityField &field, const uint8_t *response, int length)
{
    if (field.dashWhenErased && (length < 1 || response[0] == 0x00 || response[0] == 0xFF))
        return QStringLiteral("-");
    // A field read empty is "", never the null text that stands for a field not read.
    const QString text = DecodeAnsi(response, length);
    return text.isNull() ? QStringLiteral("") : text;
}

IdentityReadResult ReadInstrumentIdentity(CFt260 &link,
                                          const std::function<void(int index, const uint8_t *response)> &show)
{
    IdentityReadResult read;
    SilenceWatch silence;
    for (int i = 0; i < int(kIdentityFields.size()); ++i) {
        uint8_t request[CFt260::kResponseAreaSize] = {};
        uint8_t response[CFt260::kResponseAreaSize] = {};
        const int result = link.Transact(kIdentityFields[i].readCommand, request, 1, response);
        const bool silent = silence.Silent(result);
        if (result >= 0) {
            show(i, response);
            continue;
        }
        read.result = result;
        if (silent) {
            read.silent = true;
            break;
        }
    }
    return read;
}

namespace {

// A field as it counts in the instrument key: its text, unless its bytes say more than the text does
// (bytes after a zero, bytes code page 949 cannot decode); then its bytes. Keys of ordinary fields stay
// those of archives written before the bytes were kept.
QString KeyField(const QString &text, const QByteArray &bytes)
{
    if (bytes.isEmpty() || text == QLatin1String("-") || EncodeAnsi(text) == bytes) // "-": erased, 00 or FF
        return text;
    return QStringLiteral("#") + QString::fromLatin1(bytes.toHex());
}

} // namespace

void InstrumentIdentity::SetFromAnswer(int index, const uint8_t *response, int length)
{
    texts[size_t(index)] = IdentityText(kIdentityFields[size_t(index)], response, length);
    bytes[size_t(index)] = FieldBytes(response, length);
}

QByteArray InstrumentIdentity::FieldBytes(const uint8_t *response, int length)
{
    QByteArray bytes(reinterpret_cast<const char *>(response), length);
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes;
}

QString InstrumentIdentity::BytesText() const
{
    if (std::all_of(bytes.begin(), bytes.end(), [](const QByteArray &field) { return field.isEmpty(); }))
        return QString();
    QStringList fields;
    for (const QByteArray &field : bytes)
        fields << QString::fromLatin1(field.toHex());
    return fields.join(QLatin1Char(' '));
}

void InstrumentIdentity::SetBytesText(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(' '));
    for (int i = 0; i < kFieldCount; ++i)
        bytes[i] = QByteArray::fromHex(fields.value(i).toLatin1());
}

QString InstrumentIdentity::InstrumentKey() const
{
    const QString &serial = Serial();
    if (!serial.isEmpty() && serial != QLatin1String("-"))
        return QStringLiteral("S:") + KeyField(serial, bytes[kSerialField]);
    QStringList rest;
    for (int i = 0; i < kFieldCount - 1; ++i) // the last field is the firmware version
        if (i != kSerialField)
            rest << KeyField(texts[i], bytes[i]);
    // The unit separator cannot come from the instrument's text fields.
    return QStringLiteral("I:") + rest.join(QChar(0x1f));
}
