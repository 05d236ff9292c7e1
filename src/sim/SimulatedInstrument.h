#pragma once

#include "Scenario.h"
#include "SimFrames.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class Clock;

// The instrument as a protocol peer: it holds the instrument's state and answers requests with frames.
// Pure logic without timing; SimulatedUartLine puts it on a timed wire. Not thread-safe on its own: the
// line serialises every call it makes.
//
// Acknowledgement bytes: writes, captures and the clock setting answer 0x00 when done and 0x01 when the
// payload is refused (wrong length, impossible time, bad index); the instrument's state is then unchanged.
// A request the instrument does not know (or a firmware command in a short frame) gets no answer, as does
// a frame that fails its checks (the receiver drops it before it gets here).
class SimulatedInstrument {
  public:
    static constexpr uint8_t kAck = 0x00;
    static constexpr uint8_t kRefused = 0x01;
    static constexpr uint8_t kFirmwareRejected = 0x01;
    static constexpr uint8_t kFirmwareCrcError = 0x01;

    enum class FirmwareState { Idle, AwaitingHeader, ReceivingData };

    SimulatedInstrument(Clock &clock, const Scenario &scenario = Scenario());

    // The frames the instrument sends in answer to a request that arrived at `atSeconds` (the shared
    // clock's wall time), in order; empty when it does not answer. The request is logged either way.
    // The answer depends on the moment the request arrived, never on when the line gets round to it.
    std::vector<QByteArray> Answer(const SimFrames::Request &request, qint64 atSeconds);

    // Requests received, in order.
    const std::vector<SimFrames::Request> &Requests() const { return m_requests; }
    void ClearRequests() { m_requests.clear(); }
    // How many requests of a command were received.
    int RequestCount(uint8_t command) const;

    // Identity fields by read command; the bytes as the instrument answers them.
    QByteArray IdentityField(uint8_t readCommand) const;
    void SetIdentityField(uint8_t readCommand, const QByteArray &bytes);

    uint8_t Battery() const { return m_battery; }
    void SetBattery(uint8_t level) { m_battery = level; }

    // The instrument's clock runs with the shared clock from the moment it was set.
    qint64 ClockSeconds() const;
    LocalFields ClockFields() const;
    bool SetClock(const LocalFields &fields);
    // The service telephone as the instrument keeps it: six packed BCD bytes (last two digits first, the
    // lone first digit last), and as text "000-0000-0000".
    QByteArray TelephoneBytes() const { return m_telephone; }
    QString TelephoneText() const;
    bool SetTelephoneText(const QString &text);

    const std::vector<RawRecord> &StoredRecords() const { return m_stored; }
    void SetStoredRecords(const std::vector<RawRecord> &records) { m_stored = records; }
    const ContinuousRun &Continuous() const { return m_continuous; }
    void SetContinuous(const ContinuousRun &run);
    // The 9 summary bytes the instrument sends first in a continuous download.
    QByteArray ContinuousSummary() const;

    // table 0 = 15 t, 1 = 30 t.
    const CalibrationTable &Calibration(int table) const { return m_calibration[table]; }
    void SetCalibration(int table, const CalibrationTable &values) { m_calibration[table] = values; }
    void SetLiveReading(int table, uint32_t raw) { m_calibration[table].live = raw & 0xFFFFFF; }

    // The firmware image of the latest update: header and every accepted block, in order.
    QByteArray FirmwareImage() const { return m_firmwareImage; }
    FirmwareState FirmwareStatus() const { return m_firmwareState; }
    int FirmwareBlocksAccepted() const { return m_firmwareBlocks; }
    // No end mark travels: the image is complete when the desktop has sent everything.
    FirmwareBehaviour &Firmware() { return m_firmware; }
    // The answer byte for an accepted data block (0 unless a test wants another value the desktop must
    // also take as accepted).
    void SetFirmwareBlockAcceptAnswer(uint8_t answer) { m_blockAcceptAnswer = answer; }

    // Data length of the instrument's answer to a command; 0 for an unknown one.
    static int AnswerDataLength(uint8_t command);
    // Packs "000-0000-0000" (or 11 bare digits) into the six BCD bytes; empty when it is not 11 digits.
    static QByteArray PackTelephone(const QString &text);

  private:
    std::vector<QByteArray> Respond(const SimFrames::Request &request);
    // The shared clock's time, or the arrival time of the request being answered.
    qint64 SharedNow() const;
    QByteArray Single(uint8_t command, uint8_t value) const;
    std::vector<QByteArray> StoredStream(const QByteArray &start) const;
    std::vector<QByteArray> ContinuousStream() const;
    uint8_t SetClockFromRequest(const QByteArray &data);
    QByteArray CalibrationAnswer(int table) const;
    uint8_t WriteCorrection(const QByteArray &data);
    uint8_t CapturePoint(int table, const QByteArray &data);
    std::vector<QByteArray> Firmware(const SimFrames::Request &request);

    Clock &m_clock;
    std::vector<SimFrames::Request> m_requests;
    std::map<uint8_t, QByteArray> m_identity;
    uint8_t m_battery;
    qint64 m_clockOffset = 0; // instrument time - shared clock's time, seconds
    std::optional<qint64> m_answeringAt;
    QByteArray m_telephone;
    std::vector<RawRecord> m_stored;
    ContinuousRun m_continuous;
    std::array<CalibrationTable, 2> m_calibration;
    FirmwareBehaviour m_firmware;
    FirmwareState m_firmwareState = FirmwareState::Idle;
    QByteArray m_firmwareImage;
    int m_firmwareBlocks = 0;
    uint8_t m_blockAcceptAnswer = 0x00;
};
