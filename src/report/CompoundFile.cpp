#include "CompoundFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace xls {

namespace {

// Owns one reference of a GObject.
template <typename T> struct GRef {
    T *p = nullptr;
    explicit GRef(T *ptr) : p(ptr) {}
    ~GRef()
    {
        if (p)
            g_object_unref(p);
    }
    GRef(const GRef &) = delete;
    GRef &operator=(const GRef &) = delete;
};

QByteArray BuildContainer(const char *streamName, const QByteArray &stream, QString *error)
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });

    GRef<GsfOutput> memory(gsf_output_memory_new());
    GRef<GsfOutfile> container(gsf_outfile_msole_new(memory.p));
    if (!container.p) {
        *error = QStringLiteral("복합 문서를 만들 수 없습니다.");
        return {};
    }
    bool ok = true;
    {
        GRef<GsfOutput> child(gsf_outfile_new_child(container.p, streamName, FALSE));
        ok = child.p && gsf_output_write(child.p, static_cast<size_t>(stream.size()),
                                         reinterpret_cast<const guint8 *>(stream.constData()));
        if (child.p)
            ok = gsf_output_close(child.p) && ok;
    }
    ok = gsf_output_close(GSF_OUTPUT(container.p)) && ok;
    if (!ok) {
        *error = QStringLiteral("복합 문서를 쓰는 중 오류가 났습니다.");
        return {};
    }
    const GsfOutputMemory *mem = GSF_OUTPUT_MEMORY(memory.p);
    const guint8 *bytes = gsf_output_memory_get_bytes(const_cast<GsfOutputMemory *>(mem));
    return QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(gsf_output_size(memory.p)));
}

} // namespace

bool WriteCompoundFile(const QString &path, const char *streamName, const QByteArray &stream, QString *error)
{
    QString reason;
    const QByteArray bytes = BuildContainer(streamName, stream, &reason);
    if (bytes.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // commit() does not notice a flush that failed (a full disk), so the flush is checked on its own.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        if (error)
            *error = QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)")
                         .arg(QFileInfo(path).absoluteFilePath(), file.errorString());
        return false;
    }
    return true;
}

} // namespace xls
