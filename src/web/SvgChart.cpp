#include "SvgChart.h"

#include "SvgDrawing.h"
#include "WebText.h"

#include <QDateTime>

namespace {

using svg_drawing::kHeight;
using svg_drawing::kLeft;
using svg_drawing::kRight;
using svg_drawing::kSeriesColours;
using svg_drawing::kWidth;
using svg_drawing::Number;
using svg_drawing::Scale;
using svg_drawing::Text;

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
    QString svg = svg_drawing::Open(data.YTitle());
    if (scale.Empty())
        return svg + Text(kWidth / 2, kHeight / 2, QStringLiteral("기록 없음"), "middle") + QStringLiteral("</svg>");
    for (const LimitBand &band : data.bands)
        scale.AddY(band.range.High()), scale.AddY(band.range.Low());
    for (const SummaryLine &line : data.summaryLines)
        scale.AddY(line.value);
    scale.Pad();

    for (const LimitBand &band : data.bands)
        svg += svg_drawing::Band(scale, band.range, kSeriesColours[band.pressClass % 4]);
    svg += svg_drawing::Axes(scale, data.YTitle());
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
