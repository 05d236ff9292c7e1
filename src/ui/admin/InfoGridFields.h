#pragma once

#include "LocalTime.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// What the console's instrument-information grid reads and writes, without any widget: the ten reads
// that fill it, how each answer becomes a cell text, the identity fields its "설정" buttons write, and
// the clock a typed text stands for.
namespace InfoFields {

enum class Rendering {
    Text,       // the text as received
    DashedText, // "-" when the field is unset on the instrument (first byte 0x00 or 0xFF)
    Battery,    // one signed byte, "%d %"
    Clock,      // the 13-byte clock answer, "-" when the instrument's clock is not a shown time
};

struct ReadStep {
    uint8_t command;
    int col;
    int row;
    Rendering rendering;
    // The firmware version is read for information only: its failure neither stops the query nor
    // refreshes the trace.
    bool optional;
};

// In the order the console asks.
extern const std::array<ReadStep, 10> kReadSteps;

// The cell text of an answer's data bytes (`data` holds the command's whole answer data).
QString RenderAnswer(Rendering rendering, const uint8_t *data, int length);

// An identity field and the "설정" button that writes it; the value sits left of the button, its
// label two cells left.
struct IdentityField {
    int buttonCol;
    int buttonRow;
    uint8_t command;
    int length; // the field's bytes on the instrument
};

extern const std::array<IdentityField, 6> kIdentityFields;

// The field written by the button at (col, row); null when that cell is no identity button.
const IdentityField *IdentityFieldAt(int col, int row);

// The instrument's field bytes for a text: its code page 949 form followed by zero bytes, exactly
// `length` bytes. A text with a character code page 949 lacks, or longer than the field, is refused
// (nullopt) with the operator's message in *refusal: cutting it would send half a Hangul character.
std::optional<QByteArray> IdentityPayload(const QString &label, const QString &text, int length, QString *refusal);

// The local time a typed clock text names, "2024-03-05 07:08:09" or "20240305070809": after dropping
// '-', ':' and ' ' it must be exactly 14 digits forming a real calendar time within the years the
// instrument's clock shows. nullopt otherwise.
std::optional<LocalFields> ParseTypedClock(const QString &text);

} // namespace InfoFields
