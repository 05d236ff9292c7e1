#pragma once

#include "ArchiveLocation.h"
#include "ArchiveTypes.h"
#include "PressClassLimits.h"
#include "PressRegister.h"

#include <QObject>

#include <functional>
#include <vector>

class QWidget;

// The shown table's ticked stored records, as the main window knows them.
struct TickedRecords {
    InstrumentIdentity identity;
    std::vector<RawRecord> records;
    QString whyNone; // why nothing can be assigned (a continuous run, nothing ticked), when records is empty
};

// What the press register adds to the operator's window: "설비 지정..." (Ctrl+Shift+P) for the ticked stored
// records and "설비 관리..." (Ctrl+Shift+M), both in the window and in the data grid's context menu, and after
// start-up, once, a notice of how many presses are overdue or due within 7 days, with a button that opens the
// register. It asks the window for what it needs through the functions it is given, so that it does not
// depend on how the window keeps its rows.
class PressRegisterHooks : public QObject {
    Q_OBJECT
  public:
    struct Window {
        QWidget *window;                              // the operator's window
        QWidget *dataGrid;                            // gets the context menu
        std::function<TickedRecords()> ticked;        // the ticked rows' records and their instrument
        std::function<void(const QString &)> propose; // a report name after an assignment
        std::function<qint64()> now;
    };
    PressRegisterHooks(Window window, ArchiveLocation location, PressClassLimits stationLimits);

    void OpenAssignment();
    void OpenRegister();
    // Reads the register and tells once how many presses are overdue or due soon (nothing when none is).
    void TellDuePresses();
    // The report name proposed after an assignment: "7호기 프레스 (P-07) 점검 - 합격".
    static QString ProposedReportName(const Press &press, const PressCheck &check);

  signals:
    void DueNoticeShown(int overdue, int dueSoon);

  private:
    Window m_window;
    ArchiveLocation m_location;
    PressClassLimits m_stationLimits;
};
