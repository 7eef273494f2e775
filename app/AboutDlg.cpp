#include "app/AboutDlg.h"

#include "res/resource.h"

namespace qrn {

CAboutDlg::CAboutDlg(HWND parent) : CWinDialog(IDD_ABOUTBOX, parent) {}

}  // namespace qrn
