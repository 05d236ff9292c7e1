#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CFt260;

// The identity fields the operator's window reads from the instrument, in the order it asks for them,
// with the device grid cell each one fills and the label beside it.
struct IdentityField {
    uint8_t readCommand;
    int column;
    int row;
    const char *label; // UTF-8
    // Serial numbers show "-" when the instrument's field is erased or empty.
    bool dashWhenErased;
};

inline constexpr std::array<IdentityField, 8> kIdentityFields = {{
    {0x31, 2, 3, "측정기 명", false},
    {0x37, 2, 4, "15톤 로드셀 S/N", true},
    {0x3B, 2, 5, "30톤 로드셀 S/N", true},
    {0x3D, 2, 6, "30톤 로드셀 커버 S/N", true},
    {0x32, 4, 3, "측정기 S/N", true},
    {0x39, 4, 4, "15톤 로드셀 커버 S/N", true},
    {0x3F, 4, 5, "25톤 로드셀 커버 S/N", true},
    {0x30, 4, 6, "버전 정보", false},
}};

// The index in kIdentityFields of the field read by `readCommand`; -1 for any other command.
int IdentityFieldIndex(uint8_t readCommand);

// The text an identity answer shows: "-" for an erased serial (first byte 0x00 or 0xFF), otherwise the
// field's code page 949 text up to its first zero byte (never a null QString: null means "not read").
// `response` is the link's 32-byte answer area.
QString IdentityText(const IdentityField &field, const uint8_t *response, int length);

// Reads the identity fields in their order through the link and hands each answer that came (its index
// in kIdentityFields and the 32-byte answer area) to `show`; a field whose exchange fails is passed
// over. Once two exchanges in a row have timed out (-1092) the instrument is taken to be silent and the
// read ends there, so the operator learns it in about 5 s rather than after every field's time-out.
struct IdentityReadResult {
    int result = 0;      // 0 when every field was read, otherwise the last failure's result code
    bool silent = false; // the read ended early: the instrument does not answer
};
IdentityReadResult ReadInstrumentIdentity(CFt260 &link,
                                          const std::function<void(int index, const uint8_t *response)> &show);
