#pragma once

#include "PressTypes.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// Adds a press to the register or edits one ("설비 추가" / "설비 수정"). OK is taken only with a press that may
// be kept; what is wrong is said under the fields.
class PressEditDialog : public QDialog {
    Q_OBJECT
  public:
    // press: the press to edit, or nullopt to add a new one.
    explicit PressEditDialog(const std::optional<Press> &press, QWidget *parent = nullptr);

    // The press as the fields say, or nullopt with the reason in *problem.
    std::optional<Press> EnteredPress(QString *problem) const;
    void accept() override;

  private:
    bool m_editing;
    bool m_inService = true;
    QLineEdit *m_id;
    QLineEdit *m_name;
    QLineEdit *m_location;
    QComboBox *m_class;
    QSpinBox *m_interval;
    QCheckBox *m_ownRange;
    QLineEdit *m_low;
    QLineEdit *m_high;
    QLabel *m_problem;
};
