#pragma once

#include <QString>

// The packet log on disk: one file an hour below the log directory, one sub-directory a day,
//   <logDir>/2024-01-31/2024-01-31_13_LOG.log
// Every entry opens the file for appending, writes one line ending in LF and closes it again, so the
// file is complete on disk after every entry and other programs may read or remove it in between.
class HourlyLogFile {
  public:
    // logDir: the directory that holds the day directories; a trailing '/' is optional.
    explicit HourlyLogFile(QString logDir);

    // The file that an entry stamped at this time goes to.
    QString PathFor(qint64 secondsSince1970) const;

    // Appends the line. Returns false, quietly, when it cannot be written: a missing or read-only
    // directory, a full disk, or a path that is not a regular file (a named pipe there would otherwise
    // hold the logging exchange until somebody reads it).
    bool Append(const QString &line, qint64 secondsSince1970) const;

  private:
    QString m_logDir;
};
