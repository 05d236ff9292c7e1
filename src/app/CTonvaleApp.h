#pragma once

#include "AppOptions.h"
#include "AppPalette.h"
#include "CIniSysInfo.h"

#include <QBrush>

#include <functional>
#include <memory>

class QDialog;
class QTimer;

// The application object: the shared colour palette and brushes, the configuration, the command
// line, and the program's start-up and shut-down. There is one for the program, TonvaleApp(); every
// themed dialog takes its colours from it.
//
// Run(), in this order: the crash handler (so that a crash from here on leaves a dump), the
// configuration (which creates Log and Dmp), the Korean locale and Qt's Korean texts, the dark theme, then
// the main window, made by the caller's factory and run modally until it closes; then ExitInstance, once.
class CTonvaleApp {
  public:
    using MainWindowFactory = std::function<std::unique_ptr<QDialog>()>;

    CTonvaleApp();
    ~CTonvaleApp();
    CTonvaleApp(const CTonvaleApp &) = delete;
    CTonvaleApp &operator=(const CTonvaleApp &) = delete;

    // Start-up, the main window's run and shut-down. Needs a QApplication. Returns the exit code (0);
    // what the main window returns is not examined, and a factory that makes no window is not an
    // error.
    int Run(const MainWindowFactory &makeMainWindow);

    // The start-up steps, without the main window.
    void InitInstance();
    // Shut-down; runs once however often it is called. Returns the exit code.
    int ExitInstance();
    int ExitCount() const { return m_exitCount; } // how often shut-down ran: 0 or 1
    // The main window while it runs; null before and after.
    QDialog *MainWindow() const { return m_mainWindow; }

    // Makes backBrush from backColor and selectedBrush from selectedColor (start-up does).
    void MakeBrushes();
    // Applies the dark theme of the present palette to the whole application.
    void ApplyTheme();

    AppPalette palette;
    QBrush backBrush;     // solid backColor: background of dialogs, buttons and statics
    QBrush selectedBrush; // solid selectedColor
    CIniSysInfo sysInfo;
    AppOptions options;

  private:
    QDialog *m_mainWindow = nullptr;
    std::unique_ptr<QTimer> m_clockTimer;
    int m_exitCount = 0;
};

// The program's application object.
CTonvaleApp &TonvaleApp();
