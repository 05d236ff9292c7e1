#include "CTonvaleApp.h"

#include "CDlgFontScaler.h"
#include "CrashDump.h"
#include "DarkTheme.h"
#include "KoreanLocale.h"

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QTimer>

namespace {
QColor C(ColorRef c)
{
    return QColor(ColorRefRed(c), ColorRefGreen(c), ColorRefBlue(c));
}
} // namespace

CTonvaleApp::CTonvaleApp() = default;

CTonvaleApp::~CTonvaleApp() = default;

void CTonvaleApp::InitInstance()
{
    // The crash handler first, so that a crash while loading the configuration leaves a dump too.
    sysInfo.ResolvePaths();
    if (!sysInfo.dumpDir.isEmpty())
        CrashDump::Install(sysInfo.dumpDir);
    // The handler names dumps in local time from an offset it cannot look up itself.
    if (QCoreApplication::instance() && !m_clockTimer) {
        m_clockTimer = std::make_unique<QTimer>();
        QObject::connect(m_clockTimer.get(), &QTimer::timeout, [] { CrashDump::RefreshUtcOffset(); });
        m_clockTimer->start(60 * 1000);
    }

    sysInfo.Load();

    // The palette is set here, once, before any window takes its colours from it.
    DarkTheme::TakeWindowColors(palette);
    MakeBrushes();
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // Before any window: widgets take the default locale when they are made.
        KoreanLocale::Install();
        CDlgFontScaler::RegisterKoreanSubstitutes();
    }
    ApplyTheme();
}

int CTonvaleApp::Run(const MainWindowFactory &makeMainWindow)
{
    InitInstance();
    if (makeMainWindow) {
        std::unique_ptr<QDialog> window = makeMainWindow();
        if (window) {
            m_mainWindow = window.get();
            window->exec();
            m_mainWindow = nullptr;
        }
    }
    return ExitInstance();
}

int CTonvaleApp::ExitInstance()
{
    if (m_exitCount > 0)
        return 0;
    ++m_exitCount;
    if (m_clockTimer)
        m_clockTimer->stop();
    m_clockTimer.reset();
    return 0;
}

void CTonvaleApp::MakeBrushes()
{
    backBrush = QBrush(C(palette.backColor));
    selectedBrush = QBrush(C(palette.selectedColor));
}

void CTonvaleApp::ApplyTheme()
{
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        DarkTheme::Apply(*app, palette);
}

CTonvaleApp &TonvaleApp()
{
    static CTonvaleApp app;
    return app;
}
