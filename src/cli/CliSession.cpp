#include "CliSession.h"

#include "DownloadArchive.h"
#include "DownloadProgress.h"
#include "Measurement.h"
#include "PacketLogEntry.h"

#include <QEventLoop>

CliSession::CliSession(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, QTextStream *packetLog)
    : m_host(device, discovery, clock), m_client(m_host)
{
    if (!packetLog)
        return;
    QObject::connect(&m_host, &SessionHost::packetsArrived, &m_host, [packetLog](const PacketBatch &packets) {
        for (const PacketEntry &packet : packets)
            *packetLog << FormatPacketLogEntry(packet.direction,
                                               reinterpret_cast<const uint8_t *>(packet.bytes.constData()),
                                               int(packet.bytes.size()), packet.time)
                       << Qt::endl;
    });
}

CliSession::~CliSession()
{
    m_host.Shutdown();
}

JobResult CliSession::Run(const Job &job, Measurement *table)
{
    QEventLoop loop;
    JobResult result;
    DownloadProgress download;
    if (table)
        download.Begin(*table, table->Mode());
    QObject::connect(&m_client, &SessionClient::recordsArrived, &loop, [&](const RecordBatch &batch) {
        if (table)
            download.Receive(batch, *table);
    });
    if (m_client.Submit(job, [&](const JobResult &finished) {
            result = finished;
            loop.quit();
        }) != 0)
        loop.exec();
    download.Finish(result.code, result.damaged, !result.nothingSent);
    return result;
}

void CliSession::SetArchive(std::shared_ptr<DownloadArchive> archive)
{
    m_archive = std::move(archive);
    m_host.SetRecordObserver(m_archive.get());
}
