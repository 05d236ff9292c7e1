#pragma once

#include "ChartSeries.h"

#include <QChart>
#include <QImage>

#include <array>
#include <optional>

class QAbstractAxis;
class QAreaSeries;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// The Qt chart of the records: built from ChartSeriesData, so that the window, the PDF report and the
// command line's PNG draw the same picture. Records that arrive later are added with Update(), which hands
// each series its whole point list in one step (a per-point append redraws the series once per point).
class RecordChart : public QChart {
    Q_OBJECT
  public:
    enum class Look { Screen, Paper }; // dark for the window, light for reports

    explicit RecordChart(Look look = Look::Screen);

    // Rebuilds every series and fits the axes to the data.
    void SetData(const ChartSeriesData &data);
    // The same data with more points (or other ticks, limits): replaces the series' points; keeps the
    // operator's zoom unless the axes still show the fitted range.
    void Update(const ChartSeriesData &data);
    // Back to the range that shows every point and band ("원래 크기").
    void ResetZoom();
    bool IsZoomed() const { return m_zoomed; }
    // The operator zoomed or panned: Update() no longer refits the axes.
    void MarkZoomed() { m_zoomed = true; }

    // Lays the chart out at once, as the event loop would before its next frame (for pictures taken off
    // screen).
    void LayOutNow();

    const ChartSeriesData &Data() const { return m_data; }
    QRectF FittedRange() const { return m_fitted; }
    QRectF ShownRange() const;

    // The chart alone as a picture of the given size (for the command line's PNG).
    static QImage Render(const ChartSeriesData &data, QSize size, Look look = Look::Paper);
    // Draws the chart, laid out at `layoutSize`, into `target` of any painter (a PDF page keeps it as vectors).
    static void Paint(const ChartSeriesData &data, QPainter *painter, const QRectF &target, QSizeF layoutSize,
                      Look look = Look::Paper);

    static QColor SettingColor(int seriesIndex);

  private:
    void BuildAxes(MeasurementMode mode);
    void BuildSeries();
    void FillSeries();
    void Fit();
    void Attach(QAbstractSeries *series);
    // Hands the series the points of the shown range, one a couple of screen pixels: tens of thousands of
    // overlapping markers would cost far more to draw and show nothing more.
    void ShowPoints();
    void OnRangeChanged();
    static QList<QPointF> Thinned(const QList<QPointF> &points, const QRectF &range, QSizeF plot);
    QLineSeries *HorizontalLine(double y, double x1, double x2);
    QLineSeries *AddMarkers(const QString &name, const QColor &fill, const QPen &pen, qreal size);

    Look m_look;
    ChartSeriesData m_data;
    QRectF m_fitted;
    bool m_zoomed = false;
    bool m_thinQueued = false;
    QAbstractAxis *m_xAxis = nullptr;
    QValueAxis *m_yAxis = nullptr;
    std::array<QLineSeries *, kSettingSeriesCount> m_ticked{};
    std::array<QLineSeries *, kSettingSeriesCount> m_unticked{};
    QLineSeries *m_failing = nullptr;
    QLineSeries *m_points = nullptr;
    QList<QAbstractSeries *> m_rangeSeries; // bands and summary lines, rebuilt with their data
};
