#pragma once

#include "PressClassLimits.h"
#include "WebText.h"

#include <QString>

#include <algorithm>
#include <limits>

// What the server-drawn charts share: the drawing's size and margins, a scale from values to its
// coordinates, numbers and labels (no style attributes, so that the page's strict content policy lets them show).
namespace svg_drawing {

inline constexpr double kWidth = 760, kHeight = 280;
inline constexpr double kLeft = 60, kRight = 20, kTop = 16, kBottom = 36;
inline const char *const kSeriesColours[] = {"#2f7fd8", "#1a9a50", "#c77d12", "#7a5bbf"};

struct Scale {
    double minX = std::numeric_limits<double>::max(), maxX = std::numeric_limits<double>::lowest();
    double minY = std::numeric_limits<double>::max(), maxY = std::numeric_limits<double>::lowest();

    void Add(double x, double y)
    {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    void AddY(double y) { minY = std::min(minY, y), maxY = std::max(maxY, y); }
    bool Empty() const { return minX > maxX; }
    void Pad()
    {
        if (maxX <= minX)
            maxX = minX + 1;
        if (maxY <= minY)
            maxY = minY + 1;
        const double margin = (maxY - minY) * 0.05;
        minY = std::max(0.0, minY - margin);
        maxY += margin;
    }
    double X(double x) const { return kLeft + (x - minX) / (maxX - minX) * (kWidth - kLeft - kRight); }
    double Y(double y) const { return kHeight - kBottom - (y - minY) / (maxY - minY) * (kHeight - kTop - kBottom); }
};

inline QString Number(double value)
{
    return QString::number(value, 'f', 1);
}

inline QString Text(double x, double y, const QString &text, const char *anchor = "start")
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\" fill=\"#333\" text-anchor=\"%3\">%4</text>")
        .arg(Number(x), Number(y), QLatin1String(anchor), web_text::Html(text));
}

// The opening of a chart's drawing, labelled for screen readers.
inline QString Open(const QString &label)
{
    return QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" "
                          "role=\"img\" aria-label=\"%3\">")
        .arg(kWidth)
        .arg(kHeight)
        .arg(web_text::Html(label));
}

// A range of values across the whole drawing, lightly filled.
inline QString Band(const Scale &scale, const ForceRange &range, const char *colour)
{
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" fill-opacity=\"0.12\"/>")
        .arg(Number(kLeft), Number(scale.Y(range.High())), Number(kWidth - kLeft - kRight),
             Number(scale.Y(range.Low()) - scale.Y(range.High())), QLatin1String(colour));
}

// The axes with the value axis' ends, and its title beside its top, clear of the end's number.
inline QString Axes(const Scale &scale, const QString &title)
{
    return QStringLiteral("<path d=\"M%1 %2 V%3 H%4\" stroke=\"#666\" fill=\"none\"/>")
               .arg(Number(kLeft), Number(kTop), Number(kHeight - kBottom), Number(kWidth - kRight)) +
           Text(kLeft - 6, scale.Y(scale.maxY) + 4, Number(scale.maxY), "end") +
           Text(kLeft - 6, scale.Y(scale.minY), Number(scale.minY), "end") + Text(kLeft + 6, kTop - 4, title);
}

} // namespace svg_drawing
