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
};

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

} // namespace
