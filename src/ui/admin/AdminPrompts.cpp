#include "AdminPrompts.h"

#include "CTonvaleApp.h"
#include "KoreanMessageBox.h"
#include "RememberedFolders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

bool DialogPrompts::Ask(QWidget *parent, const QString &text, bool defaultNo)
{
    return ShowKoreanMessageBox(parent, QMessageBox::Question, QStringLiteral("설정"), text,
                                QMessageBox::Yes | QMessageBox::No,
                                defaultNo ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}

void DialogPrompts::Notify(QWidget *parent, const QString &text)
{
    ShowKoreanMessageBox(parent, QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
}

QString DialogPrompts::ChooseFirmwareFile(QWidget *parent)
{
    // The file name field starts empty in the folder of the last firmware file (at first the current
    // directory); Qt's own dialog, so that it speaks Korean. The read-only option does not exist here.
    const QString iniPath = TonvaleApp().sysInfo.iniPath;
    QFileDialog dialog(parent, QString(),
                       RememberedFolders::Folder(iniPath, RememberedFolders::kFirmwareKey, QDir::currentPath()));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("펌웨어 이미지 파일 (*.bin);;All Files(*.*) (*)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    RememberedFolders::RememberFolderOf(iniPath, RememberedFolders::kFirmwareKey, path);
    return path;
}
