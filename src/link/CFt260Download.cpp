// The two record downloads. After one request the instrument streams short frames of known length;
// they are read whole, checked, and handed to the owner one by one, so the link never holds a list of
// records.

#include "CFt260.h"

#include "Clock.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "PacketLogSink.h"

#include <cstring>

namespace {
constexpr int kStoredSettleMilliseconds = 100;
constexpr int kContinuousSettleMilliseconds = 500;
// Polls without a handled frame after which the instrument is taken to have stopped.
constexpr int kStoredSilentPolls = 30;
constexpr int kContinuousSilentPolls = 20;
constexpr int kRecordOffset = 3;
} // namespace

std::optional<qint64> CFt260::RecordTime(const uint8_t *record)
{
    return LocalTimeFromFields({record[0] << 8 | record[1], record[2], record[3], record[4], record[5], record[6]});
}

// Flushes stale input, writes the request in m_txBuf and gives the instrument time to start; 0 when
// the request went out, otherwise -1093 in m_nResult.
int CFt260::WriteDownloadRequest(int settleMilliseconds)
{
    ReadQueued();
    uint32_t written = 0;
    const FT260_STATUS status = m_device.UartWrite(m_hFt260, m_txBuf, kBufferSize, m_txLen, &written);
    LogPacket(PacketLogSink::Written, m_txBuf, static_cast<int>(written));
    if (status != FT260_OK)
        return m_nResult = RESULT_WRITE_FAILED;
    m_tLastWrite = m_clock.Now();
    m_clock.Sleep(settleMilliseconds);
    // A write that sent nothing cannot have reached the instrument.
    if (written == 0)
        return m_nResult = RESULT_WRITE_FAILED;
    return RESULT_OK;
}

// Reads one frame of `length` bytes into m_rxBuf; true when the whole frame was read and passes
// validation. A failing read is noted in m_nResult; a frame that fails validation or came short is simply
// skipped (a short one would hand on record bytes from behind the received count).
bool CFt260::ReadStreamFrame(uint32_t length)
{
    std::memset(m_rxBuf, 0, sizeof m_rxBuf);
    uint32_t read = 0;
    const FT260_STATUS status = m_device.UartRead(m_hFt260, m_rxBuf, kBufferSize, length, &read);
    m_rxLen = static_cast<int>(read);
    LogPacket(PacketLogSink::Read, m_rxBuf, m_rxLen);
    if (status != FT260_OK) {
        m_nResult = RESULT_READ_FAILED;
        return false;
    }
    m_tLastRead = m_clock.Now();
    return m_rxLen == static_cast<int>(length) && ValidateResponse() == RESULT_OK;
}

// After a download gives up, the instrument goes on sending the rest of its stream. Take it off the
// line until a poll finds nothing queued, so that the next exchange is not answered by stale records.
// The frame that made the download give up stays in m_rxBuf for the trace panel.
void CFt260::DiscardStream()
{
    for (;;) {
        m_clock.Sleep(kPollMs);
        uint32_t queued = 0;
        if (m_device.UartGetQueueStatus(m_hFt260, &queued) != FT260_OK || queued == 0)
            return;
        DrainInput();
    }
}

int CFt260::DownloadStoredRecords(qint64 startDate, qint64 endDate, int *rowCount)
{
    WinCriticalSection::Guard guard(m_lock);
    m_nDamagedRecords = 0;
    int rows = 0;
    auto finish = [&](int result) {
        m_nResult = result;
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

    if (WriteDownloadRequest(kStoredSettleMilliseconds) != RESULT_OK)
        return finish(m_nResult);

    const uint32_t frameLength = m_respLen[CMD_READ_MEMORY - CMD_FIRST];
    for (int idle = 0;;) {
        m_clock.Sleep(kPollMs);
        uint32_t queued = 0;
        if (m_device.UartGetQueueStatus(m_hFt260, &queued) != FT260_OK)
            return finish(RESULT_READ_FAILED);
        while (queued >= frameLength) {
            queued -= frameLength;
            if (!ReadStreamFrame(frameLength))
                continue;
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
            idle = 0;
            if (CancelRequested()) {
                DiscardStream();
                return finish(RESULT_CANCELLED);
            }
        }
        if (++idle >= kStoredSilentPolls)
            return finish(RESULT_TIMEOUT);
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

    auto stream = [&]() -> int {
        if (WriteDownloadRequest(kContinuousSettleMilliseconds) != RESULT_OK)
            return m_nResult;
        int rows = 0;
        int announced = 0;
        bool summarySeen = false;
        uint32_t expected = m_respLen[CMD_READ_OUTPUT - CMD_FIRST];
        for (int idle = 0;;) {
            m_clock.Sleep(kPollMs);
            uint32_t queued = 0;
            if (m_device.UartGetQueueStatus(m_hFt260, &queued) != FT260_OK)
                return m_nResult = RESULT_READ_FAILED;
            bool more = true;
            while (queued >= expected) {
                queued -= expected;
                if (ReadStreamFrame(expected)) {
                    const uint8_t *data = m_rxBuf + kRecordOffset;
                    if (m_rxBuf[2] == CMD_READ_OUTPUT) {
                        if (m_pOwner)
                            m_pOwner->SetContinuousSummary(data);
                        announced = data[0];
                        summarySeen = true;
                        idle = 0;
                        // A run without records is complete with its summary.
                        if (announced == 0) {
                            more = false;
                            m_nResult = RESULT_OK;
                        }
                    } else if (m_rxBuf[2] == CMD_OUTPUT_RECORD) {
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
                        idle = 0;
                    }
                    if (more && CancelRequested()) {
                        DiscardStream();
                        return m_nResult = RESULT_CANCELLED;
                    }
                }
                if (summarySeen)
                    expected = m_respLen[CMD_OUTPUT_RECORD - CMD_FIRST];
            }
            if (!more)
                return m_nResult;
            // Silence before the summary or before the announced records is a failure, never success.
            if (++idle >= kContinuousSilentPolls)
                return m_nResult = RESULT_TIMEOUT;
        }
    };

    if (stream() != RESULT_OK && m_hFt260)
        Close();
    return m_nResult;
}
