#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The web view's accounts, kept in a file of their own: one "NAME:HASH" line each, HASH an Argon2id string
// (libsodium's crypto_pwhash_str, memory-hard), never a password. The file is replaced in one step and is
// readable by its owner only.
class WebAccounts {
  public:
    explicit WebAccounts(QString path);

    const QString &Path() const { return m_path; }
    // Reads the file; a missing file has no accounts. False with *error (Korean) when it cannot be read or
    // holds a line that is not an account.
    bool Load(QString *error);
    bool Save(QString *error) const;

    int Count() const { return int(m_accounts.size()); }
    bool Contains(const QString &name) const;
    // Letters, digits, '.', '_' and '-', 1 to 32 of them.
    static bool ValidName(const QString &name);

    // Sets an account's password (adding the account); false with *error when it cannot be hashed.
    bool SetPassword(const QString &name, const QByteArray &password, QString *error);
    bool Remove(const QString &name);
    // True when the name has an account with this password. An unknown name costs the same hashing, so the
    // time taken does not tell which names exist.
    bool Verify(const QString &name, const QByteArray &password) const;

  private:
    QString m_path;
    QList<QPair<QString, QByteArray>> m_accounts; // name, hash
};
