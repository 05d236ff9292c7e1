#include "WebAccounts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<QByteArray> Hash(const QByteArray &password)
{
    char hash[crypto_pwhash_STRBYTES];
    if (!SodiumReady() ||
        crypto_pwhash_str(hash, password.constData(), quint64(password.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return std::nullopt;
    return QByteArray(hash);
}

// A hash no password is checked against with success, for names that have no account.
const QByteArray &UnknownNameHash()
{
    static const QByteArray hash = Hash(QByteArray::number(qint64(randombytes_random()))).value_or(QByteArray());
    return hash;
}

bool CheckHash(const QByteArray &hash, const QByteArray &password)
{
    return SodiumReady() && !hash.isEmpty() &&
           crypto_pwhash_str_verify(hash.constData(), password.constData(), quint64(password.size())) == 0;
}

} // namespace

WebAccounts::WebAccounts(QString path) : m_path(std::move(path)) {}

bool WebAccounts::ValidName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]{1,32}$"));
    return pattern.match(name).hasMatch();
}

bool WebAccounts::Load(QString *error)
{
    m_accounts.clear();
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("계정 파일을 읽을 수 없습니다: %1 (%2)").arg(m_path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        ++lineNumber;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        const QString name = QString::fromUtf8(line.left(colon));
        const QByteArray hash = line.mid(colon + 1);
        if (colon < 0 || !ValidName(name) || !hash.startsWith("$argon2id$") || Contains(name)) {
            *error = QStringLiteral("계정 파일 %1의 %2번째 줄이 계정이 아닙니다").arg(m_path).arg(lineNumber);
            m_accounts.clear();
            return false;
        }
        m_accounts.append({name, hash});
    }
    return true;
}

bool WebAccounts::Save(QString *error) const
{
    QByteArray text;
    for (const auto &[name, hash] : m_accounts)
        text += name.toUtf8() + ':' + hash + '\n';
    // A new file of the owner's only, written whole and on the disk before it takes the old one's place.
    const QByteArray target = QFile::encodeName(m_path);
    const QByteArray temporary = target + ".new";
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    qsizetype written = 0;
    while (ok && written < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + written, size_t(text.size() - written));
        ok = n > 0 || (n < 0 && errno == EINTR);
        written += n > 0 ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (fd >= 0)
        ::close(fd);
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok) {
        *error = QStringLiteral("계정 파일을 쓸 수 없습니다: %1 (%2)")
                     .arg(m_path, QString::fromLocal8Bit(std::strerror(errno ? errno : savedErrno)));
        ::unlink(temporary.constData());
    }
    return ok;
}

bool WebAccounts::Contains(const QString &name) const
{
    for (const auto &account : m_accounts)
        if (account.first == name)
            return true;
    return false;
}

bool WebAccounts::SetPassword(const QString &name, const QByteArray &password, QString *error)
{
    const std::optional<QByteArray> hash = Hash(password);
    if (!hash) {
        *error = QStringLiteral("암호를 처리할 수 없습니다 (메모리 부족)");
        return false;
    }
    for (auto &account : m_accounts)
        if (account.first == name) {
            account.second = *hash;
            return true;
        }
    m_accounts.append({name, *hash});
    return true;
}

bool WebAccounts::Remove(const QString &name)
{
    for (qsizetype i = 0; i < m_accounts.size(); ++i)
        if (m_accounts[i].first == name) {
            m_accounts.removeAt(i);
            return true;
        }
    return false;
}

bool WebAccounts::Verify(const QString &name, const QByteArray &password) const
{
    for (const auto &[accountName, hash] : m_accounts)
        if (accountName == name)
            return CheckHash(hash, password);
    CheckHash(UnknownNameHash(), password);
    return false;
}
