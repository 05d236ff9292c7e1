#pragma once

#include "SessionTypes.h"

#include <QObject>

// The raw records of the download the data grid shows, kept on the window's thread for the views
// that draw or list them: stored records, or the continuous run's summary and records, whether the
// download completed, and its result. The main window owns one and fills it from the record batches.
class DownloadRecords : public QObject {
    Q_OBJECT
  public:
    enum class State { Empty, Receiving, Complete, Incomplete };

    explicit DownloadRecords(QObject *parent = nullptr);

    // A new download starts: everything earlier goes.
    void Begin(bool continuous);
    void Append(const RecordBatch &batch);
    // The download ended with `code` (0 success); a failed or cancelled one leaves an incomplete table.
    void Finish(int code);

    State GetState() const { return m_state; }
    bool Continuous() const { return m_continuous; }
    bool Incomplete() const { return m_state == State::Incomplete; }
    int Result() const { return m_result; }
    int Count() const;
    // Record i (from 0), kRecordSize bytes.
    const uint8_t *Record(int i) const;
    const QByteArray &RawRecords() const { return m_records; }
    // The continuous run's 9 summary bytes; empty for stored records or before it came.
    const QByteArray &Summary() const { return m_summary; }

  signals:
    void cleared();
    void summaryChanged();
    void recordsAppended(int first, int count);
    void finished(int code);

  private:
    State m_state = State::Empty;
    bool m_continuous = false;
    int m_result = 0;
    QByteArray m_summary;
    QByteArray m_records;
};
