#pragma once

#include "ArchiveTypes.h"
#include "ArchivingLinkOwner.h"
#include "LinkOwner.h"
#include "SessionTypes.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class JobContext;
class Mailbox;

// The downloads of the main window and of tonvale-cli into the measurement archive. The window sets it as
// the session's record observer once; its jobs are wrapped so that on the session thread one
// ArchivingLinkOwner (made at the first download) sees every record of each download and queues its end
// (it hands the records to the archive's own thread: the session thread never waits for a database).
// Each download's outcome reaches the window through TellOutcomes when the archive has it; the command
// line waits for it (WaitForArchive). Nothing here can stop or fail a download. Jobs hold it shared, so
// that a job still running when the window goes (a session that did not stop in time) never reaches a
// deleted archive.
class DownloadArchive final : public LinkOwner, public std::enable_shared_from_this<DownloadArchive> {
  public:
    // nullopt: downloads are not archived.
    explicit DownloadArchive(std::optional<ArchiveSettings> settings);
    ~DownloadArchive() override;

    // The settings of the window whose configuration file is iniPath (empty: none, nothing archived);
    // an unreadable [ARCHIVE] DATABASE= leaves the archive off with the reason in *error.
    static std::optional<ArchiveSettings> SettingsFor(const QString &iniPath, QString *error);

    bool Enabled() const { return m_settings.has_value(); }
    const std::optional<ArchiveSettings> &Settings() const { return m_settings; }

    // Window thread: the download of `job` archived under `start` (startedAt is the job's moment). The
    // identity fields start does not know (null) are read first; the job's exchanges carry what they got.
    Job Archived(const Job &job, const DownloadStart &start);
    // Window thread: a connect job made with BeginAfterIdentity(start) as its hook, finished in the archive.
    Job Finished(const Job &job);
    // The connect's hook: begins the download under the identity its own reads returned.
    std::function<void(JobContext &)> BeginAfterIdentity(const DownloadStart &start);
    // Window thread: `show` runs on the thread of `mailbox` with each download's outcome once the archive
    // has it. nullptr stops it (before the mailbox goes).
    void TellOutcomes(Mailbox *mailbox, std::function<void(const ArchiveOutcome &)> show);
    // Once the last download's job has ended, from any thread but the session's: waits until the archive's
    // thread has written or given up that download (within the archive's own limits) and returns its outcome.
    ArchiveOutcome WaitForArchive();

    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    // Session thread.
    void Begin(DownloadStart start, qint64 moment);
    // Queues the download's end; its outcome is told through TellOutcomes.
    void Finish(int code, int damaged, qint64 now);

    // The grid gets the records from the session's own batches: the archive passes them to no one.
    class Discard final : public LinkOwner {
      public:
        PacketLogSink *PacketLog() override { return nullptr; }
        void AddStoredRecordRow(int, const uint8_t *) override {}
        void SetContinuousSummary(const uint8_t *) override {}
        void AddContinuousRecordRow(int, const uint8_t *) override {}
    };

    std::optional<ArchiveSettings> m_settings;
    Discard m_discard;
    std::mutex m_tellLock; // the archive thread tells, the window thread sets
    Mailbox *m_tellMailbox = nullptr;
    std::function<void(const ArchiveOutcome &)> m_tell;
    // Session thread; made at the first download. Goes first, with the archive thread that tells.
    std::unique_ptr<ArchivingLinkOwner> m_owner;
    bool m_downloading = false; // session thread: between Begin and Finish
    int m_rows = 0;
};
