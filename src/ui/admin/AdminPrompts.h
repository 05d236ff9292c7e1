#pragma once

#include <QString>

class QWidget;

// Where the administrator console asks the operator something: its questions, notices and the choice
// of a firmware file. The console uses the ordinary message boxes and file dialog unless it is handed
// another implementation (tests answer without blocking).
class AdminPrompts {
  public:
    virtual ~AdminPrompts() = default;
    // A Yes/No question captioned "설정"; true for Yes. Enter answers Yes, or No when `defaultNo`.
    virtual bool Ask(QWidget *parent, const QString &text, bool defaultNo) = 0;
    // A notice with an OK button.
    virtual void Notify(QWidget *parent, const QString &text) = 0;
    // The firmware file to open; empty when the operator cancels.
    virtual QString ChooseFirmwareFile(QWidget *parent) = 0;
};

// Message boxes and the system's file dialog.
class DialogPrompts final : public AdminPrompts {
  public:
    bool Ask(QWidget *parent, const QString &text, bool defaultNo) override;
    void Notify(QWidget *parent, const QString &text) override;
    QString ChooseFirmwareFile(QWidget *parent) override;
};
