// The two record downloads. After one request the instrument streams short frames of known length;
// they are read as they come, found and checked by a FrameScanner, and handed to the owner one by one,
// so the link never holds a list of records.

#include "CFt260.h"

#include "Clock.h"
#include "DownloadStream.h"
#include "FrameScanner.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "PacketLogSink.h"
#include "RawRecord.h"

#include <algorithm>

namespace {
// Silence after the request or after the last handled frame at which the instrument is taken to have
// stopped. Frames that come earlier are taken at once.
constexpr qint64 kStoredSilenceMicros = 1'600'000;
constexpr qint64 kContinuousSilenceMicros = 1'500'000;
// A stream being discarded has ended once the line has been quiet this long.
constexpr qint64 kQuietMicros = 50'000;
// Bytes taken off the line at a time while a stream is discarded.
constexpr uint32_t kDiscardChunk = 256;
constexpr int kRecordOffset = 3;
} // namespace

// Flushes stale input and writes the request in m_txBuf; 0 when the request went out, otherwise -1093
// in m_nResult.
int CFt260::WriteDownloadRequest()
{
    ReadQueued();
    uint32_t written = 0;
    const FT260_STATUS status = m_device.UartWrite(m_hFt260, m_txBuf, kBufferSize, m_txLen, &written);
    LogPacket(PacketLogSink::Written, m_txBuf, static_cast<int>(written));
    if (status != FT260_OK)
        return m_nResult = RESULT_WRITE_FAILED;
    m_tLastWrite = m_clock.Now();
    // A write that sent nothing cannot have reached the instrument.
    if (written == 0)
        return m_nResult = RESULT_WRITE_FAILED;
    return RESULT_OK;
}

// Reads `count` queued bytes of the stream and hands them to the scanner, which keeps each frame it
// finds in m_rxBuf for the trace panel. A failing read is noted in
// m_nResult and the download reads on.
void CFt260::ReadStreamBytes(FrameScanner &frames, uint32_t count)
{
    uint8_t bytes[kBufferSize];
    uint32_t read = 0;
    const FT260_STATUS status =
        m_device.UartRead(m_hFt260, bytes, kBufferSize, std::min<uint32_t>(count, kBufferSize), &read);
    LogPacket(PacketLogSink::Read, bytes, static_cast<int>(read));
    if (status != FT260_OK) {
        m_nResult = RESULT_READ_FAILED;
        return;
    }
    m_tLastRead = m_clock.Now();
    frames.Append(bytes, static_cast<int>(read));
}

// After a download gives up, the instrument goes on sending the rest of its stream. Take it off the
// line until it has been quiet for 50 ms, so that the next exchange is not answered by stale records.
// The frame that made the download give up stays in m_rxBuf for the trace panel.
void CFt260::DiscardStream()
{
    qint64 quietUntil = m_clock.MonotonicMicros() + kQuietMicros;
    for (;;) {
        const quint64 seen = m_waker.Epoch();
        uint32_t queued = 0;
        if (m_device.UartGetQueueStatus(m_hFt260, &queued) != FT260_OK)
            return;
        const qint64 now = m_clock.MonotonicMicros();
        const qint64 due = m_device.NextInputMicros(m_hFt260, kDiscardChunk);
        // Bytes are taken off in chunks, or as soon as nothing more is known to be on its way.
        if (queued >= kDiscardChunk || (queued > 0 && (due < 0 || now >= quietUntil))) {
            DrainInput();
            quietUntil = now + kQuietMicros;
            continue;
        }
        if (now >= quietUntil)
            return;
        m_clock.WaitUntil(due >= 0 ? std::min(quietUntil, std::max(due, now + 1)) : quietUntil, m_waker, seen);
    }
}

namespace {

// The frames of a stored-record download: each names a record, the one whose first byte is 0 ends the
// stream. Records after the last day of the range are read but not handed on.
class StoredRecordStream final : public DownloadStream {
  public:
    StoredRecordStream(LinkOwner *owner, int frameLength, qint64 endMoment)
        : m_owner(owner), m_frameLength(frameLength), m_endMoment(endMoment)
    {
    }
    int NextLength() const override { return m_frameLength; }
    Frame Handle(const uint8_t *frame, int) override
    {
        const uint8_t *record = frame + kRecordOffset;
        if (record[0] == 0x00)
            return Frame::Complete;
        const std::optional<qint64> time = RecordTime(record);
        if (!time)
            return Frame::TimeInvalid;
        if (*time <= m_endMoment) {
            if (m_owner)
                m_owner->AddStoredRecordRow(m_rows, record);
            ++m_rows;
        }
        return Frame::Counted;
    }
    // Whatever came after the end marker is read and logged, not shown.
    bool StopsAtCompletion() const override { return true; }
    int Rows() const { return m_rows; }

  private:
    LinkOwner *m_owner;
    int m_frameLength;
    qint64 m_endMoment;
    int m_rows = 0;
};

// The frames of a continuous download: a summary that announces how many records follow, then the
// records. Records count only after the summary that announces them; one before it is a stray of an
// earlier stream.
class ContinuousRecordStream final : public DownloadStream {
  public:
    ContinuousRecordStream(LinkOwner *owner, int summaryLength, int recordLength)
        : m_owner(owner), m_summaryLength(summaryLength), m_recordLength(recordLength)
    {
    }
    int NextLength() const override { return m_summarySeen ? m_recordLength : m_summaryLength; }
    Frame Handle(const uint8_t *frame, int length) override
    {
        const uint8_t *data = frame + kRecordOffset;
        if (frame[2] == CMD_READ_OUTPUT && length == m_summaryLength) {
            if (m_owner)
                m_owner->SetContinuousSummary(data);
            m_announced = data[0];
            m_summarySeen = true;
            // A run without records is complete with its summary.
            return m_announced == 0 ? Frame::Complete : Frame::Counted;
        }
        if (!m_summarySeen || frame[2] != CMD_OUTPUT_RECORD || length != m_recordLength)
            return Frame::Stray;
        const uint8_t *record = data + 1;
        if (!RecordTime(record))
            return Frame::TimeInvalid;
        if (m_owner)
            m_owner->AddContinuousRecordRow(m_rows, record);
        return ++m_rows == m_announced ? Frame::Complete : Frame::Counted;
    }
    // Frames read with the last announced record are still handed on; anything behind them is left to
    // the next request's flush.
    bool StopsAtCompletion() const override { return false; }

  private:
    LinkOwner *m_owner;
    int m_summaryLength;
    int m_recordLength;
    int m_announced = 0;
    int m_rows = 0;
    bool m_summarySeen = false;
};

} // namespace

// Writes the request in m_txBuf and reads the stream until it is complete, the line is silent for
// silenceMicros after the request or the last counted frame (a failure, never success), the device
// fails, a frame's time is invalid or a cancel is asked for. The link is closed on failure; the
// damaged records are counted either way.
int CFt260::ReadDownloadStream(FrameScanner &frames, DownloadStream &stream, qint64 silenceMicros)
{
    const auto read = [&]() -> int {
        if (WriteDownloadRequest() != RESULT_OK)
            return m_nResult;
        qint64 silenceDeadline = m_clock.MonotonicMicros() + silenceMicros;
        for (uint32_t queued = 0;;) {
            const uint32_t wanted = frames.Wanted(stream.NextLength());
            if (queued < wanted) {
                switch (WaitForBytes(wanted, silenceDeadline, &queued, true)) {
                case WaitResult::Arrived: break;
                case WaitResult::TimedOut: return m_nResult = RESULT_TIMEOUT;
                case WaitResult::QueryFailed: return m_nResult = RESULT_READ_FAILED;
                case WaitResult::Cancelled: DiscardStream(); return m_nResult = RESULT_CANCELLED;
                }
            }
            queued -= wanted;
            ReadStreamBytes(frames, wanted);
            bool complete = false;
            while (frames.Take(m_rxBuf, &m_rxLen)) {
                switch (stream.Handle(m_rxBuf, m_rxLen)) {
                case DownloadStream::Frame::Complete:
                    if (!stream.StopsAtCompletion()) {
                        complete = true;
                        break;
                    }
                    if (queued > 0)
                        ReadQueued();
                    return m_nResult = RESULT_OK;
                case DownloadStream::Frame::TimeInvalid: DiscardStream(); return m_nResult = RESULT_RECORD_TIME_INVALID;
                case DownloadStream::Frame::Counted: silenceDeadline = m_clock.MonotonicMicros() + silenceMicros; break;
                case DownloadStream::Frame::Stray: break;
                }
                if (!complete && CancelRequested()) {
                    DiscardStream();
                    return m_nResult = RESULT_CANCELLED;
                }
            }
            if (complete)
                return m_nResult = RESULT_OK;
        }
    };

    read();
    m_nDamagedRecords = frames.DamagedRecords();
    if (m_nResult != RESULT_OK && m_hFt260)
        Close();
    return m_nResult;
}

int CFt260::DownloadStoredRecords(qint64 startDate, qint64 endDate, int *rowCount)
{
    WinCriticalSection::Guard guard(m_lock);
    m_nDamagedRecords = 0;
    if (!m_hFt260 && !EnsureOpen())
        return m_nResult;
    if (rowCount)
        *rowCount = 0;

    // The instrument applies the start of the range (it gets the first day at 00:00:00); the end of
    // the range, the last day at 23:59:59, is applied record by record.
    const std::optional<LocalFields> first = LocalFieldsOf(startDate);
    const std::optional<LocalFields> last = LocalFieldsOf(endDate);
    const std::optional<qint64> endMoment =
        last ? LocalTimeFromFields({last->year, last->month, last->day, 23, 59, 59}) : std::nullopt;
    if (!first || !endMoment || first->year < 0 || first->year > 0xFFFF)
        return m_nResult = RESULT_RECORD_TIME_INVALID;

    const uint8_t day[] = {static_cast<uint8_t>(first->year >> 8),
                           static_cast<uint8_t>(first->year),
                           static_cast<uint8_t>(first->month),
                           static_cast<uint8_t>(first->day),
                           0,
                           0,
                           0};
    BuildShortFrame(CMD_READ_MEMORY, day, sizeof day);

    const int frameLength = m_respLen[CMD_READ_MEMORY - CMD_FIRST];
    FrameScanner frames({frameLength}, frameLength);
    StoredRecordStream stream(m_pOwner, frameLength, *endMoment);
    ReadDownloadStream(frames, stream, kStoredSilenceMicros);
    if (rowCount)
        *rowCount = stream.Rows();
    return m_nResult;
}

int CFt260::DownloadContinuousRecords()
{
    WinCriticalSection::Guard guard(m_lock);
    m_nDamagedRecords = 0;
    if (!m_hFt260 && !EnsureOpen())
        return m_nResult;

    const uint8_t whole = 0x00;
    BuildShortFrame(CMD_READ_OUTPUT, &whole, 1);

    const int summaryLength = m_respLen[CMD_READ_OUTPUT - CMD_FIRST];
    const int recordLength = m_respLen[CMD_OUTPUT_RECORD - CMD_FIRST];
    FrameScanner frames({summaryLength, recordLength}, recordLength);
    ContinuousRecordStream stream(m_pOwner, summaryLength, recordLength);
    return ReadDownloadStream(frames, stream, kContinuousSilenceMicros);
}
