#include "CDlgLog.h"
#include "Clock.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

namespace {

// 2024-01-31 13:45:12 in Seoul.
constexpr qint64 kJan31_134512 = 1706676312;
const uint8_t kNameRequest[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};

QStringList Lines(const QPlainTextEdit *view)
{
    QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class CDlgLogTest : public QObject {
    Q_OBJECT
  private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock = std::make_unique<VirtualClock>(kJan31_134512);
        m_log = std::make_unique<CDlgLog>(*m_clock, m_dir->path() + "/Log/");
        m_log->Create();
    }
    void cleanup()
    {
        m_log.reset();
        m_dir.reset();
    }

    void TheViewIsEmptiedWhenTheEntryAfterThe2000thArrives()
    {
        for (int i = 0; i < CDlgLog::kMaxLines; ++i)
            m_log->AddPacket(i % 2, kNameRequest, 6);
        QCOMPARE(Lines(m_log->View()).size(), CDlgLog::kMaxLines);

        m_clock->AdvanceMicros(1000000);
        m_log->AddPacket(1, kNameRequest, 3);
        QCOMPARE(Lines(m_log->View()), QStringList{"RECV-[2024-01-31 13:45:13] 02 02 31  (3 BYTE)"});
    }

    void EntriesGoToTheEndWhereverTheOperatorClicked()
    {
        m_log->AddPacket(0, kNameRequest, 6);
        m_log->AddPacket(1, kNameRequest, 2);
        // The operator puts the caret inside the first line and selects part of it.
        QTextCursor c(m_log->View()->document()->firstBlock());
        c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
        c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 5);
        m_log->View()->setTextCursor(c);

        m_log->AddPacket(0, kNameRequest, 1);
        const QStringList lines = Lines(m_log->View());
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QString("SEND-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)"));
        QCOMPARE(lines[2], QString("SEND-[2024-01-31 13:45:12] 02  (1 BYTE)"));
    }

    void ClearAndHideKeepLoggingAndTheFileUntouched()
    {
        m_log->LogSaveBox()->setChecked(true);
        m_log->AddPacket(0, kNameRequest, 6);
        m_log->show();
        m_log->findChild<QPushButton *>("1036")->click(); // Clear
        QVERIFY(m_log->View()->toPlainText().isEmpty());
        m_log->findChild<QPushButton *>("2")->click(); // Close only hides
        QVERIFY(m_log->isHidden());

        m_log->AddPacket(1, kNameRequest, 6);
        QCOMPARE(Lines(m_log->View()), QStringList{"RECV-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)"});
        QCOMPARE(ReadAll(m_log->LogFile().PathFor(kJan31_134512)),
                 QByteArray("SEND-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)\n"
                            "RECV-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)\n"));
    }

    void OnlyEntriesMadeWhileLogSaveIsTickedReachTheFile()
    {
        QVERIFY(!m_log->LogSaveBox()->isChecked()); // unticked at every start
        m_log->AddPacket(0, kNameRequest, 6);
        QVERIFY(!QDir(m_dir->path() + "/Log").exists());

        m_log->LogSaveBox()->setChecked(true);
        m_log->AddPacket(1, kNameRequest, 2);
        QCOMPARE(ReadAll(m_log->LogFile().PathFor(kJan31_134512)),
                 QByteArray("RECV-[2024-01-31 13:45:12] 02 02  (2 BYTE)\n"));
        QCOMPARE(Lines(m_log->View()).size(), 2);
    }

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<VirtualClock> m_clock;
    std::unique_ptr<CDlgLog> m_log;
};

QTEST_MAIN(CDlgLogTest)
#include "CDlgLogTest.moc"
