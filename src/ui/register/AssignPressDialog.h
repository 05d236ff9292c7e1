#pragma once

#include "ArchiveLocation.h"
#include "PressRegister.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "설비 지정": the ticked stored records of the shown table become a check of a press picked from the register
// (by any part of its number or name) or added here. The records are found in the archive by what they are
// (the instrument and the record), so a measurement downloaded twice is one record. Before the assignment the
// operator is asked about records of another class than the press's and about records that belong to another
// check (they move). The archive is reached off the GUI thread.
class AssignPressDialog : public QDialog {
    Q_OBJECT
  public:
    AssignPressDialog(ArchiveLocation location, InstrumentIdentity identity, std::vector<RawRecord> records,
                      PressClassLimits stationLimits, std::function<qint64()> now, QWidget *parent = nullptr);

    // The check made (or found again) when the dialog was accepted.
    const std::optional<AssignmentResult> &Result() const { return m_result; }
    const std::optional<Press> &AssignedPress() const { return m_press; }

  signals:
    void Loaded();   // the register's presses are listed
    void Assigned(); // the check is kept; the dialog closes with Accepted

  private:
    void ListPresses(const QString &select = {});
    void AddPress();
    void Assign();
    void Ask(const Press &press, const std::vector<RegisterRecord> &records, const AssignmentQuestions &questions);
    void Keep(const Press &press, const std::vector<RegisterRecord> &records);
    void Tell(const QString &text);

    ArchiveLocation m_location;
    InstrumentIdentity m_identity;
    std::vector<RawRecord> m_records;
    PressClassLimits m_stationLimits;
    std::function<qint64()> m_now;
    QList<PressOverview> m_presses;
    std::optional<AssignmentResult> m_result;
    std::optional<Press> m_press;
    QLineEdit *m_find;
    QListWidget *m_list;
    QLabel *m_status;
    QPushButton *m_assign;
};

// The question before an assignment, as the operator reads it; empty when there is nothing to ask.
QString AssignmentQuestionText(const AssignmentQuestions &questions);
