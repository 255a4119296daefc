// A small modal message dialog: title, a bold main instruction, content, an
// optional footer under a separator line, a main icon and an OK button. It
// can close itself after five seconds, counting down in its footer.
#pragma once

#include <QIcon>
#include <string>

#include "platform/wintypes.h"

class QDialog;
class QLabel;
class QTimer;
class QWidget;

class CTaskDialog {
 public:
  static constexpr int kIdOk = 1;      // OK / the auto-close button
  static constexpr int kIdCancel = 2;  // Escape or the close box

  // Behaviour flags (m_dwFlags). Hyperlinks and relative positioning are
  // accepted for completeness: texts are always plain, and the dialog is
  // always centred over its parent when it has one.
  static constexpr DWORD TDF_ENABLE_HYPERLINKS = 0x0001;
  static constexpr DWORD TDF_ALLOW_DIALOG_CANCELLATION = 0x0008;
  static constexpr DWORD TDF_CALLBACK_TIMER = 0x0800;
  static constexpr DWORD TDF_POSITION_RELATIVE_TO_WINDOW = 0x1000;
  static constexpr DWORD kDefaultFlags =
      TDF_ENABLE_HYPERLINKS | TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;  // 0x1009
  // Common buttons (m_dwCommonButtons). With none named the dialog still
  // shows a single OK button.
  static constexpr DWORD TDCBF_OK_BUTTON = 0x0001;
  // Notifications passed to OnCallback.
  static constexpr UINT TDN_CREATED = 0;
  static constexpr UINT TDN_BUTTON_CLICKED = 2;
  static constexpr UINT TDN_TIMER = 4;
  static constexpr UINT TDN_DESTROYED = 5;
  // Period of the timer notification while TDF_CALLBACK_TIMER is set.
  static constexpr int kTimerIntervalMs = 200;

  CTaskDialog();
  CTaskDialog(QWidget* pParent, std::u16string title, std::u16string mainInstruction,
              std::u16string content, std::u16string footer);
  virtual ~CTaskDialog();
  CTaskDialog(const CTaskDialog&) = delete;
  CTaskDialog& operator=(const CTaskDialog&) = delete;

  void EnableAutoClose();                 // 5 s, then OK, countdown in the footer
  void SetFooter(std::u16string text);    // also updates a running dialog
  int DoModal();                          // runs modally; returns the id of the button that ended it (0 if it could not be shown)
  // Millisecond tick source of the countdown (null restores the real clock). For tests.
  using TickSource = DWORD (*)();
  static void SetTickSource(TickSource source);

  const std::u16string& GetTitle() const { return m_strTitle; }
  const std::u16string& GetMainInstruction() const { return m_strMainInstruction; }
  const std::u16string& GetContent() const { return m_strContent; }
  const std::u16string& GetFooter() const { return m_strFooter; }
  // The running dialog's window; null when it is not running.
  QDialog* GetSafeHwnd() const { return m_hWnd; }

 protected:
  // Every notification of the running dialog; stores the window and hands
  // TDN_TIMER to OnTimer. Returns 0 (default handling).
  virtual LRESULT OnCallback(QDialog* hWnd, UINT uNotification, WPARAM wParam, LPARAM lParam);
  // About every kTimerIntervalMs while TDF_CALLBACK_TIMER is set; wParam is
  // the milliseconds since the dialog started. Updates the countdown footer
  // and presses m_nAutoCloseButton once the time is up.
  virtual LRESULT OnTimer(WPARAM wParam, LPARAM lParam);

  // Ends the running dialog as if the button `id` had been pressed.
  void ClickButton(int id);
  // The current tick count (the test source when one is set).
  static DWORD CurrentTick();

  QWidget* m_pParent = nullptr;
  DWORD m_dwFlags = 0;
  DWORD m_dwCommonButtons = 0;
  QIcon m_mainIcon;

  HRESULT m_hResult = S_OK;
  int m_nButton = 0;
  int m_nRadioButton = 0;
  BOOL m_bVerificationChecked = FALSE;

  std::u16string m_strTitle;
  std::u16string m_strMainInstruction;
  std::u16string m_strContent;
  std::u16string m_strFooter;

  DWORD m_dwAutoCloseMs = 0;
  DWORD m_dwStartTick = 0;
  int m_nAutoCloseButton = 0;
  std::u16string m_strCountdownFormat;

  QDialog* m_hWnd = nullptr;

 private:
  QLabel* m_pFooterLabel = nullptr;     // valid while running
  QWidget* m_pFooterSeparator = nullptr;  // valid while running
  bool m_bRunning = false;
};
