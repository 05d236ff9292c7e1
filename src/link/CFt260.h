#pragma once

#include "Clock.h"
#include "Commands.h"
#include "Ft260Device.h"
#include "LinkBuffer.h"
#include "ResultCodes.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

class DeviceDiscovery;
class DownloadStream;
class FrameScanner;
class LinkOwner;

// Owns one lock that serialises the link's exchanges; entered and left only through Guard, so it is
// left on every path out of an exchange.
class WinCriticalSection {
  public:
    class Guard {
      public:
        explicit Guard(WinCriticalSection &section) : m_lock(section.m_mutex) {}

      private:
        std::lock_guard<std::recursive_mutex> m_lock;
    };

  private:
    std::recursive_mutex m_mutex;
};

// The instrument link: the FT260 port, the frames, the request/response exchange and the two record
// downloads. Not thread-safe: its holder calls it from one thread (in the program, the instrument
// session's thread, which owns the one instance).
class CFt260 {
  public:
    static constexpr int kBufferSize = kLinkBufferSize;
    static constexpr int kResponseAreaSize = 32;
    static constexpr quint16 kVendorId = 0x0403;
    static constexpr quint16 kProductId = 0x6030;
    static constexpr int kMaxInterfaces = 64;
    // A device path whose interface detail would need this many bytes or more is skipped.
    static constexpr int kMaxDetailSize = 255;
    static constexpr int kMaxShortData = 254;
    static constexpr int kMaxLongData = kBufferSize - 6;

    CFt260(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, LinkOwner *owner = nullptr);
    virtual ~CFt260();
    CFt260(const CFt260 &) = delete;
    CFt260 &operator=(const CFt260 &) = delete;

    void SetOwner(LinkOwner *owner) { m_pOwner = owner; }
    LinkOwner *Owner() const { return m_pOwner; }
    Clock &GetClock() const { return m_clock; }

    // Frames.
    static uint8_t Checksum(const uint8_t *bytes, int count);
    // The plain byte-by-byte fold; Checksum must always agree with it.
    static uint8_t ChecksumBytewise(const uint8_t *bytes, int count);
    void BuildShortFrame(uint8_t commandId, const uint8_t *data, int n);
    void BuildLongFrame(uint8_t commandId, const uint8_t *data, int n);
    int ValidateResponse() const;

    // Port.
    QString FindDevice();
    FT260_HANDLE EnsureOpen();
    int ConfigureUart();
    void Close();
    bool IsOpen() const { return m_hFt260 != nullptr; }
    QString GetResultText() const { return ResultText(m_nResult); }

    // Exchanges. response is a caller area of kResponseAreaSize bytes.
    int Transact(uint8_t commandId, const uint8_t *data, int n, uint8_t *response);
    int TransactLong(uint8_t commandId, const uint8_t *data, int n, uint8_t *response);
    void DrainInput();

    // Downloads. startDate and endDate are times of which only the local calendar day counts.
    int DownloadStoredRecords(qint64 startDate, qint64 endDate, int *rowCount);
    int DownloadContinuousRecords();
    // Asks a running download to stop after the frame it is on; safe from any thread. A download that
    // waits for its next frame wakes at once. The download reads the rest of the stream off the line
    // (until it has been quiet for 50 ms) and ends with RESULT_CANCELLED. The request stays until
    // ClearCancel, which the owner calls before starting the next job.
    void RequestCancel()
    {
        m_cancel.store(true);
        m_waker.Notify();
    }
    void ClearCancel() { m_cancel.store(false); }
    bool CancelRequested() const { return m_cancel.load(); }
    // Records of the last download that arrived damaged (a frame that failed validation) and were left out.
    int DamagedRecordCount() const { return m_nDamagedRecords; }

    // Port state.
    FT260_HANDLE m_hFt260 = nullptr;
    QString m_strDevicePath;
    QString m_strOpenPath;
    int m_nResult = 0;

    // The last frame sent and the last bytes received, kept for the trace panel.
    uint8_t m_txBuf[kBufferSize];
    int m_txLen = 0;
    uint8_t m_rxBuf[kBufferSize];
    int m_rxLen = 0;
    qint64 m_tLastWrite = 0;
    qint64 m_tLastRead = 0;

    int m_respLen[CMD_COUNT];
    int m_nDamagedRecords = 0;

  private:
    int Exchange(uint8_t commandId, const uint8_t *data, int n, uint8_t *response, bool longFrame);
    // Reads whatever is queued into `buffer` (m_rxBuf when null) and logs it; returns false when the
    // queue query fails.
    bool ReadQueued(uint8_t *buffer = nullptr);
    void LogPacket(int direction, const uint8_t *bytes, int count);
    enum class WaitResult { Arrived, TimedOut, QueryFailed, Cancelled };
    // Waits until `count` bytes are queued (their number in *queued), the monotonic deadline passes, the
    // device is gone (the queue query fails) or, when `cancellable`, a cancel is asked for. Wakes when the
    // device says input came or will come, never by polling.
    WaitResult WaitForBytes(uint32_t count, qint64 deadlineMicros, uint32_t *queued = nullptr,
                            bool cancellable = false);
    // Waits for and checks the answer to commandId (`expected` bytes long) and copies its data to response;
    // whole answers to other commands are dropped on the way. Returns the exchange's result code.
    int ReceiveAnswer(uint8_t commandId, int expected, qint64 deadlineMicros, uint8_t *response);
    // Download steps (CFt260Download.cpp).
    int WriteDownloadRequest();
    void ReadStreamBytes(FrameScanner &frames, uint32_t count);
    void DiscardStream();
    int ReadDownloadStream(FrameScanner &frames, DownloadStream &stream, qint64 silenceMicros);

    Ft260Device &m_device;
    DeviceDiscovery &m_discovery;
    Clock &m_clock;
    LinkOwner *m_pOwner;
    WinCriticalSection m_lock;
    std::atomic<bool> m_cancel{false};
    // Woken by the device when input comes or the bridge goes, and by RequestCancel.
    Waker m_waker;
};
