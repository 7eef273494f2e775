// The installer's only window: a captionless skinned dialog, 550 pixels
// wide, in three states (CDlgBase::m_nDlgState):
//   0 welcome     320 high, 410 with the custom-install area open
//   1 installing  275 high: status line and progress fed by the install thread
//   2 finished    320 high: the finish button
// It owns the install settings the install thread reads, starts that thread
// once, and moves the shown percentage one step per 80 ms tick towards the
// thread's target. The path rules live in PathChoice.cpp, the finish actions
// in FinishActions.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/SettingsStatusLine.h"
#include "controls/BmpButton.h"
#include "controls/DlgBase.h"
#include "controls/IconButton.h"
#include "controls/LinkBtn.h"
#include "controls/XPCheckBox.h"

namespace qrn {

// The install thread's entry; its argument is the window's InstallSettings.
using InstallThreadEntry = unsigned(__stdcall*)(void* settings);

class COvastroDlg : private InstallSettingsHolder, public CDlgBase {
 public:
  // `installThread` runs the installation once the user starts it.
  explicit COvastroDlg(InstallThreadEntry installThread, HWND parent = nullptr);
  ~COvastroDlg() override;

  InstallSettings& Settings() { return m_settings; }
  // An install thread was started and has not ended.
  bool InstallThreadRunning() const;

 protected:
  void DoDataExchange() override;
  BOOL PreTranslateMessage(MSG* message) override;
  BOOL OnInitDialog() override;

  bool OnCommand(WORD id, WORD code, HWND control) override;
  bool OnSysCommand(UINT id, LPARAM lParam) override;
  bool OnClose() override;
  HICON OnQueryDragIcon() override { return m_hIcon; }
  bool OnLButtonDown(UINT flags, POINT point) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;
  bool OnEraseBkgnd(HDC) override { return true; }
  bool OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  void OnBnClickedMin();
  void OnBnClickedClose();
  void OnBnClickedAgree();
  void OnBnClickedCustom();
  void OnBnClickedChangeDir();  // PathChoice.cpp
  void OnEnUpdatePath();        // PathChoice.cpp
  void OnBnClickedStart();
  void OnBnClickedFinish();   // FinishActions.cpp
  void OnBnClickedLicense();  // FinishActions.cpp

 private:
  // The path part of the start (PathChoice.cpp): normalises the typed path
  // into installFolder and checks it; on refusal shows the box and opens the
  // custom-install area. true: accepted.
  bool AcceptInstallPath();
  void RefusePath(const wchar_t* message);
  void LaunchProduct();  // FinishActions.cpp
  void EnterInstallingState();
  void EnterFinishedState();
  int MessageBox(const wchar_t* text, UINT type) const;
  static void OnStatusChanged(void* self);

  HICON m_hIcon = nullptr;
  CBmpButton m_btnStart;
  CBmpButton m_btnClose;
  CBmpButton m_btnMin;
  CXPCheckBox m_chkAgree;
  CLinkBtn m_btnLicense;
  CIconButton m_chkCustom;
  CBmpButton m_btnChangeDir;
  CSubclassedControl m_editPath;
  std::wstring m_strCurDrive;
  CBmpButton m_btnFinish;
  BOOL m_bPathValid = FALSE;
  uint64_t m_ullFreeBytes = 0;
  UniqueHFont m_fontEdit;
  CXPCheckBox m_chkHelp;

  // The settings shared with the install thread (installFolder,
  // previousUninstallString, earlierProductUninstallString, overwriteInstall,
  // progressTarget, progressShown, installFailed, installThread, the status
  // line) are m_settings of InstallSettingsHolder.
  InstallThreadEntry m_installEntry;
};

}  // namespace qrn
