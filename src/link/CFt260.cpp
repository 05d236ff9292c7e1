#include "CFt260.h"

#include "Clock.h"
#include "DeviceDiscovery.h"
#include "LinkOwner.h"
#include "PacketLogSink.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kShortPolls = 50;
constexpr int kLongPolls = 100;
constexpr uint32_t kBaudRate = 115200;
} // namespace

CFt260::CFt260(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, LinkOwner *owner)
    : m_device(device), m_discovery(discovery), m_clock(clock), m_pOwner(owner)
{
    std::memset(m_txBuf, 0, sizeof m_txBuf);
    std::memset(m_rxBuf, 0, sizeof m_rxBuf);
    for (int i = 0; i < CMD_COUNT; ++i)
        m_respLen[i] = kResponseDataLength[i] + 5;
}

CFt260::~CFt260()
{
    WinCriticalSection::Guard guard(m_lock);
    Close();
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

bool CFt260::WaitForBytes(uint32_t expected, int maxPolls)
{
    for (int poll = 0; poll < maxPolls; ++poll) {
        m_clock.Sleep(kPollMs);
        uint32_t waiting = 0;
        if (m_device.UartGetQueueStatus(m_hFt260, &waiting) != FT260_OK || waiting >= expected)
            return true;
    }
    return false;
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
        const int expected = m_respLen[commandId - CMD_FIRST];
        if (!WaitForBytes(static_cast<uint32_t>(expected), longFrame ? kLongPolls : kShortPolls)) {
            // Too few bytes in time: keep what came for the trace and the log.
            uint32_t waiting = 0;
            uint32_t got = 0;
            if (m_device.UartGetQueueStatus(m_hFt260, &waiting) == FT260_OK && waiting > 0)
                m_device.UartRead(m_hFt260, m_rxBuf, kBufferSize, std::min<uint32_t>(waiting, kBufferSize), &got);
            m_rxLen = static_cast<int>(got);
            LogPacket(PacketLogSink::Read, m_rxBuf, m_rxLen);
            m_nResult = RESULT_READ_FAILED;
        } else {
            uint32_t got = 0;
            const FT260_STATUS readStatus =
                m_device.UartRead(m_hFt260, m_rxBuf, kBufferSize, static_cast<uint32_t>(expected), &got);
            m_rxLen = static_cast<int>(got);
            LogPacket(PacketLogSink::Read, m_rxBuf, m_rxLen);
            // A read that hands over less than the whole answer is incomplete, even when its first bytes
            // happen to form a frame: the data copied out would come from behind the received count.
            if (readStatus != FT260_OK || got != static_cast<uint32_t>(expected)) {
                m_nResult = RESULT_READ_FAILED;
            } else {
                m_tLastRead = m_clock.Now();
                const int r = ValidateResponse();
                if (r == RESULT_OK)
                    std::memcpy(response, m_rxBuf + 3, static_cast<size_t>(expected - 5));
                m_nResult = r;
            }
            if (!longFrame)
                DrainInput();
        }
    }

    if (m_nResult != RESULT_OK && m_hFt260)
        Close();
    return m_nResult;
}
