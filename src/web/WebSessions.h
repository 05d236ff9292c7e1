#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <optional>

// Logged-in sessions: each is a random 256-bit token handed to the browser in a cookie; the server keeps only
// the token's hash, the account and when the session ends.
class WebSessions {
  public:
    explicit WebSessions(qint64 lifetimeSeconds) : m_lifetime(lifetimeSeconds) {}

    qint64 Lifetime() const { return m_lifetime; }
    // A new session's token (URL-safe text).
    QByteArray Begin(const QString &user, qint64 now);
    // The account of a token whose session has not ended.
    std::optional<QString> UserOf(const QByteArray &token, qint64 now);
    void End(const QByteArray &token);

  private:
    struct Session {
        QString user;
        qint64 endsAt = 0;
    };
    void DropEnded(qint64 now);

    const qint64 m_lifetime;
    QMutex m_mutex;
    QHash<QByteArray, Session> m_sessions; // by the token's hash
};

// Failed logins from one address make it wait: after a few free tries, each further failure doubles the
// wait, up to a ceiling. A good login clears the count.
class LoginThrottle {
  public:
    static constexpr int kFreeFailures = 3;
    static constexpr qint64 kLongestWaitSeconds = 300;

    // Seconds the address must still wait before its next try is heard (0: now).
    qint64 WaitSeconds(const QString &address, qint64 now);
    void Failed(const QString &address, qint64 now);
    void Succeeded(const QString &address);

  private:
    struct Failures {
        int count = 0;
        qint64 until = 0;
    };
    QMutex m_mutex;
    QHash<QString, Failures> m_failures;
};
