#include "XlsPalette.h"

#include "GridTypes.h"

#include <QtEndian>

#include <QList>

#include <algorithm>
#include <limits>

namespace xls {

namespace {

// Excel's standard palette, 0xRRGGBB as it is usually written, indexes 8..63.
constexpr std::array<int, XlsPalette::kSize> kStandard = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

int Distance(int a, int b)
{
    const int dr = grid::RedOf(a) - grid::RedOf(b);
    const int dg = grid::GreenOf(a) - grid::GreenOf(b);
    const int db = grid::BlueOf(a) - grid::BlueOf(b);
    return dr * dr + dg * dg + db * db;
}

} // namespace

XlsPalette::XlsPalette()
{
    for (int i = 0; i < kSize; ++i)
        m_colors[i] = grid::Rgb(kStandard[i] >> 16, kStandard[i] >> 8, kStandard[i]);
}

void XlsPalette::Assign()
{
    std::array<bool, kSize> taken{};
    QList<int> missing;
    for (auto it = m_wanted.begin(); it != m_wanted.end(); ++it) {
        const int at = static_cast<int>(std::find(m_colors.begin(), m_colors.end(), it.key()) - m_colors.begin());
        if (at < kSize) {
            taken[at] = true;
            it.value() = kFirstIndex + at;
        } else {
            missing.append(it.key());
        }
    }
    std::sort(missing.begin(), missing.end()); // the same sheet always gives the same palette
    int free = 0;
    for (int rgb : missing) {
        while (free < kSize && taken[free])
            ++free;
        if (free < kSize) {
            m_colors[free] = rgb;
            taken[free] = true;
            m_wanted[rgb] = kFirstIndex + free;
        }
    }
    for (int rgb : missing) {
        if (m_wanted[rgb] != 0)
            continue;
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (int i = 0; i < kSize; ++i) {
            if (const int d = Distance(rgb, m_colors[i]); d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        m_wanted[rgb] = kFirstIndex + best;
    }
}

int XlsPalette::IndexOf(int rgb) const
{
    return m_wanted.value(rgb & 0xFFFFFF, kFirstIndex);
}

QByteArray XlsPalette::RecordBody() const
{
    QByteArray body(2 + 4 * kSize, '\0');
    qToLittleEndian<quint16>(kSize, body.data());
    for (int i = 0; i < kSize; ++i) {
        char *p = body.data() + 2 + 4 * i;
        p[0] = static_cast<char>(grid::RedOf(m_colors[i]));
        p[1] = static_cast<char>(grid::GreenOf(m_colors[i]));
        p[2] = static_cast<char>(grid::BlueOf(m_colors[i]));
    }
    return body;
}

} // namespace xls
