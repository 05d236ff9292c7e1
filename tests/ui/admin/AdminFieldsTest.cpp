// The console's widget-free pieces: payloads, answer rendering, typed clock, calibration fields and
// firmware files. Flows through the dialog and the simulated instrument are in CDlgAdminTest.

#include "CalibrationFields.h"
#include "Commands.h"
#include "FirmwareUpload.h"
#include "InfoGridFields.h"
#include "NamedPipe.h"

#include <QTemporaryDir>
#include <QTest>

class AdminFieldsTest : public QObject {
    Q_OBJECT

  private slots:
    void identityPayloadPadsOrRefuses();
    void typedClockMustBeARealTime_data();
    void typedClockMustBeARealTime();
    void impossibleClockAnswerShowsDash();
    void calibrationAnswerDecodesUnsigned();
    void correctionWriteEncoding();
    void captureQuestionDoubtsAReadingThatCannotBeThePoint_data();
    void captureQuestionDoubtsAReadingThatCannotBeThePoint();
    void firmwareFilesAreValidatedAndBounded();
};

void AdminFieldsTest::identityPayloadPadsOrRefuses()
{
    QString refusal;
    QCOMPARE(InfoFields::IdentityPayload("S/N", "A12", 11, &refusal), QByteArray("A12\0\0\0\0\0\0\0\0", 11));
    QCOMPARE(InfoFields::IdentityPayload("S/N", "A1234567890", 11, &refusal), QByteArray("A1234567890"));

    // Five Hangul syllables fit a 10-byte field, six do not: never half a character.
    QCOMPARE(InfoFields::IdentityPayload("S/N", "가나다라마", 10, &refusal)->size(), 10);
    QVERIFY(!InfoFields::IdentityPayload("S/N", "가나다라마바", 10, &refusal));
    QVERIFY(refusal.contains("10 바이트"));
    refusal.clear();
    // A character code page 949 lacks is refused, not replaced.
    QVERIFY(!InfoFields::IdentityPayload("S/N", QString::fromUtf8("A\xF0\x9F\x98\x80"), 10, &refusal));
    QVERIFY(refusal.contains("저장할 수 없는 문자"));

    QCOMPARE(InfoFields::IdentityFieldAt(6, 3)->command, CMD_WRITE_LC15_COVER_SN);
    QCOMPARE(InfoFields::IdentityFieldAt(3, 2)->length, 11);
    QVERIFY(!InfoFields::IdentityFieldAt(6, 5));
    QVERIFY(!InfoFields::IdentityFieldAt(3, 1));
}

void AdminFieldsTest::typedClockMustBeARealTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("dashed") << "2024-03-05 07:08:09" << true;
    QTest::newRow("bare digits") << "20240305070809" << true;
    QTest::newRow("leap day") << "2024-02-29 23:59:59" << true;
    QTest::newRow("first year") << "1971-01-01 00:00:00" << true;
    QTest::newRow("ten digits") << "2024-3-5 7:8:9" << false;
    QTest::newRow("month 13") << "2024-13-05 07:08:09" << false;
    QTest::newRow("31 February") << "2024-02-31 07:08:09" << false;
    QTest::newRow("29 February 2023") << "2023-02-29 07:08:09" << false;
    QTest::newRow("letters") << "2024-0a-05 07:08:09" << false;
    QTest::newRow("hour 24") << "2024-03-05 24:00:00" << false;
    QTest::newRow("before the clock") << "1970-12-31 23:59:59" << false;
    QTest::newRow("after the clock") << "2200-01-01 00:00:00" << false;
}

void AdminFieldsTest::typedClockMustBeARealTime()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    const auto fields = InfoFields::ParseTypedClock(text);
    QCOMPARE(fields.has_value(), accepted);
    if (accepted && text.startsWith("2024-03-05")) {
        QCOMPARE(fields->year, 2024);
        QCOMPARE(fields->month, 3);
        QCOMPARE(fields->day, 5);
        QCOMPARE(fields->hour, 7);
        QCOMPARE(fields->minute, 8);
        QCOMPARE(fields->second, 9);
    }
}

void AdminFieldsTest::impossibleClockAnswerShowsDash()
{
    // Year 2024 in range, month 13: shown as unset, never rolled over or crashed on.
    uint8_t answer[32] = {0x07, 0xE8, 13, 5, 7, 8, 9};
    QCOMPARE(InfoFields::RenderAnswer(InfoFields::Rendering::Clock, answer, 13), QString("-"));
    answer[2] = 2;
    answer[3] = 30;
    QCOMPARE(InfoFields::RenderAnswer(InfoFields::Rendering::Clock, answer, 13), QString("-"));
    answer[3] = 29;
    answer[4] = 60;
    QCOMPARE(InfoFields::RenderAnswer(InfoFields::Rendering::Clock, answer, 13), QString("-"));
    answer[4] = 23;
    QCOMPARE(InfoFields::RenderAnswer(InfoFields::Rendering::Clock, answer, 13), QString("2024-02-29 23:08:09"));
    // The name keeps no dash rule: unset bytes show as whatever they decode to.
    const uint8_t name[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    QVERIFY(InfoFields::RenderAnswer(InfoFields::Rendering::Text, name, 9) != "-");
}

void AdminFieldsTest::calibrationAnswerDecodesUnsigned()
{
    uint8_t answer[Calibration::kAnswerLength] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x80, 0x00, 0x00, 0x12, 0x34,
                                                  0x56, 0x00, 0x10, 0x00, 0x08, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    const Calibration::Table t = Calibration::Decode(answer);
    QCOMPARE(t.points[0], 16777215u);
    QCOMPARE(t.points[1], 1u);
    QCOMPARE(t.points[2], 0x800000u);
    QCOMPARE(t.points[3], 0x123456u);
    QCOMPARE(t.live, 0x1000u);
    QCOMPARE(t.corrections[0], 0);
    QCOMPARE(t.corrections[1], -2048);
    QCOMPARE(t.corrections[2], 63487);
}

void AdminFieldsTest::correctionWriteEncoding()
{
    using W = std::array<uint8_t, 3>;
    QCOMPARE(*Calibration::CorrectionWrite(0, 7, -1000), (W{0, 0x04, 0x18}));
    QCOMPARE(*Calibration::CorrectionWrite(0, 9, 1000), (W{2, 0x0B, 0xE8}));
    QCOMPARE(*Calibration::CorrectionWrite(1, 8, 0), (W{4, 0x08, 0x00}));
    QCOMPARE(*Calibration::CorrectionWrite(0, 8, 0), (W{1, 0x08, 0x00}));
    QVERIFY(!Calibration::CorrectionWrite(0, 7, 1001));
    QVERIFY(!Calibration::CorrectionWrite(1, 7, -1001));
    QCOMPARE(Calibration::RowLabel(0, 5), QString("140 KN"));
    QCOMPARE(Calibration::RowLabel(1, 9), QString("280 KN 보정 값"));
}

void AdminFieldsTest::captureQuestionDoubtsAReadingThatCannotBeThePoint_data()
{
    QTest::addColumn<int>("loadCell");
    QTest::addColumn<int>("row");
    QTest::addColumn<uint>("live");
    QTest::addColumn<bool>("doubtful");
    QTest::addColumn<QStringList>("named"); // what a doubtful question must name
    // The 15 t table 0 / 80 / 110 / 140 KN = 102400 / 1150320 / 1543110 / 1936050, the 30 t one scaled alike.
    QTest::newRow("80 KN loaded") << 0 << 3 << 1150200u << false << QStringList();
    QTest::newRow("0 KN unloaded") << 0 << 2 << 102650u << false << QStringList();
    QTest::newRow("140 KN a little over") << 0 << 5 << 1990000u << false << QStringList();
    QTest::newRow("80 KN unloaded, between its neighbours")
        << 0 << 3 << 102650u << true << QStringList{"'102650'", "'102400'", "'1543110'", "약 0 KN", "80 KN"};
    QTest::newRow("80 KN at the 110 KN load") << 0 << 3 << 1543000u << true << QStringList{"'1543000'", "약 110 KN"};
    QTest::newRow("140 KN unloaded, below 110 KN")
        << 0 << 5 << 102650u << true << QStringList{"'102650'", "110 KN 값 '1543110'", "크지 않습니다"};
    QTest::newRow("0 KN loaded, above 80 KN")
        << 0 << 2 << 1200000u << true << QStringList{"'1200000'", "80 KN 값 '1150320'", "작지 않습니다"};
    QTest::newRow("30 t 220 KN unloaded") << 1 << 4 << 101900u << true << QStringList{"'101900'", "160 KN", "280 KN"};
    QTest::newRow("30 t 220 KN loaded") << 1 << 4 << 1510000u << false << QStringList();
}

void AdminFieldsTest::captureQuestionDoubtsAReadingThatCannotBeThePoint()
{
    QFETCH(int, loadCell);
    QFETCH(int, row);
    QFETCH(uint, live);
    QFETCH(bool, doubtful);
    QFETCH(QStringList, named);
    const std::array<uint32_t, 4> tables[2] = {{102400, 1150320, 1543110, 1936050},
                                               {101800, 1120470, 1510220, 1895600}};
    const std::array<uint32_t, 4> &points = tables[loadCell];
    const Calibration::CaptureQuestion q = Calibration::CaptureQuestionFor(loadCell, row, points, live);
    QCOMPARE(q.doubtful, doubtful);
    // Every question shows the point, its present value and the reading that would replace it.
    QVERIFY2(q.text.contains(Calibration::RowLabel(loadCell, row)), qPrintable(q.text));
    QVERIFY2(q.text.contains(QStringLiteral("'%1' -> 새 값 '%2'").arg(points[row - 2]).arg(live)), qPrintable(q.text));
    QCOMPARE(q.text.contains(QStringLiteral("주의")), doubtful);
    for (const QString &text : named)
        QVERIFY2(q.text.contains(text), qPrintable(q.text + " / " + text));
}

void AdminFieldsTest::firmwareFilesAreValidatedAndBounded()
{
    QTemporaryDir dir;
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    using F = Firmware::LoadedFile;
    QCOMPARE(Firmware::LoadFile(write("one.bin", "\x33")).status, F::Invalid);
    QCOMPARE(Firmware::LoadFile(write("swapped.bin", "\x55\x33\x00")).status, F::Invalid);
    QCOMPARE(Firmware::LoadFile(write("empty.bin", "")).status, F::Unreadable);
    QCOMPARE(Firmware::LoadFile(dir.filePath("missing.bin")).status, F::Unreadable);
    const F two = Firmware::LoadFile(write("two.bin", "\x33\x55"));
    QCOMPARE(two.status, F::Valid);
    QCOMPARE(two.image, QByteArray("\x33\x55"));

    QFile big(write("big.bin", "\x33\x55"));
    big.resize(Firmware::kMaxFileSize + 1);
    QCOMPARE(Firmware::LoadFile(big.fileName()).status, F::TooLarge);
    big.resize(Firmware::kMaxFileSize);
    QCOMPARE(Firmware::LoadFile(big.fileName()).status, F::Valid);

    // A named pipe in place of the image is refused, never waited on.
    const QString pipe = dir.filePath("pipe.bin");
    QVERIFY(MakeNamedPipe(pipe));
    F fromPipe;
    QVERIFY(ReturnsWithoutWaitingOnPipe(pipe, [&] { fromPipe = Firmware::LoadFile(pipe); }));
    QCOMPARE(fromPipe.status, F::Unreadable);

    QCOMPARE(Firmware::DataCaption(1026, 2050), QString("60% -  데이터 업로드 중(50.0%)..."));
    QCOMPARE(Firmware::DataCaption(2050, 2050), QString("100% -  데이터 업로드 완료(100.0%)..."));
}

QTEST_GUILESS_MAIN(AdminFieldsTest)
#include "AdminFieldsTest.moc"
