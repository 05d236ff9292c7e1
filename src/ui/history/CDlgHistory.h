#pragma once

#include "ArchiveLocation.h"
#include "ArchiveTypes.h"

#include <QDialog>

#include <memory>
#include <optional>

class MeasurementArchive;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The history window: the archived downloads, newest first, filtered by instrument serial and by the
// days they were made. Opening one (double click, Enter or "열기") reads it back and hands it on with
// DownloadOpened; the caller fills its grids from it (ReplayDownload) like a fresh download.
// Keeps its own connection to the archive, on the GUI thread.
class CDlgHistory : public QDialog {
    Q_OBJECT
  public:
    explicit CDlgHistory(ArchiveLocation location, QWidget *parent = nullptr);
    ~CDlgHistory() override;

    // The download opened last, if any.
    const std::optional<ArchivedDownload> &OpenedDownload() const { return m_opened; }
    // Reads the list again with the current filter.
    void Refresh();
    // How the main window's caption marks a download opened from here, e.g.
    // "보관 기록 #12 - PF24050117 2026-12-07 11:53:21 MEMORY".
    static QString ArchivedCaption(const DownloadSummary &download);
    // The texts of the list's "결과" column.
    static QString ResultColumnText(const DownloadSummary &download);

  signals:
    void DownloadOpened(const ArchivedDownload &download);

  private:
    void OpenSelected();
    void ShowStatus(const QString &text);

    ArchiveLocation m_location;
    std::unique_ptr<MeasurementArchive> m_archive;
    std::optional<ArchivedDownload> m_opened;
    QLineEdit *m_serial;
    QCheckBox *m_useDates;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QPushButton *m_query;
    QTableWidget *m_table;
    QLabel *m_status;
    QPushButton *m_open;
};
