#pragma once

// The words pdftotext -bbox finds on each page, with their boxes in points.

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>

// One word of pdftotext's bounding-box output.
struct PdfWord {
    double xMin, yMin, xMax, yMax;
    QString text;
};

struct PdfPage {
    double width = 0, height = 0;
    QList<PdfWord> words;
    // The texts as words of one printed line, left to right (pdftotext lists a table's words column by column).
    bool HasLine(const QStringList &texts) const
    {
        for (const PdfWord &first : words) {
            if (first.text != texts.first())
                continue;
            const PdfWord *previous = &first;
            for (qsizetype k = 1; k < texts.size() && previous; ++k) {
                const auto next = std::find_if(words.begin(), words.end(), [&](const PdfWord &w) {
                    return w.text == texts[k] && std::abs(w.yMin - first.yMin) < 3 && w.xMin > previous->xMin;
                });
                previous = next == words.end() ? nullptr : &*next;
            }
            if (previous)
                return true;
        }
        return false;
    }
    const PdfWord *Find(const QString &text) const
    {
        const auto it = std::find_if(words.begin(), words.end(), [&](const PdfWord &w) { return w.text == text; });
        return it == words.end() ? nullptr : &*it;
    }
};

inline QList<PdfPage> ParsePdfWords(const QString &bbox)
{
    static const QRegularExpression pageRe(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression wordRe(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<PdfPage> pages;
    for (const QString &line : bbox.split(QLatin1Char('\n'))) {
        if (const auto m = pageRe.match(line); m.hasMatch()) {
            pages.append({m.captured(1).toDouble(), m.captured(2).toDouble(), {}});
        } else if (const auto w = wordRe.match(line); w.hasMatch() && !pages.isEmpty()) {
            pages.last().words.append({w.captured(1).toDouble(), w.captured(2).toDouble(), w.captured(3).toDouble(),
                                       w.captured(4).toDouble(), w.captured(5)});
        }
    }
    return pages;
}
