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
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kTickedMarker = 9.0;
constexpr qreal kUntickedMarker = 6.0;
constexpr qreal kFailMarker = 15.0;
constexpr double kCellPixels = 3.0; // points closer than this on screen are drawn as one
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

// A marker drawn as a picture at every point of a line series whose line is not drawn. Qt Charts paints
// such a series in one go; a scatter series makes a graphics item for each point, which tens of thousands
// of records cannot afford.
QImage MarkerPicture(const QColor &fill, const QPen &pen, qreal size)
{
    const int side = int(std::ceil(size + pen.widthF()));
    QImage picture(side, side, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen);
    painter.setBrush(fill);
    const qreal inset = pen.style() == Qt::NoPen ? 0.0 : pen.widthF() / 2 + 0.5;
    painter.drawEllipse(QRectF(inset, inset, side - 2 * inset, side - 2 * inset));
    return picture;
}

QLineSeries *Markers(const QString &name, const QColor &fill, const QPen &pen, qreal size)
{
    auto *series = new QLineSeries;
    series->setName(name);
    series->setPen(Qt::NoPen);
    series->setPointsVisible(true);
    series->setMarkerSize(size);
    series->setLightMarker(MarkerPicture(fill, pen, size));
    return series;
}

// The legend shows a marker's circle, not the series' invisible line.
void ShowMarkerInLegend(QLegend *legend, QXYSeries *series, const QColor &fill, const QPen &pen)
{
    for (QLegendMarker *marker : legend->markers(series)) {
        marker->setShape(QLegend::MarkerShapeCircle);
        marker->setBrush(fill.alpha() ? QBrush(fill) : QBrush(Qt::NoBrush));
        marker->setPen(pen.style() == Qt::NoPen ? QPen(fill) : pen);
    }
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

void RecordChart::BuildAxes(MeasurementMode mode)
{
    for (QAbstractAxis *axis : axes()) {
        removeAxis(axis);
        delete axis;
    }
    if (mode == MeasurementMode::Memory) {
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
    if (auto *time = qobject_cast<QDateTimeAxis *>(m_xAxis))
        connect(time, &QDateTimeAxis::rangeChanged, this, &RecordChart::OnRangeChanged);
    else
        connect(static_cast<QValueAxis *>(m_xAxis), &QValueAxis::rangeChanged, this, &RecordChart::OnRangeChanged);
    connect(m_yAxis, &QValueAxis::rangeChanged, this, &RecordChart::OnRangeChanged);
}

QLineSeries *RecordChart::AddMarkers(const QString &name, const QColor &fill, const QPen &pen, qreal size)
{
    QLineSeries *series = Markers(name, fill, pen, size);
    Attach(series);
    ShowMarkerInLegend(legend(), series, fill, pen);
    return series;
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
    if (m_data.mode == MeasurementMode::Memory) {
        for (int i = 0; i < kSettingSeriesCount; ++i) {
            const QColor color = SettingColor(i);
            QColor faint = color;
            faint.setAlpha(kUntickedAlpha);
            m_unticked[i] =
                AddMarkers(m_data.settings[i].name + QStringLiteral(" (미선택)"), faint, Qt::NoPen, kUntickedMarker);
            m_ticked[i] = AddMarkers(m_data.settings[i].name, color, QPen(color.darker(140), 1.0), kTickedMarker);
        }
        m_failing = AddMarkers(QStringLiteral("불합격"), Qt::transparent, QPen(kFailColor, 2.5), kFailMarker);
    } else {
        m_points = AddMarkers(QStringLiteral("측정 압력 값"), SettingColor(0), Qt::NoPen, kUntickedMarker);
    }
}

void RecordChart::FillSeries()
{
    Extent bounds;
    if (m_data.mode == MeasurementMode::Memory) {
        for (int i = 0; i < kSettingSeriesCount; ++i) {
            const SettingSeries &s = m_data.settings[i];
            bounds.Add(s.ticked);
            bounds.Add(s.unticked);
            // A series without points stays out of the legend.
            for (QLegendMarker *marker : legend()->markers(m_ticked[i]))
                marker->setVisible(!s.ticked.isEmpty());
            for (QLegendMarker *marker : legend()->markers(m_unticked[i]))
                marker->setVisible(!s.unticked.isEmpty());
        }
        for (QLegendMarker *marker : legend()->markers(m_failing))
            marker->setVisible(!m_data.failing.isEmpty());
    } else {
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
        area->setName(QStringLiteral("%1 기준").arg(PressClassLimits::ClassName(band.pressClass)));
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
    const double padX = width > 0 ? width * 0.03 : (m_data.mode == MeasurementMode::Memory ? 60000.0 : 1.0);
    const double padY = height > 0 ? height * 0.08 : 1.0;
    m_fitted =
        QRectF(QPointF(bounds.left - padX, bounds.bottom - padY), QPointF(bounds.right + padX, bounds.top + padY));
    if (m_data.mode == MeasurementMode::Output)
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

QList<QPointF> RecordChart::Thinned(const QList<QPointF> &points, const QRectF &range, QSizeF plot)
{
    // Cells of kCellPixels square on screen; a marker is several times larger, so one point a cell draws the
    // same picture. Points a marker's width outside the range still show their edge and are kept.
    const int columns = std::max(1, int(plot.width() / kCellPixels));
    const int rows = std::max(1, int(plot.height() / kCellPixels));
    if (points.size() <= columns * 2 || range.width() <= 0 || range.height() <= 0)
        return points;
    const double cellX = range.width() / columns, cellY = range.height() / rows;
    const double marginX = kFailMarker / kCellPixels * cellX, marginY = kFailMarker / kCellPixels * cellY;
    std::vector<bool> taken(size_t(columns + 2) * size_t(rows + 2), false);
    QList<QPointF> kept;
    for (const QPointF &p : points) {
        if (p.x() < range.left() - marginX || p.x() > range.right() + marginX || p.y() < range.top() - marginY ||
            p.y() > range.bottom() + marginY)
            continue;
        const int cx = std::clamp(int((p.x() - range.left()) / cellX) + 1, 0, columns + 1);
        const int cy = std::clamp(int((p.y() - range.top()) / cellY) + 1, 0, rows + 1);
        const size_t cell = size_t(cy) * size_t(columns + 2) + size_t(cx);
        if (taken[cell])
            continue;
        taken[cell] = true;
        kept.append(p);
    }
    return kept;
}

void RecordChart::ShowPoints()
{
    m_thinQueued = false;
    const QRectF range = m_zoomed || m_fitted.isNull() ? ShownRange() : m_fitted;
    const QSizeF plot = plotArea().isEmpty() ? size() : plotArea().size();
    if (m_data.mode == MeasurementMode::Memory) {
        for (int i = 0; i < kSettingSeriesCount; ++i) {
            m_ticked[i]->replace(Thinned(m_data.settings[i].ticked, range, plot));
            m_unticked[i]->replace(Thinned(m_data.settings[i].unticked, range, plot));
        }
        m_failing->replace(Thinned(m_data.failing, range, plot));
    } else {
        m_points->replace(Thinned(m_data.points, range, plot));
    }
}

void RecordChart::OnRangeChanged()
{
    // Zooming and panning change which points share a cell; wheel steps and drags come in bursts.
    if (m_thinQueued)
        return;
    m_thinQueued = true;
    QTimer::singleShot(0, this, &RecordChart::ShowPoints);
}

void RecordChart::Fit()
{
    if (m_fitted.isNull() || !m_xAxis)
        return;
    if (auto *time = qobject_cast<QDateTimeAxis *>(m_xAxis))
        time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(m_fitted.left())),
                       QDateTime::fromMSecsSinceEpoch(qint64(m_fitted.right())));
    else {
        auto *number = static_cast<QValueAxis *>(m_xAxis);
        number->setRange(m_fitted.left(), m_fitted.right());
        number->applyNiceNumbers();
    }
    m_yAxis->setRange(m_fitted.top(), m_fitted.bottom());
    m_yAxis->applyNiceNumbers();
}

void RecordChart::SetData(const ChartSeriesData &data)
{
    m_data = data;
    BuildSeries();
    // The series' chart items are made from posted events; points handed over before they exist would be
    // drawn one graphics item each, not as light markers.
    QCoreApplication::sendPostedEvents();
    FillSeries();
    ResetZoom();
    ShowPoints();
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
    ShowPoints();
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
