#include "AnsiText.h"
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

TEST(AnsiText, DecodesCp949UpToTheFirstZeroByte)
{
    // "측정기" in code page 949, then a NUL and stale bytes.
    const QByteArray bytes = Hex("C3 F8 C1 A4 B1 E2 00 41 42");
    EXPECT_EQ(DecodeAnsi(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size())),
              QString::fromUtf8("측정기"));
    const QByteArray plain = Hex("54 56 2D 31 35");
    EXPECT_EQ(DecodeAnsi(reinterpret_cast<const uint8_t *>(plain.constData()), 3), "TV-");
}

TEST(AnsiText, UndecodableBytesShowAsReplacementCharacters)
{
    const QByteArray erased = Hex("FF FF 41");
    const QString text = DecodeAnsi(reinterpret_cast<const uint8_t *>(erased.constData()), int(erased.size()));
    EXPECT_TRUE(text.endsWith('A'));
    EXPECT_TRUE(text.contains(QChar(0xFFFD)));
}

TEST(AnsiText, EncodesHangulAndRefusesWhatCp949CannotHold)
{
    EXPECT_EQ(EncodeAnsi(QString::fromUtf8("측정기")), Hex("C3 F8 C1 A4 B1 E2"));
    EXPECT_EQ(EncodeAnsi("A12"), QByteArray("A12"));
    EXPECT_FALSE(EncodeAnsi(QString::fromUtf8("😀")).has_value());
    EXPECT_FALSE(EncodeAnsi(QString::fromUtf8("ẞ")).has_value());
}
