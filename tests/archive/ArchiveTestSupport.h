#pragma once

#include "ArchiveTypes.h"
#include "ArchivingLinkOwner.h"
#include "CSpreadSheet.h"
#include "MeasurementSink.h"
#include "RecordTables.h"

#include <QStringList>

#include <vector>

// An identity as the operator's window reads it (kIdentityFields order).
inline InstrumentIdentity TestIdentity(const QString &serial, const QString &lc15 = QStringLiteral("LC15-1"),
                                       const QString &firmware = QStringLiteral("V1.02"))
{
    InstrumentIdentity identity;
    identity.texts = {QStringLiteral("PM-30"),  lc15,    QStringLiteral("LC30-1"),
                      QStringLiteral("CV30-1"), serial,  QStringLiteral("CV15-1"),
                      QStringLiteral("CV25-1"), firmware};
    return identity;
}

inline RawRecord TestRecord(int second, int force, int setting = 1)
{
    RawRecord record{};
    MakeRawRecord(QStringLiteral("2024-05-01 10:%1:%2")
                      .arg(second / 60, 2, 10, QLatin1Char('0'))
                      .arg(second % 60, 2, 10, QLatin1Char('0')),
                  force, setting, record);
    return record;
}

inline DownloadStart TestStart(const InstrumentIdentity &identity, DownloadMode mode, qint64 startedAt)
{
    DownloadStart start;
    start.identity = identity;
    start.mode = mode;
    start.host = QStringLiteral("station-1");
    start.osUser = QStringLiteral("operator");
    start.startedAt = startedAt;
    if (mode == DownloadMode::Memory) {
        start.rangeFrom = startedAt - 86400;
        start.rangeTo = startedAt;
    }
    return start;
}

// Every text of the addressed sheet, row by row.
inline QStringList SheetTexts(const CSpreadSheet &grid)
{
    QStringList rows;
    for (int row = 1; row <= grid.GetRowCount(); ++row) {
        QStringList texts;
        for (int col = 1; col <= grid.GetColumnCount(); ++col)
            texts << grid.text(col, row);
        rows << texts.join(QLatin1Char('\t'));
    }
    return rows;
}

// The measurement a download through an archiving owner fills, and the grid that shows it.
struct TestGrid {
    Measurement measurement;
    MeasurementSink sink{measurement};
    explicit TestGrid(DownloadMode mode)
        : measurement(mode == DownloadMode::Memory ? MeasurementMode::Memory : MeasurementMode::Output)
    {
    }
    // The grid as the window shows the records received so far.
    const CSpreadSheet &Sheet()
    {
        FillRecordSheets(measurement, m_grid);
        return m_grid;
    }

  private:
    CSpreadSheet m_grid;
};

// Runs one stored download through an archiving owner (into the grid it passes the records on to).
inline QStringList ArchiveStoredDownload(ArchivingLinkOwner &owner, const DownloadStart &start,
                                         const std::vector<RawRecord> &records, int result = 0, int damaged = 0)
{
    owner.BeginDownload(start);
    for (size_t i = 0; i < records.size(); ++i)
        owner.AddStoredRecordRow(int(i), records[i].data());
    owner.FinishDownload(result, int(records.size()), start.startedAt + 5, damaged);
    return owner.TakeNotices();
}
