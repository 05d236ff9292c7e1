#include "KoreanMessageBox.h"

#include <QAbstractButton>
#include <QGuiApplication>

QMessageBox::StandardButton ShowKoreanMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    if (icon == QMessageBox::NoIcon)
        icon = FittingIcon(text, buttons);
    QMessageBox box(icon, title.isEmpty() ? kProgramTitle : title, text, buttons, parent);
    box.setLocale(QLocale(QLocale::Korean, QLocale::SouthKorea));
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QStringLiteral("예(&Y)"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QStringLiteral("아니요(&N)"));
    if (QAbstractButton *ok = box.button(QMessageBox::Ok))
        ok->setText(QStringLiteral("확인"));
    const auto answer = QMessageBox::StandardButton(box.exec());
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
    return answer;
}

QMessageBox::Icon FittingIcon(const QString &text, QMessageBox::StandardButtons buttons)
{
    if (buttons.testFlag(QMessageBox::Yes) && buttons.testFlag(QMessageBox::No))
        return QMessageBox::Question;
    if (text.contains(QStringLiteral("실패")) || text.contains(QStringLiteral("에러")))
        return QMessageBox::Warning;
    return QMessageBox::Information;
}
