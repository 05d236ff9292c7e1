#include "AnsiText.h"

#include <cerrno>
#include <iconv.h>

namespace {
// One iconv conversion of a whole buffer. With `lenient`, undecodable input bytes become U+FFFD
// (decoding); otherwise any failure fails the conversion (encoding).
std::optional<QByteArray> Convert(const char *to, const char *from, const QByteArray &input, bool lenient)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out;
    out.resize(input.size() * 4 + 16);
    char *in = const_cast<char *>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char *outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    bool ok = true;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (!lenient || (errno != EILSEQ && errno != EINVAL) || outLeft < 3) {
            ok = false;
            break;
        }
        // Replace one undecodable byte with U+FFFD (UTF-8 EF BF BD) and go on after it.
        *outPtr++ = '\xEF';
        *outPtr++ = '\xBF';
        *outPtr++ = '\xBD';
        outLeft -= 3;
        ++in;
        --inLeft;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}
} // namespace

QString DecodeAnsi(const uint8_t *bytes, int length)
{
    int n = 0;
    while (n < length && bytes[n] != 0)
        ++n;
    const QByteArray raw(reinterpret_cast<const char *>(bytes), n);
    const auto utf8 = Convert("UTF-8", "CP949", raw, true);
    return utf8 ? QString::fromUtf8(*utf8) : QString::fromLatin1(raw);
}

std::optional<QByteArray> EncodeAnsi(const QString &text)
{
    return Convert("CP949", "UTF-8", text.toUtf8(), false);
}
