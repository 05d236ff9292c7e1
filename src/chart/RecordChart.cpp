#include "RecordChart.h"

#include <QAreaSeries>
#include <QCoreApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kTickedMarker = 9.0;
constexpr qreal kUntickedMarker = 6.0;
constexpr qreal kFailMarker = 15.0;
constexpr int kUntickedAlpha = 90;
constexpr int kBandAlpha = 55;
const QColor kFailColor(255, 80, 70);
const QColor kSummaryColors[] = {QColor(255, 215, 0), QColor(120, 200, 255), QColor(255, 130, 170)};

// Bounds of points as corners: QRectF's own union drops a rectangle of no width and height, which is what
// a single point is.
struct Extent {
    bool empty = true;
    double left = 0, right = 0, bottom = 0, top = 0; // top: the largest value

    void Add(double x, double y)
    {
        left = empty ? x : std::min(left, x);
        right = empty ? x : std::max(right, x);
        bottom = empty ? y : std::min(bottom, y);
        top = empty ? y : std::max(top, y);
        empty = false;
    }
    void Add(const QList<QPointF> &points)
    {
        for (const QPointF &p : points)
            Add(p.x(), p.y());
    }
    void AddY(double y)
    {
        if (!empty)
            Add(left, y);
    }
};

QScatterSeries *Markers(const QString &name, const QColor &color, qreal size)
{
    auto *series = new QScatterSeries;
    series->setName(name);
    series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series->setMarkerSize(size);
    series->setColor(color);
    series->setBorderColor(color.darker(140));
    return series;
}

} // namespace

RecordChart::RecordChart(Look look) : m_look(look)
{
    setTheme(look == Look::Screen ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    setAnimationOptions(QChart::NoAnimation);
    legend()->setAlignment(Qt::AlignBottom);
    QFont font = this->font();
    font.setFamilies({QStringLiteral("Noto Sans CJK KR"), QStringLiteral("NanumGothic"), font.family()});
    setFont(font);
    legend()->setFont(font);
}

QColor RecordChart::SettingColor(int seriesIndex)
{
    static const QColor colors[kSettingSeriesCount] = {QColor(79, 163, 255), QColor(255, 176, 0), QColor(199, 125, 255),
                                                       QColor(160, 160, 160)};
    return colors[std::clamp(seriesIndex, 0, kSettingSeriesCount - 1)];
}

void RecordChart::Attach(QAbstractSeries *series)
{
    addSeries(series);
    series->attachAxis(m_xAxis);
    series->attachAxis(m_yAxis);
}

void RecordChart::BuildAxes(ChartMode mode)
{
    for (QAbstractAxis *axis : axes()) {
        removeAxis(axis);
        delete axis;
    }
    if (mode == ChartMode::Memory) {
        auto *time = new QDateTimeAxis;
        time->setFormat(QStringLiteral("MM-dd HH:mm"));
        time->setTickCount(6);
        m_xAxis = time;
    } else {
        auto *number = new QValueAxis;
        number->setLabelFormat(QStringLiteral("%d"));
        m_xAxis = number;
    }
    m_yAxis = new QValueAxis;
    m_yAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_xAxis->setTitleText(m_data.XTitle());
    m_yAxis->setTitleText(m_data.YTitle());
    addAxis(m_xAxis, Qt::AlignBottom);
    addAxis(m_yAxis, Qt::AlignLeft);
}

QLineSeries *RecordChart::HorizontalLine(double y, double x1, double x2)
{
    auto *line = new QLineSeries;
    line->append(x1, y);
    line->append(x2, y);
    return line;
}

void RecordChart::BuildSeries()
{
    removeAllSeries();
    m_ticked.fill(nullptr);
    m_unticked.fill(nullptr);
    m_failing = nullptr;
    m_points = nullptr;
    m_rangeSeries.clear();
    BuildAxes(m_data.mode);
    if (m_data.mode == ChartMode::Memory) {
        for (int i = 0; i < kSettingSeriesCount; ++i) {
            const QColor color = SettingColor(i);
            QColor faint = color;
            faint.setAlpha(kUntickedAlpha);
            m_unticked[i] = Markers(m_data.settings[i].name + QStringLiteral(" (미선택)"), faint, kUntickedMarker);
            m_unticked[i]->setBorderColor(Qt::transparent);
            m_ticked[i] = Markers(m_data.settings[i].name, color, kTickedMarker);
            Attach(m_unticked[i]);
            Attach(m_ticked[i]);
        }
        m_failing = Markers(QStringLiteral("불합격"), Qt::transparent, kFailMarker);
        m_failing->setPen(QPen(kFailColor, 2.5));
        Attach(m_failing);
    } else {
        m_points = Markers(QStringLiteral("측정 압력 값"), SettingColor(0), kUntickedMarker);
        Attach(m_points);
    }
    FillSeries();
}

void RecordChart::FillSeries()
{
    Extent bounds;
    if (m_data.mode == ChartMode::Memory) {
        for (int i = 0; i < kSettingSeriesCount; ++i) {
            const SettingSeries &s = m_data.settings[i];
            m_ticked[i]->replace(s.ticked);
            m_unticked[i]->replace(s.unticked);
            bounds.Add(s.ticked);
            bounds.Add(s.unticked);
            // A series without points stays out of the legend.
            for (QLegendMarker *marker : legend()->markers(m_ticked[i]))
                marker->setVisible(!s.ticked.isEmpty());
            for (QLegendMarker *marker : legend()->markers(m_unticked[i]))
                marker->setVisible(!s.unticked.isEmpty());
        }
        m_failing->replace(m_data.failing);
        for (QLegendMarker *marker : legend()->markers(m_failing))
            marker->setVisible(!m_data.failing.isEmpty());
    } else {
        m_points->replace(m_data.points);
        bounds.Add(m_data.points);
    }

    for (QAbstractSeries *series : std::as_const(m_rangeSeries)) {
        removeSeries(series);
        delete series;
    }
    m_rangeSeries.clear();
    if (bounds.empty) {
        m_fitted = QRectF();
        return;
    }
    // Bands and lines reach well beyond the data, so that panning does not run off their ends.
    const double span = std::max(bounds.right - bounds.left, 1.0);
    const double x1 = bounds.left - 1000 * span, x2 = bounds.right + 1000 * span;
    for (const LimitBand &band : std::as_const(m_data.bands)) {
        bounds.AddY(band.range.Low());
        bounds.AddY(band.range.High());
        QLineSeries *upper = HorizontalLine(band.range.High(), x1, x2),
                    *lower = HorizontalLine(band.range.Low(), x1, x2);
        auto *area = new QAreaSeries(upper, lower);
        upper->setParent(area); // the area does not own its edges
        lower->setParent(area);
        area->setName(
            QStringLiteral("%1 기준 %2").arg(PressClassLimits::ClassName(band.pressClass), band.range.DisplayText()));
        QColor color = SettingColor(band.pressClass);
        color.setAlpha(kBandAlpha);
        area->setBrush(color);
        area->setPen(QPen(SettingColor(band.pressClass), 1.0, Qt::DashLine));
        m_rangeSeries.append(area);
    }
    for (int i = 0; i < m_data.summaryLines.size(); ++i) {
        const SummaryLine &summary = m_data.summaryLines[i];
        bounds.AddY(summary.value);
        QLineSeries *line = HorizontalLine(summary.value, x1, x2);
        line->setName(QStringLiteral("%1 %2 KN").arg(summary.name, QString::number(summary.value, 'f', 1)));
        line->setPen(QPen(kSummaryColors[i % 3], 2.0, Qt::DashLine));
        m_rangeSeries.append(line);
    }
    for (QAbstractSeries *series : std::as_const(m_rangeSeries)) {
        addSeries(series);
        series->attachAxis(m_xAxis);
        series->attachAxis(m_yAxis);
    }
    // A margin around the points; a single point or a flat run still gets an area to stand in.
    const double width = bounds.right - bounds.left, height = bounds.top - bounds.bottom;
    const double padX = width > 0 ? width * 0.03 : (m_data.mode == ChartMode::Memory ? 60000.0 : 1.0);
    const double padY = height > 0 ? height * 0.08 : 1.0;
    m_fitted =
        QRectF(QPointF(bounds.left - padX, bounds.bottom - padY), QPointF(bounds.right + padX, bounds.top + padY));
    if (m_data.mode == ChartMode::Output)
        m_fitted.setLeft(std::max(m_fitted.left(), 0.0));
    m_fitted.setTop(std::max(m_fitted.top(), 0.0));
}

QRectF RecordChart::ShownRange() const
{
    if (auto *time = qobject_cast<QDateTimeAxis *>(m_xAxis))
        return QRectF(QPointF(time->min().toMSecsSinceEpoch(), m_yAxis->min()),
                      QPointF(time->max().toMSecsSinceEpoch(), m_yAxis->max()));
    auto *number = static_cast<QValueAxis *>(m_xAxis);
    return QRectF(QPointF(number->min(), m_yAxis->min()), QPointF(number->max(), m_yAxis->max()));
}

void RecordChart::Fit()
{
    if (m_fitted.isNull() || !m_xAxis)
        return;
    if (auto *time = qobject_cast<QDateTimeAxis *>(m_xAxis))
        time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(m_fitted.left())),
                       QDateTime::fromMSecsSinceEpoch(qint64(m_fitted.right())));
    else
        static_cast<QValueAxis *>(m_xAxis)->setRange(m_fitted.left(), m_fitted.right());
    m_yAxis->setRange(m_fitted.top(), m_fitted.bottom());
    m_yAxis->applyNiceNumbers();
}

void RecordChart::SetData(const ChartSeriesData &data)
{
    m_data = data;
    BuildSeries();
    ResetZoom();
}

void RecordChart::Update(const ChartSeriesData &data)
{
    if (!m_xAxis || data.mode != m_data.mode) {
        SetData(data);
        return;
    }
    m_data = data;
    FillSeries();
    if (!m_zoomed)
        Fit();
}

void RecordChart::ResetZoom()
{
    zoomReset();
    m_zoomed = false;
    Fit();
}

void RecordChart::LayOutNow()
{
    // Axes, labels and legend are placed from posted layout requests; a picture taken before they ran would
    // show bare markers.
    QCoreApplication::sendPostedEvents();
    if (layout())
        layout()->activate();
    QCoreApplication::sendPostedEvents();
}

void RecordChart::Paint(const ChartSeriesData &data, QPainter *painter, const QRectF &target, QSizeF layoutSize,
                        Look look)
{
    QGraphicsScene scene;
    auto *chart = new RecordChart(look);
    scene.addItem(chart);
    chart->resize(layoutSize);
    chart->SetData(data);
    chart->LayOutNow();
    scene.render(painter, target, QRectF(QPointF(0, 0), layoutSize));
}

QImage RecordChart::Render(const ChartSeriesData &data, QSize size, Look look)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(look == Look::Paper ? Qt::white : Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(data, &painter, QRectF(QPointF(0, 0), size), size, look);
    return image;
}
