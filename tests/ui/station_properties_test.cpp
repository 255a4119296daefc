// The station properties window and the profile editor, over a station view
// on the simulated service.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "tests/ui/childview_support.h"
#include "tests/ui/mainframe_fixture.h"
#include "ui/ProfileEditDialog.h"
#include "ui/StationPropertiesSheet.h"
#include "ui/StationPropertyPages.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"

namespace {

using childviewtest::Ap;

constexpr std::int64_t kSeenAt = 1'800'000'000;  // Fri Jan 15 08:00:00 2027 UTC
std::int64_t SeenAt() { return kSeenAt; }

wlansim::ProfileFields HomeProfile() {
  wlansim::ProfileFields fields = childviewtest::OpenProfile("Home", true, false);
  fields.authentication = "WPA2PSK";
  fields.encryption = "AES";
  fields.key = "correct horse";
  return fields;
}

// "Home": secure, channel 6, with a profile; "Cafe": open, 5 GHz, none.
wlansim::World HomeAndCafe() {
  wlansim::AccessPoint home = Ap(1, "Home", -55);
  home.authAlgorithm = DOT11_AUTH_ALGO_RSNA_PSK;
  home.cipher = DOT11_CIPHER_ALGO_CCMP;
  home.securityEnabled = true;
  home.key = "correct horse";
  wlansim::AccessPoint cafe = Ap(2, "Cafe", -70);
  cafe.frequencyKHz = 5180000;
  cafe.phyType = dot11_phy_type_ofdm;
  cafe.standard = "ac";
  cafe.widthMHz = 80;
  cafe.akm = "sae-transition";
  cafe.pmf = "capable";
  return childviewtest::OneAdapter({home, cafe}, {HomeProfile()});
}

QString FieldText(QWidget* root, const char* name) {
  auto* edit = root->findChild<QLineEdit*>(QString::fromLatin1(name));
  return edit ? edit->text() : QStringLiteral("(no field %1)").arg(QString::fromLatin1(name));
}

QStringList TabTexts(const CMiniPropSheetFrame& frame) {
  QStringList texts;
  for (int i = 0; i < frame.GetSheet()->count(); ++i) texts << frame.GetSheet()->tabText(i);
  return texts;
}

// Properties windows that are still open (closed ones wait for deletion).
int OpenWindows() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (qobject_cast<CMiniPropSheetFrame*>(widget) && widget->isVisible()) ++count;
  return count;
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Saves the widget when AERLUME_SHOTS_DIR names a folder (for looking at it).
void Shoot(QWidget* widget, const char* name) {
  const QByteArray dir = qgetenv("AERLUME_SHOTS_DIR");
  if (dir.isEmpty()) return;
  QApplication::processEvents();
  widget->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}

class StationPropertiesTest : public childviewtest::ChildViewTest {
 protected:
  void SetUp() override {
    // Times in UTC, in the C locale's "%c".
    const char* tz = std::getenv("TZ");
    m_savedTz = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    m_savedLocale = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    SetDeviceTimeSource(&SeenAt);
    // What the offscreen platform says about fixed-size and raised windows.
    testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
    testsupport::ExpectQtWarning("This plugin does not support raise()");
  }
  void TearDown() override {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<CMiniPropSheetFrame*>(widget)) widget->close();
    DeleteClosed();
    ChildViewTest::TearDown();
    SetDeviceTimeSource(nullptr);
    std::setlocale(LC_TIME, m_savedLocale.c_str());
    if (m_savedTz) setenv("TZ", m_savedTz->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

  CMiniPropSheetFrame* Open(CStation* station) {
    ShowProperties(station);
    return dynamic_cast<CMiniPropSheetFrame*>(station->m_pPropertiesWnd);
  }
  CProfileEditDialog* Editor() {
    auto* dialog = new CProfileEditDialog(nullptr, wlantest::TestGuid(1), "Home");
    m_editor.reset(dialog);
    dialog->show();
    return dialog;
  }
  static std::string Stored() { return wlansim::GetProfileXml(wlantest::TestGuid(1), "Home").value_or("(none)"); }

  std::optional<std::string> m_savedTz;
  std::string m_savedLocale;
  std::unique_ptr<CProfileEditDialog> m_editor;
};

TEST_F(StationPropertiesTest, PagesShowTheStationItsNetworkAndItsProfile) {
  Start(HomeAndCafe());
  Settle();
  CStation* home = StationOf(1);
  ASSERT_TRUE(home && home->m_pNetwork && home->m_pNetwork->m_pProfile);

  CMiniPropSheetFrame* frame = Open(home);
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->windowTitle(), "Station Properties");
  EXPECT_EQ(TabTexts(*frame), (QStringList{"&Station", "&Network", "&Profile XML"}));
  EXPECT_EQ(frame->GetSheet()->currentIndex(), 0);
  EXPECT_EQ(FieldText(frame, "macAddress"), "02:A7:1E:00:00:01");
  EXPECT_EQ(FieldText(frame, "dataRates"), "1, 2, 5.5, 11, 6, 9, 12, 18, 24, 36, 48, 54");
  EXPECT_TRUE(FieldText(frame, "rssi").startsWith('-'));
  EXPECT_EQ(FieldText(frame, "rssi").toStdString(), std::to_string(home->m_lRssi.load()));
  EXPECT_EQ(FieldText(frame, "linkQuality").toStdString(), std::to_string(home->m_uLinkQuality.load()));
  EXPECT_EQ(FieldText(frame, "beaconPeriod"), "100");
  EXPECT_EQ(FieldText(frame, "channel"), "6");
  EXPECT_EQ(FieldText(frame, "firstSeen"), "Fri Jan 15 08:00:00 2027");
  EXPECT_EQ(FieldText(frame, "lastSeen"), "Fri Jan 15 08:00:00 2027");
  EXPECT_EQ(FieldText(frame, "ssid"), "Home");
  EXPECT_EQ(FieldText(frame, "bssType"), "Infrastructure");
  EXPECT_EQ(FieldText(frame, "secure"), "Yes");
  EXPECT_EQ(FieldText(frame, "cipher"), "AES");
  for (const char* name : {"autoConnect", "autoSwitch"}) {
    auto* box = frame->findChild<QCheckBox*>(QString::fromLatin1(name));
    ASSERT_NE(box, nullptr) << name;
    EXPECT_FALSE(box->isEnabled() || box->isChecked()) << name;
  }
  auto* xml = frame->findChild<QPlainTextEdit*>(QStringLiteral("profileXml"));
  ASSERT_NE(xml, nullptr);
  EXPECT_TRUE(xml->isReadOnly());
  EXPECT_EQ(xml->toPlainText().toStdString(), Stored());
  EXPECT_TRUE(frame->findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled());
  EXPECT_FALSE(frame->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled());
  EXPECT_FALSE(frame->findChild<QPushButton*>(QStringLiteral("applyButton"))->isEnabled());
  for (int page = 0; page < frame->GetSheet()->count(); ++page) {
    frame->GetSheet()->setCurrentIndex(page);
    Shoot(frame, page == 0 ? "props-station.png" : page == 1 ? "props-network.png" : "props-profile.png");
  }

  // No profile: two pages; the 5 GHz channel by its number.
  CMiniPropSheetFrame* cafe = Open(StationOf(2));
  ASSERT_NE(cafe, nullptr);
  EXPECT_EQ(TabTexts(*cafe), (QStringList{"&Station", "&Network"}));
  EXPECT_EQ(FieldText(cafe, "channel"), "36");
  EXPECT_EQ(FieldText(cafe, "secure"), "No");
  // What its beacon's elements say, as the list's columns show it; the
  // locally administered BSSID has no vendor.
  EXPECT_EQ(FieldText(cafe, "band"), "5 GHz");
  EXPECT_EQ(FieldText(cafe, "width"), "80 MHz");
  EXPECT_EQ(FieldText(cafe, "standard"), "802.11ac");
  EXPECT_EQ(FieldText(cafe, "authentication"), "WPA2/WPA3");
  EXPECT_EQ(FieldText(cafe, "pmf"), "capable");
  EXPECT_EQ(FieldText(cafe, "vendor"), "");
  EXPECT_EQ(OpenWindows(), 2);
}

TEST_F(StationPropertiesTest, AStationWithoutNetworkOrConvertibleTimesShowsEmptyFields) {
  WLAN_RATE_SET rates{};
  const DOT11_MAC_ADDRESS mac = {0x00, 0x1B, 0x2F, 0x0A, 0xFF, 0x01};
  CStation station(nullptr, nullptr, mac, "Lone", 0, 40, -80, 4, 100, 2412000, 1, rates,
                   std::numeric_limits<std::int64_t>::max());
  CMiniPropSheetFrame* frame = Open(&station);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(TabTexts(*frame), (QStringList{"&Station", "&Network"}));
  EXPECT_EQ(FieldText(frame, "macAddress"), "00:1B:2F:0A:FF:01");
  EXPECT_EQ(FieldText(frame, "channel"), "1");
  EXPECT_EQ(FieldText(frame, "dataRates"), "");
  EXPECT_EQ(FieldText(frame, "firstSeen"), "");
  for (const char* name : {"ssid", "bssType", "secure", "cipher"}) EXPECT_EQ(FieldText(frame, name), "") << name;
}

TEST_F(StationPropertiesTest, OneWindowPerStationAndEveryWayOfClosingClearsTheStationsPointer) {
  WLAN_RATE_SET rates{};
  const DOT11_MAC_ADDRESS mac = {0x02, 0, 0, 0, 0, 9};
  auto station = std::make_unique<CStation>(nullptr, nullptr, mac, "Lone", 0, 40, -80, 4, 100, 2412000, 1, rates,
                                            kSeenAt);
  QPointer<CMiniPropSheetFrame> frame = Open(station.get());
  ASSERT_TRUE(frame);
  ShowProperties(station.get());
  EXPECT_EQ(station->m_pPropertiesWnd, frame.data());
  EXPECT_EQ(OpenWindows(), 1);

  QTest::mouseClick(frame->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  EXPECT_EQ(station->m_pPropertiesWnd, nullptr) << "OK";
  DeleteClosed();
  EXPECT_FALSE(frame);

  frame = Open(station.get());
  ASSERT_TRUE(frame);
  frame->close();  // the close box
  EXPECT_EQ(station->m_pPropertiesWnd, nullptr) << "close box";
  DeleteClosed();
  EXPECT_FALSE(frame);

  frame = Open(station.get());
  ASSERT_TRUE(frame);
  station.reset();
  EXPECT_EQ(OpenWindows(), 0) << "station deleted";
  DeleteClosed();
  EXPECT_FALSE(frame);
}

TEST_F(StationPropertiesTest, EditorKeepsFormFieldsAndTextInStep) {
  Start(HomeAndCafe());
  Settle();
  // "&Edit" on the profile page opens the editor for the page's profile.
  CMiniPropSheetFrame* frame = Open(StationOf(1));
  ASSERT_NE(frame, nullptr);
  QString seenTitle;
  QTimer::singleShot(0, [&] {
    if (auto* dialog = qobject_cast<CProfileEditDialog*>(QApplication::activeModalWidget())) {
      seenTitle = dialog->windowTitle();
      dialog->reject();
    }
  });
  frame->findChild<QPushButton*>(QStringLiteral("editButton"))->click();
  EXPECT_EQ(seenTitle, "Edit Profile - Home");

  CProfileEditDialog* editor = Editor();
  auto* mode = editor->findChild<QComboBox*>(QStringLiteral("connectionMode"));
  auto* autoSwitch = editor->findChild<QCheckBox*>(QStringLiteral("autoSwitch"));
  auto* key = editor->findChild<QLineEdit*>(QStringLiteral("networkKey"));
  auto* xml = editor->findChild<QPlainTextEdit*>(QStringLiteral("profileXml"));
  ASSERT_TRUE(mode && autoSwitch && key && xml);
  EXPECT_EQ(editor->GetXml().toStdString(), Stored());
  EXPECT_EQ(mode->currentData().toString(), "auto");
  EXPECT_FALSE(autoSwitch->isChecked());
  EXPECT_EQ(key->text(), "correct horse");
  Shoot(editor, "props-editor.png");

  mode->setCurrentIndex(mode->findData(QStringLiteral("manual")));
  autoSwitch->click();
  key->selectAll();
  QTest::keyClicks(key, "n&w<");
  EXPECT_TRUE(editor->GetXml().contains("<connectionMode>manual</connectionMode>"));
  EXPECT_TRUE(editor->GetXml().contains("<autoSwitch>true</autoSwitch>"));
  EXPECT_TRUE(editor->GetXml().contains("<keyMaterial>n&amp;w&lt;</keyMaterial>"));
  EXPECT_EQ(key->text(), "n&w<");

  // Text to fields, and fields off while the text is not well-formed.
  xml->setPlainText(editor->GetXml().replace("<connectionMode>manual<", "<connectionMode>auto<"));
  EXPECT_EQ(mode->currentData().toString(), "auto");
  xml->setPlainText(editor->GetXml().remove("</WLANProfile>"));
  EXPECT_FALSE(mode->isEnabled() || autoSwitch->isEnabled() || key->isEnabled());
}

TEST_F(StationPropertiesTest, EditorRefusesDocumentsWithoutSavingAndKeepsTheText) {
  Start(HomeAndCafe());
  Settle();
  const std::string original = Stored();
  wlansim::ProfileFields noName = HomeProfile();
  noName.name = "";
  wlansim::ProfileFields noSsid = HomeProfile();
  noSsid.ssid = "";
  const struct {
    const char* name;
    std::string document;
    const char* message;
  } cases[] = {
      {"not well-formed", original.substr(0, original.size() - 3), "not well-formed XML"},
      {"empty profile name", wlansim::BuildProfileXml(noName), "profile name is empty"},
      {"empty SSID", wlansim::BuildProfileXml(noSsid), "SSID is empty"},
  };
  for (const auto& c : cases) {
    CProfileEditDialog* editor = Editor();
    editor->findChild<QPlainTextEdit*>(QStringLiteral("profileXml"))->setPlainText(QString::fromStdString(c.document));
    editor->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    EXPECT_TRUE(editor->GetErrorText().contains(c.message)) << c.name << ": " << editor->GetErrorText().toStdString();
    EXPECT_TRUE(editor->isVisible()) << c.name;
    EXPECT_EQ(editor->GetXml().toStdString(), c.document) << c.name;
    EXPECT_EQ(Stored(), original) << c.name;
  }

  // The service refuses: its reason is shown, the text stays.
  wlansim::RefuseProfileSaves(WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA);
  CProfileEditDialog* editor = Editor();
  editor->findChild<QComboBox*>(QStringLiteral("connectionMode"))->setCurrentIndex(1);
  const QString edited = editor->GetXml();
  ASSERT_NE(edited.toStdString(), original);
  editor->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ProfileSave), 1);
  EXPECT_TRUE(editor->GetErrorText().contains("invalid profile schema")) << editor->GetErrorText().toStdString();
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->GetXml(), edited);
  EXPECT_EQ(editor->GetReasonCode(), static_cast<DWORD>(WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA));
  EXPECT_EQ(Stored(), original);
}

TEST_F(StationPropertiesTest, ASavedProfileReachesTheServiceAndTheStationListsProfileColumns) {
  Start(HomeAndCafe());
  Settle();
  const int row = RowOf(1);
  ASSERT_EQ(Text(row, stationlist::kColAutoConnect), "Yes");

  CProfileEditDialog* editor = Editor();
  editor->findChild<QComboBox*>(QStringLiteral("connectionMode"))->setCurrentIndex(1);  // Manual
  editor->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
  EXPECT_EQ(editor->result(), QDialog::Accepted);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(Stored(), editor->GetXml().toStdString());
  EXPECT_NE(Stored().find("<connectionMode>manual</connectionMode>"), std::string::npos);

  Settle();
  EXPECT_EQ(Text(RowOf(1), stationlist::kColAutoConnect), "");
}

TEST_F(MainFrameTest, PropertiesCommandOpensTheSelectedStationsWindowWhichClosesWithItsStation) {
  auto frame = MakeFrame(3);
  CStation* station = Station(*frame, kOtherBssid);
  frame->GetView()->SelectStation(station);
  frame->UpdateCommandUI();
  frame->GetCommand(CMD_PROPERTIES)->trigger();
  QPointer<CMiniPropSheetFrame> window = dynamic_cast<CMiniPropSheetFrame*>(station->m_pPropertiesWnd);
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(FieldText(window, "macAddress"), kOtherBssid);

  frame.reset();  // the monitors and their stations go with the client
  ASSERT_TRUE(window);
  EXPECT_FALSE(window->isVisible());
  DeleteClosed();
  EXPECT_FALSE(window);
}

}  // namespace
