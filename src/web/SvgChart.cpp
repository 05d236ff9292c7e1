#include "SvgChart.h"

#include "WebText.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

namespace {

constexpr double kWidth = 760, kHeight = 280;
constexpr double kLeft = 60, kRight = 20, kTop = 16, kBottom = 36;
const char *const kSeriesColours[] = {"#2f7fd8", "#1a9a50", "#c77d12", "#7a5bbf"};

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

QString Number(double value)
{
    return QString::number(value, 'f', 1);
}

QString Text(double x, double y, const QString &text, const char *anchor = "start")
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\" fill=\"#333\" text-anchor=\"%3\">%4</text>")
        .arg(Number(x), Number(y), QLatin1String(anchor), web_text::Html(text));
}

} // namespace

QString SvgChart(const ChartSeriesData &data)
{
    const bool memory = data.mode == MeasurementMode::Memory;
    Scale scale;
    for (const SettingSeries &series : data.settings)
        for (const QList<QPointF> *points : {&series.ticked, &series.unticked})
            for (const QPointF &p : *points)
                scale.Add(p.x(), p.y());
    for (const QPointF &p : data.points)
        scale.Add(p.x(), p.y());
    QString svg = QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" "
                                 "role=\"img\" aria-label=\"%3\">")
                      .arg(kWidth)
                      .arg(kHeight)
                      .arg(web_text::Html(data.YTitle()));
    if (scale.Empty())
        return svg + Text(kWidth / 2, kHeight / 2, QStringLiteral("기록 없음"), "middle") + QStringLiteral("</svg>");
    for (const LimitBand &band : data.bands)
        scale.AddY(band.range.High()), scale.AddY(band.range.Low());
    for (const SummaryLine &line : data.summaryLines)
        scale.AddY(line.value);
    scale.Pad();

    for (const LimitBand &band : data.bands)
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" fill-opacity=\"0.12\"/>")
                   .arg(Number(kLeft), Number(scale.Y(band.range.High())), Number(kWidth - kLeft - kRight),
                        Number(scale.Y(band.range.Low()) - scale.Y(band.range.High())),
                        QLatin1String(kSeriesColours[band.pressClass % 4]));
    svg += QStringLiteral("<path d=\"M%1 %2 V%3 H%4\" stroke=\"#666\" fill=\"none\"/>")
               .arg(Number(kLeft), Number(kTop), Number(kHeight - kBottom), Number(kWidth - kRight));
    svg += Text(kLeft - 6, scale.Y(scale.maxY) + 4, Number(scale.maxY), "end");
    svg += Text(kLeft - 6, scale.Y(scale.minY), Number(scale.minY), "end");
    svg += Text(4, kTop - 4, data.YTitle());
    auto xLabel = [&](double x) {
        return memory ? QDateTime::fromMSecsSinceEpoch(qint64(x)).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                      : QString::number(qint64(x));
    };
    svg += Text(kLeft, kHeight - 12, xLabel(scale.minX));
    svg += Text(kWidth - kRight, kHeight - 12, xLabel(scale.maxX), "end");

    if (memory) {
        for (size_t i = 0; i < data.settings.size(); ++i)
            for (const QPointF &p : data.settings[i].ticked + data.settings[i].unticked)
                svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"2.5\" fill=\"%3\"/>")
                           .arg(Number(scale.X(p.x())), Number(scale.Y(p.y())), QLatin1String(kSeriesColours[i]));
        for (const QPointF &p : data.failing)
            svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"4.5\" fill=\"none\" stroke=\"#d22\"/>")
                       .arg(Number(scale.X(p.x())), Number(scale.Y(p.y())));
    } else {
        QStringList points;
        for (const QPointF &p : data.points)
            points << Number(scale.X(p.x())) + QLatin1Char(',') + Number(scale.Y(p.y()));
        svg += QStringLiteral("<polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"1.2\"/>")
                   .arg(points.join(QLatin1Char(' ')), QLatin1String(kSeriesColours[0]));
        for (const SummaryLine &line : data.summaryLines)
            svg += QStringLiteral("<path d=\"M%1 %2 H%3\" stroke=\"#999\" stroke-dasharray=\"4 3\"/>")
                       .arg(Number(kLeft), Number(scale.Y(line.value)), Number(kWidth - kRight)) +
                   Text(kWidth - kRight - 4, scale.Y(line.value) - 3, line.name + QLatin1Char(' ') + Number(line.value),
                        "end");
    }
    return svg + QStringLiteral("</svg>");
}
