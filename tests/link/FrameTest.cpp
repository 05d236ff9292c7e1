#include "CFt260.h"
#include "Clock.h"
#include "LinkTestSupport.h"
#include "RecordingFt260Device.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct FrameFixture : ::testing::Test {
    VirtualClock clock;
    RecordingFt260Device device{clock};
    ListedDiscovery discovery;
    CFt260 link{device, discovery, clock};

    QByteArray Sent() const { return QByteArray(reinterpret_cast<const char *>(link.m_txBuf), link.m_txLen); }
    int Validate(const QByteArray &bytes)
    {
        std::memcpy(link.m_rxBuf, bytes.constData(), size_t(bytes.size()));
        link.m_rxLen = int(bytes.size());
        return link.ValidateResponse();
    }
};

TEST(Checksum, FoldEqualsBytewiseXorForEveryLengthAndAlignment)
{
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(600);
    for (auto &b : bytes)
        b = uint8_t(random());
    for (int offset = 0; offset < 32; ++offset)
        for (int length = 0; length <= 300; ++length)
            ASSERT_EQ(CFt260::Checksum(bytes.data() + offset, length),
                      CFt260::ChecksumBytewise(bytes.data() + offset, length))
                << "offset " << offset << " length " << length;
    const uint8_t one = 0x5A;
    EXPECT_EQ(CFt260::Checksum(&one, 1), 0x5A);
}

TEST_F(FrameFixture, ShortFramesMatchTheWorkedExamples)
{
    const uint8_t zero = 0;
    link.BuildShortFrame(0x30, &zero, 1);
    EXPECT_EQ(Sent(), Hex("02 02 30 00 30 03"));
    link.BuildShortFrame(0x41, &zero, 1);
    EXPECT_EQ(Sent(), Hex("02 02 41 00 41 03"));
    const QByteArray start = Hex("07 E8 05 01 00 00 00");
    link.BuildShortFrame(0x35, reinterpret_cast<const uint8_t *>(start.constData()), 7);
    EXPECT_EQ(Sent(), Hex("02 08 35 07 E8 05 01 00 00 00 D4 03"));
}

TEST_F(FrameFixture, LongFramesCarryABigEndianLength)
{
    const QByteArray data = Hex("12 34");
    link.BuildLongFrame(0x49, reinterpret_cast<const uint8_t *>(data.constData()), 2);
    EXPECT_EQ(Sent(), Hex("02 00 03 49 12 34 6E 03"));

    std::vector<uint8_t> block(1024, 0x02);
    block[7] = 0x03;
    link.BuildLongFrame(0x4A, block.data(), 1024);
    ASSERT_EQ(link.m_txLen, 1030);
    EXPECT_EQ(link.m_txBuf[1], 0x04);
    EXPECT_EQ(link.m_txBuf[2], 0x01);
    EXPECT_EQ(link.m_txBuf[1029], 0x03);
    EXPECT_EQ(link.m_txBuf[1028], CFt260::ChecksumBytewise(link.m_txBuf, 1028));
}

TEST_F(FrameFixture, ValidationChecksStxEtxAndChecksumInThatOrder)
{
    EXPECT_EQ(Validate(Hex("02 02 33 55 66 03")), RESULT_OK);
    EXPECT_EQ(Validate(Hex("02 02 33 55 66 00")), RESULT_BAD_ETX);
    EXPECT_EQ(Validate(Hex("00 02 33 55 66 03")), RESULT_BAD_STX);
    EXPECT_EQ(Validate(Hex("02 02 33 55 67 03")), RESULT_BAD_CRC);
    // STX, ETX and checksum right but another command's ID: validation does not look at the ID.
    EXPECT_EQ(Validate(Hex("02 02 34 55 61 03")), RESULT_OK);
    // Frame markers inside the data are just data.
    link.BuildShortFrame(0x36, reinterpret_cast<const uint8_t *>("\x02\x03\x02"), 3);
    EXPECT_EQ(Validate(Sent()), RESULT_OK);
    // A LEN byte that undercounts the data checks too short a range.
    EXPECT_EQ(Validate(Hex("02 01 33 55 66 03")), RESULT_BAD_CRC);
}

TEST_F(FrameFixture, ShortAnswersNeverReadPastTheReceivedBytes)
{
    // Leave a valid frame behind in the buffer: a short answer must not borrow its bytes.
    Validate(Hex("02 02 33 55 66 03"));
    link.m_rxLen = 0;
    EXPECT_EQ(link.ValidateResponse(), RESULT_BAD_STX);
    EXPECT_EQ(Validate(Hex("02")), RESULT_BAD_ETX);
    EXPECT_EQ(Validate(Hex("02 03")), RESULT_BAD_LENGTH);
    EXPECT_EQ(Validate(Hex("02 02 33 03")), RESULT_BAD_LENGTH);
    // A LEN that claims more than arrived fails instead of summing stale bytes.
    EXPECT_EQ(Validate(Hex("02 FF 33 55 66 03")), RESULT_BAD_CRC);
}

TEST(ResultText, FillsTheCodeAndKnowsWhichCodesHaveNoText)
{
    EXPECT_EQ(ResultText(0), QString::fromUtf8("성공 (0)"));
    EXPECT_EQ(ResultText(-1100), QString::fromUtf8("장비 열기 실패 (-1100)"));
    EXPECT_EQ(ResultText(-1086), QString::fromUtf8("패킷 수신 실패 (타임아웃) (-1086)"));
    EXPECT_TRUE(ResultText(-1095).isEmpty());
    EXPECT_TRUE(ResultText(-1094).isEmpty());
    EXPECT_TRUE(ResultText(1).isEmpty());
    EXPECT_TRUE(ResultText(-5).isEmpty());
}

} // namespace
