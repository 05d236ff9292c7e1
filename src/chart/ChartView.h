#pragma once

#include <QChartView>

class RecordChart;

// The chart's view: the wheel zooms around the pointer, dragging with the left button pans.
class ChartView : public QChartView {
    Q_OBJECT
  public:
    explicit ChartView(RecordChart *chart, QWidget *parent = nullptr);

  protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    RecordChart *m_chart;
    bool m_panning = false;
    QPoint m_lastPos;
};
