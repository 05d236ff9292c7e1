#pragma once

#include <QMessageBox>

// A modal message box with Korean button captions ("예(&Y)", "아니요(&N)", "확인"). The operator answers
// it with the ordinary pointer, even in the middle of a wait. An empty title is the program's name.
QMessageBox::StandardButton ShowKoreanMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
