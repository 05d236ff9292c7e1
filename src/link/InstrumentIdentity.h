#pragma once

#include <QString>

#include <array>
#include <cstdint>

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

// The text an identity answer shows: "-" for an erased serial (first byte 0x00 or 0xFF), otherwise the
// field's code page 949 text up to its first zero byte. `response` is the link's 32-byte answer area.
QString IdentityText(const IdentityField &field, const uint8_t *response, int length);
