#include "InstrumentIdentity.h"

#include "AnsiText.h"
#include "CFt260.h"

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
    int timedOutInARow = 0;
    for (int i = 0; i < int(kIdentityFields.size()); ++i) {
        uint8_t request[CFt260::kResponseAreaSize] = {};
        uint8_t response[CFt260::kResponseAreaSize] = {};
        const int result = link.Transact(kIdentityFields[i].readCommand, request, 1, response);
        if (result >= 0) {
            show(i, response);
            timedOutInARow = 0;
            continue;
        }
        read.result = result;
        timedOutInARow = result == RESULT_READ_FAILED ? timedOutInARow + 1 : 0;
        if (timedOutInARow == 2) {
            read.silent = true;
            break;
        }
    }
    return read;
}
