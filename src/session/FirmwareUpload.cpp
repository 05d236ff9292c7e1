#include "FirmwareUpload.h"

#include "CFt260.h"
#include "Clock.h"
#include "JobContext.h"
#include "RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace Firmware {

bool IsValidImage(const QByteArray &image)
{
    return image.size() >= kHeaderSize && uint8_t(image[0]) == 0x33 && uint8_t(image[1]) == 0x55;
}

LoadedFile LoadFile(const QString &path)
{
    LoadedFile loaded;
    QFile file(path);
    if (!RegularFile::OpenForReading(file))
        return loaded;
    if (!file.isSequential() && file.size() > kMaxFileSize) {
        loaded.status = LoadedFile::TooLarge;
        return loaded;
    }
    // Read at most one byte past the limit, so that a file that tells no true size (those below /proc)
    // cannot make the console read without end.
    QByteArray bytes = file.read(kMaxFileSize + 1);
    if (bytes.isEmpty() || (!file.isSequential() && bytes.size() != file.size()))
        return loaded;
    if (bytes.size() > kMaxFileSize) {
        loaded.status = LoadedFile::TooLarge;
        return loaded;
    }
    loaded.status = IsValidImage(bytes) ? LoadedFile::Valid : LoadedFile::Invalid;
    if (loaded.status == LoadedFile::Valid)
        loaded.image = std::move(bytes);
    return loaded;
}

int DataPercent(quint32 sent, quint32 size)
{
    return 20 + static_cast<int>(std::floor(80.0 * double(sent) / double(size)));
}

QString DataCaption(quint32 sent, quint32 size)
{
    const int percent = DataPercent(sent, size);
    const double done = 100.0 * double(sent) / double(size);
    return percent < 100 ? QString::asprintf("%d%% -  데이터 업로드 중(%.1f%%)...", percent, done)
                         : QString::asprintf("%d%% -  데이터 업로드 완료(%.1f%%)...", percent, done);
}

Job UploadJob(const QByteArray &image)
{
    Job job;
    job.kind = Job::Firmware;
    job.run = [image](JobContext &context) {
        Uploader uploader(context.Link(), context.GetClock(),
                          [&context](int position, const QString &caption) { context.Progress(position, caption); });
        context.Result().status = uploader.Run(image);
    };
    return job;
}

Uploader::Uploader(CFt260 &link, Clock &clock, Progress progress)
    : m_link(link), m_clock(clock), m_progress(std::move(progress))
{
}

void Uploader::Step(int position, const QString &caption, int pauseMilliseconds)
{
    m_progress(position, caption);
    if (pauseMilliseconds > 0)
        m_clock.Sleep(pauseMilliseconds);
}

QString Uploader::Run(const QByteArray &image)
{
    if (image.isEmpty())
        return QStringLiteral("파일 내용 없음");
    const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
    const auto size = static_cast<quint32>(image.size());
    uint8_t answer[CFt260::kResponseAreaSize] = {};

    Step(5, QStringLiteral("5% - 펌웨어 업데이트 요청"), 100);
    const uint8_t request = 0x00;
    if (m_link.Transact(CMD_FW_REQUEST, &request, 1, answer) < 0)
        return QStringLiteral("펌웨어 업데이트 요청 실패 %1").arg(m_link.GetResultText());

    Step(10, QStringLiteral("10% - 펌웨어 업데이트 요청 완료"), 300);
    Step(15, QStringLiteral("15% - 펌웨어 헤더 전송"), 300);
    if (m_link.TransactLong(CMD_FW_HEADER, bytes, kHeaderSize, answer) < 0)
        return QStringLiteral("펌웨어 헤더 전송 실패 %1").arg(m_link.GetResultText());
    Step(20, QStringLiteral("20% - 펌웨어 헤더 전송 완료"), 300);
    if (answer[0] != 0)
        return QStringLiteral("펌웨어 파일 Head 값 에러");

    quint32 offset = kHeaderSize;
    while (offset < size) {
        m_clock.Sleep(100);
        const int n = static_cast<int>(std::min<quint32>(kBlockSize, size - offset));
        // A block that did not arrive must not count as sent: the instrument would miss part of its image.
        if (m_link.TransactLong(CMD_FW_DATA, bytes + offset, n, answer) < 0)
            return QStringLiteral("펌웨어 데이터 전송 실패 %1").arg(m_link.GetResultText());
        if (answer[0] == 1)
            return QStringLiteral("펌웨어 파일 업로드 CRC 에러");
        offset += n;
        Step(DataPercent(offset, size), DataCaption(offset, size), 0);
    }
    return QStringLiteral("펌웨어 업데이트 완료");
}

} // namespace Firmware
