#include "LimitsDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

LimitsDialog::LimitsDialog(const PressClassLimits &limits, QWidget *parent) : QDialog(parent), m_limits(limits)
{
    setWindowTitle(QStringLiteral("판정 기준"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("측정 압력 설정 값")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("하한 (톤)")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("상한 (톤)")), 0, 2);
    for (int c = 0; c < kPressClassCount; ++c) {
        m_low[c] = new QLineEdit;
        m_high[c] = new QLineEdit;
        if (const auto &range = limits.Range(c)) {
            m_low[c]->setText(QString::number(range->Low(), 'f', 1));
            m_high[c]->setText(QString::number(range->High(), 'f', 1));
        }
        grid->addWidget(new QLabel(PressClassLimits::ClassName(c)), c + 1, 0);
        grid->addWidget(m_low[c], c + 1, 1);
        grid->addWidget(m_high[c], c + 1, 2);
    }
    auto *note = new QLabel(QStringLiteral("0 ~ 700 톤, 소수점 아래 한 자리까지. 두 칸을 비우면 판정하지 않습니다."));
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("확인"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LimitsDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

void LimitsDialog::accept()
{
    PressClassLimits limits;
    for (int c = 0; c < kPressClassCount; ++c) {
        const QString low = m_low[c]->text().trimmed(), high = m_high[c]->text().trimmed();
        if (low.isEmpty() && high.isEmpty())
            continue;
        QString error;
        const std::optional<ForceRange> range = PressClassLimits::ParseRange(low, high, &error);
        if (!range) {
            m_error = QStringLiteral("%1: %2").arg(PressClassLimits::ClassName(c), error);
            (low.isEmpty() || error.startsWith(QStringLiteral("하한")) ? m_low[c] : m_high[c])->setFocus();
            QMessageBox::warning(this, windowTitle(), m_error);
            return;
        }
        limits.SetRange(c, range);
    }
    m_error.clear();
    m_limits = limits;
    QDialog::accept();
}
