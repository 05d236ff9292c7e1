#pragma once

#include "SessionClient.h"
#include "SessionHost.h"

#include <QTextStream>

#include <memory>

class DownloadArchive;
class Measurement;

// tonvale-cli's way to the instrument: the session thread and jobs the windows use, each job waited on
// in a local event loop. With a packet log, every packet of every job goes to it as one packet-log line.
class CliSession {
  public:
    CliSession(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, QTextStream *packetLog);
    ~CliSession();

    // Runs `job` to its end. The records it hands over go to `table` when given, which then is finished as the
    // download ended (complete, or why not).
    JobResult Run(const Job &job, Measurement *table = nullptr);
    // The clock the session runs on (a virtual one with --virtual-time).
    Clock &GetClock() const { return m_host.GetClock(); }
    // The archive that sees every record of the jobs from now on; kept for the session's life.
    void SetArchive(std::shared_ptr<DownloadArchive> archive);

  private:
    std::shared_ptr<DownloadArchive> m_archive; // outlives the host, which hands it records
    SessionHost m_host;
    SessionClient m_client;
};
