#pragma once

#include "ArchiveRecorder.h"
#include "ArchiveTypes.h"
#include "LinkOwner.h"

#include <QElapsedTimer>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The settings of the program whose INI file is iniPath: databaseUrl when given, else [ARCHIVE] DATABASE=
// of the INI file, else archive.sqlite in the INI file's folder, which is also always the local archive.
// nullopt with a Korean reason when the URL or the INI value is not a location.
std::optional<ArchiveSettings> ConfiguredArchiveSettings(const QString &iniPath, const QString &databaseUrl,
                                                         QString *error);

// What became of a download in the archive.
struct ArchiveOutcome {
    QStringList notices;       // what the operator must be told (Korean; nothing when all went well)
    QStringList databaseTexts; // the databases' own texts behind them, for stderr and the packet log
};

// A link owner that passes every record on to another owner (the grid) and archives it. The archive has a
// thread of its own: the thread that downloads only copies the records into batches (at most
// batchRecords records or batchMilliseconds old) and hands them over, so it never waits for a database,
// not even to open it. The archive thread writes each batch in one short transaction (see
// ArchiveRecorder), so that a crash, a kill or an unplug loses at most what was not yet committed and
// the download row tells how far it came. Nothing the archive does can stop or fail the download, and the
// download's end is queued like its records: whoever needs the outcome learns it when the archive has it.
//
// Create, use and destroy it on the thread that runs the downloads. Destroying it waits for what is
// queued (the archive thread bounds its own waits: a busy file, a server that stops answering).
class ArchivingLinkOwner : public LinkOwner {
  public:
    ArchivingLinkOwner(LinkOwner &inner, ArchiveSettings settings);
    // A download not finished stays as far as it was committed: incomplete, without a result.
    ~ArchivingLinkOwner() override;

    // Around each download (one at a time: FinishDownload before the next BeginDownload). start.uid and
    // start.startedAt are filled in when empty.
    void BeginDownload(DownloadStart start);
    // resultCode: what the download returned; rowCount: the rows it delivered; endedAt in seconds since
    // 1970; damaged: the records that arrived damaged and were left out. Returns at once; `archived`, when
    // given, is called on the archive thread once the download is written (or given up on).
    void FinishDownload(int resultCode, int rowCount, qint64 endedAt, int damaged = 0,
                        std::function<void(const ArchiveOutcome &)> archived = {});
    // Waits until every download finished so far is written (or given up on); the last one's outcome.
    ArchiveOutcome WaitForArchive();
    // WaitForArchive's notices, each told once.
    QStringList TakeNotices();

    PacketLogSink *PacketLog() override { return m_inner.PacketLog(); }
    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    struct Command {
        enum class Kind { Begin, Items, End };
        Kind kind = Kind::Items;
        DownloadStart start;
        std::vector<ArchiveItem> items;
        int resultCode = 0;
        int rowCount = 0;
        qint64 endedAt = 0;
        int damaged = 0;
        std::function<void(const ArchiveOutcome &)> archived;
    };

    void Received(ArchiveItem::Kind kind, int index, const uint8_t *bytes, size_t size);
    void HandOverBatch();
    void Post(Command command);
    // The archive thread.
    void Run();

    LinkOwner &m_inner;
    const ArchiveSettings m_settings;
    std::vector<ArchiveItem> m_batch; // downloading thread
    QElapsedTimer m_batchAge;

    std::mutex m_mutex;
    std::condition_variable m_wake;  // commands or stop for the archive thread
    std::condition_variable m_ended; // an end written
    std::deque<Command> m_commands;
    bool m_stop = false;
    int m_endsQueued = 0;
    int m_endsDone = 0;
    ArchiveOutcome m_outcome; // the last download's
    std::thread m_thread;
};
