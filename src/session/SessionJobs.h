#pragma once

#include "InstrumentIdentity.h"
#include "SessionTypes.h"

#include <functional>

// The jobs the windows submit. Each captures what it needs by value; anything that depends on the
// moment (the PC time of a clock setting, "today" of a connect) is worked out on the session thread
// just before it is sent.
namespace SessionJobs {

// Finds the bridge and opens the link; the result's code tells why it could not be opened.
Job Open();
// The identity fields in their order, each optional, until the instrument falls silent (ReadIdentity).
Job Identity();
// Reads the identity fields `known` has no text for, each an optional exchange, and stops once the
// instrument is silent (two time-outs in a row). Runs inside a job on the session thread.
void ReadIdentity(JobContext &context, const InstrumentIdentity &known = {});
// The instrument identity in kIdentityFields order from a job's identity reads (a field not read: null).
InstrumentIdentity IdentityFromExchanges(const QList<ExchangeOutcome> &exchanges);

// Looks for the bridge; the result's `present` says whether it is on the bus.
Job Presence();
// Exchanges in order, stopping at the first required one that fails.
Job Script(const QList<ExchangeStep> &steps);
// One short exchange with one request byte 0x00 (the reads).
Job Read(uint8_t command);
// One write of `data`.
Job Write(uint8_t command, const QByteArray &data);
// Stored records of the local days from startDate to endDate into `sheet`.
Job StoredDownload(qint64 startDate, qint64 endDate, int sheet);
// The continuous run into `sheet`.
Job ContinuousDownload(int sheet);
// "장비 조회": opens the link, reads the identity (the eight reads, each optional), then downloads
// today's stored records (or the continuous run) into `sheet`. When the link cannot be opened, the
// result carries advice() (computed on the session thread) and nothing else is tried. beforeDownload,
// when given, runs on the session thread between the identity reads and the download (the archive
// files the download under the identity just read).
Job Connect(const QList<ExchangeStep> &identity, bool continuous, int sheet, std::function<QString()> advice,
            std::function<void(JobContext &)> beforeDownload = {});
// Sets the instrument clock to the PC's time of the moment it is sent, with the service telephone.
// nothingSent when that time cannot be had.
Job SetClockNow(const QString &telephone);

} // namespace SessionJobs
