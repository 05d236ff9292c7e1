// The two record downloads. After one request the instrument streams short frames of known length;
// they are read as they come, found and checked by a FrameScanner, and handed to the owner one by one,
// so the link never holds a list of records.

#include "CFt260.h"

#include "Clock.h"
#include "FrameScanner.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "PacketLogSink.h"

#include <algorithm>
#include <cstring>

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

std::optional<qint64> CFt260::RecordTime(const uint8_t *record)
{
    return LocalTimeFromFields({record[0] << 8 | record[1], record[2], record[3], record[4], record[5], record[6]});
}

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

int CFt260::DownloadStoredRecords(qint64 startDate, qint64 endDate, int *rowCount)
{
    WinCriticalSection::Guard guard(m_lock);
    m_nDamagedRecords = 0;
    int rows = 0;
    const int frameLength = m_respLen[CMD_READ_MEMORY - CMD_FIRST];
    FrameScanner frames({frameLength}, frameLength);
    auto finish = [&](int result) {
        m_nResult = result;
        m_nDamagedRecords = frames.DamagedRecords();
        if (rowCount)
            *rowCount = rows;
        return result;
    };

    if (!m_hFt260 && !EnsureOpen())
        return m_nResult;

    // The instrument applies the start of the range (it gets the first day at 00:00:00); the end of
    // the range, the last day at 23:59:59, is applied here record by record.
    const std::optional<LocalFields> first = LocalFieldsOf(startDate);
    const std::optional<LocalFields> last = LocalFieldsOf(endDate);
    const std::optional<qint64> endMoment =
        last ? LocalTimeFromFields({last->year, last->month, last->day, 23, 59, 59}) : std::nullopt;
    if (!first || !endMoment || first->year < 0 || first->year > 0xFFFF)
        return finish(RESULT_RECORD_TIME_INVALID);

    std::memset(m_txBuf, 0, sizeof m_txBuf);
    const uint8_t request[] = {FRAME_STX,
                               8,
                               CMD_READ_MEMORY,
                               static_cast<uint8_t>(first->year >> 8),
                               static_cast<uint8_t>(first->year),
                               static_cast<uint8_t>(first->month),
                               static_cast<uint8_t>(first->day),
                               0,
                               0,
                               0};
    std::memcpy(m_txBuf, request, sizeof request);
    m_txBuf[10] = Checksum(m_txBuf, 10);
    m_txBuf[11] = FRAME_ETX;
    m_txLen = 12;

    if (WriteDownloadRequest() != RESULT_OK)
        return finish(m_nResult);

    qint64 silenceDeadline = m_clock.MonotonicMicros() + kStoredSilenceMicros;
    for (uint32_t queued = 0;;) {
        const uint32_t wanted = frames.Wanted(frameLength);
        if (queued < wanted) {
            switch (WaitForBytes(wanted, silenceDeadline, &queued, true)) {
            case WaitResult::Arrived: break;
            case WaitResult::TimedOut: return finish(RESULT_TIMEOUT);
            case WaitResult::QueryFailed: return finish(RESULT_READ_FAILED);
            case WaitResult::Cancelled: DiscardStream(); return finish(RESULT_CANCELLED);
            }
        }
        queued -= wanted;
        ReadStreamBytes(frames, wanted);
        while (frames.Take(m_rxBuf, &m_rxLen)) {
            const uint8_t *record = m_rxBuf + kRecordOffset;
            if (record[0] == 0x00) {
                // The end marker; whatever came after it is read and logged, not shown.
                if (queued > 0)
                    ReadQueued();
                return finish(RESULT_OK);
            }
            const std::optional<qint64> time = RecordTime(record);
            if (!time) {
                DiscardStream();
                return finish(RESULT_RECORD_TIME_INVALID);
            }
            if (*time <= *endMoment) {
                if (m_pOwner)
                    m_pOwner->AddStoredRecordRow(rows, record);
                ++rows;
            }
            silenceDeadline = m_clock.MonotonicMicros() + kStoredSilenceMicros;
            if (CancelRequested()) {
                DiscardStream();
                return finish(RESULT_CANCELLED);
            }
        }
    }
}

int CFt260::DownloadContinuousRecords()
{
    WinCriticalSection::Guard guard(m_lock);
    m_nDamagedRecords = 0;
    if (!m_hFt260 && !EnsureOpen())
        return m_nResult;

    std::memset(m_txBuf, 0, sizeof m_txBuf);
    const uint8_t request[] = {FRAME_STX, 2, CMD_READ_OUTPUT, 0x00, CMD_READ_OUTPUT, FRAME_ETX};
    std::memcpy(m_txBuf, request, sizeof request);
    m_txLen = sizeof request;

    const int summaryLength = m_respLen[CMD_READ_OUTPUT - CMD_FIRST];
    const int recordLength = m_respLen[CMD_OUTPUT_RECORD - CMD_FIRST];
    FrameScanner frames({summaryLength, recordLength}, recordLength);
    auto stream = [&]() -> int {
        if (WriteDownloadRequest() != RESULT_OK)
            return m_nResult;
        int rows = 0;
        int announced = 0;
        bool summarySeen = false;
        qint64 silenceDeadline = m_clock.MonotonicMicros() + kContinuousSilenceMicros;
        for (uint32_t queued = 0;;) {
            const uint32_t wanted = frames.Wanted(summarySeen ? recordLength : summaryLength);
            if (queued < wanted) {
                switch (WaitForBytes(wanted, silenceDeadline, &queued, true)) {
                case WaitResult::Arrived: break;
                // Silence before the summary or before the announced records is a failure, never success.
                case WaitResult::TimedOut: return m_nResult = RESULT_TIMEOUT;
                case WaitResult::QueryFailed: return m_nResult = RESULT_READ_FAILED;
                case WaitResult::Cancelled: DiscardStream(); return m_nResult = RESULT_CANCELLED;
                }
            }
            queued -= wanted;
            ReadStreamBytes(frames, wanted);
            bool more = true;
            while (frames.Take(m_rxBuf, &m_rxLen)) {
                const uint8_t *data = m_rxBuf + kRecordOffset;
                if (m_rxBuf[2] == CMD_READ_OUTPUT && m_rxLen == summaryLength) {
                    if (m_pOwner)
                        m_pOwner->SetContinuousSummary(data);
                    announced = data[0];
                    summarySeen = true;
                    silenceDeadline = m_clock.MonotonicMicros() + kContinuousSilenceMicros;
                    // A run without records is complete with its summary.
                    if (announced == 0) {
                        more = false;
                        m_nResult = RESULT_OK;
                    }
                } else if (summarySeen && m_rxBuf[2] == CMD_OUTPUT_RECORD && m_rxLen == recordLength) {
                    // Records count only after the summary that announces them; one before it is a stray
                    // of an earlier stream.
                    const uint8_t *record = data + 1;
                    if (!RecordTime(record)) {
                        DiscardStream();
                        return m_nResult = RESULT_RECORD_TIME_INVALID;
                    }
                    if (m_pOwner)
                        m_pOwner->AddContinuousRecordRow(rows, record);
                    if (++rows == announced) {
                        more = false;
                        m_nResult = RESULT_OK;
                    }
                    silenceDeadline = m_clock.MonotonicMicros() + kContinuousSilenceMicros;
                }
                if (more && CancelRequested()) {
                    DiscardStream();
                    return m_nResult = RESULT_CANCELLED;
                }
            }
            // Anything behind the last announced record is left to the next request's flush.
            if (!more)
                return m_nResult;
        }
    };

    stream();
    m_nDamagedRecords = frames.DamagedRecords();
    if (m_nResult != RESULT_OK && m_hFt260)
        Close();
    return m_nResult;
}
