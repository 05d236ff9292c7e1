#include "Ft260ChipModel.h"

#include "Clock.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr uint8_t kSystemSetting = 0xA1;
constexpr uint8_t kFiller = 0xEE; // what the chip leaves past the count in a data report
constexpr auto kRoomWait = std::chrono::seconds(5);

uint32_t Le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

class ChipConnection final : public HidConnection {
  public:
    explicit ChipConnection(Ft260ChipModel &chip) : m_chip(chip) {}
    ~ChipConnection() override { m_chip.Closed(); }
    int Write(const uint8_t *report, size_t length) override { return m_chip.Write(report, length); }
    int SendFeature(const uint8_t *report, size_t length) override { return m_chip.SendFeature(report, length); }
    int GetFeature(uint8_t *buffer, size_t length) override { return m_chip.GetFeature(buffer, length); }
    int ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs) override
    {
        return m_chip.ReadTimeout(buffer, length, timeoutMs);
    }

  private:
    Ft260ChipModel &m_chip;
};

Ft260ChipModel::Ft260ChipModel(Clock &clock) : m_clock(clock)
{
    m_interfaces = {{kI2cPath, 0x0403, 0x6030, 0, "1-1"}, {kUartPath, 0x0403, 0x6030, 1, "1-1"}};
    m_lastActivityMicros = clock.MonotonicMicros();
}

void Ft260ChipModel::SetInterfaces(std::vector<HidDeviceEntry> interfaces)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interfaces = std::move(interfaces);
}

void Ft260ChipModel::SetPeer(ChipUartPeer *peer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_peer = peer;
    FormatChangedLocked();
}

void Ft260ChipModel::SetAccessible(bool accessible)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accessible = accessible;
}

void Ft260ChipModel::SetPowerSaving(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_powerSaving = on;
}

void Ft260ChipModel::SetChipMode(uint8_t mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_chipMode = mode;
}

void Ft260ChipModel::SetConfig(const UartConfig &config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = config;
    FormatChangedLocked();
}

void Ft260ChipModel::SetCutting(uint32_t seed, int statusEvery, bool oversizedIds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_random.seed(seed);
    m_statusEvery = statusEvery;
    m_oversizedIds = oversizedIds;
}

void Ft260ChipModel::SetReportLimit(size_t limit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reportLimit = limit;
}

bool Ft260ChipModel::Receive(const std::vector<uint8_t> &bytes)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (const std::vector<uint8_t> &report : CutLocked(bytes.data(), static_cast<int>(bytes.size()))) {
        if (!PushWhenRoomLocked(lock, report))
            return false;
    }
    return true;
}

bool Ft260ChipModel::QueueInputReport(const std::vector<uint8_t> &report)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return PushWhenRoomLocked(lock, report);
}

bool Ft260ChipModel::PushWhenRoomLocked(std::unique_lock<std::mutex> &lock, const std::vector<uint8_t> &report)
{
    if (!m_changed.wait_for(lock, kRoomWait, [&] { return m_input.size() < m_reportLimit; }))
        return false;
    m_input.push_back(report);
    m_changed.notify_all();
    return true;
}

void Ft260ChipModel::Unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugged = true;
    m_changed.notify_all();
}

std::vector<Ft260ChipModel::Transfer> Ft260ChipModel::Transfers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transfers;
}

void Ft260ChipModel::ClearTransfers()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transfers.clear();
}

std::vector<uint8_t> Ft260ChipModel::Transmitted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transmitted;
}

UartConfig Ft260ChipModel::Config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

uint8_t Ft260ChipModel::GpioAFunction() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_gpioA;
}

int Ft260ChipModel::UartResets() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uartResets;
}

int Ft260ChipModel::OpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openConnections;
}

int Ft260ChipModel::Wakeups() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_wakeups;
}

int Ft260ChipModel::LostToDoze() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lostToDoze;
}

std::vector<HidDeviceEntry> Ft260ChipModel::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<HidDeviceEntry> found;
    if (!PresentLocked())
        return found;
    for (const HidDeviceEntry &entry : m_interfaces) {
        if (entry.vendorId == vendorId && entry.productId == productId)
            found.push_back(entry);
    }
    return found;
}

std::unique_ptr<HidConnection> Ft260ChipModel::Open(const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool listed = std::any_of(m_interfaces.begin(), m_interfaces.end(),
                                    [&](const HidDeviceEntry &entry) { return entry.path == path; });
    if (!listed || !m_accessible || !PresentLocked())
        return nullptr;
    ++m_openConnections;
    return std::make_unique<ChipConnection>(*this);
}

HidAccess Ft260ChipModel::Access(const std::string &)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accessible ? HidAccess::Allowed : HidAccess::Denied;
}

void Ft260ChipModel::Closed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_openConnections;
}

int Ft260ChipModel::Write(const uint8_t *report, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transfers.push_back({Transfer::Output, std::vector<uint8_t>(report, report + length)});
    if (!PresentLocked() || length < 2 || report[0] < 0xF0 || report[0] > 0xFE)
        return -1;
    // The report ID sets the room for data, 4 bytes a step; the count byte says how much of it is used.
    const int count = report[1];
    if (count < 1 || count > 4 * (report[0] - 0xF0 + 1) || length < size_t(2 + count))
        return -1;
    HostRequestLocked(true);
    if (m_peer)
        m_peer->Transmit(report + 2, count);
    else
        m_transmitted.insert(m_transmitted.end(), report + 2, report + 2 + count);
    return static_cast<int>(length);
}

int Ft260ChipModel::SendFeature(const uint8_t *report, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transfers.push_back({Transfer::SetFeature, std::vector<uint8_t>(report, report + length)});
    if (!PresentLocked() || length < 2 || report[0] != kSystemSetting)
        return -1;
    HostRequestLocked(false);
    const uint8_t *p = report + 2;
    const size_t parameters = length - 2;
    switch (report[1]) {
    case 0x03:
        if (parameters < 1)
            return -1;
        m_config.flowCtrl = p[0];
        break;
    case 0x08:
        if (parameters < 1)
            return -1;
        m_gpioA = p[0];
        break;
    case 0x40:
        ++m_uartResets;
        m_input.clear();
        if (m_peer)
            m_peer->Reset();
        m_changed.notify_all();
        break;
    case 0x41:
        if (parameters < 9)
            return -1;
        m_config = {p[0], Le32(p + 1), p[5], p[6], p[7], p[8]};
        FormatChangedLocked();
        break;
    case 0x42:
        if (parameters < 4)
            return -1;
        m_config.baudRate = Le32(p);
        FormatChangedLocked();
        break;
    case 0x43:
    case 0x44:
    case 0x45:
        if (parameters < 1)
            return -1;
        (report[1] == 0x43 ? m_config.dataBits : report[1] == 0x44 ? m_config.parity : m_config.stopBits) = p[0];
        FormatChangedLocked();
        break;
    default: return -1;
    }
    return static_cast<int>(length);
}

int Ft260ChipModel::GetFeature(uint8_t *buffer, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (length < 1)
        return -1;
    m_transfers.push_back({Transfer::GetFeature, {buffer[0]}});
    if (!PresentLocked())
        return -1;
    std::vector<uint8_t> report;
    switch (buffer[0]) {
    case 0xA0: report = {0xA0, 0x02, 0x60, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}; break;
    case 0xA1:
        report.assign(25, 0);
        report[0] = 0xA1;
        report[1] = m_chipMode;
        report[6] = m_config.flowCtrl;
        report[9] = m_gpioA;
        report[14] = m_powerSaving ? 1 : 0;
        break;
    case 0xE0: {
        const uint32_t baud = m_config.baudRate;
        report = {0xE0,
                  m_config.flowCtrl,
                  uint8_t(baud),
                  uint8_t(baud >> 8),
                  uint8_t(baud >> 16),
                  uint8_t(baud >> 24),
                  m_config.dataBits,
                  m_config.parity,
                  m_config.stopBits,
                  m_config.breaking};
        break;
    }
    default: return -1;
    }
    HostRequestLocked(false);
    const size_t n = std::min(length, report.size());
    std::copy_n(report.begin(), n, buffer);
    return static_cast<int>(n);
}

int Ft260ChipModel::ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto ready = [&] {
        PullFromPeerLocked();
        return !PresentLocked() || !m_input.empty();
    };
    if (timeoutMs > 0)
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    else
        ready();
    if (!PresentLocked())
        return -1;
    if (m_input.empty())
        return 0;
    const std::vector<uint8_t> report = std::move(m_input.front());
    m_input.pop_front();
    m_lastActivityMicros = m_clock.MonotonicMicros();
    m_changed.notify_all();
    const size_t n = std::min(length, report.size());
    std::copy_n(report.begin(), n, buffer);
    return static_cast<int>(n);
}

bool Ft260ChipModel::PresentLocked() const
{
    return !m_unplugged && (!m_peer || m_peer->Present());
}

// A request after a long silence finds a power-saving chip dozing. A control request wakes it cleanly; a
// data write wakes it too late for the first bytes of the answer.
void Ft260ChipModel::HostRequestLocked(bool dataWrite)
{
    const qint64 now = m_clock.MonotonicMicros();
    if (m_powerSaving && now - m_lastActivityMicros >= kDozeAfterMicros) {
        if (dataWrite)
            m_dropReceived = kBytesLostWhenDozing;
        else
            ++m_wakeups;
    }
    m_lastActivityMicros = now;
}

void Ft260ChipModel::PullFromPeerLocked()
{
    if (!m_peer || !PresentLocked())
        return;
    uint8_t bytes[4096];
    const int n = m_peer->Receive(bytes, sizeof bytes);
    const int lost = std::min(n, m_dropReceived);
    m_dropReceived -= lost;
    m_lostToDoze += lost;
    for (std::vector<uint8_t> &report : CutLocked(bytes + lost, n - lost))
        m_input.push_back(std::move(report));
}

std::vector<std::vector<uint8_t>> Ft260ChipModel::CutLocked(const uint8_t *bytes, int count)
{
    std::vector<std::vector<uint8_t>> reports;
    std::uniform_int_distribution<int> size(1, 60);
    std::uniform_int_distribution<int> coin(0, 2);
    for (int pos = 0; pos < count;) {
        const int n = std::min(size(m_random), count - pos);
        int id = 0xF0 + (n - 1) / 4;
        if (m_oversizedIds && coin(m_random) == 0)
            id = 0xFE;
        std::vector<uint8_t> report(2 + 4 * (id - 0xF0 + 1), kFiller);
        report[0] = static_cast<uint8_t>(id);
        report[1] = static_cast<uint8_t>(n);
        std::copy_n(bytes + pos, n, report.begin() + 2);
        reports.push_back(std::move(report));
        pos += n;
        // A status report whose bytes would read as a count and data if taken for a data report.
        if (m_statusEvery > 0 && ++m_dataReportsCut % m_statusEvery == 0)
            reports.push_back({0xB1, 0x03, 'B', 'A', 'D'});
    }
    return reports;
}

void Ft260ChipModel::FormatChangedLocked()
{
    if (m_peer)
        m_peer->SetFormat(m_config.baudRate, m_config.dataBits, m_config.stopBits, m_config.parity);
}
