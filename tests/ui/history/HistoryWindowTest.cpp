#include "archive/ArchiveTestSupport.h"
#include "CDlgHistory.h"
#include "DownloadReplay.h"
#include "LocalTime.h"
#include "RecordTables.h"
#include "ResultCodes.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 At(int day, int hour)
{
    return *LocalTimeFromFields({2024, 5, day, hour, 0, 0});
}

QPushButton *Button(QWidget &parent, const QString &text)
{
    for (QPushButton *button : parent.findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

} // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ArchiveSettings settings;
        settings.location = settings.local = DefaultArchiveLocation(m_dir.path());
        TestGrid memory(DownloadMode::Memory), output(DownloadMode::Output), cut(DownloadMode::Memory);
        ArchivingLinkOwner owner(memory.sink, settings);
        ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-1"), DownloadMode::Memory, At(1, 9)),
                              {TestRecord(0, 1470), TestRecord(1, 980, 2)});
        m_memoryTexts = SheetTexts(memory.Sheet());

        ArchivingLinkOwner outputOwner(output.sink, settings);
        outputOwner.BeginDownload(TestStart(TestIdentity("SN-2"), DownloadMode::Output, At(2, 9)));
        const uint8_t summary[9] = {1, 0x30, 0x34, 0x30, 0x34, 0x30, 0x34, 0, 0};
        outputOwner.SetContinuousSummary(summary);
        outputOwner.AddContinuousRecordRow(0, TestRecord(5, 1234).data());
        outputOwner.FinishDownload(-1086, 1, At(2, 9) + 3);

        // A download whose process never finished it.
        auto unfinished = std::make_unique<ArchivingLinkOwner>(cut.sink, settings);
        unfinished->BeginDownload(TestStart(TestIdentity("SN-1"), DownloadMode::Memory, At(3, 9)));
        unfinished->AddStoredRecordRow(0, TestRecord(9, 1000).data());
    }

    void ListsNewestFirstFiltersAndOpensADownload()
    {
        CDlgHistory dialog(DefaultArchiveLocation(m_dir.path()));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *table = dialog.findChild<QTableWidget *>();
        QTRY_COMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("SN-1"));
        QCOMPARE(table->item(0, 3)->text(), FormatLocalTime(At(3, 9)));
        QCOMPARE(table->item(0, 6)->text(), QStringLiteral("중단됨"));
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("OUTPUT"));
        QCOMPARE(table->item(1, 6)->text(), ResultText(-1086));
        QCOMPARE(table->item(2, 5)->text(), QStringLiteral("2"));
        QCOMPARE(table->item(2, 6)->text(), QStringLiteral("정상"));

        auto *serial = dialog.findChild<QLineEdit *>();
        // Any part of the serial, in either case.
        QTest::keyClicks(serial, QStringLiteral("n-2"));
        QTest::keyClick(serial, Qt::Key_Return);
        QTRY_COMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("SN-2"));
        QVERIFY(dialog.isVisible()); // Enter in the filter does not close the window
        serial->clear();
        QTest::keyClicks(serial, QStringLiteral("sn"));
        QTest::keyClick(serial, Qt::Key_Return);
        QTRY_COMPARE(table->rowCount(), 3);

        serial->clear();
        auto *useDates = dialog.findChild<QCheckBox *>();
        QTest::mouseClick(useDates, Qt::LeftButton, {}, QPoint(5, useDates->height() / 2));
        QVERIFY(useDates->isChecked());
        const QList<QDateEdit *> dates = dialog.findChildren<QDateEdit *>();
        dates[0]->setDate(QDate(2024, 5, 1));
        dates[1]->setDate(QDate(2024, 5, 2));
        QTest::mouseClick(Button(dialog, QStringLiteral("조회")), Qt::LeftButton);
        QTRY_COMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("SN-2"));

        QSignalSpy opened(&dialog, &CDlgHistory::DownloadOpened);
        const QRect cell = table->visualItemRect(table->item(1, 3));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTRY_COMPARE(opened.count(), 1);
        QVERIFY(!dialog.isVisible());
        const ArchivedDownload download = opened.first().first().value<ArchivedDownload>();
        QCOMPARE(download.summary.identity.Serial(), QStringLiteral("SN-1"));
        CSpreadSheet rebuilt;
        FillRecordSheets(ReplayedMeasurement(download), rebuilt);
        QCOMPARE(SheetTexts(rebuilt), m_memoryTexts);
        QVERIFY(dialog.OpenedDownload().has_value());
        QCOMPARE(
            CDlgHistory::ArchivedCaption(download.summary),
            QStringLiteral("보관 기록 #%1 - SN-1 %2 MEMORY").arg(download.summary.id).arg(FormatLocalTime(At(1, 9))));
    }

    // An archive not made yet (a new installation) holds nothing; a damaged one cannot be read.
    // Closing the window while its read waits for a server that takes the connection and never answers
    // does not wait for the read: the reader is still connecting after the window has gone, and ends by
    // itself once the server hangs up.
    void ClosingDuringAReadWaitsForNothing()
    {
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        QVERIFY(bind(listener, reinterpret_cast<sockaddr *>(&address), size) == 0 && listen(listener, 4) == 0 &&
                getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) == 0);
        const QString url = QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(ntohs(address.sin_port));
        auto *dlg = new CDlgHistory(ParseArchiveLocation(url, nullptr).value());
        dlg->show();
        pollfd waiting{listener, POLLIN, 0};
        QTRY_VERIFY_WITH_TIMEOUT(poll(&waiting, 1, 0) == 1, 20000);
        delete dlg;

        const int connection = accept(listener, nullptr, nullptr);
        QVERIFY(connection >= 0);
        char buffer[256];
        ssize_t got = 0;
        while ((got = recv(connection, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        }
        QCOMPARE(got, ssize_t(-1)); // nothing more for now, and not hung up: the reader still waits
        QVERIFY(CDlgHistory::ReadersLeft() > 0);
        close(connection);
        close(listener);
        QTRY_COMPARE_WITH_TIMEOUT(CDlgHistory::ReadersLeft(), 0, 30000);
    }

    void AMissingArchiveIsEmptyAndAnUnreadableOneIsTold()
    {
        QFile corrupt(m_dir.filePath("corrupt.sqlite"));
        QVERIFY(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray(4096, 'x'));
        corrupt.close();
        for (const auto &[file, status] :
             {std::pair{"none.sqlite", "아직 보관된 다운로드가 없습니다"},
              std::pair{"corrupt.sqlite", "기록 읽기 실패 - 보관 파일이 손상되었습니다"}}) {
            CDlgHistory dialog(ParseArchiveLocation("sqlite:" + m_dir.filePath(file), nullptr).value());
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            const auto told = [&] {
                for (QLabel *label : dialog.findChildren<QLabel *>())
                    if (label->text().startsWith(QString::fromUtf8(status)))
                        return true;
                return false;
            };
            QTRY_VERIFY(told());
            QCOMPARE(dialog.findChild<QTableWidget *>()->rowCount(), 0);
            QVERIFY(!Button(dialog, QStringLiteral("열기"))->isEnabled());
        }
        QVERIFY(!QFile::exists(m_dir.filePath("none.sqlite")));
    }

  private:
    QTemporaryDir m_dir;
    QStringList m_memoryTexts;
};

QTEST_MAIN(HistoryWindowTest)
#include "HistoryWindowTest.moc"
