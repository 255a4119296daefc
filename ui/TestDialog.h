// A small hidden dialog (Ctrl+Alt+T, no menu item) that switches the WLAN
// service's background scanning of the monitored adapter on and off by hand.
// The dialog logs nothing itself: the service's own "Background scan
// enabled" / "... disabled" notification is what the log shows.
#pragma once

#include <QDialog>

class QPushButton;

class CTestDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int IDC_ENABLE_BACKGROUND_SCANS = 1019;
  static constexpr int IDC_DISABLE_BACKGROUND_SCANS = 1007;
  static constexpr int IDOK = 1;

  explicit CTestDialog(QWidget* pParent = nullptr);

  // Switches background scanning of the adapter chosen in the settings, else
  // of the first adapter; does nothing without a WLAN client or adapter. The
  // service's answer is not examined.
  static void SetBackgroundScan(bool enable);

  QPushButton* GetEnableButton() const { return m_pEnable; }
  QPushButton* GetDisableButton() const { return m_pDisable; }
  QPushButton* GetOkButton() const { return m_pOk; }

 private:
  QPushButton* m_pEnable = nullptr;
  QPushButton* m_pDisable = nullptr;
  QPushButton* m_pOk = nullptr;
};
