#include "WebSessions.h"

#include <QCryptographicHash>

#include <sodium.h>

namespace {

constexpr int kTokenBytes = 32;
constexpr qsizetype kMostAddresses = 100000; // beyond this, addresses no longer waiting are forgotten

QByteArray TokenHash(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

} // namespace

QByteArray WebSessions::Begin(const QString &user, qint64 now)
{
    QByteArray random(kTokenBytes, Qt::Uninitialized);
    randombytes_buf(random.data(), size_t(random.size()));
    const QByteArray token = random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    QMutexLocker lock(&m_mutex);
    DropEnded(now);
    m_sessions.insert(TokenHash(token), {user, now + m_lifetime});
    return token;
}

std::optional<QString> WebSessions::UserOf(const QByteArray &token, qint64 now)
{
    if (token.isEmpty())
        return std::nullopt;
    QMutexLocker lock(&m_mutex);
    const auto found = m_sessions.constFind(TokenHash(token));
    if (found == m_sessions.constEnd() || found->endsAt <= now)
        return std::nullopt;
    return found->user;
}

void WebSessions::End(const QByteArray &token)
{
    QMutexLocker lock(&m_mutex);
    m_sessions.remove(TokenHash(token));
}

void WebSessions::DropEnded(qint64 now)
{
    m_sessions.removeIf([now](const auto &entry) { return entry.value().endsAt <= now; });
}

qint64 LoginThrottle::WaitSeconds(const QString &address, qint64 now)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_failures.constFind(address);
    return found == m_failures.constEnd() ? 0 : std::max<qint64>(0, found->until - now);
}

void LoginThrottle::Failed(const QString &address, qint64 now)
{
    QMutexLocker lock(&m_mutex);
    if (m_failures.size() >= kMostAddresses)
        m_failures.removeIf([now](const auto &entry) { return entry.value().until <= now; });
    Failures &failures = m_failures[address];
    ++failures.count;
    if (failures.count > kFreeFailures) {
        const int doublings = std::min(failures.count - kFreeFailures - 1, 16);
        failures.until = now + std::min<qint64>(kLongestWaitSeconds, qint64(1) << doublings);
    }
}

void LoginThrottle::Succeeded(const QString &address)
{
    QMutexLocker lock(&m_mutex);
    m_failures.remove(address);
}
