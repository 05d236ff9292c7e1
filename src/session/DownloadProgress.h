#pragma once

#include "Measurement.h"
#include "SessionTypes.h"

#include <QString>

// One download at a time as its receiver follows it: whether one runs and in which mode, the rows it has
// delivered and the count a continuous run announced; once it ends, how many rows came, and the last table a
// download left incomplete with what is missing. The batches fill the measurement they are handed. The main
// window and tonvale-cli both follow their downloads with one.
class DownloadProgress {
  public:
    // A download into `table` starts: the table starts over in `mode`.
    void Begin(Measurement &table, MeasurementMode mode);
    // A batch of records into `table` (the one of the batch's mode): its summary, and its records at the
    // batch's indexes. Counted as the running download's when `table` is the one it fills.
    void Receive(const RecordBatch &batch, Measurement &table);
    // The running download ended with `code` (0 success, a result code otherwise) and `damaged` records left
    // out; `received`: the instrument was asked for records (false when nothing was sent).
    void Finish(int code, int damaged, bool received = true);

    bool Running() const { return m_running != nullptr; }
    // The mode of the running or last download.
    MeasurementMode Mode() const { return m_mode; }
    // Rows the running or last download delivered.
    int Rows() const { return m_rows; }
    // The count the continuous run announced in its summary; -1 before it has.
    int Announced() const { return m_announced; }
    // The rows of the last finished download that asked for records, until the next begins; -1 for none.
    int ReceivedRows() const { return m_receivedRows; }
    // The last table a download left incomplete, while it still is (a table emptied since, or begun again, is
    // not); null for none.
    const Measurement *IncompleteTable() const;

    // The line the operator reads: "수신 중 : 12 / 40건" while a download runs, else "MEMORY 표가 완전하지
    // 않습니다 : ..." for the incomplete table, else "40건 수신"; empty before any download.
    QString StatusText() const;

  private:
    Measurement *m_running = nullptr;
    const Measurement *m_incomplete = nullptr;
    MeasurementMode m_mode = MeasurementMode::Memory;
    int m_rows = 0;
    int m_announced = -1;
    int m_receivedRows = -1;
};
