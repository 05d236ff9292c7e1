#pragma once

#include "ArchiveLocation.h"
#include "ArchiveTypes.h"

#include <QDialog>

#include <chrono>
#include <memory>
#include <optional>

class Mailbox;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QThread;

// The history window: the archived downloads, newest first, filtered by instrument serial and by the
// days they were made. Opening one (double click, Enter or "열기") reads it back and hands it on with
// DownloadOpened; the caller fills its grids from it (ReplayDownload) like a fresh download.
// Reads on a thread of its own, with its own connection to the archive: a slow or distant archive never
// holds up the GUI thread; the answers fill the window when they come.
class CDlgHistory : public QDialog {
    Q_OBJECT
  public:
    explicit CDlgHistory(ArchiveLocation location, QWidget *parent = nullptr);
    ~CDlgHistory() override;

    // The download opened last, if any.
    const std::optional<ArchivedDownload> &OpenedDownload() const { return m_opened; }
    // Reads the list again with the current filter (the table is filled when the answer comes).
    void Refresh();
    // How the main window's caption marks a download opened from here, e.g.
    // "보관 기록 #12 - PF24050117 2026-12-07 11:53:21 MEMORY".
    static QString ArchivedCaption(const DownloadSummary &download);
    // The texts of the list's "결과" column.
    static QString ResultColumnText(const DownloadSummary &download);
    // Readers of closed windows still finishing a read, and waiting (at most `patience`) for them to end,
    // as the program ends.
    static int ReadersLeft();
    static void WaitForReaders(std::chrono::milliseconds patience);

  signals:
    void DownloadOpened(const ArchivedDownload &download);

  private:
    class Reader;
    class WindowLink;

    void OpenSelected();
    void ShowStatus(const QString &text);
    // GUI thread: the answers of the reader's thread.
    void ShowList(int request, const std::optional<QList<DownloadSummary>> &downloads, const QString &error);
    void ShowOpened(std::optional<ArchivedDownload> download, const QString &error);

    // Every value crosses between the threads through a Mailbox (a lock the thread checker sees). The
    // thread, the reader and m_toReader outlive the window when a read is in flight as it closes.
    QThread *m_readerThread;
    Reader *m_reader;                       // used on m_readerThread only, and deleted there
    Mailbox *m_toReader;                    // lives on m_readerThread
    std::shared_ptr<WindowLink> m_toWindow; // to a Mailbox on the GUI thread, while the window lives
    int m_request = 0;                      // the list asked for last; older answers are dropped
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
