#pragma once

#include <QMessageBox>

// The program's name in its message boxes' title bars.
inline const QString kProgramTitle = QStringLiteral("압력 계측기");

// A modal message box with Korean button captions ("예(&Y)", "아니요(&N)", "확인"). The operator answers
// it with the ordinary pointer, even in the middle of a wait. An empty title is the program's name; no
// icon is the one that fits (FittingIcon).
QMessageBox::StandardButton ShowKoreanMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The icon for a message given without one: a question for a Yes/No choice, a warning for a failure (the
// program's failure texts say "실패" or "에러"), otherwise information.
QMessageBox::Icon FittingIcon(const QString &text, QMessageBox::StandardButtons buttons);
