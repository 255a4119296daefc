#include "wlan/WIFIProfile.h"

#include "eventlog/Log.h"
#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/ReasonCodes.h"

namespace {
const std::string kModeAuto = "<connectionMode>auto</connectionMode>";
const std::string kModeManual = "<connectionMode>manual</connectionMode>";
const std::string kSwitchOn = "<autoSwitch>true</autoSwitch>";
const std::string kSwitchOff = "<autoSwitch>false</autoSwitch>";
}  // namespace

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

CWIFIProfile::CWIFIProfile(const std::string& name, DWORD flags, int position, CNativeWIFIDevice* pDevice)
    : m_pDevice(pDevice), m_strName(name), m_dwFlags(flags), m_nPosition(position) {
  LoadXml();
}

bool CWIFIProfile::LoadXml() {
  const GUID guid = m_pDevice->GetGuid();
  const std::u16string name = Utf8ToWide(m_strName);
  LPWSTR xml = nullptr;
  const DWORD result = WlanGetProfile(m_pDevice->GetClientHandle(), &guid, name.c_str(), nullptr, &xml, nullptr, nullptr);
  const bool ok = result == ERROR_SUCCESS && xml;
  m_strXml = ok ? WideToUtf8(xml) : std::string();
  if (xml) WlanFreeMemory(xml);
  m_bAutoConnect = m_strXml.find(kModeAuto) != std::string::npos;
  m_bAutoSwitch = m_strXml.find(kSwitchOn) != std::string::npos;
  return ok;
}

void CWIFIProfile::SetAutoConnect(bool restore) {
  if (!m_bAutoConnect) return;
  if (restore) {
    m_strXml = ReplaceAll(m_strXml, kModeManual, kModeAuto);
    if (m_bAutoSwitch) m_strXml = ReplaceAll(m_strXml, kSwitchOff, kSwitchOn);
  } else {
    m_strXml = ReplaceAll(m_strXml, kModeAuto, kModeManual);
    m_strXml = ReplaceAll(m_strXml, kSwitchOn, kSwitchOff);
  }
  const GUID guid = m_pDevice->GetGuid();
  const std::u16string xml = Utf8ToWide(m_strXml);
  DWORD reason = 0;
  const DWORD result =
      WlanSetProfile(m_pDevice->GetClientHandle(), &guid, 0, xml.c_str(), nullptr, TRUE, nullptr, &reason);
  // The service hands a reason back only for a document it refused; any other
  // refusal leaves it at success, which must not be shown as the reason.
  if (result != ERROR_SUCCESS && reason == WLAN_REASON_CODE_SUCCESS) reason = WLAN_REASON_CODE_UNKNOWN;
  if (result != ERROR_SUCCESS)
    LogPrintf("Couldn't save profile %s, reason: %s\n", m_strName.c_str(), ReasonCodeText(reason).c_str());
}
