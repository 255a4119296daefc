#include "ui/TestDialog.h"

#include <QPushButton>
#include <algorithm>

#include "platform/wlanapi.h"
#include "settings/Settings.h"
#include "ui/DialogUnits.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

// Template size and button rectangles, in dialog units.
constexpr int kTemplateWidth = 186;
constexpr int kTemplateHeight = 94;
struct ButtonRect {
  int x, y, cx, cy;
};
constexpr ButtonRect kEnableRect{7, 7, 92, 14};
constexpr ButtonRect kDisableRect{7, 28, 94, 14};
constexpr ButtonRect kOkRect{69, 73, 50, 14};

}  // namespace

CTestDialog::CTestDialog(QWidget* pParent) : QDialog(pParent) {
  setObjectName(QStringLiteral("testDialog"));
  setWindowTitle(QStringLiteral("Test Dialog"));
  const DialogUnits units = DialogUnits::Of(font());

  // A button keeps its template rectangle unless its text needs more room;
  // the dialog grows with it, and OK stays centred.
  int right = units.Cx(kTemplateWidth);
  auto place = [&](QPushButton* button, int id, const char* name, const ButtonRect& r) {
    button->setProperty("controlId", id);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    QRect rect = units.Map(r.x, r.y, r.cx, r.cy);
    const QSize hint = button->sizeHint();
    rect.setSize(rect.size().expandedTo(hint));
    button->setGeometry(rect);
    right = std::max(right, rect.right() + 1 + units.Cx(kEnableRect.x));
  };
  m_pEnable = new QPushButton(QStringLiteral("Enable Background Scans"), this);
  m_pDisable = new QPushButton(QStringLiteral("Disable Background Scans"), this);
  m_pOk = new QPushButton(QStringLiteral("OK"), this);
  place(m_pEnable, IDC_ENABLE_BACKGROUND_SCANS, "enableButton", kEnableRect);
  place(m_pDisable, IDC_DISABLE_BACKGROUND_SCANS, "disableButton", kDisableRect);
  place(m_pOk, IDOK, "okButton", kOkRect);
  m_pOk->setDefault(true);
  const int height = std::max(units.Cy(kTemplateHeight), m_pOk->geometry().bottom() + 1 + units.Cy(kEnableRect.y));
  m_pOk->move((right - m_pOk->width()) / 2, m_pOk->y());
  setFixedSize(right, height);

  connect(m_pEnable, &QPushButton::clicked, this, [] { SetBackgroundScan(true); });
  connect(m_pDisable, &QPushButton::clicked, this, [] { SetBackgroundScan(false); });
  connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

void CTestDialog::SetBackgroundScan(bool enable) {
  CNativeWIFIInterface* client = g_pWifiInterface;
  if (!client) return;
  CNativeWIFIDevice* device = client->FindDevice(CSettings::m_guidMonitorDevice);
  if (!device && client->GetDeviceCount() > 0) device = client->GetDevice(0);
  if (!device) return;
  BOOL value = enable ? TRUE : FALSE;
  WlanSetInterface(client->GetClientHandle(), &device->GetGuid(), wlan_intf_opcode_background_scan_enabled,
                   sizeof value, &value, nullptr);
}
