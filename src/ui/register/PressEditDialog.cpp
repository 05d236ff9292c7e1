#include "PressEditDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

PressEditDialog::PressEditDialog(const std::optional<Press> &press, QWidget *parent)
    : QDialog(parent), m_editing(press.has_value()), m_id(new QLineEdit(this)), m_name(new QLineEdit(this)),
      m_location(new QLineEdit(this)), m_class(new QComboBox(this)), m_interval(new QSpinBox(this)),
      m_ownRange(new QCheckBox(QStringLiteral("설비 자체 범위 (없으면 등급 기준)"), this)), m_low(new QLineEdit(this)),
      m_high(new QLineEdit(this)), m_problem(new QLabel(this))
{
    setWindowTitle(m_editing ? QStringLiteral("설비 수정") : QStringLiteral("설비 추가"));
    m_id->setObjectName(QStringLiteral("pressId"));
    m_name->setObjectName(QStringLiteral("pressName"));
    m_location->setObjectName(QStringLiteral("pressLocation"));
    m_low->setObjectName(QStringLiteral("rangeLow"));
    m_high->setObjectName(QStringLiteral("rangeHigh"));
    m_id->setMaxLength(Press::kMaxIdLength);
    m_id->setPlaceholderText(QStringLiteral("예: P-07"));
    for (int pressClass = 0; pressClass < kPressClassCount; ++pressClass)
        m_class->addItem(PressClassLimits::ClassName(pressClass));
    m_interval->setRange(1, 3650);
    m_interval->setSuffix(QStringLiteral(" 일"));
    m_interval->setValue(Press::kDefaultIntervalDays);
    m_low->setPlaceholderText(QStringLiteral("하한 (톤)"));
    m_high->setPlaceholderText(QStringLiteral("상한 (톤)"));
    m_problem->setStyleSheet(QStringLiteral("color: #e05050"));
    m_problem->setWordWrap(true);
    if (press) {
        m_id->setText(press->id);
        m_id->setReadOnly(true);
        m_name->setText(press->name);
        m_location->setText(press->location);
        m_class->setCurrentIndex(press->pressClass);
        m_interval->setValue(press->intervalDays);
        m_inService = press->inService;
        if (press->range) {
            m_ownRange->setChecked(true);
            m_low->setText(QString::number(press->range->Low(), 'f', 1));
            m_high->setText(QString::number(press->range->High(), 'f', 1));
        }
    }
    m_low->setEnabled(m_ownRange->isChecked());
    m_high->setEnabled(m_ownRange->isChecked());
    connect(m_ownRange, &QCheckBox::toggled, m_low, &QWidget::setEnabled);
    connect(m_ownRange, &QCheckBox::toggled, m_high, &QWidget::setEnabled);

    auto *range = new QHBoxLayout;
    range->addWidget(m_low);
    range->addWidget(new QLabel(QStringLiteral("~"), this));
    range->addWidget(m_high);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("설비 번호"), m_id);
    form->addRow(QStringLiteral("설비 이름"), m_name);
    form->addRow(QStringLiteral("위치 / 라인"), m_location);
    form->addRow(QStringLiteral("등급"), m_class);
    form->addRow(QStringLiteral("점검 주기"), m_interval);
    form->addRow(m_ownRange);
    form->addRow(QStringLiteral("판정 범위"), range);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("확인"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    (m_editing ? m_name : m_id)->setFocus();
}

std::optional<Press> PressEditDialog::EnteredPress(QString *problem) const
{
    Press press;
    press.id = m_id->text().trimmed();
    press.name = m_name->text().trimmed();
    press.location = m_location->text().trimmed();
    press.pressClass = m_class->currentIndex();
    press.intervalDays = m_interval->value();
    press.inService = m_inService;
    if (m_ownRange->isChecked()) {
        press.range = PressClassLimits::ParseRange(m_low->text(), m_high->text(), problem);
        if (!press.range) {
            if (problem->isEmpty())
                *problem = QStringLiteral("판정 범위의 하한과 상한을 입력하세요");
            return std::nullopt;
        }
    }
    *problem = press.Problem();
    if (!problem->isEmpty())
        return std::nullopt;
    return press;
}

void PressEditDialog::accept()
{
    QString problem;
    if (!EnteredPress(&problem)) {
        m_problem->setText(problem);
        return;
    }
    QDialog::accept();
}
