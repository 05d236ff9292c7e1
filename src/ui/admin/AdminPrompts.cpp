#include "AdminPrompts.h"

#include "KoreanMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

bool DialogPrompts::Ask(QWidget *parent, const QString &text)
{
    return ShowKoreanMessageBox(parent, QMessageBox::Question, QStringLiteral("설정"), text,
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void DialogPrompts::Notify(QWidget *parent, const QString &text)
{
    ShowKoreanMessageBox(parent, QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
}

QString DialogPrompts::ChooseFirmwareFile(QWidget *parent)
{
    // The file name field starts empty in the current directory; the read-only option does not exist here.
    return QFileDialog::getOpenFileName(parent, QString(), QStringLiteral("."),
                                        QStringLiteral("펌웨어 이미지 파일 (*.bin);;All Files(*.*) (*)"));
}
