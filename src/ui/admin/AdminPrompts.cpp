#include "AdminPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

bool DialogPrompts::Ask(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("설정"), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("예"));
    box.button(QMessageBox::No)->setText(QStringLiteral("아니요"));
    return box.exec() == QMessageBox::Yes;
}

void DialogPrompts::Notify(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    box.exec();
}

QString DialogPrompts::ChooseFirmwareFile(QWidget *parent)
{
    // The file name field starts empty in the current directory; the read-only option does not exist here.
    return QFileDialog::getOpenFileName(parent, QString(), QStringLiteral("."),
                                        QStringLiteral("펌웨어 이미지 파일 (*.bin);;All Files(*.*) (*)"));
}
