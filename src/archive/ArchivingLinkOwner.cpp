#include "ArchivingLinkOwner.h"

#include "IniFile.h"
#include "MeasurementRecord.h"

#include <QDateTime>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

// A writer that meets another's lock pauses a random while, longer each time up to the longest, so that
// two or three writers take turns instead of one starving.
constexpr int kFirstPauseMs = 10;
constexpr int kLongestPauseMs = 250;
// How long the end of a download waits for the file before its records are given up; a process that
// goes without ending its download waits less.
constexpr auto kEndPatience = std::chrono::seconds(120);
constexpr auto kStopPatience = std::chrono::seconds(10);

} // namespace

std::optional<ArchiveSettings> ConfiguredArchiveSettings(const QString &iniPath, const QString &databaseUrl,
                                                         QString *error)
{
    ArchiveSettings settings;
    const QString configDir = QFileInfo(iniPath).absolutePath();
    settings.local = DefaultArchiveLocation(configDir);
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    const std::optional<ArchiveLocation> location =
        databaseUrl.isEmpty()
            ? ConfiguredArchiveLocation(ini ? std::optional<QString>(ini->text) : std::nullopt, configDir, error)
            : ParseArchiveLocation(databaseUrl, error);
    if (!location)
        return std::nullopt;
    settings.location = *location;
    return settings;
}

ArchivingLinkOwner::ArchivingLinkOwner(LinkOwner &inner, ArchiveSettings settings)
    : m_inner(inner), m_settings(std::move(settings))
{
    if (m_settings.enabled)
        m_thread = std::thread([this] { Run(); });
}

ArchivingLinkOwner::~ArchivingLinkOwner()
{
    if (!m_thread.joinable())
        return;
    HandOverBatch();
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void ArchivingLinkOwner::Post(Command command)
{
    {
        const std::lock_guard lock(m_mutex);
        if (command.kind == Command::Kind::End)
            ++m_endsQueued;
        m_commands.push_back(std::move(command));
    }
    m_wake.notify_one();
}

void ArchivingLinkOwner::BeginDownload(DownloadStart start)
{
    if (!m_settings.enabled)
        return;
    if (start.uid.isEmpty())
        start.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (start.startedAt == 0)
        start.startedAt = QDateTime::currentSecsSinceEpoch();
    HandOverBatch();
    Command begin;
    begin.kind = Command::Kind::Begin;
    begin.start = std::move(start);
    Post(std::move(begin));
}

void ArchivingLinkOwner::HandOverBatch()
{
    if (m_batch.empty())
        return;
    Command items;
    items.items = std::exchange(m_batch, {});
    Post(std::move(items));
}

void ArchivingLinkOwner::Received(ArchiveItem::Kind kind, int index, const uint8_t *bytes, size_t size)
{
    if (!m_settings.enabled)
        return;
    ArchiveItem item{kind, index, {}};
    std::memcpy(item.bytes.data(), bytes, size);
    if (m_batch.empty()) {
        m_batch.reserve(size_t(m_settings.batchRecords));
        m_batchAge.start();
    }
    m_batch.push_back(item);
    if (int(m_batch.size()) >= m_settings.batchRecords || m_batchAge.elapsed() >= m_settings.batchMilliseconds)
        HandOverBatch();
}

void ArchivingLinkOwner::AddStoredRecordRow(int index, const uint8_t *record)
{
    m_inner.AddStoredRecordRow(index, record);
    Received(ArchiveItem::Kind::Stored, index, record, kRecordSize);
}

void ArchivingLinkOwner::SetContinuousSummary(const uint8_t *summary)
{
    m_inner.SetContinuousSummary(summary);
    Received(ArchiveItem::Kind::Summary, 0, summary, kSummarySize);
}

void ArchivingLinkOwner::AddContinuousRecordRow(int index, const uint8_t *record)
{
    m_inner.AddContinuousRecordRow(index, record);
    Received(ArchiveItem::Kind::Continuous, index, record, kRecordSize);
}

void ArchivingLinkOwner::FinishDownload(int resultCode, int rowCount, qint64 endedAt, int damaged,
                                        std::function<void(const ArchiveOutcome &)> archived)
{
    if (!m_settings.enabled)
        return;
    HandOverBatch();
    Command end;
    end.kind = Command::Kind::End;
    end.resultCode = resultCode;
    end.rowCount = rowCount;
    end.endedAt = endedAt;
    end.damaged = damaged;
    end.archived = std::move(archived);
    Post(std::move(end));
}

ArchiveOutcome ArchivingLinkOwner::WaitForArchive()
{
    std::unique_lock lock(m_mutex);
    m_ended.wait(lock, [this] { return m_endsDone == m_endsQueued; });
    return m_outcome;
}

QStringList ArchivingLinkOwner::TakeNotices()
{
    WaitForArchive();
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_outcome.notices, {});
}

void ArchivingLinkOwner::Run()
{
    ArchiveRecorder recorder(m_settings);
    std::minstd_rand random(std::random_device{}());
    int pauseMs = 0; // after a busy file
    std::optional<Clock::time_point> giveUpAt;
    // The end being written: the next download's commands wait until it is.
    std::optional<Command> end;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (pauseMs > 0) {
            lock.unlock();
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(pauseMs / 2, pauseMs)(random)));
            lock.lock();
        } else {
            m_wake.wait(lock, [this] { return m_stop || !m_commands.empty(); });
        }
        std::deque<Command> commands;
        while (!end && !m_commands.empty()) {
            commands.push_back(std::move(m_commands.front()));
            m_commands.pop_front();
            if (commands.back().kind == Command::Kind::End)
                break;
        }
        const bool stop = m_stop;
        lock.unlock();

        for (Command &command : commands) {
            switch (command.kind) {
            case Command::Kind::Begin:
                recorder.BeginDownload(command.start);
                giveUpAt.reset();
                break;
            case Command::Kind::Items: recorder.Keep(command.items); break;
            case Command::Kind::End:
                recorder.EndDownload(command.resultCode, command.rowCount, command.endedAt, command.damaged);
                end = std::move(command);
                giveUpAt = Clock::now() + kEndPatience;
                break;
            }
        }
        if (stop && !giveUpAt)
            giveUpAt = Clock::now() + kStopPatience;
        ArchiveRecorder::Outcome outcome = recorder.HasWork() ? recorder.Write() : ArchiveRecorder::Outcome::Written;
        if (outcome == ArchiveRecorder::Outcome::Busy && giveUpAt && Clock::now() >= *giveUpAt) {
            recorder.GiveUp({ArchiveError::Kind::Busy, QString()});
            outcome = ArchiveRecorder::Outcome::Failed;
        }
        const bool busy = outcome == ArchiveRecorder::Outcome::Busy;
        pauseMs = busy ? std::clamp(pauseMs * 2, kFirstPauseMs, kLongestPauseMs) : 0;

        if (end && !busy) {
            const ArchiveOutcome archived{recorder.TakeNotices(), recorder.DatabaseTexts()};
            if (end->archived)
                end->archived(archived);
            end.reset();
            lock.lock();
            m_outcome = archived;
            ++m_endsDone;
            m_ended.notify_all();
        } else {
            lock.lock();
        }
        if (stop && !busy && !end && m_commands.empty())
            return;
    }
}
