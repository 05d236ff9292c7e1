#include "PressTrendPainter.h"

#include "LocalTime.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

struct TrendColors {
    QColor back, axis, text, band, pass, fail, none, line;
};

TrendColors ColorsOf(TrendLook look)
{
    if (look == TrendLook::Paper)
        return {Qt::white,          QColor(90, 90, 90),  Qt::black,          QColor(0, 150, 60, 45),
                QColor(0, 120, 40), QColor(200, 30, 20), QColor(90, 90, 90), QColor(40, 80, 160)};
    return {QColor(30, 32, 36),   QColor(150, 150, 150), QColor(220, 220, 220), QColor(60, 200, 110, 55),
            QColor(80, 210, 120), QColor(240, 80, 70),   QColor(170, 170, 170), QColor(110, 160, 240)};
}

// A step of 1, 2 or 5 times a power of ten that gives about `count` ticks over span.
double NiceStep(double span, int count)
{
    const double raw = span / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10 * power;
}

} // namespace

void PaintPressTrend(QPainter &p, const QRectF &area, const PressTrend &trend, TrendLook look)
{
    const TrendColors colors = ColorsOf(look);
    p.save();
    p.fillRect(area, colors.back);
    p.setPen(colors.text);
    if (trend.checks.isEmpty()) {
        p.drawText(area, Qt::AlignCenter, QStringLiteral("점검 기록이 없습니다"));
        p.restore();
        return;
    }
    QList<PressCheck> checks = trend.checks;
    std::sort(checks.begin(), checks.end(),
              [](const PressCheck &a, const PressCheck &b) { return a.measuredAt < b.measuredAt; });
    double low = checks.first().statistics.minimum, high = checks.first().statistics.maximum;
    for (const PressCheck &c : checks) {
        low = std::min(low, c.statistics.minimum);
        high = std::max(high, c.statistics.maximum);
    }
    if (trend.range) {
        low = std::min(low, trend.range->Low());
        high = std::max(high, trend.range->High());
    }
    const double pad = std::max(0.5, (high - low) * 0.1);
    low -= pad;
    high += pad;
    qint64 first = checks.first().measuredAt, last = checks.last().measuredAt;
    if (last - first < 86400) { // one day at least, the checks in its middle
        first -= 43200;
        last += 43200;
    }
    const qint64 timePad = (last - first) / 20;
    first -= timePad;
    last += timePad;

    const QFontMetricsF metrics(p.font(), p.device());
    const qreal lineHeight = metrics.height();
    const QRectF plot = area.adjusted(metrics.horizontalAdvance(QStringLiteral("000.0 톤")) + lineHeight,
                                      lineHeight * 0.8, -lineHeight, -lineHeight * 2);
    const auto x = [&](qint64 t) { return plot.left() + plot.width() * double(t - first) / double(last - first); };
    const auto y = [&](double tons) { return plot.bottom() - plot.height() * (tons - low) / (high - low); };

    if (trend.range)
        p.fillRect(QRectF(QPointF(plot.left(), y(trend.range->High())), QPointF(plot.right(), y(trend.range->Low()))),
                   colors.band);
    // The value axis: ticks with their tons, faint lines across.
    const double step = NiceStep(high - low, 6);
    QColor grid = colors.axis;
    grid.setAlpha(60);
    for (double v = std::ceil(low / step) * step; v <= high; v += step) {
        p.setPen(grid);
        p.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
        p.setPen(colors.text);
        p.drawText(QRectF(area.left(), y(v) - lineHeight / 2, plot.left() - area.left() - lineHeight / 3, lineHeight),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 톤").arg(v, 0, 'f', step < 1 ? 1 : 0));
    }
    p.setPen(colors.axis);
    p.drawRect(plot);
    // The time axis: the first, middle and last local days.
    p.setPen(colors.text);
    for (const qint64 t : {first + timePad, (first + last) / 2, last - timePad}) {
        const QString day = LocalDateOf(t).toString(QStringLiteral("yyyy-MM-dd"));
        const qreal width = metrics.horizontalAdvance(day);
        const qreal left = std::clamp(x(t) - width / 2, plot.left(), plot.right() - width);
        p.drawText(QRectF(left, plot.bottom() + lineHeight * 0.3, width + 2, lineHeight), Qt::AlignLeft, day);
    }

    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath means;
    for (int i = 0; i < checks.size(); ++i) {
        const QPointF point(x(checks[i].measuredAt), y(checks[i].statistics.mean));
        i == 0 ? means.moveTo(point) : means.lineTo(point);
    }
    p.setPen(QPen(colors.line, std::max(1.0, lineHeight / 12)));
    p.drawPath(means);
    const qreal cap = std::max(3.0, std::min(lineHeight / 2, plot.width() / (checks.size() * 3.0)));
    for (const PressCheck &c : checks) {
        const QColor color = c.verdict == Verdict::Pass   ? colors.pass
                             : c.verdict == Verdict::Fail ? colors.fail
                                                          : colors.none;
        const qreal cx = x(c.measuredAt);
        p.setPen(QPen(color, std::max(1.0, lineHeight / 10)));
        p.drawLine(QPointF(cx, y(c.statistics.minimum)), QPointF(cx, y(c.statistics.maximum)));
        p.drawLine(QPointF(cx - cap / 2, y(c.statistics.minimum)), QPointF(cx + cap / 2, y(c.statistics.minimum)));
        p.drawLine(QPointF(cx - cap / 2, y(c.statistics.maximum)), QPointF(cx + cap / 2, y(c.statistics.maximum)));
        p.setBrush(color);
        p.drawEllipse(QPointF(cx, y(c.statistics.mean)), cap / 2, cap / 2);
    }
    p.restore();
}
