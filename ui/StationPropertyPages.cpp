#include "ui/StationPropertyPages.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdio>
#include <ctime>

#include "platform/widetext.h"
#include "ui/ProfileEditDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"
#include "wlan/WlanNames.h"

namespace {

// Every page's template: 235 x 156 dialog units.
constexpr int kTemplateWidth = 235;
constexpr int kTemplateHeight = 156;
constexpr int kMargin = 7;  // dialog units around the controls
constexpr int kRowGap = 4;

// Pixels per dialog unit for a font: a quarter of the average letter width,
// an eighth of the line height.
struct DialogUnits {
  double x, y;
  int X(int units) const { return qRound(units * x); }
  int Y(int units) const { return qRound(units * y); }
};

DialogUnits UnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int average = (letters / 26 + 1) / 2;
  return {average / 4.0, metrics.height() / 8.0};
}

template <typename T>
T* Control(T* widget, int id, const char* name) {
  widget->setProperty("controlId", id);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A read-only edit field wide enough for its whole text: the values are a
// snapshot, so they can be measured once. Beyond one template width the
// field scrolls instead.
QLineEdit* ReadOnlyField(QWidget* page, const std::string& text, int id, const char* name, const DialogUnits& units) {
  auto* edit = Control(new QLineEdit(QString::fromStdString(text), page), id, name);
  edit->setReadOnly(true);
  edit->setCursorPosition(0);
  const int frame = 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
  const int needed = edit->fontMetrics().horizontalAdvance(edit->text()) + frame + 8;
  edit->setMinimumWidth(qMin(needed, units.X(kTemplateWidth)));
  return edit;
}

// Label and field rows in two columns, the labels' column as wide as its
// longest label; at least the template's size.
QGridLayout* PageGrid(QWidget* page, const DialogUnits& units) {
  page->setMinimumSize(units.X(kTemplateWidth), units.Y(kTemplateHeight));
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(units.X(kMargin), units.Y(kMargin), units.X(kMargin), units.Y(kMargin));
  grid->setHorizontalSpacing(units.X(kRowGap));
  grid->setVerticalSpacing(units.Y(kRowGap));
  grid->setColumnStretch(1, 1);
  return grid;
}

void AddRow(QGridLayout* grid, const char* label, QWidget* field) {
  const int row = grid->rowCount();
  auto* text = new QLabel(QString::fromLatin1(label), field->parentWidget());
  text->setBuddy(field);
  grid->addWidget(text, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
  grid->addWidget(field, row, 1);
}

std::string FormatInt(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return text;
}

}  // namespace

std::string FormatStationTime(std::int64_t t) {
  const auto value = static_cast<std::time_t>(t);
  if (static_cast<std::int64_t>(value) != t) return {};
  std::tm local{};
  if (!localtime_r(&value, &local)) return {};
  char text[128];
  const std::size_t length = std::strftime(text, sizeof text, "%c", &local);
  return length ? std::string(text, length) : std::string();
}

CStationPPStation::CStationPPStation(const CStation& station, QWidget* parent)
    : QWidget(parent),
      m_strMacAddress(station.GetMacText()),
      m_strDataRates(station.GetDataRatesText()),
      m_nRssi(static_cast<int>(station.m_lRssi.load())),
      m_nLinkQuality(static_cast<int>(station.m_uLinkQuality.load())),
      m_nBeaconPeriod(static_cast<int>(station.m_usBeaconPeriod)),
      m_nChannel(station.GetChannel()),
      m_strFirstSeen(FormatStationTime(station.m_tFirstSeen)),
      m_strLastSeen(FormatStationTime(station.m_tLastSeen.load())),
      m_strBand(station.GetBandText()),
      m_strWidth(station.GetWidthText()),
      m_strStandard(station.GetStandardText()),
      m_strAuthentication(station.GetAuthenticationText()),
      m_strPmf(station.GetPmfText()),
      m_strVendor(station.GetVendorText()) {
  setObjectName(QStringLiteral("stationPage"));
  setProperty("templateId", IDD);
  const DialogUnits units = UnitsOf(font());
  QGridLayout* grid = PageGrid(this, units);
  AddRow(grid, "Mac Address:", ReadOnlyField(this, m_strMacAddress, IDC_MAC_ADDRESS, "macAddress", units));
  AddRow(grid, "Data Rates:", ReadOnlyField(this, m_strDataRates, IDC_DATA_RATES, "dataRates", units));
  AddRow(grid, "Received Signal Strength Indicator:", ReadOnlyField(this, FormatInt(m_nRssi), IDC_RSSI, "rssi", units));
  AddRow(grid, "Link Quality:",
         ReadOnlyField(this, FormatInt(m_nLinkQuality), IDC_LINK_QUALITY, "linkQuality", units));
  AddRow(grid, "Beacon Period:",
         ReadOnlyField(this, FormatInt(m_nBeaconPeriod), IDC_BEACON_PERIOD, "beaconPeriod", units));
  AddRow(grid, "Channel:", ReadOnlyField(this, FormatInt(m_nChannel), IDC_CHANNEL, "channel", units));
  AddRow(grid, "Band:", ReadOnlyField(this, m_strBand, IDC_BAND, "band", units));
  AddRow(grid, "Channel Width:", ReadOnlyField(this, m_strWidth, IDC_WIDTH, "width", units));
  AddRow(grid, "Standard:", ReadOnlyField(this, m_strStandard, IDC_STANDARD, "standard", units));
  AddRow(grid, "Authentication:",
         ReadOnlyField(this, m_strAuthentication, IDC_AUTHENTICATION, "authentication", units));
  AddRow(grid, "Management Frame Protection:", ReadOnlyField(this, m_strPmf, IDC_PMF, "pmf", units));
  AddRow(grid, "Vendor:", ReadOnlyField(this, m_strVendor, IDC_VENDOR, "vendor", units));
  AddRow(grid, "Time Discovered:", ReadOnlyField(this, m_strFirstSeen, IDC_FIRST_SEEN, "firstSeen", units));
  AddRow(grid, "Time Last Seen:", ReadOnlyField(this, m_strLastSeen, IDC_LAST_SEEN, "lastSeen", units));
  grid->setRowStretch(grid->rowCount(), 1);
}

CStationPPNetwork::CStationPPNetwork(const CWIFINetwork* pNetwork, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("networkPage"));
  setProperty("templateId", IDD);
  if (pNetwork) {
    m_strSsid = pNetwork->GetSSID();
    m_strBssType = BssTypeName(static_cast<DWORD>(pNetwork->m_nBssType));
    m_strSecure = pNetwork->m_bSecurityEnabled ? "Yes" : "No";
    m_strCipher = CipherAlgorithmName(pNetwork->m_nCipherAlgorithm);
  }
  const DialogUnits units = UnitsOf(font());
  QGridLayout* grid = PageGrid(this, units);
  AddRow(grid, "SSID:", ReadOnlyField(this, m_strSsid, IDC_SSID, "ssid", units));
  AddRow(grid, "BSS:", ReadOnlyField(this, m_strBssType, IDC_BSS_TYPE, "bssType", units));
  AddRow(grid, "Secure:", ReadOnlyField(this, m_strSecure, IDC_SECURE, "secure", units));
  AddRow(grid, "Cypher Algorithm:", ReadOnlyField(this, m_strCipher, IDC_CIPHER, "cipher", units));
  const struct {
    const char* label;
    bool checked;
    int id;
    const char* name;
  } boxes[] = {{"Auto Connect", m_bAutoConnect, IDC_AUTO_CONNECT, "autoConnect"},
               {"Auto Switch to higher priority Profile", m_bAutoSwitch, IDC_AUTO_SWITCH, "autoSwitch"}};
  for (const auto& box : boxes) {
    auto* check = Control(new QCheckBox(QString::fromLatin1(box.label), this), box.id, box.name);
    check->setChecked(box.checked);
    check->setEnabled(false);
    grid->addWidget(check, grid->rowCount(), 0, 1, 2);
  }
  grid->setRowStretch(grid->rowCount(), 1);
}

bool CProfilePropPage::HasProfileXml(const CWIFINetwork* pNetwork) {
  return pNetwork && pNetwork->m_pProfile && !pNetwork->m_pProfile->m_strXml.empty();
}

CProfilePropPage::CProfilePropPage(const CWIFINetwork& network, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("profilePage"));
  setProperty("templateId", IDD);
  if (const CWIFIProfile* profile = network.m_pProfile) {
    m_strXml = profile->m_strXml;
    m_strProfileName = profile->m_strName;
    if (profile->m_pDevice) m_guidDevice = profile->m_pDevice->GetGuid();
  }
  const DialogUnits units = UnitsOf(font());
  setMinimumSize(units.X(kTemplateWidth), units.Y(kTemplateHeight));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(units.X(kMargin), units.Y(kMargin), units.X(kMargin), units.Y(kMargin));
  column->setSpacing(units.Y(kRowGap));

  auto* xml = Control(new QPlainTextEdit(QString::fromStdString(m_strXml), this), IDC_XML, "profileXml");
  xml->setReadOnly(true);
  xml->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Profile documents are usually indented with tabs; four spaces each.
  xml->setTabStopDistance(4 * xml->fontMetrics().horizontalAdvance(QLatin1Char(' ')));
  xml->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  xml->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  column->addWidget(xml, 1);

  auto* edit = Control(new QPushButton(QStringLiteral("&Edit"), this), IDC_EDIT, "editButton");
  edit->setAutoDefault(false);
  edit->setMinimumWidth(units.X(50));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(edit);
  column->addLayout(buttons);
  connect(edit, &QPushButton::clicked, this, &CProfilePropPage::OnEdit);
}

void CProfilePropPage::OnEdit() {
  // The editor's result is not needed: a saved change reaches the station
  // list through the client's profiles, and this page keeps its snapshot.
  const std::u16string name = Utf8ToWide(m_strProfileName);
  GUID guid = m_guidDevice;
  WLAN_REASON_CODE reason = 0;
  WlanUIEditProfile(WLAN_UI_API_VERSION, name.c_str(), &guid, this, WLConnectionPage,
                    nullptr, &reason);
}
