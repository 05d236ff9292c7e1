#pragma once

// The 56-colour palette of a workbook. Colours the sheet uses that the standard palette lacks take the
// places of standard colours nobody uses; past 56 distinct colours the nearest entry stands in.

#include <QByteArray>
#include <QHash>

#include <array>

namespace xls {

class XlsPalette {
  public:
    static constexpr int kFirstIndex = 8; // indexes 0..7 are fixed; the palette is 8..63
    static constexpr int kSize = 56;

    XlsPalette();

    // Registers a colour (0x00BBGGRR) before the indexes are assigned.
    void Use(int rgb) { m_wanted.insert(rgb & 0xFFFFFF, 0); }
    // Assigns an index to every registered colour.
    void Assign();
    // Index of a registered colour (after Assign).
    int IndexOf(int rgb) const;
    // The PALETTE record body.
    QByteArray RecordBody() const;

  private:
    std::array<int, kSize> m_colors;
    QHash<int, int> m_wanted; // colour -> index
};

} // namespace xls
