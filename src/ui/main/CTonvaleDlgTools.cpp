// filled by the tools work: the clock, selection, help, log, administrator and exit handlers.
#include "CTonvaleDlg.h"

void CTonvaleDlg::OnReadDeviceTime() {} // filled by the tools work
void CTonvaleDlg::OnSetDeviceTime() {}  // filled by the tools work
void CTonvaleDlg::OnSelectAll() {}      // filled by the tools work
void CTonvaleDlg::OnSelectNone() {}     // filled by the tools work
void CTonvaleDlg::OnSelectInvert() {}   // filled by the tools work
void CTonvaleDlg::OnHelp() {}           // filled by the tools work
void CTonvaleDlg::OnShowLog() { ToggleLogWindow(); } // filled by the tools work
void CTonvaleDlg::OnAdminMode() {}      // filled by the tools work
void CTonvaleDlg::OnExportExcel() {}    // filled by the tools work
void CTonvaleDlg::OnCancel() {}         // filled by the tools work
