#include "AssignPressDialog.h"

#include "PressEditDialog.h"
#include "RegisterJobs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The records found in the archive and what the operator must be asked before they are assigned.
struct AssignmentPlan {
    Press press;
    std::vector<RegisterRecord> records;
    AssignmentQuestions questions;
    int missing = 0; // ticked records the archive does not hold
};

} // namespace

QString AssignmentQuestionText(const AssignmentQuestions &questions)
{
    if (!questions.AnyQuestion())
        return QString();
    return questions.Texts().join(QLatin1Char('\n')) + QStringLiteral("\n\n그래도 지정하시겠습니까?");
}

AssignPressDialog::AssignPressDialog(ArchiveLocation location, InstrumentIdentity identity,
                                     std::vector<RawRecord> records, PressClassLimits stationLimits,
                                     std::function<qint64()> now, QWidget *parent)
    : QDialog(parent), m_location(std::move(location)), m_identity(std::move(identity)), m_records(std::move(records)),
      m_stationLimits(std::move(stationLimits)), m_now(std::move(now)), m_find(new QLineEdit(this)),
      m_list(new QListWidget(this)), m_status(new QLabel(this)), m_assign(new QPushButton(QStringLiteral("지정"), this))
{
    setWindowTitle(QStringLiteral("설비 지정"));
    m_find->setPlaceholderText(QStringLiteral("설비 번호 또는 이름의 일부"));
    m_find->setClearButtonEnabled(true);
    m_status->setWordWrap(true);
    m_status->setText(QStringLiteral("선택한 기록 %1개를 한 번의 점검으로 설비에 지정합니다.").arg(m_records.size()));
    m_assign->setEnabled(false);
    connect(m_find, &QLineEdit::textChanged, this, [this](const QString &text) {
        for (int row = 0; row < m_list->count(); ++row)
            m_list->item(row)->setHidden(!m_list->item(row)->text().contains(text, Qt::CaseInsensitive));
    });
    connect(m_list, &QListWidget::currentRowChanged, this,
            [this](int row) { m_assign->setEnabled(row >= 0 && !m_records.empty()); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, &AssignPressDialog::Assign);
    connect(m_assign, &QPushButton::clicked, this, &AssignPressDialog::Assign);
    auto *add = new QPushButton(QStringLiteral("새 설비"), this);
    connect(add, &QPushButton::clicked, this, &AssignPressDialog::AddPress);
    auto *cancel = new QPushButton(QStringLiteral("취소"), this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton *button : {add, cancel})
        button->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addStretch(1);
    buttons->addWidget(m_assign);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_find);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(460, 420);
    ListPresses();
}

void AssignPressDialog::Tell(const QString &text)
{
    m_status->setText(text);
}

void AssignPressDialog::ListPresses(const QString &select)
{
    RunRegisterJob<QList<PressOverview>>(
        this, m_location, MeasurementArchive::Purpose::Read,
        [](PressRegister &presses) { return presses.ListPresses(false); },
        [this, select](const RegisterAnswer<QList<PressOverview>> &answer) {
            m_presses = answer.value.value_or(QList<PressOverview>());
            m_list->clear();
            for (const PressOverview &o : m_presses)
                m_list->addItem(
                    QStringLiteral("%1  %2  (%3%4)")
                        .arg(o.press.id, o.press.name, PressClassLimits::ClassName(o.press.pressClass),
                             o.press.location.isEmpty() ? QString() : QStringLiteral(", ") + o.press.location));
            for (int row = 0; row < m_presses.size(); ++row)
                if (m_presses[row].press.id == select)
                    m_list->setCurrentRow(row);
            if (!answer.value)
                Tell(answer.error);
            emit Loaded();
        });
}

void AssignPressDialog::AddPress()
{
    auto *dialog = new PressEditDialog(std::nullopt, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        QString problem;
        const Press press = *dialog->EnteredPress(&problem);
        RunRegisterJob<bool>(
            this, m_location, MeasurementArchive::Purpose::Write,
            [press](PressRegister &presses) { return presses.AddPress(press) ? std::optional(true) : std::nullopt; },
            [this, id = press.id](const RegisterAnswer<bool> &answer) {
                if (!answer.value)
                    Tell(answer.error);
                ListPresses(id);
            });
    });
    dialog->open();
}

void AssignPressDialog::Assign()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_presses.size() || m_records.empty())
        return;
    m_assign->setEnabled(false);
    const Press press = m_presses[row].press;
    RunRegisterJob<AssignmentPlan>(
        this, m_location, MeasurementArchive::Purpose::Write,
        [press, identity = m_identity, records = m_records](PressRegister &presses) -> std::optional<AssignmentPlan> {
            AssignmentPlan plan{press, {}, {}, 0};
            const auto found = presses.FindRecords(identity, records);
            if (!found)
                return std::nullopt;
            plan.records = *found;
            plan.missing = int(records.size() - found->size());
            if (plan.records.empty())
                return plan;
            const auto questions = presses.Questions(press.id, plan.records);
            if (!questions)
                return std::nullopt;
            plan.questions = *questions;
            return plan;
        },
        [this](const RegisterAnswer<AssignmentPlan> &answer) {
            m_assign->setEnabled(true);
            if (!answer.value) {
                Tell(answer.error);
                return;
            }
            if (answer.value->records.empty()) {
                Tell(QStringLiteral("선택한 기록이 보관소에 없습니다. 보관된 기록만 설비에 지정할 수 있습니다."));
                return;
            }
            AssignmentQuestions questions = answer.value->questions;
            if (answer.value->missing > 0)
                Tell(QStringLiteral("보관소에 없는 기록 %1개는 빼고 지정합니다.").arg(answer.value->missing));
            Ask(answer.value->press, answer.value->records, questions);
        });
}

void AssignPressDialog::Ask(const Press &press, const std::vector<RegisterRecord> &records,
                            const AssignmentQuestions &questions)
{
    const QString text = AssignmentQuestionText(questions);
    if (text.isEmpty()) {
        Keep(press, records);
        return;
    }
    auto *question =
        new QMessageBox(QMessageBox::Question, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->button(QMessageBox::Yes)->setText(QStringLiteral("예"));
    question->button(QMessageBox::No)->setText(QStringLiteral("아니요"));
    question->setDefaultButton(QMessageBox::No);
    connect(question, &QMessageBox::finished, this, [this, question, press, records] {
        if (question->clickedButton() == question->button(QMessageBox::Yes))
            Keep(press, records);
        else
            Tell(QStringLiteral("지정하지 않았습니다."));
    });
    question->open();
}

void AssignPressDialog::Keep(const Press &press, const std::vector<RegisterRecord> &records)
{
    m_assign->setEnabled(false);
    CheckAuthor author{StationOsUser(), StationHostName(), m_stationLimits, m_now()};
    RunRegisterJob<AssignmentResult>(
        this, m_location, MeasurementArchive::Purpose::Write,
        [press, records, author](PressRegister &presses) { return presses.Assign(press.id, records, author); },
        [this, press](const RegisterAnswer<AssignmentResult> &answer) {
            m_assign->setEnabled(true);
            if (!answer.value) {
                Tell(answer.error);
                return;
            }
            m_result = answer.value;
            m_press = press;
            emit Assigned();
            accept();
        });
}
