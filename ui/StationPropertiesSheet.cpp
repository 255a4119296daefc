#include "ui/StationPropertiesSheet.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <utility>

#include "ui/StationPropertyPages.h"
#include "wlan/WIFINetwork.h"

namespace {

constexpr int kSheetMargin = 11;  // pixels around the sheet
constexpr int kButtonWidth = 67;
constexpr int kButtonGap = 3;
constexpr int kButtonsBelow = 7;  // between the sheet and the buttons
constexpr int kBottomMargin = 10;

}  // namespace

CStationPropertySheet::CStationPropertySheet(CStation* pStation, QWidget* pParent)
    : QTabWidget(pParent), m_pStation(pStation) {
  setObjectName(QStringLiteral("stationPropertySheet"));
  setWindowTitle(QStringLiteral("Station Properties"));
  CWIFINetwork* network = pStation->m_pNetwork;
  m_pStationPage = new CStationPPStation(*pStation, this);
  addTab(m_pStationPage, QStringLiteral("&Station"));
  m_pNetworkPage = new CStationPPNetwork(network, this);
  addTab(m_pNetworkPage, QStringLiteral("&Network"));
  if (CProfilePropPage::HasProfileXml(network)) {
    m_pProfilePage = new CProfilePropPage(*network, this);
    addTab(m_pProfilePage, QStringLiteral("&Profile XML"));
  }
  setCurrentIndex(0);
}

CMiniPropSheetFrame::CMiniPropSheetFrame(CStation* pStation)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_pStation(pStation) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("stationPropertiesFrame"));
  setWindowTitle(QStringLiteral("Station Properties"));

  m_pSheet = new CStationPropertySheet(pStation, this);
  setFocusProxy(m_pSheet);
  const QSize sheet = m_pSheet->sizeHint().expandedTo(m_pSheet->minimumSizeHint());
  m_pSheet->setGeometry(kSheetMargin, kSheetMargin, sheet.width(), sheet.height());

  auto makeButton = [this](const char* text, int id, const char* name) {
    auto* button = new QPushButton(QString::fromLatin1(text), this);
    button->setProperty("controlId", id);
    button->setObjectName(QString::fromLatin1(name));
    return button;
  };
  m_btnOK = makeButton("&OK", IDOK, "okButton");
  m_btnCancel = makeButton("&Cancel", IDCANCEL, "cancelButton");
  m_btnApply = makeButton("&Apply", ID_APPLY_NOW, "applyButton");
  m_btnOK->setDefault(true);

  // Buttons in a row under the sheet's right edge, OK, Cancel, Apply; wider
  // or taller than the classic size only when their text needs it.
  int width = kButtonWidth;
  int height = 0;
  for (QPushButton* button : {m_btnOK, m_btnCancel, m_btnApply}) {
    width = qMax(width, button->sizeHint().width());
    height = qMax(height, button->sizeHint().height());
  }
  const int top = kSheetMargin + sheet.height() + kButtonsBelow;
  int right = kSheetMargin + sheet.width();
  for (QPushButton* button : {m_btnApply, m_btnCancel, m_btnOK}) {
    button->setGeometry(right - width, top, width, height);
    right -= width + kButtonGap;
  }
  const int clientWidth = qMax(2 * kSheetMargin + sheet.width(), 3 * width + 2 * kButtonGap + 2 * kSheetMargin);
  setFixedSize(clientWidth, top + height + kBottomMargin);

  connect(m_btnOK, &QPushButton::clicked, this, &QWidget::close);
  connect(m_btnCancel, &QPushButton::clicked, this, &QWidget::close);
  // Apply has nothing to apply: the pages change nothing.

  m_bModified = false;
  m_btnCancel->setEnabled(false);
  m_btnApply->setEnabled(m_bModified);

  // Centred over the active window, else on the screen.
  const QWidget* over = QApplication::activeWindow();
  const QRect area = over ? over->frameGeometry() : (screen() ? screen()->availableGeometry() : rect());
  move(area.center() - rect().center());
}

CMiniPropSheetFrame::~CMiniPropSheetFrame() { Detach(); }

void CMiniPropSheetFrame::Detach() {
  if (CStation* station = std::exchange(m_pStation, nullptr); station && station->m_pPropertiesWnd == this)
    station->m_pPropertiesWnd = nullptr;
}

void CMiniPropSheetFrame::DestroyStationWindow() {
  m_pStation = nullptr;
  close();
}

void CMiniPropSheetFrame::closeEvent(QCloseEvent* event) {
  Detach();
  event->accept();
}

void ShowProperties(CStation* pStation) {
  if (!pStation) return;
  if (CStationWindow* open = pStation->m_pPropertiesWnd) {
    if (auto* frame = dynamic_cast<CMiniPropSheetFrame*>(open)) {
      frame->showNormal();
      frame->raise();
      frame->activateWindow();
      frame->setFocus();
    }
    return;
  }
  auto* frame = new CMiniPropSheetFrame(pStation);
  pStation->m_pPropertiesWnd = frame;
  frame->show();
}
