#pragma once

#include "CDlgComm.h"
#include "HourlyLogFile.h"
#include "PacketLogSink.h"
#include "SessionTypes.h"

#include <QMargins>
#include <QPointer>

#include <functional>

class Clock;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The packet log window: every buffer the link writes to or reads from the bridge, one line each, and
// while "Log Save" is ticked also appended to the hour's log file. Modeless, created hidden by the main
// window and kept for the whole run; "Close", Escape and the close box only hide it, and entries keep
// arriving while it is hidden.
//
// It takes input beside the program's modal windows: it is kept as a transient of its companion (the
// main window, or the administrator console while that runs), so their modality does not block it,
// and the window manager keeps it above them. It opens beside its companion, or over the companion's
// free area when the screen has no room beside it, never over the companion's buttons.
class CDlgLog : public CDlgComm, public PacketLogSink {
    Q_OBJECT
  public:
    enum ControlId : int { IDC_LOG_VIEW = 1033, IDC_LOG_SAVE = 1035, IDC_CLEAR = 1036 };
    // The view is emptied, not trimmed, when an entry arrives after this many lines.
    static constexpr int kMaxLines = 2000;
    static constexpr QSize kMinimumSize{360, 200};
    // The window manager's frame (title bar and borders) reckoned with before it is known.
    static constexpr QMargins kAssumedFrame{4, 32, 4, 4};
    // How long after a companion appears the log raises itself above it.
    static constexpr int kRaiseDelayMs = 150;

    // The dialog's template: 577 x 351 dialog units, the view below the buttons.
    static DialogTemplate MakeTemplate();

    // clock stamps the entries; logDir holds the day directories of the log files.
    CDlgLog(Clock &clock, const QString &logDir, QWidget *parent = nullptr);
    ~CDlgLog() override;

    // PacketLogSink: one buffer, stamped with the clock's present time.
    void AddPacket(int direction, const uint8_t *bytes, int count) override;
    // Buffers the session stamped as they went over the wire, added in one step.
    void AddPackets(const PacketBatch &packets);
    // A line of text among the packets (the archive's database saying why it failed), stamped like them.
    void AddNote(const QString &text);
    // Appends one entry to the hour's file of `time`; a file that cannot be written is passed over quietly.
    void WriteLogFile(const QString &entry, qint64 time);

    // The window the log stays usable beside; freeArea tells (in companion coordinates, when the log
    // is placed) where it may cover the companion when the screen has no room beside it.
    void SetCompanion(QWidget *companion, std::function<QRect()> freeArea = {});
    // Shows the window at its place beside the companion, raised and active.
    void ShowBeside();
    // Where a window of `size` goes: right of, left of, below or above the companion's frame when the
    // screen has room there for at least `least` (the window shrunk to the room, never below `least`;
    // an invalid `least` is `size`), else inside the free area (shrunk to fit it).
    static QRect PlaceBeside(const QRect &companionFrame, const QRect &freeArea, const QRect &screen, QSize size,
                             QSize least = QSize());

    void OnBnClickedClear();
    void OnBnClickedClose();

    QPlainTextEdit *View() const { return m_view; }
    QCheckBox *LogSaveBox() const { return m_logSave; }
    const HourlyLogFile &LogFile() const { return m_file; }

  protected:
    void InitControls() override;
    void RepositionControls() override;
    void reject() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void Append(const QString &text);
    void KeepTransient();
    // Moves and sizes the window to its place beside the companion.
    void Place();

    Clock &m_clock;
    QPointer<QWidget> m_companion;
    std::function<QRect()> m_freeArea;
    bool m_placed = false;
    HourlyLogFile m_file;
    QLabel *m_label = nullptr;
    QPlainTextEdit *m_view = nullptr;
    QCheckBox *m_logSave = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_close = nullptr;
    QPushButton *m_ok = nullptr;
};
