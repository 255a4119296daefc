// The profile editor: shows a stored profile's document as the WLAN service
// holds it for one adapter, with the connection mode, automatic switching
// and the network key as form fields over the whole XML text (the fields
// rewrite their element's text in place, and editing the text updates the
// fields), and saves it through the service. A document that is not
// well-formed XML, or whose profile name or SSID is empty, is refused before
// the service sees it; a refusal of the service is shown with its reason. In
// both cases the dialog stays open with the user's text and nothing is saved.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "platform/wlantypes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// First page the editor opens on (it has one page; kept for the call's shape).
enum WL_DISPLAY_PAGES { WLConnectionPage, WLSecurityPage, WLAdvPage };
constexpr DWORD WLAN_UI_API_VERSION = 1;

// Opens the editor for the profile `wstrProfileName` of the adapter
// `pInterfaceGuid`, modal to `hWnd`, through the WLAN client
// g_pWifiInterface. ERROR_SUCCESS when a document was saved, ERROR_CANCELLED
// when the editor was closed without saving, ERROR_INVALID_PARAMETER for a
// wrong version or a missing argument, ERROR_NOT_FOUND without a client or
// such an adapter. *pWlanReasonCode (when given) is the reason of the last
// refused save, else 0.
DWORD WlanUIEditProfile(DWORD dwClientVersion, LPCWSTR wstrProfileName, const GUID* pInterfaceGuid, QWidget* hWnd,
                        WL_DISPLAY_PAGES wlStartPage, PVOID pReserved, WLAN_REASON_CODE* pWlanReasonCode);

class CProfileEditDialog : public QDialog {
  Q_OBJECT

 public:
  // Reads the document from the service; when that fails the dialog says so
  // and cannot save.
  CProfileEditDialog(QWidget* pParent, const GUID& guidDevice, const std::string& strProfileName);

  // Checks the document and hands it to the service. True when saved (the
  // dialog is then accepted); otherwise the reason is shown in the dialog.
  bool Save();

  QString GetXml() const;
  // The text shown for the last refusal, empty when none.
  QString GetErrorText() const;
  // Reason code of the last save the service refused, else 0.
  WLAN_REASON_CODE GetReasonCode() const { return m_dwReason; }

 private:
  void OnXmlChanged();
  void OnConnectionModeChanged();
  void OnAutoSwitchChanged();
  void OnKeyChanged();
  // Replaces the text of the element at `path` (local names from the root)
  // with `value`, escaped; nothing when the element is not in the document.
  void SetElementText(const QStringList& path, const QString& value);
  void ShowError(const QString& text);

  GUID m_guidDevice;
  std::string m_strProfileName;
  WLAN_REASON_CODE m_dwReason = 0;
  QComboBox* m_pConnectionMode = nullptr;
  QCheckBox* m_pAutoSwitch = nullptr;
  QLineEdit* m_pKey = nullptr;
  QPlainTextEdit* m_pXml = nullptr;
  QLabel* m_pError = nullptr;
  QPushButton* m_pSave = nullptr;
};
