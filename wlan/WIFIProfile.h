// One stored WLAN profile of an adapter, with its XML document.
#pragma once

#include <string>

#include "platform/wintypes.h"

class CNativeWIFIDevice;

class CWIFIProfile {
 public:
  // Stores the arguments, clears both flags, then reads the document.
  CWIFIProfile(const std::string& name, DWORD flags, int position, CNativeWIFIDevice* pDevice);
  virtual ~CWIFIProfile() = default;

  // Reads the document from the service; true when it came back.
  bool LoadXml();
  // Switches an automatic profile's document to manual connection (restore
  // false) or back (restore true) and saves it. Manual profiles are left alone.
  void SetAutoConnect(bool restore);

  CNativeWIFIDevice* m_pDevice;
  std::string m_strName;
  std::string m_strXml;
  DWORD m_dwFlags;
  int m_nPosition;
  // What the document said when it was read at start-up.
  bool m_bAutoConnect = false;
  bool m_bAutoSwitch = false;
};

// Replaces every non-overlapping occurrence of `from`, left to right.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
