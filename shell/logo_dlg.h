// CLogoDlg: the startup window (dialog 144), which presents Morvane at
// start-up and closes itself after a few seconds, and which also serves as
// the About box (no check box, stays until closed).
#pragma once
#include <windows.h>

#include "winlib/dialog.h"

class CLogoDlg : public CDialog {
 public:
  // closeAfterSeconds: 0 = stays until closed. offerCheckBox: shows "Do not
  // show this window next time.".
  CLogoDlg(int closeAfterSeconds, bool offerCheckBox);
  ~CLogoDlg() override;

  // The check box as it stood when "OK" was pressed; a window that closed by
  // itself leaves it as it was (0 unless set before showing).
  int m_bNotShowAgain = 0;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  void OnTimer(UINT_PTR id) override;

 private:
  // A font half as large again as the control's, of normal weight, given to
  // the control; the dialog keeps it until it goes.
  HFONT EnlargeFont(int id);

  int m_nCloseAfterSeconds;
  bool m_bOfferCheckBox;
  UINT_PTR m_nTimerId = 0;
  HFONT m_hTitleFont = nullptr;
  HFONT m_hNoticeFont = nullptr;
};
