// Stored profiles: list, documents, saving and refusals; the document reader.
#include "platform/wlansim/ProfileXml.h"
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

class ProfilesTest : public SimFixture {
 protected:
  wlansim::World MakeWorld() override { return wlansim::BuiltInWorld(); }

  std::vector<std::string> Names() {
    WLAN_PROFILE_INFO_LIST* list = nullptr;
    EXPECT_EQ(WlanGetProfileList(m_handle, &m_guid, nullptr, &list), ERROR_SUCCESS);
    std::vector<std::string> out;
    if (!list) return out;
    for (DWORD i = 0; i < list->dwNumberOfItems; ++i) out.push_back(WideToUtf8(list->ProfileInfo[i].strProfileName));
    WlanFreeMemory(list);
    return out;
  }

  std::string Document(const char16_t* name, DWORD* result = nullptr) {
    LPWSTR xml = nullptr;
    DWORD flags = 99, access = 0;
    const DWORD r = WlanGetProfile(m_handle, &m_guid, name, nullptr, &xml, &flags, &access);
    if (result) *result = r;
    if (r != ERROR_SUCCESS) return {};
    EXPECT_EQ(flags, 0u);
    EXPECT_NE(access, 0u);
    std::string text = WideToUtf8(xml);
    WlanFreeMemory(xml);
    return text;
  }

  DWORD Save(const std::string& xml, BOOL overwrite, DWORD* reason) {
    return WlanSetProfile(m_handle, &m_guid, 0, Utf8ToWide(xml).c_str(), nullptr, overwrite, nullptr, reason);
  }
};

TEST_F(ProfilesTest, BuiltInProfilesInPreferenceOrderWithRewritableDocuments) {
  EXPECT_EQ(Names(), (std::vector<std::string>{"Lindenweg", "Orchard Loft", "Harbour Lights"}));
  const std::string home = Document(u"Lindenweg");
  EXPECT_EQ(home, wlansim::GetProfileXml(m_guid, "Lindenweg").value());
  EXPECT_EQ(home.rfind("<?xml version=\"1.0\"?>\n<WLANProfile>\n\t<name>Lindenweg</name>\n", 0), 0u);
  EXPECT_NE(home.find("\n\t<connectionMode>auto</connectionMode>\n"), std::string::npos);
  EXPECT_NE(home.find("\n\t<autoSwitch>true</autoSwitch>\n"), std::string::npos);
  EXPECT_NE(home.find("<hex>4C696E64656E776567</hex>"), std::string::npos);
  EXPECT_EQ(home.find("xmlns"), std::string::npos);
  const std::string orchard = Document(u"Orchard Loft");
  EXPECT_NE(orchard.find("<connectionMode>manual</connectionMode>"), std::string::npos);
  EXPECT_NE(orchard.find("<autoSwitch>false</autoSwitch>"), std::string::npos);
  const std::string harbour = Document(u"Harbour Lights");
  EXPECT_NE(harbour.find("<connectionMode>auto</connectionMode>"), std::string::npos);
  EXPECT_NE(harbour.find("<autoSwitch>false</autoSwitch>"), std::string::npos);

  DWORD result = 0;
  EXPECT_EQ(Document(u"Nowhere", &result), "");
  EXPECT_EQ(result, ERROR_NOT_FOUND);
}

TEST_F(ProfilesTest, RewrittenDocumentIsStoredAndAnnounced) {
  std::string xml = Document(u"Lindenweg");
  const std::string from = "<connectionMode>auto</connectionMode>";
  xml.replace(xml.find(from), from.size(), "<connectionMode>manual</connectionMode>");
  DWORD reason = 1;
  ASSERT_EQ(Save(xml, TRUE, &reason), ERROR_SUCCESS);
  EXPECT_EQ(reason, 0u);
  EXPECT_EQ(wlansim::GetProfileXml(m_guid, "Lindenweg").value(), xml);
  EXPECT_EQ(Names().front(), "Lindenweg") << "replacing keeps the position";
  ASSERT_TRUE(wlansim::WaitForIdle());
  const auto got = WithoutSignal(m_rec.Take());
  ASSERT_EQ(Codes(got), (std::vector<Code>{{ACM, 15}}));

  wlansim::ProfileFields spec;
  spec.name = "Tea Garden";
  spec.ssid = "Tea Garden";
  ASSERT_EQ(Save(wlansim::BuildProfileXml(spec), FALSE, &reason), ERROR_SUCCESS);
  EXPECT_EQ(Names().back(), "Tea Garden") << "a new profile goes last";
}

TEST_F(ProfilesTest, RefusedSavesGiveTheReasonAndChangeNothing) {
  const std::string before = Document(u"Orchard Loft");
  DWORD reason = 0;
  EXPECT_EQ(Save("not a document", TRUE, &reason), ERROR_BAD_PROFILE);
  EXPECT_EQ(reason, WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA);
  EXPECT_EQ(Save("<?xml version=\"1.0\"?>\n<WLANProfile>\n\t<SSIDConfig/>\n</WLANProfile>", TRUE, &reason),
            ERROR_BAD_PROFILE);
  EXPECT_EQ(reason, WLAN_REASON_CODE_INVALID_PROFILE_NAME);
  EXPECT_EQ(Save("<WLANProfile><name>x</name></WLANProfile>", TRUE, &reason), ERROR_BAD_PROFILE);
  EXPECT_EQ(reason, WLAN_REASON_CODE_PROFILE_SSID_INVALID);
  EXPECT_EQ(Save(before, FALSE, &reason), ERROR_ALREADY_EXISTS);

  wlansim::RefuseProfileSaves(0x80004, 2);
  for (int i = 0; i < 2; ++i) {
    reason = 0;
    EXPECT_EQ(Save(before, TRUE, &reason), ERROR_BAD_PROFILE);
    EXPECT_EQ(reason, 0x80004u);
  }
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ProfileSave), 2);
  EXPECT_EQ(Save(before, TRUE, &reason), ERROR_SUCCESS) << "the refusal was for two saves only";
  EXPECT_EQ(Names().size(), 3u);
  ASSERT_TRUE(wlansim::WaitForIdle());
  EXPECT_EQ(Codes(WithoutSignal(m_rec.Take())), (std::vector<Code>{{ACM, 15}}));
}

TEST(ProfileDocument, ReaderRoundTripsTheBuilderIncludingEscapes) {
  wlansim::ProfileFields spec;
  spec.name = "Tom & Jerry's <Den>";
  spec.ssid = std::string("A\"B\x01\xff", 5);
  spec.bssType = dot11_BSS_type_independent;
  spec.autoConnect = false;
  spec.autoSwitch = true;
  spec.nonBroadcast = true;
  spec.authentication = "WPAPSK";
  spec.encryption = "TKIP";
  spec.key = "k<e>y&";
  const std::string xml = wlansim::BuildProfileXml(spec);
  wlansim::ParsedProfile p;
  ASSERT_EQ(wlansim::ParseProfileXml(xml, &p), WLAN_REASON_CODE_SUCCESS) << xml;
  EXPECT_EQ(p.name, spec.name);
  EXPECT_EQ(p.ssid, spec.ssid);  // taken from <hex>, so any bytes survive
  EXPECT_EQ(p.bssType, dot11_BSS_type_independent);
  EXPECT_FALSE(p.autoConnect);
  EXPECT_TRUE(p.autoSwitch);
  EXPECT_TRUE(p.nonBroadcast);
  EXPECT_EQ(p.key, spec.key);
  EXPECT_EQ(p.AuthAlgorithm(), DOT11_AUTH_ALGO_WPA_PSK);
  EXPECT_EQ(p.CipherAlgorithm(), DOT11_CIPHER_ALGO_TKIP);
  EXPECT_TRUE(p.SecurityEnabled());

  // Attributes, comments, namespace prefixes and character references are read; mismatched tags are not.
  const char* variant =
      "<?xml version=\"1.0\"?><!-- c --><p:WLANProfile xmlns:p=\"urn:x\" a='1'><p:name>N&#65;&#x42;</p:name>"
      "<p:SSIDConfig><p:SSID><p:name>S</p:name></p:SSID></p:SSIDConfig></p:WLANProfile>";
  ASSERT_EQ(wlansim::ParseProfileXml(variant, &p), WLAN_REASON_CODE_SUCCESS);
  EXPECT_EQ(p.name, "NAB");
  EXPECT_EQ(p.ssid, "S");
  EXPECT_TRUE(p.autoConnect) << "no connectionMode means automatic";
  EXPECT_EQ(wlansim::ParseProfileXml("<WLANProfile><name>x</nam></WLANProfile>", &p),
            WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA);
  EXPECT_EQ(wlansim::ParseProfileXml("<Other><name>x</name></Other>", &p), WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA);
}

}  // namespace
}  // namespace simtest
