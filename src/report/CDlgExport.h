#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;
class ReportExport;

// The operator's side of a report export, on top of ReportExport: the save dialog, the question before a
// file of the appended name is replaced, the message when the workbook cannot be written, and the file
// manager showing the new file.
class CDlgExport {
  public:
    static const QString kTitle;         // "엑셀 저장"
    static const QString kFailureText;   // "엑셀 저장 실패"
    static const QString kNameFilter;    // "Excel 97-2003 (*.xls)" and "PDF (*.pdf)"
    static const QString kPdfNameFilter; // "PDF (*.pdf)"

    enum class Format { Xls, Pdf };

    // How the export asks and tells the operator: text, caption, buttons, icon -> the button pressed. The
    // default shows a QMessageBox owned by `owner`; a window passes its own so that all its message boxes
    // go one way.
    using MessageFunction = std::function<QMessageBox::StandardButton(
        const QString &text, const QString &caption, QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)>;

    explicit CDlgExport(QWidget *owner, MessageFunction message = {});

    // Asks for the file: filters "Excel 97-2003 (*.xls)" and "PDF (*.pdf)", no default name, a prompt before
    // overwriting the name as typed. A name ending in ".pdf" or ".xls" says the format; another takes the
    // format of the chosen filter and its extension is appended. Returns the target path, or an empty text
    // when the operator cancels or declines to replace an existing file of the appended name.
    QString AskTargetPath(Format *format = nullptr) const;

    // Writes the workbook under the wait cursor. A failure shows "엑셀 저장 실패" with the reason and leaves any older
    // file as it was; a success shows the file in the file manager.
    bool Save(const ReportExport &report, const QString &path) const;

    // How the file name is asked for; the default is the save dialog of AskTargetPath. Tests and scripted
    // runs answer it themselves (an empty text cancels). An empty function restores the dialog.
    using FileQuestion = std::function<QString(QWidget *owner)>;
    static void SetFileQuestion(FileQuestion question);

    // How a written file is shown. The default asks the desktop's file manager over D-Bus
    // (org.freedesktop.FileManager1.ShowItems) to select it and, when none answers, opens its folder.
    using RevealFunction = std::function<void(const QString &path)>;
    static void SetRevealFunction(RevealFunction reveal); // an empty function restores the default
    static void RevealInFileManager(const QString &path);

  private:
    QWidget *m_owner;
    MessageFunction m_message;
};
