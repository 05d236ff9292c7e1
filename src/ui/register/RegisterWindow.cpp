#include "RegisterWindow.h"

#include "LocalTime.h"
#include "PressEditDialog.h"
#include "PressHistoryWindow.h"
#include "RegisterJobs.h"
#include "ScreenFit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

enum Column { kId, kName, kClass, kLocation, kInterval, kLastCheck, kVerdict, kDue, kState, kColumnCount };

const QColor kOverdueBack(120, 30, 30);
const QColor kSoonBack(120, 90, 20);
const QColor kFailText(255, 110, 100);

QStandardItem *Item(const QVariant &value)
{
    auto *item = new QStandardItem;
    item->setData(value, Qt::DisplayRole);
    item->setEditable(false);
    return item;
}

} // namespace

RegisterWindow::RegisterWindow(ArchiveLocation location, PressClassLimits stationLimits, std::function<qint64()> now,
                               QWidget *parent)
    : QDialog(parent), m_location(std::move(location)), m_stationLimits(std::move(stationLimits)),
      m_now(std::move(now)), m_filter(new QLineEdit(this)),
      m_showRetired(new QCheckBox(QStringLiteral("사용 안 하는 설비 포함"), this)),
      m_model(new QStandardItemModel(0, kColumnCount, this)), m_proxy(new QSortFilterProxyModel(this)),
      m_table(new QTableView(this)), m_status(new QLabel(this)), m_add(new QPushButton(QStringLiteral("추가"), this)),
      m_edit(new QPushButton(QStringLiteral("수정"), this)),
      m_retire(new QPushButton(QStringLiteral("사용 중지"), this)),
      m_open(new QPushButton(QStringLiteral("점검 이력"), this))
{
    setWindowTitle(QStringLiteral("설비 관리"));
    m_model->setHorizontalHeaderLabels({QStringLiteral("설비 번호"), QStringLiteral("설비 이름"),
                                        QStringLiteral("등급"), QStringLiteral("위치"), QStringLiteral("주기 (일)"),
                                        QStringLiteral("최근 점검"), QStringLiteral("판정"),
                                        QStringLiteral("다음 점검"), QStringLiteral("상태")});
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setSortLocaleAware(true);
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(kId, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_filter->setPlaceholderText(QStringLiteral("설비 번호, 이름, 위치의 일부 (전체)"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(m_showRetired, &QCheckBox::toggled, this, &RegisterWindow::Refresh);
    connect(m_table, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { OpenPress(m_proxy->index(index.row(), kId).data().toString()); });
    connect(m_add, &QPushButton::clicked, this, [this] { OpenEditor(std::nullopt); });
    connect(m_edit, &QPushButton::clicked, this, [this] {
        if (const std::optional<Press> selected = SelectedPress())
            OpenEditor(selected);
    });
    connect(m_retire, &QPushButton::clicked, this, &RegisterWindow::RetirePress);
    connect(m_open, &QPushButton::clicked, this, [this] { OpenPress(SelectedPressId()); });

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("찾기"), this));
    filters->addWidget(m_filter, 1);
    filters->addWidget(m_showRetired);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    for (QPushButton *button : {m_add, m_edit, m_retire, m_open}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    auto *close = new QPushButton(QStringLiteral("닫기"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    ResizeWithinScreen(this, {900, 480});
    Refresh();
}

QString RegisterWindow::StateText(const DueDate &due)
{
    switch (due.state) {
    case DueState::Overdue: return QStringLiteral("초과 (%1일)").arg(-due.daysLeft);
    case DueState::DueSoon:
        return due.daysLeft == 0 ? QStringLiteral("임박 (오늘)") : QStringLiteral("임박 (%1일 남음)").arg(due.daysLeft);
    case DueState::OnTime: break;
    }
    return DueStateText(due.state);
}

void RegisterWindow::Refresh()
{
    const int request = ++m_request;
    const bool all = m_showRetired->isChecked();
    m_status->setText(QStringLiteral("읽는 중..."));
    RunRegisterJob<QList<PressOverview>>(
        this, m_location, MeasurementArchive::Purpose::Read,
        [all](PressRegister &presses) { return presses.ListPresses(all); },
        [this, request](const RegisterAnswer<QList<PressOverview>> &answer) {
            if (request != m_request)
                return; // a newer read is on its way
            ShowPresses(answer.value.value_or(QList<PressOverview>()));
            if (!answer.value)
                m_status->setText(answer.error);
            emit Loaded();
        });
}

void RegisterWindow::ShowPresses(const QList<PressOverview> &presses)
{
    const QString selected = SelectedPressId();
    m_presses = presses;
    const qint64 now = m_now();
    m_table->setSortingEnabled(false);
    m_model->removeRows(0, m_model->rowCount());
    int overdue = 0, soon = 0;
    for (const PressOverview &o : presses) {
        const Press &p = o.press;
        const DueDate due = DueDateOf(o.lastCheckAt, p.intervalDays, now);
        QList<QStandardItem *> row{Item(p.id),
                                   Item(p.name + (p.inService ? QString() : QStringLiteral(" (사용 안 함)"))),
                                   Item(PressClassLimits::ClassName(p.pressClass)),
                                   Item(p.location),
                                   Item(p.intervalDays),
                                   Item(o.lastCheckAt ? LocalDateOf(*o.lastCheckAt).toString(Qt::ISODate) : QString()),
                                   Item(VerdictText(o.lastVerdict)),
                                   Item(due.due.toString(Qt::ISODate)),
                                   Item(StateText(due))};
        if (p.inService && due.state != DueState::OnTime) {
            const bool late = due.state == DueState::Overdue;
            (late ? overdue : soon)++;
            for (QStandardItem *item : row)
                item->setBackground(late ? kOverdueBack : kSoonBack);
        }
        if (o.lastVerdict == Verdict::Fail)
            row[kVerdict]->setForeground(kFailText);
        row[kState]->setData(int(due.state), Qt::UserRole);
        m_model->appendRow(row);
    }
    m_table->setSortingEnabled(true);
    m_table->resizeColumnsToContents();
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        if (m_proxy->index(row, kId).data().toString() == selected)
            m_table->selectRow(row);
    m_status->setText(
        QStringLiteral("설비 %1대 · 점검 초과 %2대 · 7일 이내 %3대").arg(presses.size()).arg(overdue).arg(soon));
}

QString RegisterWindow::SelectedPressId() const
{
    const QModelIndexList rows =
        m_table->selectionModel() ? m_table->selectionModel()->selectedRows(kId) : QModelIndexList();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

std::optional<Press> RegisterWindow::SelectedPress() const
{
    const QString id = SelectedPressId();
    for (const PressOverview &o : m_presses)
        if (o.press.id == id)
            return o.press;
    return std::nullopt;
}

void RegisterWindow::Write(std::function<bool(PressRegister &)> change, const QString &done)
{
    m_status->setText(QStringLiteral("저장 중..."));
    RunRegisterJob<bool>(
        this, m_location, MeasurementArchive::Purpose::Write,
        [change](PressRegister &presses) { return change(presses) ? std::optional(true) : std::nullopt; },
        [this, done](const RegisterAnswer<bool> &answer) {
            if (!answer.value) {
                m_status->setText(answer.error);
                QMessageBox::warning(this, windowTitle(), answer.error);
                return;
            }
            Refresh();
            m_status->setText(done);
        });
}

void RegisterWindow::OpenEditor(const std::optional<Press> &editing)
{
    auto *dialog = new PressEditDialog(editing, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, adding = !editing] {
        QString problem;
        const Press press = *dialog->EnteredPress(&problem);
        Write([press,
               adding](PressRegister &presses) { return adding ? presses.AddPress(press) : presses.EditPress(press); },
              (adding ? QStringLiteral("설비를 추가했습니다: %1") : QStringLiteral("설비를 고쳤습니다: %1"))
                  .arg(press.id));
    });
    dialog->open();
}

void RegisterWindow::RetirePress()
{
    const std::optional<Press> selected = SelectedPress();
    if (!selected || !selected->inService)
        return;
    auto *question = new QMessageBox(
        QMessageBox::Question, windowTitle(),
        QStringLiteral("설비 %1 (%2)의 사용을 중지합니까? 점검 이력은 남습니다.").arg(selected->id, selected->name),
        QMessageBox::Yes | QMessageBox::No, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->button(QMessageBox::Yes)->setText(QStringLiteral("예"));
    question->button(QMessageBox::No)->setText(QStringLiteral("아니요"));
    connect(question, &QMessageBox::finished, this, [this, question, id = selected->id] {
        if (question->clickedButton() != question->button(QMessageBox::Yes))
            return;
        Write([id](PressRegister &presses) { return presses.RetirePress(id); },
              QStringLiteral("설비 사용을 중지했습니다: %1").arg(id));
    });
    question->open();
}

void RegisterWindow::OpenPress(const QString &pressId)
{
    if (pressId.isEmpty())
        return;
    auto *window = new PressHistoryWindow(m_location, pressId, m_stationLimits, m_now, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}
