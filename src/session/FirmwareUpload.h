#pragma once

#include "SessionTypes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class CFt260;
class Clock;

// Firmware images and their upload to the instrument, without any widget.
//
// An image file starts with the two header bytes 0x33 0x55 ("3U"); the rest is its body. The upload
// sends an update request, the header in a long frame, then the body in long-frame blocks of at most
// 1024 bytes. The instrument checks the image itself and reports a bad header or a block checksum
// error in its one-byte answers.
namespace Firmware {

constexpr int kHeaderSize = 2;
constexpr int kBlockSize = 1024;
// Larger files are refused rather than read whole: no instrument image comes near this size.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

bool IsValidImage(const QByteArray &image);

struct LoadedFile {
    enum Status {
        Unreadable, // cannot be opened, no regular file, or nothing could be read
        TooLarge,
        Invalid, // too short or without the signature
        Valid,
    };
    Status status = Unreadable;
    QByteArray image; // the whole file when Valid
};

LoadedFile LoadFile(const QString &path);

// The progress caption after `sent` of `size` image bytes have gone (the header counts as sent).
int DataPercent(quint32 sent, quint32 size);
QString DataCaption(quint32 sent, quint32 size);

// The upload as a session job: its result's status is the outcome for the status line. The job owns its
// copy of the image.
Job UploadJob(const QByteArray &image);

// Runs one upload, blocking, and tells every progress step as it happens.
class Uploader {
  public:
    using Progress = std::function<void(int position, const QString &caption)>;

    Uploader(CFt260 &link, Clock &clock, Progress progress);

    // The outcome for the status line.
    QString Run(const QByteArray &image);

  private:
    void Step(int position, const QString &caption, int pauseMilliseconds);

    CFt260 &m_link;
    Clock &m_clock;
    Progress m_progress;
};

} // namespace Firmware
