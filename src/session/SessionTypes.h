#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class CFt260;
class Clock;
class JobContext;

// Values that travel between the session thread and the windows. Every one is a plain copy, so a
// window never reads the link's own buffers.

using JobId = quint64;

// The last frame the link sent and the last bytes it received, with their times and the result.
struct LinkTrace {
    QByteArray sent;
    qint64 sentAt = 0;
    QByteArray received;
    qint64 receivedAt = 0;
    int result = 0;
};

// One request/response exchange of a job.
struct ExchangeOutcome {
    uint8_t command = 0;
    int code = 0;
    QByteArray response; // the 32-byte response area
    LinkTrace trace;     // right after this exchange
};

// One step of an exchange script: an optional step that fails does not stop the script.
struct ExchangeStep {
    uint8_t command = 0;
    QByteArray data;
    bool optional = false;
    bool longFrame = false;
};

// Records of one job, in the order they came: stored or continuous records of kRecordSize bytes each,
// and for the continuous run its summary when it came in this batch (before the records).
struct RecordBatch {
    JobId job = 0;
    int sheet = 0;
    int firstIndex = 0;
    bool continuous = false;
    QByteArray summary;
    QByteArray records;
    int Count() const;
    const uint8_t *Record(int i) const { return reinterpret_cast<const uint8_t *>(records.constData()) + i * 10; }
};

// Buffers the link wrote or read, stamped on the session thread.
struct PacketEntry {
    int direction = 0;
    QByteArray bytes;
    qint64 time = 0;
};
using PacketBatch = QList<PacketEntry>;

// How a job ended.
struct JobResult {
    JobId id = 0;
    int kind = 0;
    int sheet = 0;
    int code = 0;             // 0 success, a result code otherwise
    QString text;             // the result code's text
    int rows = 0;             // records handed over by a download
    int announced = -1;       // the continuous run's announced count, once its summary came
    int damaged = 0;          // records that arrived damaged and were left out
    qint64 moment = 0;        // the link clock's time when the job started
    bool present = true;      // after a failure: whether the bridge is still on the bus
    bool nothingSent = false; // the job refused before the wire (for example no PC time)
    QString status;           // a job's own verdict text (the firmware upload)
    QString advice;           // how to get access to a bridge that could not be opened
    QList<ExchangeOutcome> exchanges;
    LinkTrace trace;
};

// A unit of instrument work: a function run on the session thread with the link at hand. Everything
// it needs from a window is captured by value when the job is made.
struct Job {
    enum Kind : int { Exchanges, StoredDownload, ContinuousDownload, Connect, SetClock, Firmware, Presence, Other };
    Kind kind = Other;
    int sheet = 0;       // the data sheet a download's records belong to
    bool userJob = true; // the operator waits for it (wait cursor); presence polls are not
    std::function<void(JobContext &)> run;
};

Q_DECLARE_METATYPE(RecordBatch)
Q_DECLARE_METATYPE(PacketBatch)
Q_DECLARE_METATYPE(JobResult)
