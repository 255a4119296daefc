// The settings dialog: the passive and the active scan interval, chosen from
// fixed lists of seconds, and the adapter whose connection is used to check
// internet connectivity. OK takes the choices over into CSettings and saves
// them; the caller then tells its windows that the settings changed.
//
// Each interval list shows the stored value by selecting the first item that
// begins with the value's text in seconds ("%.6g", a leading "0" dropped), so
// a stored value that is on no list may select a neighbour ("6" selects "60")
// or nothing. OK with an interval list that has no selection says "Please
// enter a number." and keeps the dialog open.
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

class CSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // Control ids of the dialog's template (objectName and "controlId").
  static constexpr int IDC_PASSIVE_INTERVAL = 1000;
  static constexpr int IDC_ACTIVE_INTERVAL = 1001;
  static constexpr int IDC_ADAPTER = 1018;
  static constexpr int IDOK = 1;
  static constexpr int IDCANCEL = 2;

  // Reads the two intervals from CSettings (in seconds) and fills the
  // controls; the adapters come from the WLAN client (g_pWifiInterface).
  explicit CSettingsDialog(QWidget* pParent = nullptr);

  QComboBox* GetPassiveList() const { return m_pPassive; }
  QComboBox* GetActiveList() const { return m_pActive; }
  QComboBox* GetAdapterList() const { return m_cbAdapter; }
  QPushButton* GetOkButton() const { return m_pOk; }

  // The text an interval in seconds is shown as, and looked up by: "%.6g"
  // with a leading "0" dropped (0.1 -> ".1").
  static QString IntervalText(float seconds);

 public slots:
  void accept() override;

 private:
  void CreateControls();
  void FillAdapters();
  // Control -> member; false when a list has no selection.
  bool ReadIntervals();

  float m_fPassiveScanInterval = 0.0f;  // seconds
  float m_fActiveScanInterval = 0.0f;   // seconds
  QComboBox* m_pPassive = nullptr;
  QComboBox* m_pActive = nullptr;
  QComboBox* m_cbAdapter = nullptr;
  QPushButton* m_pOk = nullptr;
  QPushButton* m_pCancel = nullptr;
};
