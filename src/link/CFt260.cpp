#include "CFt260.h"

#include "Clock.h"
#include "DeviceDiscovery.h"
#include "LinkOwner.h"
#include "PacketLogSink.h"

#include <algorithm>
#include <cstring>

namespace {
// How long an exchange waits for its answer after the request went out.
constexpr qint64 kShortTimeoutMicros = 2'500'000;
constexpr qint64 kLongTimeoutMicros = 5'000'000;
constexpr uint32_t kBaudRate = 115200;
} // namespace

CFt260::CFt260(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, LinkOwner *owner)
    : m_device(device), m_discovery(discovery), m_clock(clock), m_pOwner(owner)
{
    std::memset(m_txBuf, 0, sizeof m_txBuf);
    std::memset(m_rxBuf, 0, sizeof m_rxBuf);
    for (int i = 0; i < CMD_COUNT; ++i)
        m_respLen[i] = kResponseDataLength[i] + 5;
    m_device.SetInputWaker(&m_waker);
}

CFt260::~CFt260()
{
    WinCriticalSection::Guard guard(m_lock);
    Close();
    m_device.SetInputWaker(nullptr);
}

// ---- frames ----

uint8_t CFt260::ChecksumBytewise(const uint8_t *bytes, int count)
{
    if (count <= 0)
        return 0;
    uint8_t sum = bytes[0];
    for (int i = 1; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

uint8_t CFt260::Checksum(const uint8_t *bytes, int count)
{
    if (count <= 0)
        return 0;
    // XOR is associative, so the bytes may be folded 32 at a time in two 16-byte lanes and the lanes
    // folded to one byte at the end; memcpy keeps the loads legal at any alignment.
    uint64_t lane[4] = {0, 0, 0, 0};
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        uint64_t block[4];
        std::memcpy(block, bytes + i, 32);
        lane[0] ^= block[0];
        lane[1] ^= block[1];
        lane[2] ^= block[2];
        lane[3] ^= block[3];
    }
    uint64_t folded = lane[0] ^ lane[1] ^ lane[2] ^ lane[3];
    folded ^= folded >> 32;
    folded ^= folded >> 16;
    folded ^= folded >> 8;
    uint8_t sum = static_cast<uint8_t>(folded);
    for (; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

void CFt260::BuildShortFrame(uint8_t commandId, const uint8_t *data, int n)
{
    std::memset(m_txBuf, 0, sizeof m_txBuf);
    m_txBuf[0] = FRAME_STX;
    m_txBuf[1] = static_cast<uint8_t>(n + 1);
    m_txBuf[2] = commandId;
    if (n > 0)
        std::memcpy(m_txBuf + 3, data, static_cast<size_t>(n));
    m_txBuf[3 + n] = Checksum(m_txBuf, n + 3);
    m_txBuf[4 + n] = FRAME_ETX;
    m_txLen = n + 5;
}

void CFt260::BuildLongFrame(uint8_t commandId, const uint8_t *data, int n)
{
    std::memset(m_txBuf, 0, sizeof m_txBuf);
    const int len = (n + 1) & 0xFFFF;
    m_txBuf[0] = FRAME_STX;
    m_txBuf[1] = static_cast<uint8_t>(len >> 8);
    m_txBuf[2] = static_cast<uint8_t>(len & 0xFF);
    m_txBuf[3] = commandId;
    if (n > 0)
        std::memcpy(m_txBuf + 4, data, static_cast<size_t>(n));
    m_txBuf[4 + n] = Checksum(m_txBuf, n + 4);
    m_txBuf[5 + n] = FRAME_ETX;
    m_txLen = n + 6;
}

int CFt260::ValidateResponse() const
{
    const int c = m_rxLen;
    // Only the c bytes that came in are looked at: nothing received has no STX, and an answer too short
    // to hold STX, LEN, ID, checksum and ETX fails on its length.
    if (c < 1 || m_rxBuf[0] != FRAME_STX)
        return RESULT_BAD_STX;
    if (m_rxBuf[c - 1] != FRAME_ETX)
        return RESULT_BAD_ETX;
    if (c < 5)
        return RESULT_BAD_LENGTH;
    // The checksum covers STX, LEN, ID and the data as the frame's own LEN byte counts them; a LEN that
    // reaches past the checksum position cannot be right.
    const int covered = m_rxBuf[1] + 2;
    if (covered > c - 2)
        return RESULT_BAD_CRC;
    if (Checksum(m_rxBuf, covered) != m_rxBuf[c - 2])
        return RESULT_BAD_CRC;
    return RESULT_OK;
}

// ---- port ----

QString CFt260::FindDevice()
{
    QString found;
    const QList<HidInterfaceInfo> interfaces = m_discovery.EnumerateHidInterfaces();
    const int examined = std::min<int>(interfaces.size(), kMaxInterfaces);
    for (int i = 0; i < examined; ++i) {
        const HidInterfaceInfo &info = interfaces[i];
        // The interface detail holds the path as wide characters with its terminator behind a 4-byte
        // size field; one that needs kMaxDetailSize bytes or more is passed over.
        const qsizetype detailSize = 4 + (info.path.size() + 1) * 2;
        if (info.path.isEmpty() || detailSize >= kMaxDetailSize)
            continue;
        if (info.vendorId == kVendorId && info.productId == kProductId) {
            found = info.path;
            break;
        }
    }
    m_strDevicePath = found;
    if (found.isEmpty() && m_hFt260) {
        WinCriticalSection::Guard guard(m_lock);
        Close();
    }
    return found;
}

FT260_HANDLE CFt260::EnsureOpen()
{
    if (!m_strOpenPath.isEmpty() && m_strOpenPath == m_strDevicePath)
        return m_hFt260;
    if (m_strDevicePath.isEmpty()) {
        m_nResult = RESULT_OPEN_FAILED;
        return m_hFt260;
    }
    // The bridge was rediscovered under another path while open: let go of the old handle first.
    if (m_hFt260)
        Close();
    FT260_HANDLE handle = nullptr;
    if (m_device.OpenByDevicePath(m_strDevicePath, &handle) != FT260_OK || !handle) {
        m_nResult = RESULT_OPEN_FAILED;
        return m_hFt260;
    }
    m_hFt260 = handle;
    m_strOpenPath = m_strDevicePath;
    m_nResult = ConfigureUart();
    return m_hFt260;
}

int CFt260::ConfigureUart()
{
    if (m_device.UartInit(m_hFt260) != FT260_OK)
        return RESULT_UART_INIT_FAILED;
    m_device.SelectGpioAFunction(m_hFt260, FT260_GPIOA_TX_ACTIVE);
    UartConfig config;
    if (m_device.UartGetConfig(m_hFt260, &config) != FT260_OK)
        return RESULT_UART_GET_CONFIG_FAILED;
    if (config.baudRate != kBaudRate && m_device.UartSetBaudRate(m_hFt260, kBaudRate) != FT260_OK)
        return RESULT_UART_BAUD_FAILED;
    if (config.flowCtrl != FT260_UART_NO_FLOW_CTRL &&
        m_device.UartSetFlowControl(m_hFt260, FT260_UART_NO_FLOW_CTRL) != FT260_OK)
        return RESULT_UART_FLOW_FAILED;
    if ((config.dataBits != 8 || config.parity != 0 || config.stopBits != 0) &&
        m_device.UartSetDataCharacteristics(m_hFt260, 8, 0, 0) != FT260_OK)
        return RESULT_UART_DATA_FAILED;
    return RESULT_OK;
}

void CFt260::Close()
{
    if (!m_hFt260)
        return;
    m_device.UartReset(m_hFt260);
    m_device.Close(m_hFt260);
    m_hFt260 = nullptr;
    m_strOpenPath.clear();
}

// ---- exchanges ----

void CFt260::LogPacket(int direction, const uint8_t *bytes, int count)
{
    if (!m_pOwner)
        return;
    if (PacketLogSink *sink = m_pOwner->PacketLog())
        sink->AddPacket(direction, bytes, count);
}

bool CFt260::ReadQueued(uint8_t *buffer)
{
    if (!buffer)
        buffer = m_rxBuf;
    uint32_t waiting = 0;
    if (m_device.UartGetQueueStatus(m_hFt260, &waiting) != FT260_OK)
        return false;
    while (waiting > 0) {
        const uint32_t chunk = std::min<uint32_t>(waiting, kBufferSize);
        uint32_t got = 0;
        if (m_device.UartRead(m_hFt260, buffer, kBufferSize, chunk, &got) != FT260_OK || got == 0)
            break;
        LogPacket(PacketLogSink::Read, buffer, static_cast<int>(got));
        waiting -= std::min(waiting, got);
    }
    return true;
}

void CFt260::DrainInput()
{
    // Whatever came behind the answer is read and logged into a scratch buffer, so that m_rxBuf and
    // m_rxLen still show the answer itself to the trace panel.
    uint8_t scratch[kBufferSize];
    ReadQueued(scratch);
}

CFt260::WaitResult CFt260::WaitForBytes(uint32_t count, qint64 deadlineMicros, uint32_t *queued, bool cancellable)
{
    for (;;) {
        // The epoch is read before the queue is looked at: input that comes in between moves it, and
        // the wait below then returns at once.
        const quint64 seen = m_waker.Epoch();
        uint32_t waiting = 0;
        if (m_device.UartGetQueueStatus(m_hFt260, &waiting) != FT260_OK)
            return WaitResult::QueryFailed;
        if (queued)
            *queued = waiting;
        if (waiting >= count)
            return WaitResult::Arrived;
        if (cancellable && CancelRequested())
            return WaitResult::Cancelled;
        const qint64 now = m_clock.MonotonicMicros();
        if (now >= deadlineMicros)
            return WaitResult::TimedOut;
        qint64 wake = deadlineMicros;
        const qint64 due = m_device.NextInputMicros(m_hFt260, count - waiting);
        if (due >= 0)
            wake = std::min(wake, std::max(due, now + 1));
        m_clock.WaitUntil(wake, m_waker, seen);
    }
}

namespace {
// Whether a frame of this total length can be an answer of the instrument to some command.
bool IsAnswerLength(int length)
{
    return std::any_of(std::begin(kResponseDataLength), std::end(kResponseDataLength),
                       [length](int data) { return data + 5 == length; });
}
} // namespace

int CFt260::ReceiveAnswer(uint8_t commandId, int expected, qint64 deadlineMicros, uint8_t *response)
{
    m_rxLen = 0;
    // What a time-out reports once a whole frame that was not the answer came: -1088 for another
    // command's answer, -1089 for a frame of this command at a length it never answers with.
    int strayFrame = RESULT_OK;
    // Set once the frame at the head looked like another command's answer but did not check out: from then
    // on the head is taken as the answer, at the command's length, and judged as such.
    bool headIsTheAnswer = false;
    bool timedOut = false;
    for (;;) {
        // An answer of another length is known by its own LEN byte; anything else is judged at the command's length.
        int length = expected;
        if (!headIsTheAnswer && m_rxLen >= 2 && m_rxBuf[0] == FRAME_STX && IsAnswerLength(m_rxBuf[1] + 4))
            length = m_rxBuf[1] + 4;

        if (m_rxLen < length) {
            // What never grew into another command's answer is judged as this command's.
            if (timedOut && length != expected && m_rxLen >= expected) {
                headIsTheAnswer = true;
                continue;
            }
            if (timedOut)
                return strayFrame != RESULT_OK ? strayFrame : RESULT_READ_FAILED;
            const uint32_t missing = static_cast<uint32_t>(length - m_rxLen);
            const WaitResult waited = WaitForBytes(missing, deadlineMicros);
            if (waited == WaitResult::QueryFailed)
                return RESULT_READ_FAILED;
            uint32_t toRead = missing;
            if (waited == WaitResult::TimedOut) {
                // Too few bytes in time: what came is read for the trace and the log, and looked at once more.
                timedOut = true;
                uint32_t waiting = 0;
                toRead = m_device.UartGetQueueStatus(m_hFt260, &waiting) == FT260_OK
                             ? std::min<uint32_t>(waiting, static_cast<uint32_t>(kBufferSize - m_rxLen))
                             : 0;
            }
            uint32_t got = 0;
            const FT260_STATUS status =
                toRead > 0 ? m_device.UartRead(m_hFt260, m_rxBuf + m_rxLen, kBufferSize - m_rxLen, toRead, &got)
                           : FT260_OK;
            LogPacket(PacketLogSink::Read, m_rxBuf + m_rxLen, static_cast<int>(got));
            m_rxLen += static_cast<int>(got);
            if (status != FT260_OK)
                return RESULT_READ_FAILED;
            continue;
        }

        const int received = m_rxLen;
        m_rxLen = length;
        const int check = ValidateResponse();
        if (check == RESULT_OK && length == expected && m_rxBuf[2] == commandId) {
            m_tLastRead = m_clock.Now();
            std::memcpy(response, m_rxBuf + 3, static_cast<size_t>(expected - 5));
            return RESULT_OK;
        }
        if (check == RESULT_OK) {
            // The whole answer to another request (one that came after its time-out, or a stream's tail):
            // never the caller's answer. It is in the packet log; drop it and wait on.
            strayFrame = m_rxBuf[2] == commandId ? RESULT_BAD_LENGTH : RESULT_BAD_ID;
            m_rxLen = received - length;
            std::memmove(m_rxBuf, m_rxBuf + length, static_cast<size_t>(m_rxLen));
            continue;
        }
        if (length != expected) {
            m_rxLen = received;
            headIsTheAnswer = true;
            continue;
        }
        m_tLastRead = m_clock.Now();
        return check;
    }
}

int CFt260::Transact(uint8_t commandId, const uint8_t *data, int n, uint8_t *response)
{
    return Exchange(commandId, data, n, response, false);
}

int CFt260::TransactLong(uint8_t commandId, const uint8_t *data, int n, uint8_t *response)
{
    return Exchange(commandId, data, n, response, true);
}

int CFt260::Exchange(uint8_t commandId, const uint8_t *data, int n, uint8_t *response, bool longFrame)
{
    WinCriticalSection::Guard guard(m_lock);

    // A request the frame cannot express never reaches the wire.
    if (commandId < CMD_FIRST || commandId > CMD_LAST)
        return m_nResult = RESULT_BAD_ID;
    if (n < 0 || n > (longFrame ? kMaxLongData : kMaxShortData) || (n > 0 && !data))
        return m_nResult = RESULT_BAD_LENGTH;

    if (!m_hFt260)
        EnsureOpen();
    if (!m_hFt260)
        return m_nResult;

    std::memset(response, 0, kResponseAreaSize);
    if (longFrame)
        BuildLongFrame(commandId, data, n);
    else
        BuildShortFrame(commandId, data, n);

    ReadQueued();

    uint32_t written = 0;
    const FT260_STATUS writeStatus =
        m_device.UartWrite(m_hFt260, m_txBuf, kBufferSize, static_cast<uint32_t>(m_txLen), &written);
    LogPacket(PacketLogSink::Written, m_txBuf, static_cast<int>(written));
    if (writeStatus != FT260_OK) {
        m_nResult = RESULT_WRITE_FAILED;
    } else {
        m_tLastWrite = m_clock.Now();
        const qint64 deadline = m_clock.MonotonicMicros() + (longFrame ? kLongTimeoutMicros : kShortTimeoutMicros);
        m_nResult = ReceiveAnswer(commandId, m_respLen[commandId - CMD_FIRST], deadline, response);
        // Whatever came behind the answer, good or broken, is read and logged.
        if (!longFrame && m_nResult != RESULT_READ_FAILED && m_nResult != RESULT_BAD_ID &&
            m_nResult != RESULT_BAD_LENGTH)
            DrainInput();
    }

    if (m_nResult != RESULT_OK && m_hFt260)
        Close();
    return m_nResult;
}
