// Prints what archiving costs:
//  1. 60,000 stored records archived as they arrive (ArchivingLinkOwner into an SQLite file): time per
//     record, and that time as a share of one record's time on the line (15 bytes at 115200 baud);
//  2. an archive of 1,000,000 stored records (20 instruments, 2,000 downloads over ten months): how long
//     listing one instrument's downloads of one month takes.

#include "ArchivingLinkOwner.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "MeasurementArchive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kRecords = 60000;
constexpr double kRecordLineMicros = 15 * 86.8; // a stored frame at 115200 baud 8N1

// The grid's owner costs nothing here, so that only the archiving is measured.
class NoGrid : public LinkOwner {
  public:
    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int, const uint8_t *) override {}
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override {}
};

RawRecord RecordAt(qint64 time, int force, int setting)
{
    const LocalFields f = *LocalFieldsOf(time);
    RawRecord r{};
    MakeRawRecord(
        QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second), force,
        setting, r);
    return r;
}

InstrumentIdentity Meter(int n)
{
    return {{"PFM-3000", "L15", "L30", "C30", QStringLiteral("SN-%1").arg(n, 4, 10, QLatin1Char('0')), "C15", "C25",
             "V1.3"},
            {}};
}

void ArchivingCost(const QString &dir)
{
    const qint64 first = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    std::vector<RawRecord> records;
    records.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i)
        records.push_back(RecordAt(first + i * 60LL, i % 65536, i % 3));

    NoGrid grid;
    ArchiveSettings settings;
    settings.location = settings.local = DefaultArchiveLocation(dir);
    ArchivingLinkOwner owner(grid, settings);
    DownloadStart start;
    start.identity = Meter(1);
    start.host = StationHostName();
    start.osUser = StationOsUser();

    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpu0 = std::clock();
    owner.BeginDownload(start);
    for (int i = 0; i < kRecords; ++i)
        owner.AddStoredRecordRow(i, records[i].data());
    owner.FinishDownload(0, kRecords, start.startedAt + 80);
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double micros = wall.nsecsElapsed() / 1000.0 / kRecords;
    const QStringList notices = owner.TakeNotices();
    std::printf("archiving %d stored records into SQLite (WAL, batches of %d or %d ms):\n", kRecords,
                settings.batchRecords, settings.batchMilliseconds);
    std::printf("  wall %.2f us/record, CPU %.2f us/record (goal <= 20 us)%s\n", micros, cpu * 1e6 / kRecords,
                notices.isEmpty() ? "" : "  ARCHIVE FAILED");
    std::printf("  = %.2f %% of a record's %.0f us on the line (goal: download within 2 %% of the line rate)\n",
                100.0 * micros / kRecordLineMicros, kRecordLineMicros);
    std::printf("  archive size %.1f MiB\n", QFileInfo(settings.location.sqlitePath).size() / 1048576.0);
}

void ListingCost(const QString &dir)
{
    constexpr int kInstruments = 20, kDownloadsEach = 100, kRecordsEach = 500;
    ArchiveLocation location = DefaultArchiveLocation(dir);
    location.sqlitePath = dir + "/million.sqlite";
    QElapsedTimer fill;
    fill.start();
    {
        MeasurementArchive archive(location);
        if (!archive.Open()) {
            std::printf("cannot create %s\n", qPrintable(location.sqlitePath));
            return;
        }
        const qint64 first = *LocalTimeFromFields({2024, 1, 1, 8, 0, 0});
        for (int d = 0; d < kDownloadsEach; ++d) {
            for (int n = 0; n < kInstruments; ++n) {
                DownloadStart start;
                start.identity = Meter(n);
                start.host = "bench";
                start.osUser = "bench";
                start.startedAt = first + d * 3LL * 86400 + n * 600; // every third day, ten months
                start.rangeFrom = start.startedAt - 3 * 86400;
                start.rangeTo = start.startedAt;
                const std::optional<DownloadHandle> handle = archive.BeginDownload(start);
                archive.BeginBatch();
                for (int r = 0; r < kRecordsEach; ++r) {
                    const RawRecord record = RecordAt(start.rangeFrom.value() + r * 300LL, (d * 7 + r) % 65536, r % 3);
                    archive.AddStoredRecord(*handle, r, record.data());
                }
                archive.FinishDownload(*handle, start.startedAt + 60, 0, kRecordsEach);
                archive.CommitBatch();
            }
        }
    }
    std::printf("archive of %d stored records (%d downloads) built in %.1f s\n",
                kInstruments * kDownloadsEach * kRecordsEach, kInstruments * kDownloadsEach, fill.elapsed() / 1000.0);

    MeasurementArchive archive(location);
    QElapsedTimer open;
    open.start();
    archive.Open(MeasurementArchive::Purpose::Read);
    DownloadFilter filter;
    filter.serial = "SN-0007";
    filter.from = LocalTimeFromFields({2024, 5, 1, 0, 0, 0});
    filter.before = LocalTimeFromFields({2024, 6, 1, 0, 0, 0});
    QElapsedTimer timer;
    timer.start();
    const auto firstList = archive.ListDownloads(filter);
    const double firstMs = timer.nsecsElapsed() / 1e6;
    constexpr int kRepeats = 50;
    timer.restart();
    for (int i = 0; i < kRepeats; ++i)
        archive.ListDownloads(filter);
    std::printf("listing one instrument's downloads of one month: %lld downloads, first %.2f ms (after opening in "
                "%.2f ms), then %.3f ms each (goal <= 200 ms)\n",
                firstList ? qint64(firstList->size()) : -1LL, firstMs, open.nsecsElapsed() / 1e6 - firstMs,
                timer.nsecsElapsed() / 1e6 / kRepeats);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ArchivingCost(dir.path());
    ListingCost(dir.path());
    return 0;
}
