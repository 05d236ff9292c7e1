#include "FrameScanner.h"
#include "CFt260.h"
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A stored-record frame (15 bytes) whose data carry `tag` in the force bytes.
QByteArray RecordFrame(uint8_t tag, uint8_t month = 5, uint8_t day = 1)
{
    QByteArray f = Hex("02 0B 35 07 E8");
    f.append(char(month)).append(char(day)).append(Hex("09 1E 05 00")).append(char(tag)).append('\x01');
    f.append(char(CFt260::Checksum(reinterpret_cast<const uint8_t *>(f.constData()), int(f.size()))));
    return f.append('\x03');
}

struct Scanned {
    QList<uint8_t> tags; // the tag of every frame found
    int damaged = 0;
};

// Feeds the bytes in pieces of `piece` and takes every frame found.
Scanned Scan(const QByteArray &stream, int piece = 1)
{
    FrameScanner scanner({15}, 15);
    Scanned result;
    uint8_t frame[FrameScanner::kMaxFrameLength];
    int length = 0;
    for (int at = 0; at < stream.size(); at += piece) {
        const QByteArray part = stream.mid(at, piece);
        scanner.Append(reinterpret_cast<const uint8_t *>(part.constData()), int(part.size()));
        while (scanner.Take(frame, &length)) {
            EXPECT_EQ(length, 15);
            result.tags << frame[11];
        }
    }
    result.damaged = scanner.DamagedRecords();
    return result;
}

QByteArray Records(int count)
{
    QByteArray stream;
    for (int i = 0; i < count; ++i)
        stream += RecordFrame(uint8_t(i));
    return stream;
}

QList<uint8_t> TagsWithout(int count, int missing)
{
    QList<uint8_t> tags;
    for (int i = 0; i < count; ++i)
        if (i != missing)
            tags << uint8_t(i);
    return tags;
}

TEST(FrameScanner, OneStrayByteCostsAtMostTheRecordItTouched)
{
    // Whole frames, in pieces of any size.
    for (int piece : {1, 7, 15, 64})
        EXPECT_EQ(Scan(Records(6), piece).tags, TagsWithout(6, -1)) << piece;

    // Noise before the stream and a stray byte between two frames cost nothing.
    const QByteArray noise = Hex("5A 02 A5 03 FF 00 33 7E");
    Scanned s = Scan(noise + Records(3) + Hex("02") + Records(3));
    EXPECT_EQ(s.tags.size(), 6);
    EXPECT_EQ(s.damaged, 0);

    // A stray STX inside the third frame: that record is lost, every other is kept, one counts as damaged.
    for (int offset : {3, 7, 13, 14}) {
        QByteArray stream = Records(6);
        stream.insert(2 * 15 + offset, '\x02');
        s = Scan(stream, 15);
        EXPECT_EQ(s.tags, TagsWithout(6, 2)) << offset;
        EXPECT_EQ(s.damaged, 1) << offset;
    }
}

TEST(FrameScanner, DamagedRecordsAreCountedOnceEach)
{
    // Two neighbours with bad checksums count two.
    QByteArray stream = Records(5);
    stream[15 + 13] = char(stream[15 + 13] ^ 0x40);
    stream[30 + 13] = char(stream[30 + 13] ^ 0x40);
    Scanned s = Scan(stream);
    EXPECT_EQ(s.tags, (QList<uint8_t>{0, 3, 4}));
    EXPECT_EQ(s.damaged, 2);

    // A damaged record whose data look like a frame start (month 2, day 11: "02 0B") still counts one.
    stream = RecordFrame(0) + RecordFrame(1, 2, 11) + RecordFrame(2);
    stream[15 + 13] = char(stream[15 + 13] ^ 0x40);
    s = Scan(stream);
    EXPECT_EQ(s.tags, (QList<uint8_t>{0, 2}));
    EXPECT_EQ(s.damaged, 1);

    // A record whose STX was hit is known by its length alone.
    stream = Records(3);
    stream[15] = '\x00';
    s = Scan(stream);
    EXPECT_EQ(s.tags, (QList<uint8_t>{0, 2}));
    EXPECT_EQ(s.damaged, 1);
}

TEST(FrameScanner, AsksForWhatTheFrameAtTheHeadStillNeeds)
{
    FrameScanner scanner({14, 16}, 16);
    uint8_t frame[FrameScanner::kMaxFrameLength];
    int length = 0;
    EXPECT_EQ(scanner.Wanted(14), 14);
    const QByteArray head = Hex("5A 02 0C 42");
    scanner.Append(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    EXPECT_FALSE(scanner.Take(frame, &length));
    // The noise byte is gone; a 16-byte frame has begun and needs 13 more.
    EXPECT_EQ(scanner.Buffered(), 3);
    EXPECT_EQ(scanner.Wanted(14), 13);
}

} // namespace
