#include "PressRegisterHooks.h"

#include "AssignPressDialog.h"
#include "DueDates.h"
#include "RegisterJobs.h"
#include "RegisterWindow.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

PressRegisterHooks::PressRegisterHooks(Window window, ArchiveLocation location, PressClassLimits stationLimits)
    : QObject(window.window), m_window(std::move(window)), m_location(std::move(location)),
      m_stationLimits(std::move(stationLimits))
{
    auto *assign = new QAction(QStringLiteral("설비 지정..."), m_window.window);
    assign->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(assign, &QAction::triggered, this, &PressRegisterHooks::OpenAssignment);
    auto *manage = new QAction(QStringLiteral("설비 관리..."), m_window.window);
    manage->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    connect(manage, &QAction::triggered, this, &PressRegisterHooks::OpenRegister);
    for (QAction *action : {assign, manage}) {
        action->setShortcutContext(Qt::WindowShortcut);
        m_window.window->addAction(action);
        m_window.dataGrid->addAction(action);
    }
    m_window.dataGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString PressRegisterHooks::ProposedReportName(const Press &press, const PressCheck &check)
{
    const QString verdict = VerdictText(check.verdict);
    return QStringLiteral("%1 (%2) 점검").arg(press.name, press.id) +
           (verdict.isEmpty() ? QString() : QStringLiteral(" - ") + verdict);
}

void PressRegisterHooks::OpenAssignment()
{
    const TickedRecords ticked = m_window.ticked();
    if (ticked.records.empty()) {
        QMessageBox::information(m_window.window, QStringLiteral("설비 지정"), ticked.whyNone);
        return;
    }
    auto *dialog = new AssignPressDialog(m_location, ticked.identity, ticked.records, m_stationLimits, m_window.now,
                                         m_window.window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &AssignPressDialog::Assigned, this, [this, dialog] {
        m_window.propose(ProposedReportName(*dialog->AssignedPress(), dialog->Result()->check));
    });
    dialog->open();
}

void PressRegisterHooks::OpenRegister()
{
    auto *window = new RegisterWindow(m_location, m_stationLimits, m_window.now, m_window.window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void PressRegisterHooks::TellDuePresses()
{
    const qint64 now = m_window.now();
    RunRegisterJob<QList<PressOverview>>(
        this, m_location, MeasurementArchive::Purpose::Read,
        [](PressRegister &presses) { return presses.ListPresses(false); },
        [this, now](const RegisterAnswer<QList<PressOverview>> &answer) {
            int overdue = 0, soon = 0;
            for (const PressOverview &o : answer.value.value_or(QList<PressOverview>())) {
                const DueState state = DueDateOf(o.lastCheckAt, o.press.intervalDays, now).state;
                overdue += state == DueState::Overdue;
                soon += state == DueState::DueSoon;
            }
            if (overdue + soon == 0)
                return;
            auto *notice =
                new QMessageBox(QMessageBox::Information, QStringLiteral("설비 점검"),
                                QStringLiteral("점검 기한이 지난 설비가 %1대, 7일 안에 점검할 설비가 %2대 있습니다.")
                                    .arg(overdue)
                                    .arg(soon),
                                QMessageBox::NoButton, m_window.window);
            notice->setAttribute(Qt::WA_DeleteOnClose);
            QPushButton *open = notice->addButton(QStringLiteral("설비 관리"), QMessageBox::AcceptRole);
            notice->addButton(QStringLiteral("닫기"), QMessageBox::RejectRole);
            connect(notice, &QMessageBox::finished, this, [this, notice, open] {
                if (notice->clickedButton() == open)
                    OpenRegister();
            });
            notice->open();
            emit DueNoticeShown(overdue, soon);
        });
}
