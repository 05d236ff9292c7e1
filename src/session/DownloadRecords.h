#pragma once

#include "DownloadProgress.h"
#include "Measurement.h"
#include "SessionTypes.h"

#include <QObject>

#include <array>

// The downloads the data grid shows, kept on the window's thread as measurements: the last table of each
// mode (the grid keeps one sheet per mode), the shown one being the last download begun. Filled from the
// record batches; the grid, the chart and the reports are built from it. The main window owns one.
class DownloadRecords : public QObject {
    Q_OBJECT
  public:
    using State = Measurement::State;

    explicit DownloadRecords(QObject *parent = nullptr);

    // A new download starts: the mode's earlier table goes.
    void Begin(bool continuous);
    void Append(const RecordBatch &batch);
    // The download ended with `code` (0 success) and `damaged` records left out; a failed or cancelled one
    // leaves an incomplete table. `received`: the instrument was asked for records.
    void Finish(int code, int damaged = 0, bool received = true);
    // The press classes' ranges the stored records of every table are judged against.
    void SetLimits(const PressClassLimits &limits);
    // Empties the table of one mode without a download (the grid's sheet was emptied).
    void Clear(MeasurementMode mode);

    // The running or last download: its rows, and the last table left incomplete.
    const DownloadProgress &Progress() const { return m_progress; }
    // The shown download.
    const Measurement &Shown() const { return Table(m_shown); }
    // The last table of `mode`.
    const Measurement &Table(MeasurementMode mode) const { return m_tables[size_t(mode)]; }
    Measurement &Table(MeasurementMode mode) { return m_tables[size_t(mode)]; }

    State GetState() const { return Shown().GetState(); }
    bool Continuous() const { return Shown().Continuous(); }
    bool Incomplete() const { return GetState() == State::Incomplete; }
    int Result() const { return Shown().ResultCode(); }
    int Count() const { return Shown().Count(); }
    // Record i (from 0), kRecordSize bytes.
    const uint8_t *Record(int i) const { return Shown().Record(i).data(); }

  signals:
    void cleared();
    void summaryChanged();
    void recordsAppended(int first, int count);
    void finished(int code);

  private:
    Measurement &ShownTable() { return Table(m_shown); }

    MeasurementMode m_shown = MeasurementMode::Memory;
    DownloadProgress m_progress;
    std::array<Measurement, 2> m_tables{Measurement(MeasurementMode::Memory), Measurement(MeasurementMode::Output)};
};
