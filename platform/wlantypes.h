// Records, enumerations and constants of the native WLAN service interface.
// The layouts are the published ones; every size and offset the core relies
// on is checked below.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

constexpr DWORD WLAN_MAX_NAME_LENGTH = 256;
constexpr DWORD DOT11_SSID_MAX_LENGTH = 32;
constexpr DWORD DOT11_RATE_SET_MAX_LENGTH = 126;
constexpr DWORD WLAN_API_VERSION_2_0 = 2;

using DOT11_MAC_ADDRESS = UCHAR[6];
using WLAN_REASON_CODE = DWORD;
using WLAN_SIGNAL_QUALITY = ULONG;

struct DOT11_SSID {
  ULONG uSSIDLength;
  UCHAR ucSSID[DOT11_SSID_MAX_LENGTH];
};
static_assert(sizeof(DOT11_SSID) == 36);

enum DOT11_BSS_TYPE : int32_t {
  dot11_BSS_type_infrastructure = 1,
  dot11_BSS_type_independent = 2,
  dot11_BSS_type_any = 3,
};

enum DOT11_PHY_TYPE : int32_t {
  dot11_phy_type_unknown = 0,
  dot11_phy_type_any = 0,
  dot11_phy_type_fhss = 1,
  dot11_phy_type_dsss = 2,
  dot11_phy_type_irbaseband = 3,
  dot11_phy_type_ofdm = 4,
  dot11_phy_type_hrdsss = 5,
  dot11_phy_type_erp = 6,
  dot11_phy_type_ht = 7,
  dot11_phy_type_vht = 8,
};

enum DOT11_AUTH_ALGORITHM : int32_t {
  DOT11_AUTH_ALGO_80211_OPEN = 1,
  DOT11_AUTH_ALGO_80211_SHARED_KEY = 2,
  DOT11_AUTH_ALGO_WPA = 3,
  DOT11_AUTH_ALGO_WPA_PSK = 4,
  DOT11_AUTH_ALGO_WPA_NONE = 5,
  DOT11_AUTH_ALGO_RSNA = 6,
  DOT11_AUTH_ALGO_RSNA_PSK = 7,
};

// Cipher values are signed: the vendor range has the top bit set.
enum DOT11_CIPHER_ALGORITHM : int32_t {
  DOT11_CIPHER_ALGO_NONE = 0x00,
  DOT11_CIPHER_ALGO_WEP40 = 0x01,
  DOT11_CIPHER_ALGO_TKIP = 0x02,
  DOT11_CIPHER_ALGO_CCMP = 0x04,
  DOT11_CIPHER_ALGO_WEP104 = 0x05,
  DOT11_CIPHER_ALGO_WPA_USE_GROUP = 0x100,
  DOT11_CIPHER_ALGO_RSN_USE_GROUP = 0x100,
  DOT11_CIPHER_ALGO_WEP = 0x101,
  DOT11_CIPHER_ALGO_IHV_START = static_cast<int32_t>(0x80000000u),
  DOT11_CIPHER_ALGO_IHV_END = static_cast<int32_t>(0xffffffffu),
};

enum WLAN_INTERFACE_STATE : int32_t {
  wlan_interface_state_not_ready = 0,
  wlan_interface_state_connected = 1,
  wlan_interface_state_ad_hoc_network_formed = 2,
  wlan_interface_state_disconnecting = 3,
  wlan_interface_state_disconnected = 4,
  wlan_interface_state_associating = 5,
  wlan_interface_state_discovering = 6,
  wlan_interface_state_authenticating = 7,
};

enum WLAN_CONNECTION_MODE : int32_t {
  wlan_connection_mode_profile = 0,
  wlan_connection_mode_temporary_profile = 1,
  wlan_connection_mode_discovery_secure = 2,
  wlan_connection_mode_discovery_unsecure = 3,
  wlan_connection_mode_auto = 4,
  wlan_connection_mode_invalid = 5,
};

enum WLAN_INTF_OPCODE : int32_t {
  wlan_intf_opcode_autoconf_enabled = 1,
  wlan_intf_opcode_background_scan_enabled = 2,
  wlan_intf_opcode_media_streaming_mode = 3,
  wlan_intf_opcode_radio_state = 4,
  wlan_intf_opcode_bss_type = 5,
  wlan_intf_opcode_interface_state = 6,
  wlan_intf_opcode_current_connection = 7,
  wlan_intf_opcode_channel_number = 8,
  wlan_intf_opcode_rssi = 0x10000102,
};

enum WLAN_OPCODE_VALUE_TYPE : int32_t {
  wlan_opcode_value_type_query_only = 0,
  wlan_opcode_value_type_set_by_group_policy = 1,
  wlan_opcode_value_type_set_by_user = 2,
  wlan_opcode_value_type_invalid = 3,
};

// Notification sources.
constexpr DWORD WLAN_NOTIFICATION_SOURCE_NONE = 0;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_ONEX = 0x04;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_ACM = 0x08;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_MSM = 0x10;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_SECURITY = 0x20;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_IHV = 0x40;
constexpr DWORD WLAN_NOTIFICATION_SOURCE_ALL = 0xFFFF;

enum WLAN_NOTIFICATION_ACM : DWORD {
  wlan_notification_acm_start = 0,
  wlan_notification_acm_autoconf_enabled = 1,
  wlan_notification_acm_autoconf_disabled = 2,
  wlan_notification_acm_background_scan_enabled = 3,
  wlan_notification_acm_background_scan_disabled = 4,
  wlan_notification_acm_bss_type_change = 5,
  wlan_notification_acm_power_setting_change = 6,
  wlan_notification_acm_scan_complete = 7,
  wlan_notification_acm_scan_fail = 8,
  wlan_notification_acm_connection_start = 9,
  wlan_notification_acm_connection_complete = 10,
  wlan_notification_acm_connection_attempt_fail = 11,
  wlan_notification_acm_filter_list_change = 12,
  wlan_notification_acm_interface_arrival = 13,
  wlan_notification_acm_interface_removal = 14,
  wlan_notification_acm_profile_change = 15,
  wlan_notification_acm_profile_name_change = 16,
  wlan_notification_acm_profiles_exhausted = 17,
  wlan_notification_acm_network_not_available = 18,
  wlan_notification_acm_network_available = 19,
  wlan_notification_acm_disconnecting = 20,
  wlan_notification_acm_disconnected = 21,
  wlan_notification_acm_adhoc_network_state_change = 22,
  wlan_notification_acm_end = 23,
};

enum WLAN_NOTIFICATION_MSM : DWORD {
  wlan_notification_msm_start = 0,
  wlan_notification_msm_associating = 1,
  wlan_notification_msm_associated = 2,
  wlan_notification_msm_authenticating = 3,
  wlan_notification_msm_connected = 4,
  wlan_notification_msm_roaming_start = 5,
  wlan_notification_msm_roaming_end = 6,
  wlan_notification_msm_radio_state_change = 7,
  wlan_notification_msm_signalquality_change = 8,
  wlan_notification_msm_disassociating = 9,
  wlan_notification_msm_disconnected = 10,
  wlan_notification_msm_peer_join = 11,
  wlan_notification_msm_peer_leave = 12,
  wlan_notification_msm_adapter_removal = 13,
  wlan_notification_msm_adapter_operation_mode_change = 14,
  wlan_notification_msm_end = 15,
};

constexpr DWORD WLAN_CONNECTION_HIDDEN_NETWORK = 0x00000001;
constexpr DWORD WLAN_PROFILE_GROUP_POLICY = 0x00000001;
constexpr DWORD WLAN_PROFILE_USER = 0x00000002;

// Reason codes the service reports (the texts live with the vocabulary).
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_SUCCESS = 0;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_UNKNOWN = 0x10001;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE = 0x20001;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE = 0x20002;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_NOT_VISIBLE = 0x28002;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE = 0x2800B;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_KEY_MISMATCH = 0x2800D;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_MSM_USER_DISCONNECT = 0x38001;  // "user called to disconnect"
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_MSM_ASSOCIATION_TIMEOUT = 0x38003;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED = 0x3800B;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED = 0x48014;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE = 0x48016;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA = 0x80001;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_PROFILE_MISSING = 0x80002;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_INVALID_PROFILE_NAME = 0x80003;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_PROFILE_SSID_INVALID = 0x80013;
constexpr WLAN_REASON_CODE WLAN_REASON_CODE_SCAN_CALL_FAIL = 0x2800A;

struct WLAN_INTERFACE_INFO {
  GUID InterfaceGuid;
  WCHAR strInterfaceDescription[WLAN_MAX_NAME_LENGTH];
  WLAN_INTERFACE_STATE isState;
};
static_assert(sizeof(WLAN_INTERFACE_INFO) == 532);

struct WLAN_INTERFACE_INFO_LIST {
  DWORD dwNumberOfItems;
  DWORD dwIndex;
  WLAN_INTERFACE_INFO InterfaceInfo[1];
};
static_assert(offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo) == 8);

struct WLAN_AVAILABLE_NETWORK {
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  DOT11_SSID dot11Ssid;
  DOT11_BSS_TYPE dot11BssType;
  ULONG uNumberOfBssids;
  BOOL bNetworkConnectable;
  WLAN_REASON_CODE wlanNotConnectableReason;
  ULONG uNumberOfPhyTypes;
  DOT11_PHY_TYPE dot11PhyTypes[8];
  BOOL bMorePhyTypes;
  WLAN_SIGNAL_QUALITY wlanSignalQuality;
  BOOL bSecurityEnabled;
  DOT11_AUTH_ALGORITHM dot11DefaultAuthAlgorithm;
  DOT11_CIPHER_ALGORITHM dot11DefaultCipherAlgorithm;
  DWORD dwFlags;
  DWORD dwReserved;
};
static_assert(sizeof(WLAN_AVAILABLE_NETWORK) == 628);
static_assert(offsetof(WLAN_AVAILABLE_NETWORK, dot11Ssid) == 512);
static_assert(offsetof(WLAN_AVAILABLE_NETWORK, dot11BssType) == 548);
static_assert(offsetof(WLAN_AVAILABLE_NETWORK, bSecurityEnabled) == 608);
static_assert(offsetof(WLAN_AVAILABLE_NETWORK, dot11DefaultCipherAlgorithm) == 616);

constexpr DWORD WLAN_AVAILABLE_NETWORK_CONNECTED = 0x00000001;
constexpr DWORD WLAN_AVAILABLE_NETWORK_HAS_PROFILE = 0x00000002;

struct WLAN_AVAILABLE_NETWORK_LIST {
  DWORD dwNumberOfItems;
  DWORD dwIndex;
  WLAN_AVAILABLE_NETWORK Network[1];
};
static_assert(offsetof(WLAN_AVAILABLE_NETWORK_LIST, Network) == 8);

struct WLAN_RATE_SET {
  ULONG uRateSetLength;
  USHORT usRateSet[DOT11_RATE_SET_MAX_LENGTH];
};
static_assert(sizeof(WLAN_RATE_SET) == 256);

struct WLAN_BSS_ENTRY {
  DOT11_SSID dot11Ssid;
  ULONG uPhyId;
  DOT11_MAC_ADDRESS dot11Bssid;
  DOT11_BSS_TYPE dot11BssType;
  DOT11_PHY_TYPE dot11BssPhyType;
  LONG lRssi;
  ULONG uLinkQuality;
  BOOLEAN bInRegDomain;
  USHORT usBeaconPeriod;
  ULONGLONG ullTimestamp;
  ULONGLONG ullHostTimestamp;
  USHORT usCapabilityInformation;
  ULONG ulChCenterFrequency;
  WLAN_RATE_SET wlanRateSet;
  ULONG ulIeOffset;
  ULONG ulIeSize;
};
static_assert(sizeof(WLAN_BSS_ENTRY) == 360);
static_assert(offsetof(WLAN_BSS_ENTRY, dot11Bssid) == 40);
static_assert(offsetof(WLAN_BSS_ENTRY, dot11BssType) == 48);
static_assert(offsetof(WLAN_BSS_ENTRY, lRssi) == 56);
static_assert(offsetof(WLAN_BSS_ENTRY, usBeaconPeriod) == 66);
static_assert(offsetof(WLAN_BSS_ENTRY, ulChCenterFrequency) == 92);
static_assert(offsetof(WLAN_BSS_ENTRY, wlanRateSet) == 96);

struct WLAN_BSS_LIST {
  DWORD dwTotalSize;
  DWORD dwNumberOfItems;
  WLAN_BSS_ENTRY wlanBssEntries[1];
};
static_assert(offsetof(WLAN_BSS_LIST, wlanBssEntries) == 8);

struct WLAN_PROFILE_INFO {
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  DWORD dwFlags;
};
static_assert(sizeof(WLAN_PROFILE_INFO) == 516);

struct WLAN_PROFILE_INFO_LIST {
  DWORD dwNumberOfItems;
  DWORD dwIndex;
  WLAN_PROFILE_INFO ProfileInfo[1];
};
static_assert(offsetof(WLAN_PROFILE_INFO_LIST, ProfileInfo) == 8);

struct WLAN_ASSOCIATION_ATTRIBUTES {
  DOT11_SSID dot11Ssid;
  DOT11_BSS_TYPE dot11BssType;
  DOT11_MAC_ADDRESS dot11Bssid;
  DOT11_PHY_TYPE dot11PhyType;
  ULONG uDot11PhyIndex;
  WLAN_SIGNAL_QUALITY wlanSignalQuality;
  ULONG ulRxRate;
  ULONG ulTxRate;
};
static_assert(sizeof(WLAN_ASSOCIATION_ATTRIBUTES) == 68);
static_assert(offsetof(WLAN_ASSOCIATION_ATTRIBUTES, dot11Bssid) == 40);

struct WLAN_SECURITY_ATTRIBUTES {
  BOOL bSecurityEnabled;
  BOOL bOneXEnabled;
  DOT11_AUTH_ALGORITHM dot11AuthAlgorithm;
  DOT11_CIPHER_ALGORITHM dot11CipherAlgorithm;
};
static_assert(sizeof(WLAN_SECURITY_ATTRIBUTES) == 16);

struct WLAN_CONNECTION_ATTRIBUTES {
  WLAN_INTERFACE_STATE isState;
  WLAN_CONNECTION_MODE wlanConnectionMode;
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  WLAN_ASSOCIATION_ATTRIBUTES wlanAssociationAttributes;
  WLAN_SECURITY_ATTRIBUTES wlanSecurityAttributes;
};
static_assert(sizeof(WLAN_CONNECTION_ATTRIBUTES) == 604);
static_assert(offsetof(WLAN_CONNECTION_ATTRIBUTES, wlanAssociationAttributes) == 520);

struct NDIS_OBJECT_HEADER {
  UCHAR Type;
  UCHAR Revision;
  USHORT Size;
};
constexpr UCHAR NDIS_OBJECT_TYPE_DEFAULT = 0x80;
constexpr UCHAR DOT11_BSSID_LIST_REVISION_1 = 1;

struct DOT11_BSSID_LIST {
  NDIS_OBJECT_HEADER Header;
  ULONG uNumOfEntries;
  ULONG uTotalNumOfEntries;
  DOT11_MAC_ADDRESS BSSIDs[1];
};
static_assert(sizeof(DOT11_BSSID_LIST) == 20);
static_assert(offsetof(DOT11_BSSID_LIST, BSSIDs) == 12);

struct WLAN_CONNECTION_PARAMETERS {
  WLAN_CONNECTION_MODE wlanConnectionMode;
  LPCWSTR strProfile;
  DOT11_SSID* pDot11Ssid;
  DOT11_BSSID_LIST* pDesiredBssidList;
  DOT11_BSS_TYPE dot11BssType;
  DWORD dwFlags;
};

// The header of a notification is the first 28 bytes; the data pointer follows.
struct WLAN_NOTIFICATION_DATA {
  DWORD NotificationSource;
  DWORD NotificationCode;
  GUID InterfaceGuid;
  DWORD dwDataSize;
  PVOID pData;
};
constexpr std::size_t WLAN_NOTIFICATION_HEADER_SIZE = 28;
static_assert(offsetof(WLAN_NOTIFICATION_DATA, dwDataSize) == 24);
static_assert(offsetof(WLAN_NOTIFICATION_DATA, pData) >= WLAN_NOTIFICATION_HEADER_SIZE);

struct WLAN_CONNECTION_NOTIFICATION_DATA {
  WLAN_CONNECTION_MODE wlanConnectionMode;
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  DOT11_SSID dot11Ssid;
  DOT11_BSS_TYPE dot11BssType;
  BOOL bSecurityEnabled;
  WLAN_REASON_CODE wlanReasonCode;
  DWORD dwFlags;
  WCHAR strProfileXml[1];
};
static_assert(sizeof(WLAN_CONNECTION_NOTIFICATION_DATA) == 572);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, wlanConnectionMode) == 0);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileName) == 4);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, dot11Ssid) == 516);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, dot11Ssid.ucSSID) == 520);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, dot11BssType) == 552);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, bSecurityEnabled) == 556);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, wlanReasonCode) == 560);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, dwFlags) == 564);
static_assert(offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileXml) == 568);

struct WLAN_MSM_NOTIFICATION_DATA {
  WLAN_CONNECTION_MODE wlanConnectionMode;
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  DOT11_SSID dot11Ssid;
  DOT11_BSS_TYPE dot11BssType;
  DOT11_MAC_ADDRESS dot11MacAddr;
  BOOL bSecurityEnabled;
  BOOL bFirstPeer;
  BOOL bLastPeer;
  WLAN_REASON_CODE wlanReasonCode;
};
static_assert(sizeof(WLAN_MSM_NOTIFICATION_DATA) == 580);
static_assert(offsetof(WLAN_MSM_NOTIFICATION_DATA, dot11MacAddr) == 556);
static_assert(offsetof(WLAN_MSM_NOTIFICATION_DATA, wlanReasonCode) == 576);

using WLAN_NOTIFICATION_CALLBACK = void (*)(WLAN_NOTIFICATION_DATA*, PVOID);
