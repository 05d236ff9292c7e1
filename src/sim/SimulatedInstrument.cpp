#include "SimulatedInstrument.h"

#include "Clock.h"
#include "Commands.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// Write command -> the read command whose field it writes.
int ReadCommandOfWrite(uint8_t command)
{
    switch (command) {
    case CMD_WRITE_SERIAL: return CMD_READ_SERIAL;
    case CMD_WRITE_LC15_SN: return CMD_READ_LC15_SN;
    case CMD_WRITE_LC15_COVER_SN: return CMD_READ_LC15_COVER_SN;
    case CMD_WRITE_LC30_SN: return CMD_READ_LC30_SN;
    case CMD_WRITE_LC30_COVER_SN: return CMD_READ_LC30_COVER_SN;
    case CMD_WRITE_LC25_COVER_SN: return CMD_READ_LC25_COVER_SN;
    default: return -1;
    }
}

bool IsIdentityRead(uint8_t command)
{
    return command == CMD_READ_VERSION || command == CMD_READ_NAME || command == CMD_READ_SERIAL ||
           command == CMD_READ_LC15_SN || command == CMD_READ_LC15_COVER_SN || command == CMD_READ_LC30_SN ||
           command == CMD_READ_LC30_COVER_SN || command == CMD_READ_LC25_COVER_SN;
}

uint8_t Bcd(int twoDigits)
{
    return uint8_t((twoDigits / 10) * 16 + twoDigits % 10);
}

void Append24(QByteArray &out, uint32_t value)
{
    out.append(char((value >> 16) & 0xFF));
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

void Append16(QByteArray &out, int value)
{
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

auto TimeKey(const uint8_t *r)
{
    return std::make_tuple((r[0] << 8) | r[1], r[2], r[3], r[4], r[5], r[6]);
}

LocalFields FieldsOf(qint64 seconds)
{
    return LocalFieldsOf(seconds).value_or(LocalFields{1970, 1, 1, 0, 0, 0});
}

// A handful of stored records on several days up to `now`, two of them on its day.
std::vector<RawRecord> DefaultStored(qint64 now)
{
    const LocalFields today = FieldsOf(now);
    const QDate date(today.year, today.month, today.day);
    auto on = [&](int daysBack, int hour, int minute, int second) {
        const QDate d = date.addDays(-daysBack);
        return LocalFields{d.year(), d.month(), d.day(), hour, minute, second};
    };
    // Today's records lie shortly before the present moment (or just after midnight early in the day).
    auto earlier = [&](int minutesBack) {
        const LocalFields f = FieldsOf(now - minutesBack * 60);
        return (f.year == today.year && f.month == today.month && f.day == today.day)
                   ? f
                   : LocalFields{today.year, today.month, today.day, 0, 0, 0};
    };
    return {MakeRecord(on(9, 10, 15, 0), 1176, 0), MakeRecord(on(3, 9, 30, 5), 1470, 1),
            MakeRecord(on(3, 14, 2, 41), 2940, 2), MakeRecord(on(1, 11, 20, 10), 1465, 1),
            MakeRecord(earlier(40), 1472, 1),      MakeRecord(earlier(15), 2936, 2)};
}

std::vector<RawRecord> DefaultRun(qint64 now)
{
    static const int kForces[] = {1462, 1468, 1471, 1470, 1474, 1469, 1466, 1472};
    std::vector<RawRecord> run;
    for (int i = 0; i < int(std::size(kForces)); ++i)
        run.push_back(MakeRecord(FieldsOf(now - 600 + i), kForces[i], 1));
    return run;
}

} // namespace

SimulatedInstrument::SimulatedInstrument(Clock &clock, const Scenario &scenario)
    : m_clock(clock), m_identity(scenario.identity), m_battery(scenario.battery),
      m_telephone(PackTelephone(scenario.telephone)), m_continuous(scenario.continuous),
      m_calibration(scenario.calibration), m_firmware(scenario.firmware)
{
    if (scenario.clock)
        SetClock(*scenario.clock);
    if (m_telephone.isEmpty())
        m_telephone = QByteArray(6, '\0');
    const qint64 now = ClockSeconds();
    m_stored = scenario.stored ? *scenario.stored : DefaultStored(now);
    if (!m_continuous.records)
        m_continuous.records = DefaultRun(now);
    for (const auto &key : Scenario::kIdentityKeys)
        m_identity[key.readCommand] = IdentityField(key.readCommand);
}

int SimulatedInstrument::AnswerDataLength(uint8_t command)
{
    return command >= CMD_FIRST && command <= CMD_LAST ? kResponseDataLength[command - CMD_FIRST] : 0;
}

int SimulatedInstrument::RequestCount(uint8_t command) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [command](const SimFrames::Request &r) { return r.command == command; }));
}

QByteArray SimulatedInstrument::IdentityField(uint8_t readCommand) const
{
    const int length = AnswerDataLength(readCommand);
    auto it = m_identity.find(readCommand);
    QByteArray field = it == m_identity.end() ? QByteArray() : it->second.left(length);
    field.append(QByteArray(length - field.size(), '\0'));
    return field;
}

void SimulatedInstrument::SetIdentityField(uint8_t readCommand, const QByteArray &bytes)
{
    if (IsIdentityRead(readCommand))
        m_identity[readCommand] = bytes;
}

qint64 SimulatedInstrument::SharedNow() const
{
    return m_answeringAt.value_or(m_clock.Now());
}

qint64 SimulatedInstrument::ClockSeconds() const
{
    return SharedNow() + m_clockOffset;
}

LocalFields SimulatedInstrument::ClockFields() const
{
    return FieldsOf(ClockSeconds());
}

bool SimulatedInstrument::SetClock(const LocalFields &f)
{
    // The instrument's clock chip holds real calendar dates only.
    if (!QDate::isValid(f.year, f.month, f.day))
        return false;
    const auto seconds = LocalTimeFromFields(f);
    if (!seconds)
        return false;
    m_clockOffset = *seconds - SharedNow();
    return true;
}

QByteArray SimulatedInstrument::PackTelephone(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char('-'));
    if (digits.size() != 11 || std::any_of(digits.begin(), digits.end(), [](QChar c) { return !c.isDigit(); }))
        return QByteArray();
    auto d = [&](int i) { return digits.at(i).digitValue(); };
    QByteArray packed;
    packed.append(char(Bcd(d(9) * 10 + d(10))));
    packed.append(char(Bcd(d(7) * 10 + d(8))));
    packed.append(char(Bcd(d(5) * 10 + d(6))));
    packed.append(char(Bcd(d(3) * 10 + d(4))));
    packed.append(char(Bcd(d(1) * 10 + d(2))));
    packed.append(char(d(0)));
    return packed;
}

QString SimulatedInstrument::TelephoneText() const
{
    const auto *t = reinterpret_cast<const uint8_t *>(m_telephone.constData());
    return QString::asprintf("%01X%02X-%02X%02X-%02X%02X", t[5], t[4], t[3], t[2], t[1], t[0]);
}

bool SimulatedInstrument::SetTelephoneText(const QString &text)
{
    const QByteArray packed = PackTelephone(text);
    if (packed.isEmpty())
        return false;
    m_telephone = packed;
    return true;
}

void SimulatedInstrument::SetContinuous(const ContinuousRun &run)
{
    m_continuous = run;
    if (!m_continuous.records)
        m_continuous.records = DefaultRun(ClockSeconds());
}

QByteArray SimulatedInstrument::ContinuousSummary() const
{
    const auto &records = *m_continuous.records;
    // Statistics the run does not state are computed over its records, in 0.01 kN.
    double sum = 0, sumSquares = 0;
    int lo = 0xFFFF, hi = 0;
    for (const auto &r : records) {
        const int force = ((r[7] << 8) | r[8]) * 10;
        sum += force;
        sumSquares += double(force) * force;
        lo = std::min(lo, force);
        hi = std::max(hi, force);
    }
    const double n = double(records.size());
    const double mean = n > 0 ? sum / n : 0;
    const double deviation = n > 0 ? std::sqrt(std::max(0.0, sumSquares / n - mean * mean)) : 0;
    auto clamp = [](double v) { return int(std::clamp(std::lround(v), 0L, 65535L)); };

    const int count = m_continuous.count.value_or(std::min<int>(int(records.size()), 255));
    QByteArray summary;
    summary.append(char(uint8_t(count)));
    Append16(summary, m_continuous.average.value_or(clamp(mean)));
    Append16(summary, m_continuous.minimum.value_or(records.empty() ? 0 : clamp(lo)));
    Append16(summary, m_continuous.maximum.value_or(clamp(hi)));
    Append16(summary, m_continuous.deviation.value_or(clamp(deviation)));
    return summary;
}

QByteArray SimulatedInstrument::Single(uint8_t command, uint8_t value) const
{
    return SimFrames::BuildShort(command, QByteArray(1, char(value)));
}

std::vector<QByteArray> SimulatedInstrument::Answer(const SimFrames::Request &request, qint64 atSeconds)
{
    m_answeringAt = atSeconds;
    std::vector<QByteArray> frames = Respond(request);
    m_answeringAt.reset();
    return frames;
}

std::vector<QByteArray> SimulatedInstrument::Respond(const SimFrames::Request &request)
{
    m_requests.push_back(request);
    const uint8_t command = request.command;
    const QByteArray &data = request.data;

    // Firmware header and data travel in long frames only, and nothing else does.
    const bool firmwareData = command == CMD_FW_HEADER || command == CMD_FW_DATA;
    if (firmwareData != request.longFrame)
        return {};
    if (firmwareData)
        return Firmware(request);

    if (IsIdentityRead(command))
        return {SimFrames::BuildShort(command, IdentityField(command))};
    if (const int readCommand = ReadCommandOfWrite(command); readCommand >= 0) {
        if (data.size() != AnswerDataLength(uint8_t(readCommand)))
            return {Single(command, kRefused)};
        m_identity[uint8_t(readCommand)] = data;
        return {Single(command, kAck)};
    }
    switch (command) {
    case CMD_READ_BATTERY: return {Single(command, m_battery)};
    case CMD_SET_CLOCK: return {Single(command, SetClockFromRequest(data))};
    case CMD_READ_MEMORY: return StoredStream(data);
    case CMD_READ_OUTPUT: return ContinuousStream();
    case CMD_READ_CAL15: return {SimFrames::BuildShort(command, CalibrationAnswer(0))};
    case CMD_READ_CAL30: return {SimFrames::BuildShort(command, CalibrationAnswer(1))};
    case CMD_CAL15_FROM_LIVE: return {Single(command, CapturePoint(0, data))};
    case CMD_CAL30_FROM_LIVE: return {Single(command, CapturePoint(1, data))};
    case CMD_WRITE_CAL: return {Single(command, WriteCorrection(data))};
    case CMD_FW_REQUEST:
        m_firmwareState = FirmwareState::AwaitingHeader;
        m_firmwareImage.clear();
        m_firmwareBlocks = 0;
        return {Single(command, kAck)};
    case CMD_READ_CLOCK: {
        const LocalFields f = ClockFields();
        QByteArray answer;
        Append16(answer, f.year);
        for (int v : {f.month, f.day, f.hour, f.minute, f.second})
            answer.append(char(v));
        answer.append(m_telephone);
        return {SimFrames::BuildShort(command, answer)};
    }
    default: return {}; // 0x42 is only ever sent by the instrument; others are unknown
    }
}

uint8_t SimulatedInstrument::SetClockFromRequest(const QByteArray &data)
{
    if (data.size() != 13)
        return kRefused;
    const auto *d = reinterpret_cast<const uint8_t *>(data.constData());
    for (int i = 7; i < 13; ++i)
        if ((d[i] >> 4) > 9 || (d[i] & 0x0F) > 9 || (i == 12 && d[i] > 9))
            return kRefused;
    if (!SetClock(LocalFields{(d[0] << 8) | d[1], d[2], d[3], d[4], d[5], d[6]}))
        return kRefused;
    m_telephone = data.mid(7, 6);
    return kAck;
}

// The records from the start moment on, in the instrument's order, then the end marker. A start
// moment of the wrong length gets no answer.
std::vector<QByteArray> SimulatedInstrument::StoredStream(const QByteArray &start) const
{
    if (start.size() != 7)
        return {};
    const auto startKey = TimeKey(reinterpret_cast<const uint8_t *>(start.constData()));
    std::vector<QByteArray> frames;
    for (const auto &r : m_stored)
        if (TimeKey(r.data()) >= startKey)
            frames.push_back(SimFrames::BuildShort(
                CMD_READ_MEMORY, QByteArray(reinterpret_cast<const char *>(r.data()), int(r.size()))));
    frames.push_back(SimFrames::BuildShort(CMD_READ_MEMORY, QByteArray(10, '\0')));
    return frames;
}

// The summary, then every record of the run in a 0x42 frame whose first data byte (not used by the
// desktop) carries the record's running number.
std::vector<QByteArray> SimulatedInstrument::ContinuousStream() const
{
    std::vector<QByteArray> frames{SimFrames::BuildShort(CMD_READ_OUTPUT, ContinuousSummary())};
    int number = 0;
    for (const auto &r : *m_continuous.records) {
        QByteArray data(1, char(uint8_t(++number)));
        data.append(reinterpret_cast<const char *>(r.data()), int(r.size()));
        frames.push_back(SimFrames::BuildShort(CMD_OUTPUT_RECORD, data));
    }
    return frames;
}

QByteArray SimulatedInstrument::CalibrationAnswer(int table) const
{
    const CalibrationTable &t = m_calibration[table];
    QByteArray answer;
    for (uint32_t point : t.points)
        Append24(answer, point);
    Append24(answer, t.live);
    for (int correction : t.corrections)
        Append16(answer, correction + 2048);
    return answer;
}

uint8_t SimulatedInstrument::CapturePoint(int table, const QByteArray &data)
{
    if (data.size() != 1 || uint8_t(data[0]) > 3)
        return kRefused;
    m_calibration[table].points[uint8_t(data[0])] = m_calibration[table].live;
    return kAck;
}

uint8_t SimulatedInstrument::WriteCorrection(const QByteArray &data)
{
    if (data.size() != 3 || uint8_t(data[0]) > 5)
        return kRefused;
    const int index = uint8_t(data[0]);
    const int field = (uint8_t(data[1]) << 8) | uint8_t(data[2]);
    m_calibration[index / 3].corrections[index % 3] = field - 2048;
    return kAck;
}

// Request, header, data blocks. The header must follow a request and carry the image signature 33 55;
// blocks must follow an accepted header. A rejected header or a block with a checksum error ends the
// update; the bytes accepted so far stay in the image.
std::vector<QByteArray> SimulatedInstrument::Firmware(const SimFrames::Request &request)
{
    if (request.command == CMD_FW_HEADER) {
        const bool ok = m_firmwareState == FirmwareState::AwaitingHeader && !m_firmware.rejectHeader &&
                        request.data == QByteArray("\x33\x55", 2);
        m_firmwareState = ok ? FirmwareState::ReceivingData : FirmwareState::Idle;
        if (ok)
            m_firmwareImage = request.data;
        return {Single(request.command, ok ? kAck : kFirmwareRejected)};
    }
    if (m_firmwareState != FirmwareState::ReceivingData || request.data.isEmpty() ||
        m_firmwareBlocks + 1 == m_firmware.crcErrorBlock) {
        m_firmwareState = FirmwareState::Idle;
        return {Single(request.command, kFirmwareCrcError)};
    }
    ++m_firmwareBlocks;
    m_firmwareImage.append(request.data);
    return {Single(request.command, m_blockAcceptAnswer)};
}
