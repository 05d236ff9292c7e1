#pragma once

#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "Simulation.h"
#include "session/SessionTestSupport.h"

#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

// Stored records of 2024-05-01 from 08:00:00 in Seoul, one a second, their raw forces from force(i) and
// the three settings in turn.
inline Scenario StoredFromEight(int count, const std::function<int(int)> &force)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(MakeRecord({2024, 5, 1, 8 + i / 3600, i / 60 % 60, i % 60}, force(i), i % 3));
    Scenario s;
    s.stored = records;
    return s;
}

// One main window on one simulated instrument and a virtual clock, its files (log, configuration,
// archive) in a temporary folder of its own. Message boxes go to `reply`: by default their texts are
// kept and `answer` is given.
struct WindowBench {
    using Reply = std::function<QMessageBox::StandardButton(const CTonvaleDlg::MessageBoxRequest &)>;

    // configure sets the configuration (and the replies) before the window is made; the log goes to the
    // temporary folder's Log/ unless it says otherwise.
    WindowBench(const Scenario &scenario, qint64 start, const std::function<void(WindowBench &)> &configure = {})
        : clock(start), sim(scenario, clock)
    {
        info.logDir = tmp.path() + QStringLiteral("/Log/");
        reply = [this](const CTonvaleDlg::MessageBoxRequest &r) {
            messages << r.text;
            return answer;
        };
        if (configure)
            configure(*this);
        dlg = std::make_unique<CTonvaleDlg>(sim.Bridge(), sim.Discovery(), clock, info);
        dlg->SetMessageBoxHandler([this](const CTonvaleDlg::MessageBoxRequest &r) { return reply(r); });
        dlg->Create();
        dlg->SetTimersEnabled(false);
    }

    // Shows the window as the program does (modal to the whole program) and answers a presence poll.
    void ShowModal()
    {
        dlg->setWindowModality(Qt::ApplicationModal);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        Poll();
    }
    // One presence poll, answered.
    void Poll()
    {
        dlg->PollPresence();
        SETTLE(dlg->Session());
    }
    QWidget *Control(int id) { return dlg->Control(id); }
    QString Progress() { return qobject_cast<QLabel *>(Control(CTonvaleDlg::IDC_PROGRESS))->text(); }
    CSpreadSheet &Grid() { return dlg->DataGrid(); }
    // A sheet's row count and cell texts; the sheet the grid addresses stays as it was.
    int Rows(int sheet)
    {
        const int kept = Grid().GetAddressedSheet();
        Grid().SetAddressedSheet(sheet);
        const int rows = Grid().GetRowCount();
        Grid().SetAddressedSheet(kept);
        return rows;
    }
    QString Cell(int sheet, int col, int row)
    {
        const int kept = Grid().GetAddressedSheet();
        Grid().SetAddressedSheet(sheet);
        const QString text = Grid().text(col, row);
        Grid().SetAddressedSheet(kept);
        return text;
    }

    QTemporaryDir tmp;
    VirtualClock clock;
    Simulation sim;
    CIniSysInfo info;
    std::unique_ptr<CTonvaleDlg> dlg;
    QStringList messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    Reply reply;
};
