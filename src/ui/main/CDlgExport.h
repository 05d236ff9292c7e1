#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class Measurement;
class QWidget;
class ReportExport;

// The operator's side of a report export, on top of ReportExport: the question when no row is ticked, the
// save dialog in the folder of the last export with a proposed name, the question before a file of the
// appended name is replaced, the message when the workbook cannot be written, and the notice of where the
// file went with the offer to open its folder.
class CDlgExport {
  public:
    static const QString kTitle;         // "엑셀 저장"
    static const QString kFailureText;   // "엑셀 저장 실패"
    static const QString kNameFilter;    // "Excel 97-2003 (*.xls)" and "PDF (*.pdf)"
    static const QString kPdfNameFilter; // "PDF (*.pdf)"
    static const QString kNothingTickedQuestion;

    enum class Format { Xls, Pdf };

    // How the export asks and tells the operator: text, caption, buttons, icon -> the button pressed. The
    // default shows a QMessageBox owned by `owner`; a window passes its own so that all its message boxes
    // go one way.
    using MessageFunction = std::function<QMessageBox::StandardButton(
        const QString &text, const QString &caption, QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)>;

    explicit CDlgExport(QWidget *owner, MessageFunction message = {});

    // The configuration file that remembers the folder of the last export ([PATHS] EXPORT_DIR). Without
    // one, nothing is remembered.
    void SetConfigurationFile(const QString &iniPath) { m_iniPath = iniPath; }
    // The name the save dialog proposes (ReportExport::ProposedFileName); none by default.
    void SetProposedName(const QString &fileName) { m_proposedName = fileName; }
    // Where the save dialog opens: the folder of the last export while it exists, else the user's documents
    // folder.
    QString StartFolder() const;

    // A MEMORY report of no ticked row holds no record: the operator is asked first. True to go on.
    bool ConfirmRecords(const Measurement &table) const;

    // Asks for the file in Qt's own save dialog (Korean like the rest of the program): filters "Excel 97-2003
    // (*.xls)" and "PDF (*.pdf)", opened at StartFolder() with the proposed name, a prompt before overwriting
    // the name as typed. A name ending in ".pdf" or ".xls" says the format; another takes the format of the
    // chosen filter and its extension is appended. Returns the target path, or an empty text when the
    // operator cancels or declines to replace an existing file of the appended name.
    QString AskTargetPath(Format *format = nullptr) const;

    // Writes the workbook under the wait cursor. A failure shows "엑셀 저장 실패" with the reason and leaves any
    // older file as it was. A success remembers the folder, tells the operator where the file went and, when
    // asked to, shows it in the file manager.
    bool Save(const ReportExport &report, const QString &path) const;
    // Writes a report of `format` to path with `write` (false with the reason), and tells the operator as
    // Save does: "엑셀 저장 실패" or "PDF 저장 실패" with the reason, or where the file went.
    bool SaveWith(const std::function<bool(QString *error)> &write, const QString &path, Format format) const;

    // How the file name is asked for; the default is the save dialog of AskTargetPath. Tests and scripted
    // runs answer it themselves (an empty text cancels). An empty function restores the dialog.
    using FileQuestion = std::function<QString(QWidget *owner)>;
    static void SetFileQuestion(FileQuestion question);

    // How a written file is shown. The default asks the desktop's file manager over D-Bus
    // (org.freedesktop.FileManager1.ShowItems) to select it and, when none answers, opens its folder.
    // False when neither could be done (no file manager, no opener for folders).
    using RevealFunction = std::function<bool(const QString &path)>;
    static void SetRevealFunction(RevealFunction reveal); // an empty function restores the default
    static bool RevealInFileManager(const QString &path);

  private:
    QWidget *m_owner;
    MessageFunction m_message;
    QString m_iniPath;
    QString m_proposedName;
};
