#include "CDlgExport.h"

#include "KoreanMessageBox.h"
#include "Measurement.h"
#include "RememberedFolders.h"
#include "ReportExport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

const QString CDlgExport::kTitle = QStringLiteral("엑셀 저장");
const QString CDlgExport::kFailureText = QStringLiteral("엑셀 저장 실패");
const QString CDlgExport::kPdfNameFilter = QStringLiteral("PDF (*.pdf)");
const QString CDlgExport::kNameFilter = QStringLiteral("Excel 97-2003 (*.xls);;") + CDlgExport::kPdfNameFilter;
const QString CDlgExport::kNothingTickedQuestion =
    QStringLiteral("선택된 데이터가 없습니다.\n데이터 없이 보고서를 저장하시겠습니까?");

namespace {

CDlgExport::FileQuestion &FileQuestionHook()
{
    static CDlgExport::FileQuestion hook;
    return hook;
}

// The filter the operator last chose in the save dialog.
QString g_chosenFilter;

QString AskWithSaveDialog(QWidget *owner, const QString &folder, const QString &proposedName)
{
    QFileDialog dialog(owner, CDlgExport::kTitle, folder);
    // Qt's own dialog, so that Qt's Korean texts apply whatever the desktop's dialog would say.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(CDlgExport::kNameFilter);
    if (!proposedName.isEmpty()) {
        dialog.selectFile(proposedName);
        // The proposed name follows the format the operator picks.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString &filter) {
            const QString suffix =
                filter == CDlgExport::kPdfNameFilter ? QStringLiteral(".pdf") : QStringLiteral(".xls");
            dialog.selectFile(QFileInfo(proposedName).completeBaseName() + suffix);
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    g_chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

CDlgExport::RevealFunction &RevealHook()
{
    static CDlgExport::RevealFunction hook;
    return hook;
}

bool ShowSelectedOrFolder(const QString &path)
{
    const QString uri = QUrl::fromLocalFile(path).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{uri} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
        return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace

CDlgExport::CDlgExport(QWidget *owner, MessageFunction message) : m_owner(owner), m_message(std::move(message))
{
    if (!m_message) {
        m_message = [owner](const QString &text, const QString &caption, QMessageBox::StandardButtons buttons,
                            QMessageBox::Icon icon) {
            return ShowKoreanMessageBox(owner, icon, caption, text, buttons);
        };
    }
}

QString CDlgExport::StartFolder() const
{
    QString fallback = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(fallback).isDir())
        fallback = QDir::homePath();
    return RememberedFolders::Folder(m_iniPath, RememberedFolders::kExportKey, fallback);
}

bool CDlgExport::ConfirmRecords(const Measurement &table) const
{
    if (table.Continuous() || table.TickedCount() > 0)
        return true;
    return m_message(kNothingTickedQuestion, kTitle, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) ==
           QMessageBox::Yes;
}

QString CDlgExport::AskTargetPath(Format *format) const
{
    g_chosenFilter.clear();
    const QString chosen =
        FileQuestionHook() ? FileQuestionHook()(m_owner) : AskWithSaveDialog(m_owner, StartFolder(), m_proposedName);
    if (chosen.isEmpty())
        return QString();
    const bool pdf = chosen.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ||
                     (!chosen.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) && g_chosenFilter == kPdfNameFilter);
    if (format)
        *format = pdf ? Format::Pdf : Format::Xls;
    const QString target =
        pdf ? (chosen.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? chosen : chosen + QLatin1String(".pdf"))
            : ReportExport::TargetPath(chosen);
    // The dialog's own prompt covered the name as typed, not the longer one.
    if (target != chosen && QFileInfo::exists(target)) {
        const auto answer =
            m_message(QStringLiteral("%1 파일이 이미 있습니다.\n바꾸시겠습니까?").arg(QFileInfo(target).fileName()),
                      kTitle, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question);
        if (answer != QMessageBox::Yes)
            return QString();
    }
    return target;
}

bool CDlgExport::Save(const ReportExport &report, const QString &path) const
{
    return SaveWith([&](QString *error) { return report.Save(path, error); }, path, Format::Xls);
}

bool CDlgExport::SaveWith(const std::function<bool(QString *error)> &write, const QString &path, Format format) const
{
    const bool pdf = format == Format::Pdf;
    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = write(&error);
    QGuiApplication::restoreOverrideCursor();
    if (!saved) {
        m_message(QStringLiteral("%1 : %2").arg(pdf ? QStringLiteral("PDF 저장 실패") : kFailureText, error), kTitle,
                  QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    RememberedFolders::RememberFolderOf(m_iniPath, RememberedFolders::kExportKey, path);
    const QString where = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (m_message(QStringLiteral("%1 파일을 저장했습니다.\n%2\n\n파일이 있는 폴더를 여시겠습니까?")
                      .arg(pdf ? QStringLiteral("PDF") : QStringLiteral("엑셀"), where),
                  kTitle, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information) == QMessageBox::Yes &&
        !RevealInFileManager(path))
        m_message(QStringLiteral("폴더를 열 수 없습니다 - 파일 관리자를 찾지 못했습니다.\n파일은 저장되어 있습니다: %1")
                      .arg(where),
                  kTitle, QMessageBox::Ok, QMessageBox::Warning);
    return true;
}

void CDlgExport::SetFileQuestion(FileQuestion question)
{
    FileQuestionHook() = std::move(question);
}

void CDlgExport::SetRevealFunction(RevealFunction reveal)
{
    RevealHook() = std::move(reveal);
}

bool CDlgExport::RevealInFileManager(const QString &path)
{
    return RevealHook() ? RevealHook()(path) : ShowSelectedOrFolder(path);
}
