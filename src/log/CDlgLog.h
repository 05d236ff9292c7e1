#pragma once

#include "CDlgComm.h"
#include "HourlyLogFile.h"
#include "PacketLogSink.h"

class Clock;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The packet log window: every buffer the link writes to or reads from the bridge, one line each, and
// while "Log Save" is ticked also appended to the hour's log file. Modeless, created hidden by the main
// window and kept for the whole run; "Close", Escape and the close box only hide it, and entries keep
// arriving while it is hidden.
class CDlgLog : public CDlgComm, public PacketLogSink {
    Q_OBJECT
  public:
    enum ControlId : int { IDC_LOG_VIEW = 1033, IDC_LOG_SAVE = 1035, IDC_CLEAR = 1036 };
    // The view is emptied, not trimmed, when an entry arrives after this many lines.
    static constexpr int kMaxLines = 2000;

    // The dialog's template: 577 x 351 dialog units, the view below the buttons.
    static DialogTemplate MakeTemplate();

    // clock stamps the entries; logDir holds the day directories of the log files.
    CDlgLog(Clock &clock, const QString &logDir, QWidget *parent = nullptr);
    ~CDlgLog() override;

    // PacketLogSink: called from inside the link's exchanges; must not call back into the link.
    void AddPacket(int direction, const uint8_t *bytes, int count) override;
    // Appends one entry to the current hour's file; a file that cannot be written is passed over quietly.
    void WriteLogFile(const QString &entry);

    void OnBnClickedClear();
    void OnBnClickedClose();

    QPlainTextEdit *View() const { return m_view; }
    QCheckBox *LogSaveBox() const { return m_logSave; }
    const HourlyLogFile &LogFile() const { return m_file; }

  protected:
    void InitControls() override;
    void reject() override;

  private:
    Clock &m_clock;
    HourlyLogFile m_file;
    QLabel *m_label = nullptr;
    QPlainTextEdit *m_view = nullptr;
    QCheckBox *m_logSave = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_close = nullptr;
    QPushButton *m_ok = nullptr;
};
