#pragma once

#include <QFont>
#include <QString>

class QPdfWriter;

// What every PDF of the program shares: its fonts and its A4 portrait pages.

// Latin letters and digits in DejaVu Sans, Hangul in Noto Sans CJK KR (both embedded). Digits that follow
// Latin letters ("PF24050117") drawn in the CJK font would lose their text in the PDF: a reader could not
// find or copy them.
QFont PdfFont(bool bold, qreal points);

// A4 portrait with even margins of marginMm, at `resolution` dots per inch, titled, made by Tonvale.
void SetUpPdfPages(QPdfWriter &writer, const QString &title, int resolution, qreal marginMm);
