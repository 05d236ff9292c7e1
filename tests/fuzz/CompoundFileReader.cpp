#include "CompoundFileReader.h"

#include <QtEndian>

#include <vector>

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFree = 0xFFFFFFFF;

quint16 U16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 U32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

class Reader {
  public:
    explicit Reader(const QByteArray &file) : m_file(file) {}

    bool ReadHeader()
    {
        if (m_file.size() < 512 || !m_file.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")))
            return false;
        const int sectorShift = U16(m_file, 30);
        const int miniShift = U16(m_file, 32);
        if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6)
            return false;
        m_sectorSize = 1 << sectorShift;
        m_miniSize = 1 << miniShift;
        m_firstDirectory = U32(m_file, 48);
        m_miniCutoff = U32(m_file, 56);
        m_firstMiniFat = U32(m_file, 60);
        const quint32 fatSectors = U32(m_file, 44);
        // Only the 109 table sectors named in the header; the writer's files never need more.
        if (fatSectors > 109 || U32(m_file, 72) != 0)
            return false;
        for (quint32 i = 0; i < fatSectors; ++i) {
            const std::optional<QByteArray> sector = Sector(U32(m_file, 76 + 4 * i));
            if (!sector)
                return false;
            for (int at = 0; at < m_sectorSize; at += 4)
                m_fat.push_back(U32(*sector, at));
        }
        return true;
    }

    // The bytes of a regular-sector chain, cut to size when size is given.
    std::optional<QByteArray> Chain(quint32 first, std::optional<quint32> size) const
    {
        QByteArray out;
        for (quint32 s = first; s != kEndOfChain; s = m_fat[s]) {
            if (s >= m_fat.size() || out.size() > m_file.size())
                return std::nullopt;
            const std::optional<QByteArray> sector = Sector(s);
            if (!sector)
                return std::nullopt;
            out.append(*sector);
        }
        if (size) {
            if (*size > out.size())
                return std::nullopt;
            out.truncate(*size);
        }
        return out;
    }

    std::optional<QByteArray> Stream(const QString &name) const
    {
        const std::optional<QByteArray> directory = Chain(m_firstDirectory, std::nullopt);
        if (!directory || directory->size() < 128)
            return std::nullopt;
        const quint32 miniStreamStart = U32(*directory, 116);
        const quint32 miniStreamSize = U32(*directory, 120);
        for (qsizetype at = 128; at + 128 <= directory->size(); at += 128) {
            const int nameBytes = U16(*directory, at + 64);
            const int type = static_cast<uchar>(directory->at(at + 66));
            if (type != 2 || nameBytes < 2 || nameBytes > 64)
                continue;
            const QString entryName =
                QString::fromUtf16(reinterpret_cast<const char16_t *>(directory->constData() + at), nameBytes / 2 - 1);
            if (entryName.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const quint32 start = U32(*directory, at + 116);
            const quint32 size = U32(*directory, at + 120);
            if (size >= m_miniCutoff)
                return Chain(start, size);
            return MiniChain(start, size, miniStreamStart, miniStreamSize);
        }
        return std::nullopt;
    }

  private:
    std::optional<QByteArray> Sector(quint32 index) const
    {
        const qsizetype at = qsizetype(index + 1) * m_sectorSize;
        if (index >= kFree - 16 || at + m_sectorSize > m_file.size())
            return std::nullopt;
        return m_file.mid(at, m_sectorSize);
    }

    std::optional<QByteArray> MiniChain(quint32 first, quint32 size, quint32 miniStart, quint32 miniSize) const
    {
        const std::optional<QByteArray> miniStream = Chain(miniStart, miniSize);
        const std::optional<QByteArray> miniFatBytes = Chain(m_firstMiniFat, std::nullopt);
        if (!miniStream || !miniFatBytes)
            return std::nullopt;
        QByteArray out;
        for (quint32 s = first; s != kEndOfChain && out.size() < size;) {
            const qsizetype at = qsizetype(s) * m_miniSize;
            if (at + m_miniSize > miniStream->size() || 4 * qsizetype(s) + 4 > miniFatBytes->size())
                return std::nullopt;
            out.append(miniStream->mid(at, m_miniSize));
            s = U32(*miniFatBytes, 4 * s);
        }
        if (out.size() < size)
            return std::nullopt;
        out.truncate(size);
        return out;
    }

    const QByteArray &m_file;
    int m_sectorSize = 512;
    int m_miniSize = 64;
    quint32 m_firstDirectory = 0;
    quint32 m_miniCutoff = 4096;
    quint32 m_firstMiniFat = kEndOfChain;
    std::vector<quint32> m_fat;
};

} // namespace

std::optional<QByteArray> ReadCompoundStream(const QByteArray &file, const QString &streamName)
{
    Reader reader(file);
    if (!reader.ReadHeader())
        return std::nullopt;
    return reader.Stream(streamName);
}
