// The IP helper over the simulated world: buffer rules, adapter records,
// the interface table, and leases following connection, release and renew.
#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "platform/iphlpapi.h"
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

// Mixed-case hexadecimal letters in every group, to see the name upper-cased.
const GUID kShedGuid{0x0a1b2c3d, 0x4e5f, 0x4a6b, {0x8c, 0x7d, 0x9e, 0x0f, 0xa1, 0xb2, 0xc3, 0xd4}};

struct Seen {
  std::string name, description, address, gateway, dns;
  DWORD ifIndex = 0;
};

std::string Dotted(const SOCKET_ADDRESS& a) {
  if (!a.lpSockaddr) return "";
  return inet_ntoa(reinterpret_cast<const sockaddr_in*>(a.lpSockaddr)->sin_addr);
}

// The adapter list read as a caller does: grow the buffer to the size asked
// for (which may grow meanwhile) until the list fits.
std::vector<Seen> Adapters() {
  ULONG size = 0;
  std::vector<std::max_align_t> buffer;
  IP_ADAPTER_ADDRESSES* list = nullptr;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int call = 0; call < 5 && result == ERROR_BUFFER_OVERFLOW; ++call) {
    buffer.assign(size / sizeof(std::max_align_t) + 1, {});
    list = size ? reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()) : nullptr;
    result = GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size);
  }
  EXPECT_EQ(result, ERROR_SUCCESS);
  if (result != ERROR_SUCCESS) return {};
  std::vector<Seen> out;
  for (IP_ADAPTER_ADDRESSES* a = list; a; a = a->Next) {
    Seen s{a->AdapterName, WideToUtf8(a->Description), "", Dotted(a->Dhcpv4Server), "", a->IfIndex};
    if (a->FirstUnicastAddress) s.address = Dotted(a->FirstUnicastAddress->Address);
    if (a->FirstDnsServerAddress) s.dns = Dotted(a->FirstDnsServerAddress->Address);
    out.push_back(s);
  }
  return out;
}

// The interface table, read with the size rule.
std::vector<IP_ADAPTER_INDEX_MAP> InterfaceTable() {
  ULONG size = 0;
  EXPECT_EQ(GetInterfaceInfo(nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
  std::vector<std::max_align_t> buffer(size / sizeof(std::max_align_t) + 1);
  auto* table = reinterpret_cast<IP_INTERFACE_INFO*>(buffer.data());
  EXPECT_EQ(GetInterfaceInfo(table, &size), ERROR_SUCCESS);
  return std::vector<IP_ADAPTER_INDEX_MAP>(table->Adapter, table->Adapter + table->NumAdapters);
}

// The small world with leased loopback addresses, and a second adapter with
// a static address that connects at start to an open network.
class IpHelper : public SimFixture {
 protected:
  wlansim::World MakeWorld() override {
    wlansim::World w = SmallWorld();
    w.adapters[0].ip = {"127.0.10.2", "127.0.10.1", "127.0.10.53"};
    wlansim::Adapter shed;
    shed.guid = kShedGuid;
    shed.description = "Shed Adapter";
    shed.connectAtStart = true;
    shed.stations = {Ap({0x02, 0, 0, 0, 1, 1}, "Shed")};
    wlansim::ProfileFields open;
    open.ssid = open.name = "Shed";
    shed.profiles = {wlansim::BuildProfileXml(open)};
    shed.ip = {"127.0.11.2", "", "192.0.2.53"};  // no DHCP server; a DNS server beyond this machine
    w.adapters.push_back(shed);
    return w;
  }

  void Connect() {
    ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
    Run(2000);
    ASSERT_EQ(State(), DWORD{wlan_interface_state_connected});
  }

  IP_ADAPTER_INDEX_MAP Entry(std::size_t i) { return InterfaceTable().at(i); }
};

TEST_F(IpHelper, SizeRulesOfBothTables) {
  ULONG size = 0;
  ASSERT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size), ERROR_BUFFER_OVERFLOW);
  ASSERT_GT(size, 2 * sizeof(IP_ADAPTER_ADDRESSES));
  std::vector<std::max_align_t> buffer(size / sizeof(std::max_align_t) + 1);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  ULONG shortBy1 = size - 1;
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, list, &shortBy1), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(shortBy1, size);
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size), ERROR_SUCCESS);
  ASSERT_NE(list->Next, nullptr);
  EXPECT_EQ(list->Next->Next, nullptr);

  ULONG tableSize = 0;  // the count and two entries of a 4-byte index and 128 wide characters
  EXPECT_EQ(GetInterfaceInfo(nullptr, &tableSize), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(tableSize, 4u + 2 * 260u);
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, reinterpret_cast<PVOID>(1), list, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, list, nullptr), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(wlansim::ResetWorld(wlansim::World{}));
  size = 0;
  tableSize = 0;
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size), ERROR_NO_DATA);
  EXPECT_EQ(GetInterfaceInfo(nullptr, &tableSize), ERROR_NO_DATA);
}

TEST_F(IpHelper, RecordsNameAdaptersByUpperCaseGuidAndMatchTheInterfaceTable) {
  Connect();
  const std::vector<Seen> seen = Adapters();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name, "{11112222-3333-4444-5555-666677778888}");
  EXPECT_EQ(seen[0].description, "Small Test Adapter");
  EXPECT_EQ(seen[0].address, "127.0.10.2");
  EXPECT_EQ(seen[0].gateway, "127.0.10.1");
  EXPECT_EQ(seen[0].dns, "127.0.10.53");
  EXPECT_EQ(seen[1].name, "{0A1B2C3D-4E5F-4A6B-8C7D-9E0FA1B2C3D4}");
  EXPECT_EQ(seen[1].address, "127.0.11.2");
  EXPECT_EQ(seen[1].gateway, "") << "no DHCP server: no gateway";
  EXPECT_EQ(seen[1].dns, "") << "only loopback addresses are handed out";

  const std::vector<IP_ADAPTER_INDEX_MAP> table = InterfaceTable();
  ASSERT_EQ(table.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(WideToUtf8(table[i].Name), "\\DEVICE\\TCPIP_" + seen[i].name);
    EXPECT_EQ(table[i].Index, seen[i].ifIndex);
  }
  EXPECT_NE(table[0].Index, table[1].Index);
}

// Whether the first adapter holds its address (with gateway and DNS) after a course of actions.
TEST_F(IpHelper, AddressFollowsConnectionReleaseAndRenew) {
  struct Case {
    const char* name;
    std::function<void()> act;
    bool hasAddress;
  };
  const auto release = [this] {
    IP_ADAPTER_INDEX_MAP e = Entry(0);
    ASSERT_EQ(IpReleaseAddress(&e), ERROR_SUCCESS);
  };
  const auto renew = [this] {
    IP_ADAPTER_INDEX_MAP e = Entry(0);
    ASSERT_EQ(IpRenewAddress(&e), ERROR_SUCCESS);
  };
  const auto disconnect = [this] {
    ASSERT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_SUCCESS);
    Run(2000);
  };
  const Case cases[] = {
      {"connected", [] {}, true},
      {"disconnected", disconnect, false},
      {"released", release, false},
      {"released twice", [&] { release(); release(); }, false},
      {"released, renewed", [&] { release(); renew(); }, true},
      {"released, connected again", [&] { release(); Connect(); }, true},
      {"released, disconnected, renewed", [&] { release(); disconnect(); IP_ADAPTER_INDEX_MAP e = Entry(0);
         EXPECT_EQ(IpRenewAddress(&e), ERROR_NOT_READY); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(wlansim::ResetWorld(MakeWorld()));
    Connect();
    c.act();
    const Seen s = Adapters().at(0);
    EXPECT_EQ(s.address, c.hasAddress ? "127.0.10.2" : "");
    EXPECT_EQ(s.gateway, c.hasAddress ? "127.0.10.1" : "");
    EXPECT_EQ(s.dns, c.hasAddress ? "127.0.10.53" : "");
    EXPECT_EQ(Adapters().at(1).address, "127.0.11.2") << "the other adapter is untouched";
  }
}

TEST_F(IpHelper, LeaseCallsReportFailures) {
  struct Case {
    const char* name;
    DWORD (*call)(IP_ADAPTER_INDEX_MAP*);
    std::size_t adapter;  // 2: an index no adapter has
    bool connect;
    DWORD expected;
  };
  const Case cases[] = {
      {"renew while disconnected", &IpRenewAddress, 0, false, ERROR_NOT_READY},
      {"release while disconnected", &IpReleaseAddress, 0, false, ERROR_NOT_READY},
      {"release of a static address", &IpReleaseAddress, 1, false, ERROR_NOT_SUPPORTED},
      {"renew of an unknown interface", &IpRenewAddress, 2, true, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(wlansim::ResetWorld(MakeWorld()));
    if (c.connect) Connect();
    IP_ADAPTER_INDEX_MAP e = c.adapter < 2 ? Entry(c.adapter) : IP_ADAPTER_INDEX_MAP{Entry(1).Index + 1, {}};
    EXPECT_EQ(c.call(&e), c.expected);
  }
  EXPECT_EQ(IpRenewAddress(nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Adapters().at(1).address, "127.0.11.2") << "a refused release leaves the static address";
}

TEST_F(IpHelper, InjectedFaultsFireOnceAndChangeNothing) {
  Connect();
  IP_ADAPTER_INDEX_MAP e = Entry(0);
  wlansim::InjectFault(wlansim::Op::IpReleaseAddress, ERROR_GEN_FAILURE, 1);
  EXPECT_EQ(IpReleaseAddress(&e), ERROR_GEN_FAILURE);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::IpReleaseAddress), 1);
  EXPECT_EQ(Adapters().at(0).address, "127.0.10.2") << "the failed release kept the lease";

  ASSERT_EQ(IpReleaseAddress(&e), ERROR_SUCCESS);
  wlansim::InjectFault(wlansim::Op::IpRenewAddress, ERROR_GEN_FAILURE, 1);
  EXPECT_EQ(IpRenewAddress(&e), ERROR_GEN_FAILURE);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::IpRenewAddress), 1);
  EXPECT_EQ(Adapters().at(0).address, "") << "the failed renewal brought nothing back";
  EXPECT_EQ(IpRenewAddress(&e), ERROR_SUCCESS);
  EXPECT_EQ(Adapters().at(0).address, "127.0.10.2");

  ULONG size = 0;
  wlansim::InjectFault(wlansim::Op::GetAdaptersAddresses, ERROR_NOT_ENOUGH_MEMORY, 1);
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(size, 0u);
  wlansim::InjectFault(wlansim::Op::GetInterfaceInfo, ERROR_NOT_SUPPORTED, 1);
  EXPECT_EQ(GetInterfaceInfo(nullptr, &size), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::GetAdaptersAddresses), 1);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::GetInterfaceInfo), 1);
  EXPECT_EQ(Adapters().size(), 2u) << "each fault fired once";
}

// A lease worker renewing and releasing while another thread reads the list:
// each read sees the whole configuration or none of it.
TEST_F(IpHelper, ReadersSeeWholeConfigurationsWhileTheLeaseChanges) {
  Connect();
  std::thread worker([e = Entry(0)]() mutable {
    for (int i = 0; i < 200; ++i) {
      EXPECT_EQ(IpReleaseAddress(&e), ERROR_SUCCESS);
      EXPECT_EQ(IpRenewAddress(&e), ERROR_SUCCESS);
    }
  });
  for (int i = 0; i < 200; ++i) {
    const std::vector<Seen> all = Adapters();
    if (all.empty()) break;  // the failed read was reported
    const Seen& s = all[0];
    EXPECT_TRUE(s.address + s.gateway + s.dns == "" ||
                s.address + s.gateway + s.dns == "127.0.10.2127.0.10.1127.0.10.53")
        << s.address << " " << s.gateway << " " << s.dns;
  }
  worker.join();
  EXPECT_EQ(Adapters().at(0).address, "127.0.10.2");
}

TEST(IpHelperWorld, BuiltInWorldAndWorldFileAddresses) {
  wlansim::ResetToDefault();
  const Seen builtIn = Adapters().at(0);
  EXPECT_EQ(builtIn.name, "{6A1E2F30-4B5C-4D6E-8F70-A1B2C3D4E5F6}");
  EXPECT_EQ(builtIn.address + " " + builtIn.gateway + " " + builtIn.dns, "127.0.10.2 127.0.10.1 127.0.10.53");

  const std::string path = ::testing::TempDir() + "ip-world.json";
  std::ofstream(path) << R"({"adapters": [
    {"guid": "{0A1B2C3D-0000-4000-8000-000000000001}"},
    {"guid": "{0A1B2C3D-0000-4000-8000-000000000002}", "address": "127.0.20.7", "dhcpServer": "127.0.20.1",
     "dnsServer": "127.0.20.53"}]})";
  wlansim::World w;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(path, &w, &error)) << error;
  EXPECT_EQ(w.adapters[0].ip.address, "127.0.10.2") << "default address by position";
  EXPECT_EQ(w.adapters[0].ip.dhcpServer + w.adapters[0].ip.dnsServer, "") << "absent servers are none";
  EXPECT_EQ(w.adapters[1].ip.address, "127.0.20.7");
  EXPECT_EQ(w.adapters[1].ip.dhcpServer, "127.0.20.1");
  EXPECT_EQ(w.adapters[1].ip.dnsServer, "127.0.20.53");

  for (const char* bad : {"10.0.0.1", "127.0.0.256", "127.1"}) {
    SCOPED_TRACE(bad);
    std::ofstream(path) << "{\"adapters\": [{\"guid\": \"{0A1B2C3D-0000-4000-8000-000000000001}\",\n"
                           "  \"dhcpServer\": \""
                        << bad << "\"}]}";
    EXPECT_FALSE(wlansim::LoadWorldFile(path, &w, &error));
    EXPECT_NE(error.find(":2: adapters[0].dhcpServer: expected a dotted IPv4 address in 127.0.0.0/8"),
              std::string::npos)
        << error;
  }
}

TEST(IpHelperWorld, AnotherBackEndIsNotAvailable) {
  ASSERT_EQ(setenv("AERLUME_WLAN_BACKEND", "elsewhere", 1), 0);
  ULONG size = 0;
  IP_ADAPTER_INDEX_MAP e{11, {}};
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(GetInterfaceInfo(nullptr, &size), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(IpRenewAddress(&e), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(IpReleaseAddress(&e), ERROR_NOT_SUPPORTED);
  unsetenv("AERLUME_WLAN_BACKEND");
  EXPECT_EQ(GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size), ERROR_BUFFER_OVERFLOW);
}

}  // namespace
}  // namespace simtest
