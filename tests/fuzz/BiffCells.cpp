#include "BiffCells.h"

#include <QList>
#include <QtEndian>

namespace {

enum : quint16 { kBof = 0x0809, kEof = 0x000A, kSst = 0x00FC, kContinue = 0x003C, kLabelSst = 0x00FD };

// Reads through the SST record and its CONTINUE records as one sequence of pieces.
class PieceReader {
  public:
    explicit PieceReader(const QList<QByteArray> &pieces) : m_pieces(pieces) {}

    bool AtPieceEnd() const { return m_at >= m_pieces[m_piece].size(); }
    bool NextPiece()
    {
        if (m_piece + 1 >= m_pieces.size())
            return false;
        ++m_piece;
        m_at = 0;
        return true;
    }
    qsizetype LeftInPiece() const { return m_pieces[m_piece].size() - m_at; }

    // A fixed-size field, which never straddles two pieces.
    std::optional<quint32> Field(int bytes)
    {
        if (LeftInPiece() < bytes)
            return std::nullopt;
        quint32 v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= quint32(uchar(m_pieces[m_piece][m_at + i])) << (8 * i);
        m_at += bytes;
        return v;
    }
    // Bytes that may run on into the next pieces (rich-text runs, extended data).
    bool Skip(qsizetype bytes)
    {
        while (bytes > 0) {
            if (AtPieceEnd() && !NextPiece())
                return false;
            const qsizetype n = std::min(bytes, LeftInPiece());
            m_at += n;
            bytes -= n;
        }
        return true;
    }
    std::optional<QString> Chars(int count, bool wide)
    {
        QString out;
        while (out.size() < count) {
            if (AtPieceEnd()) {
                // The string goes on in the next CONTINUE, which opens with its character-size flag.
                if (!NextPiece())
                    return std::nullopt;
                const std::optional<quint32> flag = Field(1);
                if (!flag)
                    return std::nullopt;
                wide = *flag & 1;
            }
            const int size = wide ? 2 : 1;
            const qsizetype n = std::min<qsizetype>(count - out.size(), LeftInPiece() / size);
            if (n == 0)
                return std::nullopt;
            const char *p = m_pieces[m_piece].constData() + m_at;
            for (qsizetype i = 0; i < n; ++i)
                out.append(wide ? QChar(qFromLittleEndian<quint16>(p + 2 * i)) : QChar(uchar(p[i])));
            m_at += n * size;
        }
        return out;
    }

  private:
    const QList<QByteArray> &m_pieces;
    qsizetype m_piece = 0;
    qsizetype m_at = 0;
};

std::optional<QList<QString>> ReadSharedStrings(const QList<QByteArray> &pieces)
{
    PieceReader r(pieces);
    const auto total = r.Field(4);
    const auto unique = r.Field(4);
    if (!total || !unique || *unique > *total)
        return std::nullopt;
    QList<QString> strings;
    for (quint32 i = 0; i < *unique; ++i) {
        if (r.AtPieceEnd() && !r.NextPiece())
            return std::nullopt;
        const auto count = r.Field(2);
        const auto flags = r.Field(1);
        if (!count || !flags)
            return std::nullopt;
        std::optional<quint32> runs = quint32(0), extra = quint32(0);
        if (*flags & 0x08)
            runs = r.Field(2);
        if (*flags & 0x04)
            extra = r.Field(4);
        if (!runs || !extra)
            return std::nullopt;
        const std::optional<QString> text = r.Chars(int(*count), *flags & 1);
        if (!text || !r.Skip(qsizetype(*runs) * 4 + *extra))
            return std::nullopt;
        strings.append(*text);
    }
    return strings;
}

} // namespace

std::optional<BiffCellTexts> ReadBiffCellTexts(const QByteArray &stream)
{
    QList<QByteArray> sst;
    QList<QPair<QPair<int, int>, quint32>> cells;
    int substreams = 0;
    quint16 previous = 0;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 id = qFromLittleEndian<quint16>(stream.constData() + at);
        const quint16 length = qFromLittleEndian<quint16>(stream.constData() + at + 2);
        if (at + 4 + length > stream.size())
            return std::nullopt;
        const QByteArray body = stream.mid(at + 4, length);
        at += 4 + length;
        if (id == kBof) {
            ++substreams;
        } else if (id == kSst) {
            if (!sst.isEmpty())
                return std::nullopt;
            sst.append(body);
        } else if (id == kContinue && (previous == kSst || previous == kContinue) && !sst.isEmpty()) {
            sst.append(body);
            continue;
        } else if (id == kLabelSst && substreams == 2) {
            if (length != 10)
                return std::nullopt;
            cells.append(
                {{qFromLittleEndian<quint16>(body.constData()), qFromLittleEndian<quint16>(body.constData() + 2)},
                 qFromLittleEndian<quint32>(body.constData() + 6)});
        } else if (id == kEof && substreams == 2) {
            break; // what follows the sheet's end is padding
        }
        previous = id;
    }
    if (substreams != 2)
        return std::nullopt;
    QList<QString> strings;
    if (!sst.isEmpty()) {
        const auto read = ReadSharedStrings(sst);
        if (!read)
            return std::nullopt;
        strings = *read;
    }
    BiffCellTexts texts;
    for (const auto &[where, index] : cells) {
        if (index >= quint32(strings.size()) || texts.contains(where))
            return std::nullopt;
        texts.insert(where, strings[index]);
    }
    return texts;
}
