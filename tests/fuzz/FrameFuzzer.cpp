// Frame building, the checksum and the check of a received frame, against the frame rules of FuzzCheck.h.
//
// Input: a selector byte, a command ID (or alignment) byte, then the bytes of a received frame or the data
// of a frame to build.

#include "FuzzCheck.h"

#include "CFt260.h"
#include "Clock.h"
#include "DeviceDiscovery.h"

#include <cstring>
#include <vector>

namespace {

struct NoDevice : Ft260Device {
    FT260_STATUS OpenByDevicePath(const QString &, FT260_HANDLE *) override { return FT260_DEVICE_OPEN_FAIL; }
    FT260_STATUS UartInit(FT260_HANDLE) override { return FT260_OK; }
    FT260_STATUS SelectGpioAFunction(FT260_HANDLE, uint8_t) override { return FT260_OK; }
    FT260_STATUS UartGetConfig(FT260_HANDLE, UartConfig *) override { return FT260_OK; }
    FT260_STATUS UartSetBaudRate(FT260_HANDLE, uint32_t) override { return FT260_OK; }
    FT260_STATUS UartSetFlowControl(FT260_HANDLE, uint8_t) override { return FT260_OK; }
    FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE, uint8_t, uint8_t, uint8_t) override { return FT260_OK; }
    FT260_STATUS UartGetQueueStatus(FT260_HANDLE, uint32_t *) override { return FT260_IO_ERROR; }
    FT260_STATUS UartRead(FT260_HANDLE, uint8_t *, uint32_t, uint32_t, uint32_t *) override { return FT260_IO_ERROR; }
    FT260_STATUS UartWrite(FT260_HANDLE, const uint8_t *, uint32_t, uint32_t, uint32_t *) override
    {
        return FT260_IO_ERROR;
    }
    FT260_STATUS UartReset(FT260_HANDLE) override { return FT260_OK; }
    FT260_STATUS Close(FT260_HANDLE) override { return FT260_OK; }
};

struct NoDiscovery : DeviceDiscovery {
    QList<HidInterfaceInfo> EnumerateHidInterfaces() override { return {}; }
};

// A received frame: accepted exactly when the rules accept it, and refused with the code of the first
// rule it breaks (STX, then ETX, then length or checksum).
void CheckValidation(CFt260 &link, const std::vector<uint8_t> &bytes)
{
    const int count = static_cast<int>(bytes.size());
    // Stale bytes behind the received ones must not count.
    std::memset(link.m_rxBuf, 0xA5, sizeof link.m_rxBuf);
    if (count > 0)
        std::memcpy(link.m_rxBuf, bytes.data(), bytes.size());
    link.m_rxLen = count;
    const int result = link.ValidateResponse();
    const bool accepted = fuzzrules::IsAcceptedFrame(bytes.data(), count);
    FUZZ_CHECK((result == RESULT_OK) == accepted);
    if (count < 1 || bytes[0] != 0x02)
        FUZZ_CHECK(result == RESULT_BAD_STX);
    else if (bytes[count - 1] != 0x03)
        FUZZ_CHECK(result == RESULT_BAD_ETX);
    else if (!accepted)
        FUZZ_CHECK(result == RESULT_BAD_CRC || result == RESULT_BAD_LENGTH);
}

// A built frame has the documented layout, a zeroed rest of the buffer, and passes the receiving check
// when it is a short one.
void CheckBuild(CFt260 &link, uint8_t commandId, const std::vector<uint8_t> &data, bool longFrame)
{
    const int n = static_cast<int>(data.size());
    std::memset(link.m_txBuf, 0x5A, sizeof link.m_txBuf);
    const int head = longFrame ? 4 : 3;
    if (longFrame)
        link.BuildLongFrame(commandId, data.data(), n);
    else
        link.BuildShortFrame(commandId, data.data(), n);
    const uint8_t *f = link.m_txBuf;
    FUZZ_CHECK(link.m_txLen == n + head + 2);
    FUZZ_CHECK(f[0] == 0x02);
    if (longFrame) {
        FUZZ_CHECK(f[1] == ((n + 1) >> 8) && f[2] == ((n + 1) & 0xFF));
        FUZZ_CHECK(f[3] == commandId);
    } else {
        FUZZ_CHECK(f[1] == n + 1 && f[2] == commandId);
    }
    FUZZ_CHECK(n == 0 || std::memcmp(f + head, data.data(), data.size()) == 0);
    FUZZ_CHECK(f[head + n] == fuzzrules::XorOf(f, head + n));
    FUZZ_CHECK(f[head + n + 1] == 0x03);
    for (int i = link.m_txLen; i < CFt260::kBufferSize; ++i)
        FUZZ_CHECK(f[i] == 0);
    if (!longFrame) {
        std::memcpy(link.m_rxBuf, f, static_cast<size_t>(link.m_txLen));
        link.m_rxLen = link.m_txLen;
        FUZZ_CHECK(link.ValidateResponse() == RESULT_OK);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static NoDevice device;
    static NoDiscovery discovery;
    static VirtualClock clock;
    static CFt260 link(device, discovery, clock);

    FuzzInput input(data, size);
    const uint8_t selector = input.Byte();
    const uint8_t commandId = input.Byte();
    std::vector<uint8_t> bytes = input.Rest();

    switch (selector % 4) {
    case 0:
        if (bytes.size() > CFt260::kBufferSize)
            bytes.resize(CFt260::kBufferSize);
        CheckValidation(link, bytes);
        break;
    case 1:
        if (bytes.size() > CFt260::kMaxShortData)
            bytes.resize(CFt260::kMaxShortData);
        CheckBuild(link, commandId, bytes, false);
        break;
    case 2:
        if (bytes.size() > CFt260::kMaxLongData)
            bytes.resize(CFt260::kMaxLongData);
        CheckBuild(link, commandId, bytes, true);
        break;
    default: {
        // The fast checksum against the byte-wise fold, at every alignment the input reaches.
        const int offset = commandId % 32;
        const int count = static_cast<int>(bytes.size()) - offset;
        if (count >= 0) {
            FUZZ_CHECK(CFt260::Checksum(bytes.data() + offset, count) ==
                       fuzzrules::XorOf(bytes.data() + offset, count));
        }
        break;
    }
    }
    return 0;
}
