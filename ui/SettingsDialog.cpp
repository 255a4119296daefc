#include "ui/SettingsDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <iterator>

#include "settings/Settings.h"
#include "ui/DialogUnits.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

const char* const kPassiveItems[] = {".1", ".2", ".3", ".5", "1", "2", "3", "5", "10", "30", "60"};
const char* const kActiveItems[] = {"1", "2", "3", "5", "7", "10", "20", "30"};

// Template sizes in dialog units: the left column's width, the wrapped
// explanations, the lists, the labels before the lists, and the buttons.
constexpr int kMargin = 7;
constexpr int kGroupWidth = 231;
constexpr int kExplanationWidth = 218;
constexpr int kPassiveExplanationHeight = 29;
constexpr int kActiveExplanationHeight = 41;
constexpr int kAdapterListWidth = 215;
constexpr int kIntervalListWidth = 36;
constexpr int kUpdateEveryWidth = 54;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 3;

template <typename T>
T* Control(T* widget, int id, const char* name) {
  widget->setProperty("controlId", id);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

CSettingsDialog::CSettingsDialog(QWidget* pParent) : QDialog(pParent) {
  setObjectName(QStringLiteral("settingsDialog"));
  setWindowTitle(QStringLiteral("Settings"));
  m_fPassiveScanInterval = static_cast<float>(CSettings::m_nPassiveScanInterval / 1000.0);
  m_fActiveScanInterval = static_cast<float>(CSettings::m_nActiveScanInterval / 1000.0);
  CreateControls();

  // Members -> controls: the first item that begins with the value's text.
  m_pPassive->setCurrentIndex(m_pPassive->findText(IntervalText(m_fPassiveScanInterval), Qt::MatchStartsWith));
  m_pActive->setCurrentIndex(m_pActive->findText(IntervalText(m_fActiveScanInterval), Qt::MatchStartsWith));
  FillAdapters();
}

QString CSettingsDialog::IntervalText(float seconds) {
  char buffer[16];  // room for any float in "%.6g"
  std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(seconds));
  QString text = QString::fromLatin1(buffer);
  if (text.startsWith(QLatin1String("0."))) text.remove(0, 1);
  return text;
}

void CSettingsDialog::CreateControls() {
  const DialogUnits units = DialogUnits::Of(font());

  auto makeList = [&](int id, const char* name, const auto& items) {
    auto* list = Control(new QComboBox(this), id, name);
    for (const char* item : items) list->addItem(QString::fromLatin1(item));
    list->setMaxVisibleItems(static_cast<int>(std::size(items)));
    list->setMinimumWidth(units.Cx(kIntervalListWidth));
    return list;
  };
  m_pPassive = makeList(IDC_PASSIVE_INTERVAL, "passiveInterval", kPassiveItems);
  m_pActive = makeList(IDC_ACTIVE_INTERVAL, "activeInterval", kActiveItems);

  // An explanation wraps within its template width and keeps at least its
  // template height; a wider font makes it taller, never cut off.
  auto explanation = [&](const QString& text, int height) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    label->setFixedWidth(units.Cx(kExplanationWidth));
    label->setMinimumHeight(units.Cy(height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
  };
  // "Update every [list] second(s)." with the first label right-aligned in
  // its template width.
  auto intervalRow = [&](QComboBox* list) {
    auto* row = new QHBoxLayout;
    auto* before = new QLabel(QStringLiteral("Update every "), this);
    before->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    before->setMinimumWidth(units.Cx(kUpdateEveryWidth));
    before->setBuddy(list);
    row->addWidget(before);
    row->addWidget(list);
    row->addWidget(new QLabel(QStringLiteral("second(s)."), this));
    row->addStretch(1);
    return row;
  };
  auto group = [&](const QString& title, QLabel* text, QComboBox* list) {
    auto* box = new QGroupBox(title, this);
    auto* inner = new QVBoxLayout(box);
    inner->addWidget(text);
    inner->addLayout(intervalRow(list));
    box->setMinimumWidth(units.Cx(kGroupWidth));
    return box;
  };

  auto* adapterLabel = new QLabel(QStringLiteral("Select adapter to monitor Internet connectivity with"), this);
  m_cbAdapter = Control(new QComboBox(this), IDC_ADAPTER, "adapterList");
  m_cbAdapter->setFixedWidth(units.Cx(kAdapterListWidth));
  m_cbAdapter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  adapterLabel->setBuddy(m_cbAdapter);

  QGroupBox* passive = group(
      QStringLiteral("Passive Scan Interval"),
      explanation(QStringLiteral("The passive scan interval is how often the application asks the Wireless interface "
                                 "driver about what stations it sees in range. It doesn't actually request the driver "
                                 "to perform an active scan."),
                  kPassiveExplanationHeight),
      m_pPassive);
  QGroupBox* active = group(
      QStringLiteral("Active Scan Interval"),
      explanation(QStringLiteral("The Active scan interval is how often Aerlume asks the WIFI Interface to stop "
                                 "transmitting/receiving and scan all channels. Because the interface can't transmit or "
                                 "receive during the scan, scanning too frequently will negatively impact data "
                                 "throughput."),
                  kActiveExplanationHeight),
      m_pActive);

  m_pOk = Control(new QPushButton(QStringLiteral("OK"), this), IDOK, "okButton");
  m_pCancel = Control(new QPushButton(QStringLiteral("Cancel"), this), IDCANCEL, "cancelButton");
  m_pOk->setDefault(true);
  for (QPushButton* button : {m_pOk, m_pCancel}) {
    button->setMinimumSize(units.Cx(kButtonWidth), units.Cy(kButtonHeight));
  }
  connect(m_pOk, &QPushButton::clicked, this, &CSettingsDialog::accept);
  connect(m_pCancel, &QPushButton::clicked, this, &CSettingsDialog::reject);

  // Left: the adapter, then the two groups; right: OK and Cancel at the
  // bottom, beside the active scan group.
  auto* left = new QVBoxLayout;
  left->addWidget(adapterLabel);
  left->addWidget(m_cbAdapter, 0, Qt::AlignLeft);
  left->addWidget(passive);
  left->addWidget(active);
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(units.Cy(kButtonGap));
  buttons->addStretch(1);
  buttons->addWidget(m_pOk);
  buttons->addWidget(m_pCancel);
  auto* outer = new QGridLayout(this);
  outer->setContentsMargins(units.Cx(kMargin), units.Cy(kMargin), units.Cx(kMargin), units.Cy(kMargin));
  outer->setHorizontalSpacing(units.Cx(kMargin));
  outer->addLayout(left, 0, 0);
  outer->addLayout(buttons, 0, 1);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

void CSettingsDialog::FillAdapters() {
  CNativeWIFIInterface* client = g_pWifiInterface;
  if (!client) return;
  const int count = client->GetDeviceCount();
  CNativeWIFIDevice* chosen = client->FindDevice(CSettings::m_guidMonitorDevice);
  if (!chosen && count > 0) chosen = client->GetDevice(0);

  // A sorted list: each description goes before the first that sorts after
  // it, without regard to case.
  for (int i = 0; i < count; ++i) {
    CNativeWIFIDevice* device = client->GetDevice(i);
    const QString text = QString::fromStdString(device->GetDescription());
    int at = 0;
    while (at < m_cbAdapter->count() && QString::compare(m_cbAdapter->itemText(at), text, Qt::CaseInsensitive) <= 0)
      ++at;
    m_cbAdapter->insertItem(at, text, QVariant::fromValue(reinterpret_cast<quintptr>(device)));
  }
  for (int at = 0; chosen && at < m_cbAdapter->count(); ++at) {
    const auto* device = reinterpret_cast<const CNativeWIFIDevice*>(m_cbAdapter->itemData(at).value<quintptr>());
    if (device->GetGuid() == chosen->GetGuid()) m_cbAdapter->setCurrentIndex(at);
  }
}

bool CSettingsDialog::ReadIntervals() {
  if (m_pPassive->currentIndex() < 0 || m_pActive->currentIndex() < 0) return false;
  bool passiveOk = false, activeOk = false;
  const float passive = m_pPassive->currentText().toFloat(&passiveOk);
  const float active = m_pActive->currentText().toFloat(&activeOk);
  if (!passiveOk || !activeOk) return false;
  m_fPassiveScanInterval = passive;
  m_fActiveScanInterval = active;
  return true;
}

void CSettingsDialog::accept() {
  if (!ReadIntervals()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Aerlume"), QStringLiteral("Please enter a number."),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("numberPrompt"));
    box.exec();
    return;
  }
  // Extended precision from the float, truncated: ".3" gives 300, not 299.
  CSettings::m_nActiveScanInterval = static_cast<int>(static_cast<long double>(m_fActiveScanInterval) * 1000);
  CSettings::m_nPassiveScanInterval = static_cast<int>(static_cast<long double>(m_fPassiveScanInterval) * 1000);
  if (const int at = m_cbAdapter->currentIndex(); at >= 0) {
    if (const auto* device = reinterpret_cast<const CNativeWIFIDevice*>(m_cbAdapter->itemData(at).value<quintptr>()))
      CSettings::m_guidMonitorDevice = device->GetGuid();
  }
  CSettings::Save();
  QDialog::accept();
}
