#include "ui/ConnectDialog.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "eventlog/Log.h"
#include "eventlog/widgets/OutWnd.h"
#include "platform/textcase.h"
#include "platform/widetext.h"
#include "settings/Settings.h"
#include "ui/DialogUnits.h"
#include "ui/TaskDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/ReasonCodes.h"
#include "wlan/Station.h"
#include "wlan/WlanNames.h"
#include "wlan/WlanNotificationRecord.h"

namespace {

// The dialog's own messages, sent or posted to its handle.
constexpr UINT kMsgSetState = WM_USER + 1;  // wParam: state; sent by the connect thread
constexpr UINT kMsgConnected = WM_USER + 2;  // posted by state 3: show the confirmation
constexpr UINT kMsgThreadState = WM_USER + 3;  // wParam: state; sent by the connect thread for its attempt

constexpr DWORD kConnectionPayloadSize = sizeof(WLAN_CONNECTION_NOTIFICATION_DATA);  // 572

// Template size and control rectangles, in dialog units.
constexpr int kTemplateWidth = 317;
constexpr int kTemplateHeight = 197;

struct ControlRect {
  int x, y, cx, cy;
};
constexpr ControlRect kStatusRect{7, 8, 303, 8};
constexpr ControlRect kProgressRect{7, 17, 303, 14};
constexpr ControlRect kLogRect{7, 36, 303, 102};
constexpr ControlRect kAttemptRect{7, 143, 303, 8};
constexpr ControlRect kAutoRetryRect{7, 157, 170, 10};
constexpr ControlRect kRetryRect{201, 175, 50, 14};
constexpr ControlRect kCancelRect{260, 175, 50, 14};

template <typename T>
T* Control(T* widget, int id, const char* name) {
  widget->setProperty("controlId", id);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

CConnectDialog::CConnectDialog(QWidget* pParent, CStation* pStation) : QDialog(pParent), m_pStation(pStation) {
  CreateHandle();
  m_bRetryChecked = CSettings::m_bAutoRetry;
  setObjectName(QStringLiteral("connectDialog"));
  setWindowTitle(QStringLiteral("Connect to a remote station"));
  CreateControls();
}

CConnectDialog::~CConnectDialog() {
  OnDestroy();
  DestroyHandle();
}

void CConnectDialog::CreateControls() {
  const DialogUnits units = DialogUnits::Of(font());

  m_pStatus = Control(new QLabel(QStringLiteral("Connecting to remote station..."), this), IDC_STATUS, "statusLabel");
  m_pProgress = Control(new QProgressBar(this), IDC_PROGRESS, "progressBar");
  m_pProgress->setTextVisible(false);
  m_pProgress->setRange(0, 100);
  m_pProgress->setValue(0);

  m_pLog = Control(new COutWnd(this), IDC_LOG, "log");
  m_pLog->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

  m_pAttempt = Control(new QLabel(QStringLiteral("Attempt 1"), this), IDC_ATTEMPT, "attemptLabel");
  m_pAutoRetry =
      Control(new QCheckBox(QStringLiteral("Auto Retry failed connection attempt"), this), IDC_AUTORETRY, "autoRetry");
  m_pRetry = Control(new QPushButton(QStringLiteral("Retry"), this), IDC_RETRY, "retryButton");
  m_pCancel = Control(new QPushButton(QStringLiteral("Cancel"), this), IDCANCEL, "cancelButton");
  m_pRetry->setAutoDefault(false);
  m_pCancel->setAutoDefault(false);

  // Labels hold one line each; a tall font must not push them into their
  // neighbours, so their rectangles grow to the text's height if needed.
  const int textHeight = QFontMetrics(font()).height();
  auto place = [&](QWidget* widget, const ControlRect& r, int minHeight = 0) {
    QRect rect = units.Map(r.x, r.y, r.cx, r.cy);
    if (rect.height() < minHeight) rect.setHeight(minHeight);
    widget->setGeometry(rect);
  };
  place(m_pStatus, kStatusRect, textHeight);
  place(m_pProgress, kProgressRect);
  place(m_pLog, kLogRect);
  place(m_pAttempt, kAttemptRect, textHeight);
  place(m_pAutoRetry, kAutoRetryRect, textHeight);
  place(m_pRetry, kRetryRect);
  place(m_pCancel, kCancelRect);
  setFixedSize(units.Cx(kTemplateWidth), units.Cy(kTemplateHeight));

  m_pRetryTimer = new QTimer(this);
  m_pRetryTimer->setObjectName(QStringLiteral("retryTimer"));
  m_pRetryTimer->setInterval(kRetryTimerElapse);
  connect(m_pRetryTimer, &QTimer::timeout, this, &CConnectDialog::OnRetryTimer);
  connect(m_pRetry, &QPushButton::clicked, this, &CConnectDialog::OnRetry);
  connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CConnectDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_bStarted || event->spontaneous()) return;
  m_bStarted = true;
  OnInitDialog();
}

void CConnectDialog::OnInitDialog() {
  m_pAutoRetry->setChecked(m_bRetryChecked);
  SetState(kStateReady);

  m_pLog->m_logFont = QFont(QStringLiteral("Arial"));
  m_pLog->m_logFont.setPixelSize(12);
  m_pLog->MeasureFont();
  m_pLog->viewport()->update();

  ConnectLogPrintf(m_pLog, "Ready.\n");

  CNativeWIFIDevice* device = m_pStation ? m_pStation->m_pDevice : nullptr;
  if (device && device->GetInterface()) device->GetInterface()->AddObserver(GetSafeHwnd());
  if (device) device->SetProfilesAutoConnect(false);
  SpawnConnectThread();
}

void CConnectDialog::SpawnConnectThread() {
  if (m_connectThread.IsRunning()) {
    ConnectLogPrintf(m_pLog, "Tried to spawn a connect thread when there was already one!\n");
    return;
  }
  m_bOutcomeSeen = false;
  m_connectThread.Start([this] { ConnectThreadBody(); });
}

void CConnectDialog::ConnectThreadBody() {
  const std::string ssid = m_pStation ? m_pStation->GetSSID() : std::string();
  ConnectLogPrintf(m_pLog, "Connecting to %s\n", ssid.c_str());
  CNativeWIFIDevice* device = m_pStation ? m_pStation->m_pDevice : nullptr;
  const HRESULT result = device ? device->Connect(m_pStation) : E_FAIL;
  if (result < 0) {
    ConnectLogPrintf(m_pLog, "ERROR: Could not initiate connection attempt.\n");
    SendMessage(GetSafeHwnd(), kMsgThreadState, kStateStopped, 0);
  } else {
    SendMessage(GetSafeHwnd(), kMsgThreadState, kStateConnecting, 0);
  }
}

void CConnectDialog::ApplyThreadState(int nState) {
  // The service may report the attempt's outcome before this report reaches
  // the dialog; showing "connecting" then would leave a finished attempt
  // looking busy, with Retry and the automatic retry lost.
  if (nState == kStateConnecting && m_bOutcomeSeen) return;
  ApplyState(nState);
}

void CConnectDialog::SetState(int nState) {
  if (QThread::currentThread() == thread())
    ApplyState(nState);
  else
    SendMessage(GetSafeHwnd(), kMsgSetState, static_cast<WPARAM>(nState), 0);
}

void CConnectDialog::ApplyState(int nState) {
  m_nState = nState;
  if (nState == kStateStopped || nState == kStateConnected || nState == kStateFailed) m_bOutcomeSeen = true;
  const bool bRetry = nState == kStateStopped || nState == kStateFailed;
  m_pRetry->setVisible(true);
  m_pRetry->setEnabled(bRetry);
  if (nState == kStateConnecting) {
    m_pProgress->setRange(0, 0);  // the busy indicator
  } else {
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
  }
  if (nState == kStateConnected) {
    // The confirmation is modal and waits five seconds; shown from the queue,
    // so the notification that brought success is answered at once and the
    // service's notification thread is not held meanwhile.
    PostMessage(GetSafeHwnd(), kMsgConnected, 0, 0);
  } else if (nState == kStateFailed) {
    m_bRetryChecked = m_pAutoRetry->isChecked();
    if (m_bRetryChecked) {
      m_pRetryTimer->start();
      m_nRetryTimer = kRetryTimer;
    }
  }
}

LRESULT CConnectDialog::WindowProc(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_WLAN_NOTIFY:
      OnWlanNotify(wParam);
      return 1;
    case kMsgSetState:
      ApplyState(static_cast<int>(wParam));
      return 1;
    case kMsgThreadState:
      ApplyThreadState(static_cast<int>(wParam));
      return 1;
    case kMsgConnected:
      OnConnected();
      return 1;
    case WM_CLOSE:
      close();
      return 0;
    default:
      return 0;
  }
}

void CConnectDialog::OnWlanNotify(WPARAM wParam) {
  if (wParam == 0 || m_bClosing || !m_pStation || !m_pStation->m_pDevice) return;
  const auto* record = reinterpret_cast<const WlanNotificationRecord*>(wParam);
  if (!(record->InterfaceGuid == m_pStation->m_pDevice->GetGuid())) return;

  const DWORD code = record->NotificationCode;
  if (record->NotificationSource == WLAN_NOTIFICATION_SOURCE_ACM) {
    switch (code) {
      case wlan_notification_acm_connection_start:
      case wlan_notification_acm_connection_complete: {
        if (record->dwDataSize < kConnectionPayloadSize) return;
        WLAN_CONNECTION_NOTIFICATION_DATA data;
        std::memcpy(&data, record->Payload(), kConnectionPayloadSize);
        const std::string ssid = CStation::SsidText(data.dot11Ssid);
        const bool bSame = Utf8CompareNoCase(ssid, m_pStation->GetSSID()) == 0;
        if (code == wlan_notification_acm_connection_start) {
          if (bSame)
            ConnectLogPrintf(m_pLog, "ACM: Connecting to %s network '%s'\n", BssTypeName(data.dot11BssType).c_str(),
                             ssid.c_str());
        } else if (!bSame) {
          ConnectLogPrintf(m_pLog, "Connected to a different station\n");
          SetState(kStateStopped);
        } else if (data.wlanReasonCode == 0) {
          ConnectLogPrintf(m_pLog, "ACM: Connected.\n");
          SetState(kStateConnected);
        } else {
          ConnectLogPrintf(m_pLog, "ACM: The connection failed because: %s\n",
                           ReasonCodeText(data.wlanReasonCode).c_str());
          SetState(kStateFailed);
        }
        return;
      }
      case wlan_notification_acm_connection_attempt_fail:
      case wlan_notification_acm_disconnecting:
      case wlan_notification_acm_disconnected:
      case wlan_notification_acm_adhoc_network_state_change:
        ConnectLogPrintf(m_pLog, "ACM: %s.\n", AcmNotificationName(code).c_str());
        return;
      default:
        return;
    }
  }
  if (record->NotificationSource == WLAN_NOTIFICATION_SOURCE_MSM) {
    if (code < wlan_notification_msm_associating || code > wlan_notification_msm_adapter_operation_mode_change ||
        code == wlan_notification_msm_signalquality_change)
      return;
    if (code == wlan_notification_msm_adapter_removal) SetState(kStateStopped);
    ConnectLogPrintf(m_pLog, "MSM: %s.\n", MsmNotificationName(code).c_str());
  }
}

void CConnectDialog::OnConnected() {
  if (m_bClosing || !m_pStation) return;
  const CStation* shown = m_pStation;
  if (CNativeWIFIDevice* device = m_pStation->m_pDevice) {
    if (const CStation* current = device->FindStation(device->GetCurrentBssid())) shown = current;
  }
  const std::string text = "Connected to " + shown->GetSSID() + " (" + shown->GetMacText() + ")";
  CTaskDialog confirmation(this, u"Connected", Utf8ToWide(text), std::u16string(), std::u16string());
  confirmation.EnableAutoClose();
  const QPointer<CConnectDialog> self(this);  // the confirmation's loop may outlive the dialog
  confirmation.DoModal();
  if (self) PostMessage(GetSafeHwnd(), WM_CLOSE, 0, 0);
}

void CConnectDialog::OnRetryTimer() {
  m_pRetryTimer->stop();
  m_nRetryTimer = 0;
  SpawnConnectThread();
}

void CConnectDialog::OnRetry() { SpawnConnectThread(); }

void CConnectDialog::done(int result) {
  OnDestroy();
  QDialog::done(result);
}

void CConnectDialog::OnDestroy() {
  if (m_bClosing) return;
  m_bClosing = true;
  CNativeWIFIDevice* device = m_pStation ? m_pStation->m_pDevice : nullptr;
  if (m_bStarted && device) {
    device->SetProfilesAutoConnect(true);
    if (device->GetInterface()) device->GetInterface()->RemoveObserver(GetSafeHwnd());
  }
  m_pRetryTimer->stop();
  m_nRetryTimer = 0;
  // A dialog that was never shown has no choice of the user's to keep.
  if (m_bStarted) CSettings::m_bAutoRetry = m_pAutoRetry->isChecked();
  // The thread's last log lines and state are served while waiting.
  m_connectThread.Join();
}
