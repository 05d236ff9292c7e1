// Under a C or English system locale the program still speaks Korean: Qt's own buttons, the calendar of the
// date pickers, Qt's file dialog, and the program's message boxes with its title and a fitting icon. The
// test runs under LC_ALL=C and LANG=en_US.UTF-8 (see CMakeLists.txt).
#include "KoreanLocale.h"
#include "KoreanMessageBox.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QString Plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

} // namespace

class KoreanLocaleTest : public QObject {
    Q_OBJECT

    struct SeenBox {
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    // Shows a message box the program's way, notes what the operator sees and answers it with Enter.
    SeenBox ShowAndAnswer(QMessageBox::Icon icon, const QString &title, const QString &text,
                          QMessageBox::StandardButtons buttons)
    {
        SeenBox seen;
        QTimer::singleShot(0, this, [&seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = {box->windowTitle(), box->icon()};
            QTest::keyClick(box, Qt::Key_Return);
        });
        ShowKoreanMessageBox(nullptr, icon, title, text, buttons);
        return seen;
    }

  private slots:
    void initTestCase()
    {
        QVERIFY2(QLocale::system().language() != QLocale::Korean, "the test needs a non-Korean system locale");
        // Before: Qt's texts are English, so what follows shows the translation at work.
        QDialogButtonBox english(QDialogButtonBox::Cancel);
        QCOMPARE(Plain(english.button(QDialogButtonBox::Cancel)->text()), QStringLiteral("Cancel"));
        QVERIFY2(KoreanLocale::Install(), qPrintable(KoreanLocale::TranslationsDirectory()));
        QVERIFY(KoreanLocale::Install()); // a second call changes nothing
    }

    void standardButtonsAndFileDialogAreKorean()
    {
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("확인"));
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("취소"));

        QFileDialog dialog(nullptr, QStringLiteral("엑셀 저장"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        auto *box = dialog.findChild<QDialogButtonBox *>();
        QVERIFY(box);
        QCOMPARE(box->button(QDialogButtonBox::Save)->text(), QStringLiteral("저장(&S)"));
        QCOMPARE(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("취소"));
    }

    void datePickerCalendarIsKorean()
    {
        QCOMPARE(QLocale().language(), QLocale::Korean);
        QDateEdit picker(QDate(2026, 12, 7));
        picker.setCalendarPopup(true);
        QCalendarWidget *calendar = picker.calendarWidget();
        QVERIFY(calendar);
        QCOMPARE(calendar->locale().language(), QLocale::Korean);
        auto *month = calendar->findChild<QToolButton *>(QStringLiteral("qt_calendar_monthbutton"));
        QVERIFY(month);
        QCOMPARE(month->text(), QStringLiteral("12월"));
        QCOMPARE(calendar->firstDayOfWeek(), Qt::Sunday);
    }

    void messageBoxesCarryTheProgramsTitleAndAFittingIcon()
    {
        SeenBox seen = ShowAndAnswer(QMessageBox::NoIcon, QString(), QStringLiteral("성공"), QMessageBox::Ok);
        QCOMPARE(seen.title, QStringLiteral("압력 계측기"));
        QCOMPARE(seen.icon, QMessageBox::Information);

        seen = ShowAndAnswer(QMessageBox::NoIcon, QString(), QStringLiteral("설정 실패 - 장비 열기 실패 (-1100)"),
                             QMessageBox::Ok);
        QCOMPARE(seen.icon, QMessageBox::Warning);

        seen = ShowAndAnswer(QMessageBox::NoIcon, QStringLiteral("설정"), QStringLiteral("장비시간을 설정하시겠습니까?"),
                             QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seen.title, QStringLiteral("설정"));
        QCOMPARE(seen.icon, QMessageBox::Question);

        // A caller that names its icon keeps it.
        seen = ShowAndAnswer(QMessageBox::Critical, QString(), QStringLiteral("성공"), QMessageBox::Ok);
        QCOMPARE(seen.icon, QMessageBox::Critical);
    }
};

QTEST_MAIN(KoreanLocaleTest)
#include "KoreanLocaleTest.moc"
