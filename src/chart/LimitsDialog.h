#pragma once

#include "PressClassLimits.h"

#include <QDialog>

#include <array>

class QLineEdit;

// "판정 기준": the force range in tons of each press class, LOW and HIGH; both empty leaves a class unjudged.
// OK checks every row (numbers with at most one decimal, LOW < HIGH, 0 to 700 t) and stays open on a fault.
class LimitsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit LimitsDialog(const PressClassLimits &limits, QWidget *parent = nullptr);

    const PressClassLimits &Limits() const { return m_limits; }
    QLineEdit *LowEdit(int pressClass) const { return m_low[pressClass]; }
    QLineEdit *HighEdit(int pressClass) const { return m_high[pressClass]; }
    // The fault that kept the dialog open, empty when none.
    const QString &LastError() const { return m_error; }

    void accept() override;

  private:
    PressClassLimits m_limits;
    std::array<QLineEdit *, kPressClassCount> m_low{};
    std::array<QLineEdit *, kPressClassCount> m_high{};
    QString m_error;
};
