#include "ui/ProfileEditDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <array>

#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/ReasonCodes.h"

namespace {

// Where one element of the document lies, as offsets into its text (UTF-16
// units, as QXmlStreamReader counts them), and the text directly inside it.
struct ElementSpan {
  bool found = false;
  bool selfClosing = false;  // <x/>: the tag is replaced as a whole
  qsizetype tagStart = 0;
  qsizetype contentStart = 0;
  qsizetype contentEnd = 0;
  qsizetype tagEnd = 0;
  QString qualifiedName;
  QString text;
};

enum Field { kName, kSsidName, kSsidHex, kConnectionMode, kAutoSwitch, kKeyMaterial, kFieldCount };

// Paths of the fields, local names from the root element.
const std::array<QStringList, kFieldCount>& FieldPaths() {
  static const std::array<QStringList, kFieldCount> paths = {
      QStringList{"WLANProfile", "name"},
      QStringList{"WLANProfile", "SSIDConfig", "SSID", "name"},
      QStringList{"WLANProfile", "SSIDConfig", "SSID", "hex"},
      QStringList{"WLANProfile", "connectionMode"},
      QStringList{"WLANProfile", "autoSwitch"},
      QStringList{"WLANProfile", "MSM", "security", "sharedKey", "keyMaterial"},
  };
  return paths;
}

// The document read once: whether it is well-formed, and the first element
// at each field's path.
struct ProfileScan {
  bool wellFormed = false;
  QString error;
  qint64 errorLine = 0;
  qint64 errorColumn = 0;
  std::array<ElementSpan, kFieldCount> fields;

  QString Text(Field field) const { return fields[field].text.trimmed(); }
};

ProfileScan ScanProfile(const QString& document) {
  ProfileScan scan;
  QXmlStreamReader reader(document);
  QStringList path;
  std::vector<ElementSpan*> open;  // the span each open element fills, or null
  while (!reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    const qsizetype after = static_cast<qsizetype>(reader.characterOffset());
    switch (token) {
      case QXmlStreamReader::StartElement: {
        path.push_back(reader.name().toString());
        ElementSpan* span = nullptr;
        for (int f = 0; f < kFieldCount; ++f)
          if (!scan.fields[f].found && FieldPaths()[f] == path) span = &scan.fields[f];
        if (span) {
          // The reader stands just past the start tag's '>'.
          span->found = true;
          span->tagStart = document.lastIndexOf(QLatin1Char('<'), after - 1);
          span->contentStart = after;
          span->selfClosing = document.mid(after - 2, 2) == QLatin1String("/>");
          span->qualifiedName = reader.qualifiedName().toString();
        }
        open.push_back(span);
        break;
      }
      case QXmlStreamReader::Characters:
        if (!open.empty() && open.back()) open.back()->text += reader.text();
        break;
      case QXmlStreamReader::EndElement:
        if (!open.empty() && open.back()) {
          ElementSpan* span = open.back();
          span->tagEnd = after;
          span->contentEnd = span->selfClosing ? span->contentStart : document.lastIndexOf(QLatin1String("</"), after - 1);
        }
        if (!open.empty()) open.pop_back();
        if (!path.isEmpty()) path.pop_back();
        break;
      default:
        break;
    }
  }
  scan.wellFormed = !reader.hasError();
  if (!scan.wellFormed) {
    scan.error = reader.errorString();
    scan.errorLine = reader.lineNumber();
    scan.errorColumn = reader.columnNumber();
    scan.fields = {};
  }
  return scan;
}

QString ReadProfile(const GUID& guid, const std::string& name, DWORD* pError) {
  *pError = ERROR_NOT_FOUND;
  CNativeWIFIInterface* client = g_pWifiInterface;
  if (!client || !client->GetClientHandle()) return {};
  LPWSTR xml = nullptr;
  const std::u16string wide = Utf8ToWide(name);
  *pError = WlanGetProfile(client->GetClientHandle(), &guid, wide.c_str(), nullptr, &xml, nullptr, nullptr);
  QString text;
  if (*pError == ERROR_SUCCESS && xml) text = QString::fromStdString(WideToUtf8(xml));
  if (xml) WlanFreeMemory(xml);
  return text;
}

}  // namespace

CProfileEditDialog::CProfileEditDialog(QWidget* pParent, const GUID& guidDevice, const std::string& strProfileName)
    : QDialog(pParent), m_guidDevice(guidDevice), m_strProfileName(strProfileName) {
  setObjectName(QStringLiteral("profileEditDialog"));
  const QString name = QString::fromStdString(strProfileName);
  setWindowTitle(QStringLiteral("Edit Profile - %1").arg(name));

  CNativeWIFIDevice* device = g_pWifiInterface ? g_pWifiInterface->FindDevice(guidDevice) : nullptr;
  auto* intro = new QLabel(
      QStringLiteral("Profile \"%1\" on %2").arg(name, device ? QString::fromStdString(device->GetDescription())
                                                               : QStringLiteral("an unknown adapter")),
      this);
  intro->setObjectName(QStringLiteral("introLabel"));
  intro->setTextFormat(Qt::PlainText);

  m_pConnectionMode = new QComboBox(this);
  m_pConnectionMode->setObjectName(QStringLiteral("connectionMode"));
  m_pConnectionMode->addItem(QStringLiteral("Automatic"), QStringLiteral("auto"));
  m_pConnectionMode->addItem(QStringLiteral("Manual"), QStringLiteral("manual"));
  m_pAutoSwitch = new QCheckBox(QStringLiteral("&Switch to a more preferred network when one is in range"), this);
  m_pAutoSwitch->setObjectName(QStringLiteral("autoSwitch"));
  m_pKey = new QLineEdit(this);
  m_pKey->setObjectName(QStringLiteral("networkKey"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Connection &mode:"), m_pConnectionMode);
  form->addRow(QString(), m_pAutoSwitch);
  form->addRow(QStringLiteral("Network &key:"), m_pKey);

  m_pXml = new QPlainTextEdit(this);
  m_pXml->setObjectName(QStringLiteral("profileXml"));
  m_pXml->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_pXml->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_pXml->setTabStopDistance(4 * m_pXml->fontMetrics().horizontalAdvance(QLatin1Char(' ')));
  m_pXml->setMinimumSize(60 * m_pXml->fontMetrics().averageCharWidth(), 16 * m_pXml->fontMetrics().height());
  auto* xmlLabel = new QLabel(QStringLiteral("Profile &XML:"), this);
  xmlLabel->setBuddy(m_pXml);

  m_pError = new QLabel(this);
  m_pError->setObjectName(QStringLiteral("errorLabel"));
  m_pError->setWordWrap(true);
  m_pError->setTextFormat(Qt::PlainText);
  m_pError->setStyleSheet(QStringLiteral("color: #b00020;"));
  m_pError->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  m_pSave = buttons->button(QDialogButtonBox::Save);
  m_pSave->setObjectName(QStringLiteral("saveButton"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
  connect(m_pSave, &QPushButton::clicked, this, [this] { Save(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* column = new QVBoxLayout(this);
  column->addWidget(intro);
  column->addLayout(form);
  column->addWidget(xmlLabel);
  column->addWidget(m_pXml, 1);
  column->addWidget(m_pError);
  column->addWidget(buttons);

  DWORD error = ERROR_SUCCESS;
  const QString document = ReadProfile(guidDevice, strProfileName, &error);
  m_pXml->setPlainText(document);
  OnXmlChanged();
  if (error != ERROR_SUCCESS) {
    ShowError(QStringLiteral("The profile could not be read from the WLAN service (error %1).").arg(error));
    m_pSave->setEnabled(false);
  }

  connect(m_pXml, &QPlainTextEdit::textChanged, this, &CProfileEditDialog::OnXmlChanged);
  connect(m_pConnectionMode, &QComboBox::currentIndexChanged, this, &CProfileEditDialog::OnConnectionModeChanged);
  connect(m_pAutoSwitch, &QCheckBox::toggled, this, &CProfileEditDialog::OnAutoSwitchChanged);
  connect(m_pKey, &QLineEdit::textEdited, this, &CProfileEditDialog::OnKeyChanged);
}

QString CProfileEditDialog::GetXml() const { return m_pXml->toPlainText(); }

QString CProfileEditDialog::GetErrorText() const { return m_pError->text(); }

void CProfileEditDialog::ShowError(const QString& text) {
  m_pError->setText(text);
  m_pError->setVisible(!text.isEmpty());
}

void CProfileEditDialog::OnXmlChanged() {
  const ProfileScan scan = ScanProfile(GetXml());
  // The fields follow the text; an element that is missing (or a document
  // that is not well-formed) leaves its field disabled.
  const ElementSpan& mode = scan.fields[kConnectionMode];
  {
    const QSignalBlocker block(m_pConnectionMode);
    m_pConnectionMode->setCurrentIndex(m_pConnectionMode->findData(scan.Text(kConnectionMode)));
    m_pConnectionMode->setEnabled(mode.found);
  }
  {
    const QSignalBlocker block(m_pAutoSwitch);
    m_pAutoSwitch->setChecked(scan.Text(kAutoSwitch) == QLatin1String("true"));
    m_pAutoSwitch->setEnabled(scan.fields[kAutoSwitch].found);
  }
  if (m_pKey->text() != scan.fields[kKeyMaterial].text) m_pKey->setText(scan.fields[kKeyMaterial].text);
  m_pKey->setEnabled(scan.fields[kKeyMaterial].found);
  m_pKey->setPlaceholderText(scan.wellFormed && !scan.fields[kKeyMaterial].found
                                 ? QStringLiteral("(no shared key in this profile)")
                                 : QString());
}

void CProfileEditDialog::SetElementText(const QStringList& path, const QString& value) {
  const QString document = GetXml();
  const ProfileScan scan = ScanProfile(document);
  const ElementSpan* span = nullptr;
  for (int f = 0; f < kFieldCount; ++f)
    if (FieldPaths()[f] == path) span = &scan.fields[f];
  if (!span || !span->found) return;
  QTextCursor cursor(m_pXml->document());
  if (span->selfClosing) {
    cursor.setPosition(static_cast<int>(span->tagStart));
    cursor.setPosition(static_cast<int>(span->tagEnd), QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("<%1>%2</%1>").arg(span->qualifiedName, value.toHtmlEscaped()));
  } else {
    cursor.setPosition(static_cast<int>(span->contentStart));
    cursor.setPosition(static_cast<int>(span->contentEnd), QTextCursor::KeepAnchor);
    cursor.insertText(value.toHtmlEscaped());
  }
}

void CProfileEditDialog::OnConnectionModeChanged() {
  const QString mode = m_pConnectionMode->currentData().toString();
  if (!mode.isEmpty()) SetElementText(FieldPaths()[kConnectionMode], mode);
}

void CProfileEditDialog::OnAutoSwitchChanged() {
  SetElementText(FieldPaths()[kAutoSwitch], m_pAutoSwitch->isChecked() ? QStringLiteral("true") : QStringLiteral("false"));
}

void CProfileEditDialog::OnKeyChanged() {
  // The key field is rewritten from the text afterwards; keep its cursor.
  const int position = m_pKey->cursorPosition();
  SetElementText(FieldPaths()[kKeyMaterial], m_pKey->text());
  m_pKey->setCursorPosition(position);
}

bool CProfileEditDialog::Save() {
  const QString document = GetXml();
  const ProfileScan scan = ScanProfile(document);
  if (!scan.wellFormed) {
    ShowError(QStringLiteral("The profile is not well-formed XML: %1 (line %2, column %3). Nothing was saved.")
                  .arg(scan.error)
                  .arg(scan.errorLine)
                  .arg(scan.errorColumn));
    return false;
  }
  if (scan.Text(kName).isEmpty()) {
    ShowError(QStringLiteral("The profile name is empty: enter it in the <name> element. Nothing was saved."));
    return false;
  }
  if (scan.Text(kSsidName).isEmpty() && scan.Text(kSsidHex).isEmpty()) {
    ShowError(QStringLiteral("The SSID is empty: enter it in the <SSID> element's <name> or <hex>. Nothing was saved."));
    return false;
  }
  CNativeWIFIInterface* client = g_pWifiInterface;
  CNativeWIFIDevice* device = client ? client->FindDevice(m_guidDevice) : nullptr;
  if (!device) {
    ShowError(QStringLiteral("The adapter of this profile is no longer there. Nothing was saved."));
    return false;
  }
  DWORD reason = 0;
  const DWORD result = client->SaveProfile(device, document.toStdString(), &reason);
  if (result != ERROR_SUCCESS) {
    m_dwReason = reason;
    ShowError(reason ? QStringLiteral("The WLAN service refused the profile: %1 Nothing was saved.")
                           .arg(QString::fromStdString(ReasonCodeText(reason)))
                     : QStringLiteral("The WLAN service refused the profile (error %1). Nothing was saved.").arg(result));
    return false;
  }
  m_dwReason = 0;
  ShowError(QString());
  accept();
  return true;
}

DWORD WlanUIEditProfile(DWORD dwClientVersion, LPCWSTR wstrProfileName, const GUID* pInterfaceGuid, QWidget* hWnd,
                        WL_DISPLAY_PAGES /*wlStartPage*/, PVOID /*pReserved*/, WLAN_REASON_CODE* pWlanReasonCode) {
  if (pWlanReasonCode) *pWlanReasonCode = 0;
  if (dwClientVersion != WLAN_UI_API_VERSION || !wstrProfileName || !pInterfaceGuid) return ERROR_INVALID_PARAMETER;
  if (!g_pWifiInterface || !g_pWifiInterface->FindDevice(*pInterfaceGuid)) return ERROR_NOT_FOUND;
  // Held by a guard: the owner (and the editor with it) may be deleted while
  // the editor runs, for instance when its station goes away.
  QPointer<CProfileEditDialog> dialog = new CProfileEditDialog(hWnd, *pInterfaceGuid, WideToUtf8(wstrProfileName));
  const int outcome = dialog->exec();
  if (!dialog) return ERROR_CANCELLED;
  if (pWlanReasonCode) *pWlanReasonCode = dialog->GetReasonCode();
  delete dialog.data();
  return outcome == QDialog::Accepted ? ERROR_SUCCESS : ERROR_CANCELLED;
}
