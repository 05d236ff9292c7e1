#include "ReportFileCache.h"

#include <algorithm>

std::optional<QByteArray> ReportFileCache::Find(const QString &key)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return std::nullopt;
    it->lastUse = ++m_uses;
    return it->bytes;
}

void ReportFileCache::Keep(const QString &key, const QByteArray &bytes)
{
    if (bytes.size() > m_maxBytes)
        return;
    std::lock_guard lock(m_mutex);
    if (const auto old = m_entries.find(key); old != m_entries.end()) {
        m_bytes -= old->bytes.size();
        m_entries.erase(old);
    }
    while (m_bytes + bytes.size() > m_maxBytes && !m_entries.isEmpty()) {
        const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                             [](const Entry &a, const Entry &b) { return a.lastUse < b.lastUse; });
        m_bytes -= oldest->bytes.size();
        m_entries.erase(oldest);
    }
    m_entries.insert(key, {bytes, ++m_uses});
    m_bytes += bytes.size();
}
