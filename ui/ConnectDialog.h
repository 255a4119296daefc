// The connect dialog: starts a connection attempt to one station on a worker
// thread, follows the WLAN notifications of the station's adapter in a log of
// its own, offers Retry after a failure (automatically after two seconds when
// ticked), and on success shows a self-closing confirmation and closes.
// While it is open the adapter's automatic profiles are switched to manual.
//
// Lifetime: the dialog never outlives its connect thread. When it closes (or
// is deleted without closing) it first stops following notifications and then
// joins the thread with CWorkerThread::Join, which keeps serving the messages
// the thread sends meanwhile (its log lines, its SetState), so neither side
// can deadlock and the thread never touches a closed or deleted dialog. The
// attempt itself is not cancelled. The confirmation names the associated
// station, or the station the dialog was opened for when the association is
// not in the adapter's table. Everything the dialog undoes on closing (the
// profiles' automatic mode, the observer entry) happens while ConnectToStation
// is still on the stack, before the main window and its monitors go, also
// when the program is quit while the dialog is open.
#pragma once

#include <QDialog>
#include <atomic>
#include <string>

#include "platform/winmsg.h"
#include "platform/workerthread.h"

class CStation;
class COutWnd;
class QCheckBox;
class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QTimer;

class CConnectDialog : public QDialog, public CMessageTarget {
  Q_OBJECT

 public:
  // Control ids of the dialog's template.
  static constexpr int IDC_PROGRESS = 1001;
  static constexpr int IDC_STATUS = 1002;
  static constexpr int IDC_AUTORETRY = 1003;
  static constexpr int IDC_LOG = 1005;
  static constexpr int IDC_ATTEMPT = 1006;
  static constexpr int IDC_RETRY = 1007;
  static constexpr int IDCANCEL = 2;

  // States shown by SetState.
  static constexpr int kStateReady = 0;
  static constexpr int kStateStopped = 1;
  static constexpr int kStateConnecting = 2;
  static constexpr int kStateConnected = 3;
  static constexpr int kStateFailed = 4;

  static constexpr int kRetryTimer = 2;
  static constexpr int kRetryTimerElapse = 2000;

  // Reads CSettings::m_bAutoRetry into the check box. The attempt starts when
  // the dialog is first shown (exec or show).
  CConnectDialog(QWidget* pParent, CStation* pStation);
  ~CConnectDialog() override;

  // Starts the connect thread unless one runs; then only logs the refusal.
  void SpawnConnectThread();
  // Shows a state; any thread (the connect thread's calls are handed to the
  // dialog's thread and wait for it).
  void SetState(int nState);

  int GetState() const { return m_nState.load(); }
  bool IsConnectThreadRunning() const { return m_connectThread.IsRunning(); }
  // The dialog's own log window and its retry timer (running only while a
  // retry is due). For owners and tests.
  COutWnd* GetLog() const { return m_pLog; }
  QTimer* GetRetryTimer() const { return m_pRetryTimer; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void OnInitDialog();
  void ApplyState(int nState);
  // The connect thread's report of its attempt (state 1 or 2).
  void ApplyThreadState(int nState);
  void OnWlanNotify(WPARAM wParam);
  void OnConnected();
  void OnRetryTimer();
  void OnRetry();
  // The dialog's destroy steps; runs once, on closing or on deletion.
  void OnDestroy();
  void ConnectThreadBody();

  CStation* const m_pStation;
  COutWnd* m_pLog = nullptr;  // m_wndLog
  QLabel* m_pStatus = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QLabel* m_pAttempt = nullptr;
  QCheckBox* m_pAutoRetry = nullptr;
  QPushButton* m_pRetry = nullptr;
  QPushButton* m_pCancel = nullptr;
  QTimer* m_pRetryTimer = nullptr;

  int m_nRetryTimer = 0;
  std::atomic<int> m_nState{kStateReady};
  bool m_bRetryChecked = false;
  bool m_bStarted = false;
  // Set when a notification ended the attempt (state 1, 3 or 4) after the
  // current connect thread started: its own "connecting" report, arriving
  // later, must not hide the outcome. UI thread only.
  bool m_bOutcomeSeen = false;
  // Set when the destroy steps begin: later notifications and the pending
  // confirmation are ignored.
  bool m_bClosing = false;
  // The connect thread; m_pConnectThread of the design, running while
  // IsRunning is true.
  CWorkerThread m_connectThread;
};
