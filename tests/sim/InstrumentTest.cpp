#include "Commands.h"
#include "SimTestSupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

Scenario Parse(const char *json)
{
    QString error;
    auto scenario = Scenario::FromJson(json, &error);
    EXPECT_TRUE(scenario.has_value()) << error.toStdString();
    return scenario.value_or(Scenario());
}

const char *kStored = R"({"stored": [
    {"time": "2024-04-30 23:59:59", "raw": 1000, "setting": 0},
    {"time": "2024-05-01 00:00:00", "raw": 1470, "setting": 1},
    {"hex": "07 E8 05 01 09 1E 05 05 BE 01"},
    {"time": "2024-04-29 08:00:00", "raw": 900},
    {"time": "2024-05-03 12:00:00", "raw": 2940, "setting": 2}]})";

} // namespace

// The instrument sends the records at or after the start moment, in its own order, then the end marker.
TEST(SimulatedInstrumentRecords, StoredRecordsFromTheStartMomentThenEndMarker)
{
    SimRig rig(Parse(kStored));
    const auto frames = SplitFrames(rig.Ask(CMD_READ_MEMORY, Hex("07 E8 05 01 00 00 00")));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], Hex("02 0B 35 07 E8 05 01 00 00 00 05 BE 01") +
                             QByteArray(1, char(0x02 ^ 0x0B ^ 0x35 ^ 0x07 ^ 0xE8 ^ 0x05 ^ 0x01 ^ 0x05 ^ 0xBE ^ 0x01)) +
                             Hex("03"));
    EXPECT_EQ(frames[1].mid(3, 10), Hex("07 E8 05 01 09 1E 05 05 BE 01"));
    EXPECT_EQ(frames[2].mid(3, 4), Hex("07 E8 05 03"));
    EXPECT_EQ(frames[3].mid(3, 10), QByteArray(10, '\0'));

    // A start after every record gives the end marker alone.
    const auto none = SplitFrames(rig.Ask(CMD_READ_MEMORY, Hex("07 E8 05 04 00 00 00")));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0][3], '\0');
}

TEST(SimulatedInstrumentRecords, DefaultStoredRecordsSpanSeveralDaysIncludingToday)
{
    SimRig rig;
    const LocalFields today = rig.Instrument().ClockFields();
    const QByteArray start = QByteArray(1, char(today.year >> 8)) + char(today.year & 0xFF) + char(today.month) +
                             char(today.day) + QByteArray(3, '\0');
    const auto todays = SplitFrames(rig.Ask(CMD_READ_MEMORY, start));
    EXPECT_GE(todays.size(), 2u + 1);
    const auto all = SplitFrames(rig.Ask(CMD_READ_MEMORY, Hex("07 B2 01 01 00 00 00")));
    EXPECT_GT(all.size(), todays.size());
    QSet<QByteArray> days;
    for (const QByteArray &f : all)
        days.insert(f.mid(3, 4));
    EXPECT_GE(days.size(), 4); // three or more days plus the end marker
}

TEST(SimulatedInstrumentRecords, ContinuousRunWithSummaryAndCountOverride)
{
    SimRig rig(Parse(R"({"continuous": {"average": 14700, "minimum": 14600, "maximum": 14800, "deviation": 55,
        "count": 2, "records": [{"time": "2024-05-01 10:00:00", "raw": 1234},
                                {"time": "2024-05-01 10:00:01", "raw": 1240},
                                {"hex": "07 E8 05 01 0A 00 02 04 D2 01"}]}})"));
    const auto frames = SplitFrames(rig.Ask(CMD_READ_OUTPUT));
    ASSERT_EQ(frames.size(), 4u); // every record is sent; the summary announces 2
    EXPECT_EQ(frames[0].left(3), Hex("02 0A 41"));
    EXPECT_EQ(frames[0].mid(3, 9), Hex("02 39 6C 39 08 39 D0 00 37"));
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(frames[i].size(), 16);
        EXPECT_EQ(frames[i].left(3), Hex("02 0C 42"));
    }
    EXPECT_EQ(frames[1].mid(4, 10), Hex("07 E8 05 01 0A 00 00 04 D2 01"));
    EXPECT_EQ(frames[3].mid(4, 10), Hex("07 E8 05 01 0A 00 02 04 D2 01"));
}

TEST(SimulatedInstrumentRecords, DefaultRunComputesItsSummary)
{
    SimRig rig;
    const auto &records = *rig.Instrument().Continuous().records;
    ASSERT_FALSE(records.empty());
    const QByteArray summary = rig.Instrument().ContinuousSummary();
    EXPECT_EQ(uint8_t(summary[0]), records.size());
    const int minimum = (uint8_t(summary[3]) << 8) | uint8_t(summary[4]);
    const int maximum = (uint8_t(summary[5]) << 8) | uint8_t(summary[6]);
    const int average = (uint8_t(summary[1]) << 8) | uint8_t(summary[2]);
    EXPECT_LE(minimum, average);
    EXPECT_LE(average, maximum);
    EXPECT_EQ(minimum % 10, 0); // records in 0.1 kN, statistics in 0.01 kN
}

TEST(SimulatedInstrumentCalibration, ReadCaptureAndCorrection)
{
    SimRig rig(Parse(R"({"calibration": {
        "15": {"points": [0, 2048, 16777215, 5], "live": 1193046, "corrections": [0, -2048, 63487]},
        "30": {"points": [1, 2, 3, 4], "live": 99, "corrections": [1, 2, 3]}}})"));
    EXPECT_EQ(rig.AskData(CMD_READ_CAL15), Hex("000000 000800 FFFFFF 000005 123456 0800 0000 FFFF"));

    EXPECT_EQ(rig.AskData(CMD_CAL30_FROM_LIVE, Hex("02")), Hex("00"));
    EXPECT_EQ(rig.Instrument().Calibration(1).points, (std::array<uint32_t, 4>{1, 2, 99, 4}));
    EXPECT_EQ(rig.AskData(CMD_CAL15_FROM_LIVE, Hex("04")), Hex("01")); // no fifth point
    EXPECT_EQ(rig.Instrument().Calibration(0).points[3], 5u);

    EXPECT_EQ(rig.AskData(CMD_WRITE_CAL, Hex("04 04 18")), Hex("00")); // 30 t, second correction, -1000
    EXPECT_EQ(rig.AskData(CMD_WRITE_CAL, Hex("00 0B E8")), Hex("00")); // 15 t, first correction, 1000
    EXPECT_EQ(rig.AskData(CMD_WRITE_CAL, Hex("06 08 00")), Hex("01"));
    EXPECT_EQ(rig.Instrument().Calibration(1).corrections, (std::array<int, 3>{1, -1000, 3}));
    EXPECT_EQ(rig.Instrument().Calibration(0).corrections, (std::array<int, 3>{1000, -2048, 63487}));
    EXPECT_EQ(rig.AskData(CMD_READ_CAL30), Hex("000001 000002 000063 000004 000063 0801 0418 0803"));
}

// Telephone digits 0 1 2 3 4 5 6 7 8 9 0 travel as 90 78 56 34 12 00 both ways.
TEST(SimulatedInstrumentClock, SetAndReadBackWithTelephone)
{
    SimRig rig;
    EXPECT_EQ(rig.AskData(CMD_SET_CLOCK, Hex("07 E8 03 05 0E 07 09 90 78 56 34 12 00")), Hex("00"));
    EXPECT_EQ(rig.Instrument().TelephoneText(), "012-3456-7890");
    rig.clock.Sleep(61000); // the instrument's clock runs on
    EXPECT_EQ(rig.AskData(CMD_READ_CLOCK), Hex("07 E8 03 05 0E 08 0A 90 78 56 34 12 00"));

    // Impossible times and digits are refused and change nothing.
    for (const char *bad : {"00 00 00 00 FF FF FF 90 78 56 34 12 00", "07 E8 02 1E 00 00 00 90 78 56 34 12 00",
                            "07 E8 03 05 0E 07 09 9A 78 56 34 12 00", "07 E8 03 05 0E 07 09 90 78 56 34 12"})
        EXPECT_EQ(rig.AskData(CMD_SET_CLOCK, Hex(bad)), Hex("01")) << bad;
    EXPECT_EQ(rig.Instrument().ClockFields().minute, 8);
    EXPECT_EQ(rig.Instrument().TelephoneText(), "012-3456-7890");
}

TEST(SimulatedInstrumentClock, ScenarioClockIsTheInstrumentsTimeAtStart)
{
    SimRig rig(Parse(R"({"clock": "2023-12-31 23:59:30", "telephone": "031-8765-4321"})"));
    EXPECT_EQ(rig.AskData(CMD_READ_CLOCK), Hex("07 E7 0C 1F 17 3B 1E 21 43 65 87 31 00"));
    rig.clock.Sleep(30000);
    EXPECT_EQ(rig.AskData(CMD_READ_CLOCK).left(7), Hex("07 E8 01 01 00 00 00"));
}

TEST(SimulatedInstrumentIdentity, WritesReplaceTheFieldTheReadReturns)
{
    SimRig rig;
    const QByteArray serial("A1234567890");
    EXPECT_EQ(rig.AskData(CMD_WRITE_SERIAL, serial), Hex("00"));
    EXPECT_EQ(rig.AskData(CMD_READ_SERIAL), serial);
    EXPECT_EQ(rig.AskData(CMD_WRITE_LC15_COVER_SN, QByteArray("C9\0\0\0\0\0\0\0\0", 10)), Hex("00"));
    EXPECT_EQ(rig.AskData(CMD_READ_LC15_COVER_SN), QByteArray("C9\0\0\0\0\0\0\0\0", 10));
    // A write of the wrong length is refused.
    EXPECT_EQ(rig.AskData(CMD_WRITE_LC30_SN, QByteArray("L30")), Hex("01"));
    EXPECT_EQ(rig.AskData(CMD_READ_LC30_SN), QByteArray("L30-24027", 9));
    for (uint8_t read : {CMD_READ_VERSION, CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_LC15_SN, CMD_READ_LC15_COVER_SN,
                         CMD_READ_LC30_SN, CMD_READ_LC30_COVER_SN, CMD_READ_LC25_COVER_SN})
        EXPECT_EQ(rig.AskData(read).size(), kResponseDataLength[read - CMD_FIRST]) << int(read);
    EXPECT_EQ(rig.Instrument().Requests().back().command, CMD_READ_LC25_COVER_SN);
}

namespace {

QByteArray Image(int size)
{
    QByteArray image("\x33\x55", 2);
    for (int i = 2; i < size; ++i)
        image.append(char(i % 7 == 0 ? 0x02 : i % 5 == 0 ? 0x03 : (i * 37) & 0xFF)); // STX/ETX inside data
    return image;
}

// Request, header and blocks of up to 1024 bytes; returns each answer byte (-1 for no answer).
std::vector<int> Upload(SimRig &rig, const QByteArray &image)
{
    std::vector<int> answers;
    auto answer = [&](const QByteArray &bytes) { answers.push_back(bytes.size() == 6 ? uint8_t(bytes[3]) : -1); };
    answer(rig.Ask(CMD_FW_REQUEST));
    answer(rig.Ask(LongRequestFrame(CMD_FW_HEADER, image.left(2)), 200));
    for (int at = 2; at < image.size() && answers.back() != 1; at += 1024)
        answer(rig.Ask(LongRequestFrame(CMD_FW_DATA, image.mid(at, 1024)), 200));
    return answers;
}

} // namespace

TEST(SimulatedInstrumentFirmware, KeepsTheImageByteForByte)
{
    SimRig rig;
    const QByteArray image = Image(2050);
    EXPECT_EQ(Upload(rig, image), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(rig.Instrument().FirmwareImage(), image);
    EXPECT_EQ(rig.Instrument().FirmwareBlocksAccepted(), 2);
    EXPECT_TRUE(rig.Instrument().Requests().back().longFrame);
}

TEST(SimulatedInstrumentFirmware, RejectedHeaderAndChecksumErrorBlock)
{
    SimRig rejecting(Parse(R"({"firmware": {"reject_header": true}})"));
    EXPECT_EQ(Upload(rejecting, Image(3000)), (std::vector<int>{0, 1}));

    SimRig crc(Parse(R"({"firmware": {"crc_error_block": 2, "reject_header": false}})"));
    EXPECT_EQ(Upload(crc, Image(4000)), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(crc.Instrument().FirmwareImage(), Image(4000).left(2 + 1024));
    // The update is over: a further block is refused too.
    EXPECT_EQ(crc.AskData(0x4A, QByteArray()), QByteArray()); // a short frame is not understood
    EXPECT_EQ(crc.Ask(LongRequestFrame(CMD_FW_DATA, Hex("01 02"))).mid(3, 1), Hex("01"));
}

TEST(SimulatedInstrumentFirmware, OutOfOrderOrBadSignatureIsRejected)
{
    SimRig rig;
    EXPECT_EQ(rig.Ask(LongRequestFrame(CMD_FW_HEADER, Hex("33 55"))).mid(3, 1), Hex("01")); // no request yet
    rig.Ask(CMD_FW_REQUEST);
    EXPECT_EQ(rig.Ask(LongRequestFrame(CMD_FW_HEADER, Hex("55 33"))).mid(3, 1), Hex("01"));
    EXPECT_EQ(rig.Ask(LongRequestFrame(CMD_FW_DATA, Hex("AA"))).mid(3, 1), Hex("01"));
    EXPECT_TRUE(rig.Instrument().FirmwareImage().isEmpty());
}
