// One exchange or one of the two record downloads over a bridge that serves the fuzzer's bytes poll by
// poll, on the virtual clock. Checked:
// - an exchange succeeds only on an answer of the command's full length that the frame rules accept, and
//   hands on exactly that answer's data; a failed exchange leaves zeros and closes the link;
// - every record, summary and row number a download hands on comes from a whole frame of the right
//   length that the frame rules accept, found in the bytes read since the request (a frame may come in
//   several reads, and one read may hold several frames), each after the one before, in stream order;
// - the packet log shows exactly the bytes the bridge handed out, so nothing past a received count is
//   logged;
// - afterwards the link answers a plain exchange with a healthy instrument.
//
// Input: an operation byte and its parameters, then the chunks of FuzzBridge.

#include "FuzzBridge.h"
#include "FuzzCheck.h"

#include "CFt260.h"
#include "Clock.h"
#include "LinkOwner.h"
#include "PacketLogSink.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kStoredFrame = 15;
constexpr int kSummaryFrame = 14;
constexpr int kContinuousFrame = 16;

bool Accepted(const QByteArray &frame, int length)
{
    return frame.size() == length &&
           fuzzrules::IsAcceptedFrame(reinterpret_cast<const uint8_t *>(frame.constData()), length);
}

bool SameBytes(const uint8_t *bytes, const QByteArray &frame, int offset, int count)
{
    return std::memcmp(bytes, frame.constData() + offset, static_cast<size_t>(count)) == 0;
}

// Where in `stream` (from `from` on) an accepted frame of `length` bytes starts that `matches`; -1 for none.
template <typename Match> int FindFrame(const QByteArray &stream, int from, int length, const Match &matches)
{
    for (int at = std::max(from, 0); at + length <= stream.size(); ++at) {
        const QByteArray frame = stream.mid(at, length);
        if (Accepted(frame, length) && matches(frame))
            return at;
    }
    return -1;
}

// The owner side of the link: checks every record against the stream it came from.
struct CheckingOwner : LinkOwner, PacketLogSink {
    explicit CheckingOwner(FuzzBridge &bridge) : m_bridge(bridge) {}

    QList<QByteArray> loggedReads;
    int rows = 0;
    bool summarySeen = false;
    int announced = 0;
    qint64 endMoment = 0;
    // Where the frame of the latest record or summary ended in the bridge's readSinceWrite.
    int streamPosition = 0;

    PacketLogSink *PacketLog() override { return this; }
    void AddPacket(int direction, const uint8_t *bytes, int count) override
    {
        FUZZ_CHECK(count >= 0);
        if (direction == Read && count > 0)
            loggedReads.append(QByteArray(reinterpret_cast<const char *>(bytes), count));
    }
    void AddStoredRecordRow(int index, const uint8_t *record) override
    {
        NextRow(index);
        Consume(kStoredFrame, [&](const QByteArray &frame) { return SameBytes(record, frame, 3, 10); });
        FUZZ_CHECK(record[0] != 0x00); // the end marker is no record
        const QDateTime time(QDate(record[0] << 8 | record[1], record[2], record[3]),
                             QTime(record[4], record[5], record[6]));
        FUZZ_CHECK(!time.isValid() || time.toSecsSinceEpoch() <= endMoment);
    }
    void SetContinuousSummary(const uint8_t *summary) override
    {
        const auto isSummary = [&](const QByteArray &frame) {
            return uint8_t(frame[2]) == CMD_READ_OUTPUT && SameBytes(summary, frame, 3, 9);
        };
        const QByteArray &stream = m_bridge.readSinceWrite;
        const int at14 = FindFrame(stream, streamPosition, kSummaryFrame, isSummary);
        const int at16 = FindFrame(stream, streamPosition, kContinuousFrame, isSummary);
        FUZZ_CHECK(at14 >= 0 || at16 >= 0);
        streamPosition = at14 >= 0 && (at16 < 0 || at14 <= at16) ? at14 + kSummaryFrame : at16 + kContinuousFrame;
        summarySeen = true;
        announced = summary[0];
    }
    void AddContinuousRecordRow(int index, const uint8_t *record) override
    {
        NextRow(index);
        FUZZ_CHECK(summarySeen);
        Consume(kContinuousFrame, [&](const QByteArray &frame) {
            return uint8_t(frame[2]) == CMD_OUTPUT_RECORD && SameBytes(record, frame, 4, 10);
        });
    }

  private:
    // Rows are numbered from 0 without gaps.
    void NextRow(int index)
    {
        FUZZ_CHECK(index == rows);
        ++rows;
    }
    // The record's frame lies in what was read, after the frame of the one before.
    template <typename Match> void Consume(int length, const Match &matches)
    {
        const int at = FindFrame(m_bridge.readSinceWrite, streamPosition, length, matches);
        FUZZ_CHECK(at >= 0);
        streamPosition = at + length;
    }

    FuzzBridge &m_bridge;
};

void CheckExchange(CFt260 &link, FuzzBridge &bridge, FuzzInput &input)
{
    const uint8_t commandId = CMD_FIRST + input.Byte() % CMD_COUNT;
    const bool longFrame = input.Bool();
    const std::vector<uint8_t> data = input.Bytes(1 + input.Byte() % 16);
    uint8_t response[CFt260::kResponseAreaSize];
    std::memset(response, 0xEE, sizeof response);
    const int result = longFrame ? link.TransactLong(commandId, data.data(), int(data.size()), response)
                                 : link.Transact(commandId, data.data(), int(data.size()), response);
    const int expected = kResponseDataLength[commandId - CMD_FIRST] + 5;
    if (result == RESULT_OK) {
        // The answer is a whole accepted frame of the command's length and ID among the bytes read since
        // the request (answers of other commands before it are dropped).
        FUZZ_CHECK(FindFrame(bridge.readSinceWrite, 0, expected, [&](const QByteArray &frame) {
                       return uint8_t(frame[2]) == commandId && SameBytes(response, frame, 3, expected - 5);
                   }) >= 0);
        for (int i = expected - 5; i < CFt260::kResponseAreaSize; ++i)
            FUZZ_CHECK(response[i] == 0);
        FUZZ_CHECK(link.IsOpen());
    } else {
        for (const uint8_t b : response)
            FUZZ_CHECK(b == 0);
        FUZZ_CHECK(!link.IsOpen());
    }
}

void CheckStoredDownload(CFt260 &link, FuzzBridge &bridge, CheckingOwner &owner, FuzzInput &input, Clock &clock)
{
    // The end day from 128 days before to 127 days after the clock's today, the start up to 40 days earlier.
    const qint64 endDate = clock.Now() + 86400LL * (int(input.Byte()) - 128);
    const qint64 startDate = endDate - 86400LL * (input.Byte() % 41);
    const QDate endDay = QDateTime::fromSecsSinceEpoch(endDate).date();
    owner.endMoment = QDateTime(endDay, QTime(23, 59, 59)).toSecsSinceEpoch();
    int rowCount = -1;
    const int result = link.DownloadStoredRecords(startDate, endDate, &rowCount);
    FUZZ_CHECK(rowCount == owner.rows);
    // Only the end marker ends a stored download well.
    if (result == RESULT_OK)
        FUZZ_CHECK(FindFrame(bridge.readSinceWrite, owner.streamPosition, kStoredFrame,
                             [](const QByteArray &frame) { return frame[3] == 0; }) >= 0);
}

void CheckContinuousDownload(CFt260 &link, CheckingOwner &owner)
{
    const int result = link.DownloadContinuousRecords();
    // Frames already queued in the poll that brought the last announced record are still handed on.
    if (result == RESULT_OK)
        FUZZ_CHECK(owner.summarySeen && owner.rows >= owner.announced);
    else
        FUZZ_CHECK(!link.IsOpen());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Record times are local times; the instrument's home zone keeps runs reproducible.
    setenv("TZ", "Asia/Seoul", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t operation = input.Byte();

    VirtualClock clock;
    FuzzBridge bridge(input);
    OneBridgeDiscovery discovery;
    CheckingOwner owner(bridge);
    CFt260 link(bridge, discovery, clock, &owner);
    link.FindDevice();
    FUZZ_CHECK(link.EnsureOpen() != nullptr && link.m_nResult == RESULT_OK);

    switch (operation % 3) {
    case 0: CheckExchange(link, bridge, input); break;
    case 1: CheckStoredDownload(link, bridge, owner, input, clock); break;
    default: CheckContinuousDownload(link, owner); break;
    }
    FUZZ_CHECK(owner.loggedReads == bridge.reads);
    FUZZ_CHECK(bridge.openHandles == (link.IsOpen() ? 1 : 0));

    // The link is usable afterwards.
    bridge.SetHealthy();
    uint8_t response[CFt260::kResponseAreaSize];
    FUZZ_CHECK(link.Transact(CMD_READ_VERSION, reinterpret_cast<const uint8_t *>("\0"), 1, response) == RESULT_OK);
    const QByteArray version = FuzzBridge::HealthyData(CMD_READ_VERSION);
    FUZZ_CHECK(std::memcmp(response, version.constData(), size_t(version.size())) == 0);
    return 0;
}
