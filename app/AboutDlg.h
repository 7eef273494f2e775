// The about box (template 100), opened from the window's system menu.
#pragma once

#include "controls/WinDialog.h"

namespace qrn {

class CAboutDlg : public CWinDialog {
 public:
  explicit CAboutDlg(HWND parent);
};

}  // namespace qrn
