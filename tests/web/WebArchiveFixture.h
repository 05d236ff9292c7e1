#pragma once

#include "ServeProcess.h"
#include "cli/ArchiveCliSupport.h"

#include "ArchiveLocation.h"
#include "MeasurementArchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

// Archives for the web view's tests, written as stations write them, and the CLI's own outputs to hold the
// pages and files against.

struct StoredRow {
    const char *time; // "YYYY-MM-DD HH:MM:SS"
    int raw;          // raw force (tons * 98)
    int setting;      // 0: 10-13톤, 1: 15톤, 2: 25-30톤
};

// One finished MEMORY download of an instrument with these rows, started at `started` (local "YYYY-MM-DD HH:MM:SS").
inline qint64 AddDownload(MeasurementArchive &archive, const QString &serial, const QString &started,
                          const QList<StoredRow> &rows, int result = 0)
{
    DownloadStart start;
    for (int i = 0; i < InstrumentIdentity::kFieldCount; ++i)
        start.identity.texts[i] = QStringLiteral("F%1").arg(i);
    start.identity.texts[0] = QStringLiteral("PFM-3000");
    start.identity.texts[InstrumentIdentity::kSerialField] = serial;
    start.host = QStringLiteral("station-1");
    start.osUser = QStringLiteral("op");
    start.startedAt = QDateTime::fromString(started, QStringLiteral("yyyy-MM-dd HH:mm:ss")).toSecsSinceEpoch();
    const std::optional<DownloadHandle> handle = archive.BeginDownload(start);
    EXPECT_TRUE(handle) << archive.LastError().detail.toStdString();
    if (!handle)
        return 0;
    std::vector<std::pair<int, RawRecord>> records;
    for (const StoredRow &row : rows) {
        RawRecord record;
        EXPECT_TRUE(MakeRawRecord(QString::fromLatin1(row.time), row.raw, row.setting, record));
        records.emplace_back(int(records.size()), record);
    }
    EXPECT_TRUE(archive.BeginBatch() && archive.AddStoredRecords(*handle, records) &&
                archive.FinishDownload(*handle, start.startedAt + 5, result, int(rows.size())) &&
                archive.CommitBatch());
    return handle->downloadId;
}

inline QJsonObject JsonObject(const httplib::Result &result)
{
    return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object() : QJsonObject();
}

// How often `needle` stands in `text`.
inline int Occurrences(const QString &text, const QString &needle)
{
    return int(text.count(needle));
}

// The security headers every answer carries.
inline void ExpectSecurityHeaders(const httplib::Result &result, const std::string &what)
{
    ASSERT_TRUE(result) << what;
    EXPECT_NE(result->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos)
        << what;
    EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff") << what;
    EXPECT_EQ(result->get_header_value("X-Frame-Options"), "DENY") << what;
}

// The PDF without its creation time, the one thing two writings of the same report differ in.
inline QByteArray WithoutCreationDate(QByteArray pdf)
{
    const qsizetype at = pdf.indexOf("/CreationDate (D:");
    if (at >= 0)
        pdf.remove(at, pdf.indexOf(')', at) - at + 1);
    return pdf;
}

inline QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The rows of a CSV text as Python's csv module reads them (an independent RFC 4180 reader).
inline QList<QStringList> CsvCells(const QByteArray &csv, const QString &dir)
{
    const QString path = WriteFile(dir + QStringLiteral("/cells.csv"), csv);
    const CliRun read = RunProgram(
        QStringLiteral("/usr/bin/python3"),
        {"-c",
         "import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))))",
         path});
    QList<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(read.out.toUtf8()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}
