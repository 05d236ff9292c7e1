#include "ChartView.h"

#include "RecordChart.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace {
constexpr qreal kWheelZoom = 1.25; // one wheel step
} // namespace

ChartView::ChartView(RecordChart *chart, QWidget *parent) : QChartView(chart, parent), m_chart(chart)
{
    setRenderHint(QPainter::Antialiasing);
    setDragMode(QGraphicsView::NoDrag);
    setCursor(Qt::OpenHandCursor);
}

void ChartView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    const QRectF area = m_chart->plotArea();
    const QPointF at = m_chart->mapFromScene(mapToScene(event->position().toPoint()));
    if (steps == 0 || !area.contains(at)) {
        event->ignore();
        return;
    }
    const qreal factor = std::pow(kWheelZoom, steps);
    // The point under the pointer stays where it is.
    const QRectF zoomed(at.x() - (at.x() - area.left()) / factor, at.y() - (at.y() - area.top()) / factor,
                        area.width() / factor, area.height() / factor);
    m_chart->zoomIn(zoomed);
    m_chart->MarkZoomed();
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    m_panning = true;
    m_lastPos = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void ChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_panning) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const QPoint delta = pos - m_lastPos;
    m_lastPos = pos;
    if (delta.isNull())
        return;
    m_chart->scroll(-delta.x(), delta.y());
    m_chart->MarkZoomed();
    event->accept();
}

void ChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_panning) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    m_panning = false;
    setCursor(Qt::OpenHandCursor);
    event->accept();
}
