#pragma once

#include "Measurement.h"
#include "PressClassLimits.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class CSpreadSheet;
class ChartView;
class QLabel;
class QPushButton;
class RecordChart;

// "그래프 보기": a window of its own beside the main window (its parent, so it closes with it), usable while
// the main window shows a modal dialog. It draws the records of the shown table and follows them as they
// arrive: every change is collected and drawn together within kRedrawDelayMs (longer when drawing takes
// long), so a download of thousands of records redraws a few times a second, not once a record.
//
// The press-class limits are read from the configuration file when the window is made; "판정 기준" edits them,
// writes them back and announces them with LimitsChanged, so that the main window can mark its grid again.
class ChartWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRedrawDelayMs = 250;
    static constexpr int kLongestRedrawDelayMs = 2000;

    ChartWindow(QWidget *mainWindow, const QString &iniPath);
    ~ChartWindow() override;

    // MEMORY or OUTPUT; another mode than the present one empties the window.
    void SetMode(MeasurementMode mode);
    MeasurementMode Mode() const { return m_records.Mode(); }
    // Empties the records of the present mode (a new download begins).
    void Clear();
    // The whole table at once.
    void SetRecords(const Measurement &records);
    // MEMORY: a stored record (index from 0) with its row's tick, and later tick changes.
    void SetStoredRecord(int index, const uint8_t *record, bool ticked = true);
    void SetTicked(int index, bool ticked);
    // Every tick at once from the shown table (select all, none, invert).
    void TakeTicks(const Measurement &table);
    // OUTPUT: the summary and the continuous records (index from 0).
    void SetSummary(const uint8_t *summary);
    void SetContinuousRecord(int index, const uint8_t *record);

    const Measurement &Records() const { return m_records; }
    const PressClassLimits &Limits() const { return m_limits; }
    void SetLimits(const PressClassLimits &limits);

    // Draws what is pending now instead of after the delay.
    void Refresh();
    // The chart as shown, written to path (PNG). False with *error when it cannot be written.
    bool SavePng(const QString &path, QString *error = nullptr);

    RecordChart *Chart() const { return m_chart; }
    ChartView *View() const { return m_view; }
    QPushButton *ResetButton() const { return m_reset; }
    QPushButton *SaveButton() const { return m_save; }
    QPushButton *LimitsButton() const { return m_limitsButton; }
    QLabel *CountsLabel() const { return m_counts; }

    // How the PNG's file name is asked for (tests answer it themselves); an empty function restores the dialog.
    using FileQuestion = std::function<QString(QWidget *owner)>;
    static void SetFileQuestion(FileQuestion question);

  signals:
    void LimitsChanged(const PressClassLimits &limits);

  private:
    void ScheduleRedraw();
    void Redraw();
    void UpdateCounts();
    void OnSavePng();
    void OnEditLimits();

    QString m_iniPath;
    Measurement m_records;
    PressClassLimits m_limits;
    RecordChart *m_chart;
    ChartView *m_view;
    QPushButton *m_reset;
    QPushButton *m_save;
    QPushButton *m_limitsButton;
    QLabel *m_counts;
    QTimer m_redraw;
    bool m_rebuild = true;
};
