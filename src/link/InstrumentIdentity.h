#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CFt260;

// The identity fields the operator's window reads from the instrument, in the order it asks for them,
// with the label each one is shown by. Where a view places them is the view's own.
struct IdentityField {
    uint8_t readCommand;
    const char *label; // UTF-8
    // Serial numbers show "-" when the instrument's field is erased or empty.
    bool dashWhenErased;
};

inline constexpr std::array<IdentityField, 8> kIdentityFields = {{
    {0x31, "측정기 명", false},
    {0x37, "15톤 로드셀 S/N", true},
    {0x3B, "30톤 로드셀 S/N", true},
    {0x3D, "30톤 로드셀 커버 S/N", true},
    {0x32, "측정기 S/N", true},
    {0x39, "15톤 로드셀 커버 S/N", true},
    {0x3F, "25톤 로드셀 커버 S/N", true},
    {0x30, "버전 정보", false},
}};

// The eight identity texts the operator's window reads at connect, in the order of kIdentityFields
// (name, the load-cell and cover serials, the instrument serial, the firmware version). An erased serial
// reads "-"; a field that could not be read is a null QString (unknown), a field read empty is "".
struct InstrumentIdentity {
    static constexpr int kFieldCount = 8;
    static constexpr int kSerialField = 4; // 0x32, "측정기 S/N"
    std::array<QString, kFieldCount> texts;
    // Each field's bytes as the instrument sent them (without the answer area's trailing zeros), so that
    // fields whose bytes differ but decode alike stay apart; empty when not known (an old archive).
    std::array<QByteArray, kFieldCount> bytes;

    // The fields by name.
    const QString &Name() const { return texts[0]; }
    const QString &LoadCell15Serial() const { return texts[1]; }
    const QString &LoadCell30Serial() const { return texts[2]; }
    const QString &Cover30Serial() const { return texts[3]; }
    const QString &Serial() const { return texts[kSerialField]; }
    const QString &Cover15Serial() const { return texts[5]; }
    const QString &Cover25Serial() const { return texts[6]; }
    const QString &Version() const { return texts[7]; }
    // What tells one instrument from another: its serial, or, when the serial is erased or could not be
    // read, the rest of its identity except the firmware version (which changes with an upload). A field
    // whose bytes are not just its text's code page 949 form counts by its bytes.
    QString InstrumentKey() const;
    // Field `index` (in kIdentityFields) decoded from its read's 32-byte answer area: its text and bytes.
    void SetFromAnswer(int index, const uint8_t *response, int length);
    // A field's bytes from the 32-byte answer area.
    static QByteArray FieldBytes(const uint8_t *response, int length);
    // All fields' bytes as one text (hexadecimal, separated by spaces) and back; empty when none is known.
    QString BytesText() const;
    void SetBytesText(const QString &text);
    bool operator==(const InstrumentIdentity &) const = default;
};

// Two read time-outs (-1092) in a row: the instrument is taken to be silent, so that the operator learns it
// in about 5 s rather than after every remaining exchange's time-out.
class SilenceWatch {
  public:
    // Counts one exchange's result; true once two in a row have timed out.
    bool Silent(int result);

  private:
    int m_timeoutsInRow = 0;
};

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
