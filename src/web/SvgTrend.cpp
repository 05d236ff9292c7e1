#include "SvgTrend.h"

#include "LocalTime.h"
#include "SvgDrawing.h"

namespace {

using svg_drawing::kHeight;
using svg_drawing::kLeft;
using svg_drawing::kRight;
using svg_drawing::kWidth;
using svg_drawing::Number;
using svg_drawing::Text;

const char *const kMeanColour = "#2f7fd8";
const char *const kFailColour = "#d22";

} // namespace

QString SvgPressTrend(const QList<PressCheck> &checks, const std::optional<ForceRange> &range)
{
    const QString title = QStringLiteral("점검 평균 (톤)");
    svg_drawing::Scale scale;
    for (const PressCheck &c : checks) {
        scale.Add(double(c.measuredAt), c.statistics.minimum);
        scale.AddY(c.statistics.maximum);
    }
    QString svg = svg_drawing::Open(title);
    if (scale.Empty())
        return svg + Text(kWidth / 2, kHeight / 2, QStringLiteral("점검 없음"), "middle") + QStringLiteral("</svg>");
    if (range)
        scale.AddY(range->Low()), scale.AddY(range->High());
    scale.Pad();
    const double first = scale.minX, last = scale.maxX;
    // Checks at the ends stand clear of the axes.
    const double margin = (scale.maxX - scale.minX) * 0.04;
    scale.minX -= margin, scale.maxX += margin;
    if (range)
        svg += svg_drawing::Band(scale, *range, kMeanColour);
    svg += svg_drawing::Axes(scale, title);
    const auto day = [](double at) { return LocalDateOf(qint64(at)).toString(QStringLiteral("yyyy-MM-dd")); };
    svg += Text(kLeft, kHeight - 12, day(first));
    svg += Text(kWidth - kRight, kHeight - 12, day(last), "end");
    for (const PressCheck &c : checks) {
        const QString x = Number(scale.X(double(c.measuredAt)));
        const char *colour = c.verdict == Verdict::Fail ? kFailColour : kMeanColour;
        svg += QStringLiteral("<path d=\"M%1 %2 V%3\" stroke=\"%4\"/>")
                   .arg(x, Number(scale.Y(c.statistics.minimum)), Number(scale.Y(c.statistics.maximum)),
                        QLatin1String(colour));
        svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"3.5\" fill=\"%3\"><title>%4</title></circle>")
                   .arg(x, Number(scale.Y(c.statistics.mean)), QLatin1String(colour),
                        web_text::Html(QStringLiteral("%1: 평균 %2 톤 %3")
                                           .arg(FormatLocalTime(c.measuredAt))
                                           .arg(c.statistics.mean, 0, 'f', 2)
                                           .arg(VerdictText(c.verdict))));
    }
    return svg + QStringLiteral("</svg>");
}
