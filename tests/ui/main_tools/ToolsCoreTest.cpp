// The clock payloads, the help text and the row selection, without a window.

#include "CSpreadSheet.h"
#include "HelpText.h"
#include "InstrumentClock.h"
#include "NamedPipe.h"
#include "RowSelection.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace {

using InstrumentClock::Display;

QByteArray Bytes(const InstrumentClock::Payload &p)
{
    return QByteArray(reinterpret_cast<const char *>(p.data()), int(p.size()));
}

std::array<uint8_t, 13> Answer(int year, int month, int day, int hour, int minute, int second,
                               const QByteArray &phone = QByteArray::fromHex("907856341200"))
{
    std::array<uint8_t, 13> a{uint8_t(year >> 8), uint8_t(year),   uint8_t(month), uint8_t(day),
                              uint8_t(hour),      uint8_t(minute), uint8_t(second)};
    std::copy(phone.begin(), phone.end(), a.begin() + 7);
    return a;
}

TEST(InstrumentClockTest, SetPayloadCarriesLocalTimeThenTelephoneFromItsRightEnd)
{
    const auto p = InstrumentClock::SetClockPayload(LocalFields{2024, 3, 5, 14, 7, 9}, "012-3456-7890");
    ASSERT_TRUE(p);
    EXPECT_EQ(Bytes(*p).toHex(' '), "07 e8 03 05 0e 07 09 90 78 56 34 12 00");

    // The same from an instant, taken as local time (the tests run on Asia/Seoul).
    const auto at = InstrumentClock::SetClockPayloadAt(*LocalTimeFromFields({2024, 3, 5, 14, 7, 9}));
    ASSERT_TRUE(at);
    const auto phone = InstrumentClock::PackTelephone(InstrumentClock::ServiceTelephone());
    ASSERT_TRUE(phone) << "the program's own number must be 11 digits";
    EXPECT_EQ(Bytes(*at).left(7).toHex(' '), "07 e8 03 05 0e 07 09");
    EXPECT_TRUE(std::equal(phone->begin(), phone->end(), at->begin() + 7));
}

TEST(InstrumentClockTest, NothingToSendWithoutATimeOrATelephone)
{
    // A PC time the C library cannot turn into a local calendar time.
    EXPECT_FALSE(InstrumentClock::SetClockPayloadAt(std::numeric_limits<qint64>::max()));
    EXPECT_FALSE(InstrumentClock::SetClockPayload({2024, 2, 30, 0, 0, 0}));
    EXPECT_FALSE(InstrumentClock::SetClockPayload({2024, 13, 1, 0, 0, 0}));
    EXPECT_FALSE(InstrumentClock::SetClockPayload({70000, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(InstrumentClock::SetClockPayload({2024, 3, 5, 14, 7, 9}, "012-3456-789"));
    EXPECT_FALSE(InstrumentClock::SetClockPayload({2024, 3, 5, 14, 7, 9}, "012-3456-789O"));
}

TEST(InstrumentClockTest, AnswerShownOnlyForRealTimesInTheYearWindow)
{
    const Display zero;
    EXPECT_EQ(zero.time, "0000-00-00 00:00:00");
    EXPECT_EQ(zero.telephone, "000-0000-0000");

    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(2024, 3, 5, 14, 7, 9).data()),
              (Display{"2024-03-05 14:07:09", "012-3456-7890"}));
    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(1971, 1, 1, 0, 0, 0).data()).time, "1971-01-01 00:00:00");
    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(2199, 12, 31, 23, 59, 59).data()).time, "2199-12-31 23:59:59");
    // 07 B2 is 1970; 2200 is past the window; both fall back to the zero texts, telephone included.
    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(1970, 12, 31, 23, 59, 59).data()), zero);
    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(2200, 1, 1, 0, 0, 0).data()), zero);
    // In the window but no calendar time: never a rolled-over date.
    for (const auto &a :
         {Answer(2024, 13, 1, 0, 0, 0), Answer(2024, 2, 30, 0, 0, 0), Answer(2023, 2, 29, 0, 0, 0),
          Answer(2024, 0, 1, 0, 0, 0), Answer(2024, 3, 0, 0, 0, 0), Answer(2024, 3, 5, 24, 0, 0),
          Answer(2024, 3, 5, 0, 60, 0), Answer(2024, 3, 5, 0, 0, 60), Answer(2024, 255, 255, 255, 255, 255)})
        EXPECT_EQ(InstrumentClock::DecodeAnswer(a.data()), zero);
    EXPECT_EQ(InstrumentClock::DecodeAnswer(Answer(2024, 2, 29, 0, 0, 0).data()).time, "2024-02-29 00:00:00");
    EXPECT_FALSE(InstrumentClock::AnswerTimeText(Answer(2024, 2, 30, 0, 0, 0).data()));
}

class HelpTextTest : public ::testing::Test {
  protected:
    QString Write(const QByteArray &bytes)
    {
        QFile f(dir.filePath(HelpText::kFileName));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray Utf16(const QString &text)
    {
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    QTemporaryDir dir;
};

TEST_F(HelpTextTest, FileShownExactlyWithoutItsByteOrderMark)
{
    const QString text = QStringLiteral("압력 계측기 도움말\r\n\r\n1. 장비 조회\n\t탭과 줄바꿈 그대로 😀");
    EXPECT_EQ(HelpText::TextFor(Write(Utf16(text))), text);
    EXPECT_EQ(HelpText::TextFor(Write(QByteArray("\xFF\xFE") + Utf16(text))), text);
    // Up to the first NUL; an empty file gives an empty text, not the contact notice.
    EXPECT_EQ(HelpText::TextFor(Write(Utf16(QStringLiteral("앞부분")) + QByteArray(2, '\0') + Utf16("rest"))),
              QStringLiteral("앞부분"));
    EXPECT_EQ(HelpText::TextFor(Write(QByteArray())), QString());
}

TEST_F(HelpTextTest, BrokenFilesShowWhatCanBeDecoded)
{
    // Odd length: the last byte is dropped.
    EXPECT_EQ(HelpText::TextFor(Write(Utf16(QStringLiteral("도움말")) + "A")), QStringLiteral("도움말"));
    // A lone surrogate shows as a replacement character and the rest stays.
    const QByteArray lone = Utf16(QStringLiteral("가")) + QByteArray("\x00\xD8", 2) + Utf16(QStringLiteral("나"));
    EXPECT_EQ(HelpText::TextFor(Write(lone)), QStringLiteral("가\uFFFD나"));
    // A huge file: only its beginning is read.
    const QByteArray big = Utf16(QString(int(HelpText::kMaxBytes), QLatin1Char('x')));
    const QString shown = HelpText::TextFor(Write(big));
    EXPECT_EQ(shown.size(), HelpText::kMaxBytes / 2);
    EXPECT_EQ(shown.count(QLatin1Char('x')), shown.size());
}

TEST_F(HelpTextTest, WithoutFileTheContactNoticeIsShown)
{
    const QString text = HelpText::TextFor(dir.filePath(HelpText::kFileName));
    EXPECT_EQ(text, HelpText::BuiltInContactText());
    EXPECT_TRUE(text.contains(InstrumentClock::ServiceTelephone()));
    EXPECT_TRUE(text.contains(QStringLiteral("택배")) && text.contains(QStringLiteral("화물")));
    EXPECT_GT(text.count(QLatin1Char('\n')), 5);
    EXPECT_FALSE(text.contains(QLatin1Char('\t')));
}

TEST_F(HelpTextTest, APipeInPlaceOfTheFileShowsTheContactNoticeWithoutWaiting)
{
    const QString path = dir.filePath(HelpText::kFileName);
    ASSERT_TRUE(MakeNamedPipe(path));
    QString text;
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(path, [&] { text = HelpText::TextFor(path); }));
    EXPECT_EQ(text, HelpText::BuiltInContactText());
}

TEST(RowSelectionTest, AllNoneAndInvertActOnColumnOneOnly)
{
    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(3);
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(grid::kAll);
    grid.SetCellType(grid::CellCheckBox);
    const int start[] = {1, 0, 1};
    for (int row = 1; row <= 3; ++row) {
        grid.SetCellInteger(1, row, start[row - 1]);
        grid.SetCellTextIfChanged(2, row, QString::number(row));
    }
    auto checks = [&] {
        std::vector<int> v;
        for (int row = 1; row <= grid.GetRowCount(); ++row) {
            int value = -1;
            grid.GetCellInteger(1, row, &value);
            v.push_back(value);
        }
        return v;
    };
    RowSelection::Invert(grid);
    EXPECT_EQ(checks(), (std::vector<int>{0, 1, 0}));
    RowSelection::Invert(grid);
    EXPECT_EQ(checks(), (std::vector<int>{1, 0, 1}));
    RowSelection::SelectNone(grid);
    EXPECT_EQ(checks(), (std::vector<int>{0, 0, 0}));
    RowSelection::SelectAll(grid);
    EXPECT_EQ(checks(), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(grid.text(2, 2), "2");

    grid.SetRowCount(0);
    RowSelection::Invert(grid);
    RowSelection::SelectAll(grid);
    EXPECT_EQ(grid.GetRowCount(), 0);
}

} // namespace
