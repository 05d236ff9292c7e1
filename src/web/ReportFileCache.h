#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

// Finished report files kept in memory, the least recently used let go beyond a total size, so that a file
// asked for again is not drawn again (a PDF is drawn on the one main thread, one at a time). The key must
// name everything the file is made from.
class ReportFileCache {
  public:
    explicit ReportFileCache(qint64 maxBytes) : m_maxBytes(maxBytes) {}

    std::optional<QByteArray> Find(const QString &key);
    // A file larger than the whole cache is not kept.
    void Keep(const QString &key, const QByteArray &bytes);

  private:
    struct Entry {
        QByteArray bytes;
        quint64 lastUse = 0;
    };
    const qint64 m_maxBytes;
    std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    qint64 m_bytes = 0;
    quint64 m_uses = 0;
};
