// A bridge may hand out fewer bytes than a read asks for, even when enough were queued. The start of such
// a read can look like a frame of its own; what the link passes on must still come from inside the bytes
// it received.

#include "CFt260.h"
#include "Clock.h"
#include "LinkTestSupport.h"
#include "RecordingFt260Device.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct RecordKeepingOwner : LoggingOwner {
    QList<QByteArray> records;
    void AddStoredRecordRow(int, const uint8_t *record) override
    {
        records << QByteArray(reinterpret_cast<const char *>(record), 10);
    }
    void AddContinuousRecordRow(int, const uint8_t *record) override { AddStoredRecordRow(0, record); }
};

// A short frame of the instrument: STX, LEN, ID, data, checksum, ETX.
QByteArray Frame(uint8_t commandId, const QByteArray &data)
{
    QByteArray frame;
    frame.append('\x02').append(char(data.size() + 1)).append(char(commandId)).append(data);
    frame.append(char(CFt260::Checksum(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()))));
    return frame.append('\x03');
}

struct ShortRead : ::testing::Test {
    VirtualClock clock;
    RecordingFt260Device device{clock};
    ListedDiscovery discovery;
    RecordKeepingOwner owner;
    CFt260 link{device, discovery, clock, &owner};

    void SetUp() override
    {
        discovery.Bridge("/dev/bridge-a");
        link.FindDevice();
    }
    void Answer(const QByteArray &bytes)
    {
        device.responder = [bytes](const QByteArray &) { return RecordingFt260Device::Answer{bytes, 5}; };
    }
};

TEST_F(ShortRead, ExchangeAnswerCutShortFailsThoughItsStartIsAValidFrame)
{
    // The name answer is 14 bytes; its first 7 form an accepted frame carrying "AB".
    Answer(Hex("02 03 31 41 42 33 03 AA BB CC DD EE FF 11"));
    device.nextReadLimit = 7;
    uint8_t response[CFt260::kResponseAreaSize];
    std::memset(response, 0x77, sizeof response);
    const uint8_t zero = 0;

    // The link reads on to the answer's length; those 14 bytes are no frame (no ETX at their end).
    EXPECT_EQ(link.Transact(CMD_READ_NAME, &zero, 1, response), RESULT_BAD_ETX);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(response), sizeof response), QByteArray(sizeof response, '\0'));
    EXPECT_FALSE(link.IsOpen());
    // The rest is taken off the line, and the next exchange works.
    EXPECT_EQ(owner.packets.mid(1), QStringList({"R:02 03 31 41 42 33 03", "R:aa bb cc dd ee ff 11"}));
    Answer(Hex("02 02 33 55 66 03"));
    EXPECT_EQ(link.Transact(CMD_READ_BATTERY, &zero, 1, response), RESULT_OK);
    EXPECT_EQ(response[0], 0x55);
}

TEST_F(ShortRead, StoredRecordFrameCutShortIsNotHandedOn)
{
    // A 12-byte frame dated 2024-05-01 10:00:00, then three more bytes: read short, its record's force
    // and setting would be the checksum, ETX and whatever lies behind them in the buffer.
    Answer(Hex("02 08 35 07 E8 05 01 0A 00 00 DE 03 AA BB CC"));
    device.nextReadLimit = 12;
    int rows = -1;

    EXPECT_NE(link.DownloadStoredRecords(clock.Now(), clock.Now(), &rows), RESULT_OK);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(owner.records.isEmpty());
}

// Frames are found wherever they start, so a record frame can come before the run's summary (the tail of an
// earlier stream). Only records after the summary that announces them belong to the run.
TEST_F(ShortRead, ContinuousRecordBeforeItsSummaryIsNotHandedOn)
{
    const QByteArray stray = Hex("00 07 E8 05 01 0A 00 00 01 64 01");
    const QByteArray record = Hex("00 07 E8 05 01 0A 00 05 02 58 02");
    Answer(Frame(CMD_OUTPUT_RECORD, stray) + Frame(CMD_READ_OUTPUT, Hex("01 00 64 00 64 00 64 00 00")) +
           Frame(CMD_OUTPUT_RECORD, record));

    EXPECT_EQ(link.DownloadContinuousRecords(), RESULT_OK);
    EXPECT_EQ(owner.records, QList<QByteArray>{record.mid(1)});
}

} // namespace
