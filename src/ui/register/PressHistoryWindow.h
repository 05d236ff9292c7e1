#pragma once

#include "ArchiveLocation.h"
#include "PressHistoryPdf.h"
#include "PressTrendPainter.h"

#include <QDialog>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

// The trend of a press's checks on screen (PaintPressTrend).
class PressTrendWidget : public QWidget {
  public:
    explicit PressTrendWidget(QWidget *parent = nullptr);
    void SetTrend(PressTrend trend);

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    PressTrend m_trend;
};

// One press's history: its register data, the trend of its checks, the capability over its latest 10 checks
// (red when Cpk is below 1.33), the checks, and "PDF 저장" of the same for an auditor.
class PressHistoryWindow : public QDialog {
    Q_OBJECT
  public:
    PressHistoryWindow(ArchiveLocation location, QString pressId, PressClassLimits stationLimits,
                       std::function<qint64()> now, QWidget *parent = nullptr);

    const std::optional<PressHistory> &History() const { return m_history; }
    // Writes the history PDF; false with the reason shown.
    bool SavePdf(const QString &path);

  signals:
    void Loaded();

  private:
    void Show(const PressHistory &history);

    std::optional<PressHistory> m_history;
    QLabel *m_summary;
    PressTrendWidget *m_trend;
    QLabel *m_capability;
    QTableWidget *m_checks;
    QPushButton *m_pdf;
};
