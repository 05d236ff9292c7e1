#include "InstrumentIdentity.h"

#include "AnsiText.h"

QString IdentityText(const IdentityField &field, const uint8_t *response, int length)
{
    if (field.dashWhenErased && (length < 1 || response[0] == 0x00 || response[0] == 0xFF))
        return QStringLiteral("-");
    return DecodeAnsi(response, length);
}
