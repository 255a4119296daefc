// A station's properties window: a small modeless top-level window, one per
// station, holding a property sheet of up to three pages (station, network,
// profile XML) above OK, Cancel and Apply. It shows the values of the moment
// it opened and changes nothing; Cancel and Apply stay disabled.
//
// References: the window holds no pointer to the network or the profile. The
// pages copy their values when they are built, and "&Edit" keeps only the
// profile's name and its adapter's GUID and looks both up through the WLAN
// client when pressed, so a network or profile record that the monitor
// replaces or updates meanwhile is never reached through a stale pointer
// (today records are only added or updated in place). The station itself is
// held only while it lives: its destructor calls DestroyStationWindow, which
// drops the pointer and closes the window, and every way of closing clears
// the station's m_pPropertiesWnd.
#pragma once

#include <QTabWidget>
#include <QWidget>

#include "wlan/Station.h"

class CProfilePropPage;
class CStationPPNetwork;
class CStationPPStation;
class QPushButton;

class CStationPropertySheet : public QTabWidget {
  Q_OBJECT

 public:
  // Caption "Station Properties"; the station page, the network page for the
  // station's network, and the profile page only when that network has a
  // profile with a document. The first page is selected.
  CStationPropertySheet(CStation* pStation, QWidget* pParent);

  CStation* m_pStation;
  CStationPPStation* m_pStationPage = nullptr;
  CStationPPNetwork* m_pNetworkPage = nullptr;
  CProfilePropPage* m_pProfilePage = nullptr;  // may stay null
};

class CMiniPropSheetFrame : public QWidget, public CStationWindow {
  Q_OBJECT

 public:
  static constexpr int IDOK = 1;
  static constexpr int IDCANCEL = 2;
  static constexpr int ID_APPLY_NOW = 2112;

  // Builds the sheet and the buttons and sizes and centres the window; the
  // caller shows it. The window deletes itself once closed.
  explicit CMiniPropSheetFrame(CStation* pStation);
  ~CMiniPropSheetFrame() override;

  // The station is going away: forget it and close.
  void DestroyStationWindow() override;

  CStation* GetStation() const { return m_pStation; }
  CStationPropertySheet* GetSheet() const { return m_pSheet; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Clears the station's pointer to this window (if it still points here).
  void Detach();

  CStationPropertySheet* m_pSheet = nullptr;
  CStation* m_pStation;
  QPushButton* m_btnOK = nullptr;
  QPushButton* m_btnCancel = nullptr;
  QPushButton* m_btnApply = nullptr;
  bool m_bModified = false;
};

// Opens the station's properties window, or brings the open one to the
// front and gives it the focus. User-interface thread.
void ShowProperties(CStation* pStation);
