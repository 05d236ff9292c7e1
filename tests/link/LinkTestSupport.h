#pragma once

#include "DeviceDiscovery.h"
#include "LinkOwner.h"
#include "PacketLogSink.h"

#include <QByteArray>
#include <QList>

// Discovery that lists whatever the test puts in it.
struct ListedDiscovery : DeviceDiscovery {
    QList<HidInterfaceInfo> interfaces;
    int enumerations = 0;
    QList<HidInterfaceInfo> EnumerateHidInterfaces() override
    {
        ++enumerations;
        return interfaces;
    }
    void Bridge(const QString &path) { interfaces = {{path, 0x0403, 0x6030}}; }
};

// An owner that keeps every logged packet as "W:hex" / "R:hex".
struct LoggingOwner : LinkOwner, PacketLogSink {
    QStringList packets;
    bool logWindowOpen = true;
    PacketLogSink *PacketLog() override { return logWindowOpen ? this : nullptr; }
    void AddPacket(int direction, const uint8_t *bytes, int count) override
    {
        packets << QString(direction == Written ? "W:" : "R:") +
                       QByteArray(reinterpret_cast<const char *>(bytes), count).toHex(' ');
    }
    void AddStoredRecordRow(int, const uint8_t *) override {}
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override {}
};

inline QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
