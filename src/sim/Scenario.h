#pragma once

#include "LocalTime.h"
#include "RawRecord.h"
#include "SimulatedFaults.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// One stored or continuous record as the instrument sends it: year (2 bytes), month, day, hour, minute,
// second, raw force in 0.1 kN (2 bytes), setting code.
RawRecord MakeRecord(const LocalFields &time, int rawForce, int setting);

// One load cell's calibration: four reference points and the live reading (24-bit raw converter values),
// and three corrections (signed; the instrument sends and receives them as value + 2048).
struct CalibrationTable {
    std::array<uint32_t, 4> points{};
    uint32_t live = 0;
    std::array<int, 3> corrections{};
};

// The continuous measurement run. Statistics are in 0.01 kN; absent ones are computed from the records.
struct ContinuousRun {
    std::optional<quint16> average, minimum, maximum, deviation;
    // nullopt: a short default run ending a few minutes before the instrument's present time.
    std::optional<std::vector<RawRecord>> records;
    // The number the summary announces, when it should differ from the records sent.
    std::optional<int> count;
};

struct FirmwareBehaviour {
    bool rejectHeader = false;
    int crcErrorBlock = 0; // data block (from 1) answered with a checksum error; 0 = none
};

// Everything that describes one simulated instrument: its contents and the faults on its line. A default
// Scenario is a plausible, healthy instrument. Loaded from a JSON scenario file with FromJson/FromFile.
struct Scenario {
    Scenario();

    // Identity fields by their read command (0x30, 0x31, 0x32, 0x37, 0x39, 0x3B, 0x3D, 0x3F), each exactly
    // as many bytes as the instrument answers.
    std::map<uint8_t, QByteArray> identity;
    uint8_t battery = 87;
    // The instrument's time at start; nullopt = the shared clock's present local time.
    std::optional<LocalFields> clock;
    // Service telephone, 11 digits in "000-0000-0000" form.
    QString telephone = QStringLiteral("031-8765-4321");
    // Stored records in the instrument's order; nullopt = a handful on several days up to the instrument's
    // today.
    std::optional<std::vector<RawRecord>> stored;
    ContinuousRun continuous;
    std::array<CalibrationTable, 2> calibration; // [0] 15 t, [1] 30 t
    FirmwareBehaviour firmware;
    FaultPlan faults;

    // Parses a scenario; on failure returns nullopt and a readable reason in *error.
    static std::optional<Scenario> FromJson(const QByteArray &json, QString *error);
    static std::optional<Scenario> FromFile(const QString &path, QString *error);

    // The eight identity keys of a scenario file with their read commands, in the instrument's
    // command order.
    struct IdentityKey {
        const char *key;
        uint8_t readCommand;
    };
    static const std::array<IdentityKey, 8> kIdentityKeys;
};
