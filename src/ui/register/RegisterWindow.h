#pragma once

#include "ArchiveLocation.h"
#include "DueDates.h"
#include "PressRegister.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

// "설비 관리": every press of the register with its class, location, interval, latest check, verdict and due
// date; overdue rows marked red and rows due within 7 days amber. Sortable by any column, filtered by any
// part of the number, name or location. Adds, edits and retires presses; opening one shows its history.
// The archive is read and written off the GUI thread.
class RegisterWindow : public QDialog {
    Q_OBJECT
  public:
    // now: the wall clock (seconds since 1970) the due dates are counted from.
    RegisterWindow(ArchiveLocation location, PressClassLimits stationLimits, std::function<qint64()> now,
                   QWidget *parent = nullptr);

    // Reads the register again (the table is filled when the answer comes).
    void Refresh();
    // Opens the history window of a press.
    void OpenPress(const QString &pressId);

    // The texts of the "상태" column and the marks: the due state of a press.
    static QString StateText(const DueDate &due);

  signals:
    void Loaded(); // the table shows the latest answer

  private:
    void ShowPresses(const QList<PressOverview> &presses);
    QString SelectedPressId() const;
    std::optional<Press> SelectedPress() const;
    // Adds a press (editing: none) or edits one through PressEditDialog.
    void OpenEditor(const std::optional<Press> &editing);
    void RetirePress();
    void Write(std::function<bool(PressRegister &)> change, const QString &done);

    ArchiveLocation m_location;
    PressClassLimits m_stationLimits;
    std::function<qint64()> m_now;
    QList<PressOverview> m_presses;
    int m_request = 0;
    QLineEdit *m_filter;
    QCheckBox *m_showRetired;
    QStandardItemModel *m_model;
    QSortFilterProxyModel *m_proxy;
    QTableView *m_table;
    QLabel *m_status;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_retire;
    QPushButton *m_open;
};
