#pragma once

#include "Ft260Device.h"
#include "HidTransport.h"

#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

class Clock;

// What the chip's UART pins are wired to: a test's script or the simulated instrument's line.
class ChipUartPeer {
  public:
    virtual ~ChipUartPeer() = default;
    virtual bool Present() const = 0;
    // Bytes the chip sends out on TX.
    virtual void Transmit(const uint8_t *bytes, int count) = 0;
    // Bytes that have arrived on RX by now.
    virtual int Receive(uint8_t *buffer, int max) = 0;
    virtual void Reset() = 0;
    virtual void SetFormat(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits, uint8_t parity) = 0;
};

// A model of the FT260 on the USB bus, standing where hidapi and the chip stand: it answers feature
// requests, keeps the UART configuration, sends data reports out on its UART and hands received bytes
// back as input reports cut at arbitrary points, with UART status reports (0xB1) mixed in. Every report
// the host sends is recorded byte for byte. Thread-safe: the reader thread reads while the test's thread
// writes.
class Ft260ChipModel final : public HidTransport {
  public:
    static constexpr const char *kI2cPath = "1-1:1.0";
    static constexpr const char *kUartPath = "1-1:1.1";
    // Idle time after which a power-saving chip dozes.
    static constexpr qint64 kDozeAfterMicros = 5'000'000;
    // Received bytes lost when a data write reaches a dozing chip.
    static constexpr int kBytesLostWhenDozing = 2;

    struct Transfer {
        enum Kind { Output, SetFeature, GetFeature };
        Kind kind;
        std::vector<uint8_t> bytes; // GetFeature: the report ID asked for
        bool operator==(const Transfer &) const = default;
    };

    explicit Ft260ChipModel(Clock &clock);

    // Set-up. The default bus holds one bridge in its default mode (I2C and UART interfaces).
    void SetInterfaces(std::vector<HidDeviceEntry> interfaces);
    void SetPeer(ChipUartPeer *peer);
    void SetAccessible(bool accessible);
    void SetPowerSaving(bool on);
    // The chip mode its status report tells (its DCNF straps): 3 by default, 1 I2C only, 2 UART only.
    void SetChipMode(uint8_t mode);
    void SetConfig(const UartConfig &config);
    // Received bytes are cut into reports of 1..60 bytes drawn from `seed`; a status report follows every
    // statusEvery data reports (0: none); with oversizedIds some reports use a larger report ID than their
    // count needs.
    void SetCutting(uint32_t seed, int statusEvery, bool oversizedIds);
    // Like hidapi, hold at most `limit` unread reports. A producer then waits for room instead of losing
    // reports, so only a host that keeps reading lets a long burst through.
    void SetReportLimit(size_t limit);

    // The UART side, from the test: bytes arriving now, or one input report exactly as given. False when
    // no room came within a few seconds.
    bool Receive(const std::vector<uint8_t> &bytes);
    bool QueueInputReport(const std::vector<uint8_t> &report);
    void Unplug();

    // What the host did.
    std::vector<Transfer> Transfers() const;
    void ClearTransfers();
    std::vector<uint8_t> Transmitted() const; // UART bytes sent while no peer is attached
    UartConfig Config() const;
    uint8_t GpioAFunction() const;
    int UartResets() const;
    int OpenConnections() const;
    int Wakeups() const;
    int LostToDoze() const;

    // HidTransport
    std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId, uint16_t productId) override;
    std::unique_ptr<HidConnection> Open(const std::string &path) override;
    HidAccess Access(const std::string &path) override;

  private:
    friend class ChipConnection;

    int Write(const uint8_t *report, size_t length);
    int SendFeature(const uint8_t *report, size_t length);
    int GetFeature(uint8_t *buffer, size_t length);
    int ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs);
    void Closed();

    bool PresentLocked() const;
    void HostRequestLocked(bool dataWrite);
    void PullFromPeerLocked();
    std::vector<std::vector<uint8_t>> CutLocked(const uint8_t *bytes, int count);
    bool PushWhenRoomLocked(std::unique_lock<std::mutex> &lock, const std::vector<uint8_t> &report);
    void FormatChangedLocked();

    Clock &m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;

    std::vector<HidDeviceEntry> m_interfaces;
    ChipUartPeer *m_peer = nullptr;
    bool m_accessible = true;
    bool m_unplugged = false;
    bool m_powerSaving = false;
    uint8_t m_chipMode = 3;
    UartConfig m_config{FT260_UART_XON_XOFF, 9600, 8, 0, 0, 0};
    uint8_t m_gpioA = 0;

    std::mt19937 m_random{1};
    int m_statusEvery = 0;
    bool m_oversizedIds = false;
    int m_dataReportsCut = 0;
    size_t m_reportLimit = SIZE_MAX;
    std::deque<std::vector<uint8_t>> m_input;

    qint64 m_lastActivityMicros = 0;
    int m_dropReceived = 0;

    std::vector<Transfer> m_transfers;
    std::vector<uint8_t> m_transmitted;
    int m_uartResets = 0;
    int m_openConnections = 0;
    int m_wakeups = 0;
    int m_lostToDoze = 0;
};
