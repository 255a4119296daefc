// The performance-counter service: rates of the kernel's loopback interface
// under real traffic, a fake interface folder for exact bounds, counters that
// go backwards and interfaces that vanish, the growing object buffer, and the
// injected failures. Traffic stays on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/perfcounters.h"
#include "platform/widetext.h"
#include "platform/wlansim/SimControl.h"

namespace {

namespace fs = std::filesystem;

struct Rates {
  DWORD received = 0, sent = 0, total = 0;
};

// A connection, a refresher and its enumerator, made as a client makes them.
class Counters {
 public:
  Counters() {
    EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(&m_locator)),
              S_OK);
    EXPECT_EQ(m_locator->ConnectServer(u"ROOT\\CIMV2", nullptr, nullptr, nullptr, 0, nullptr, nullptr, &m_services),
              S_OK);
    EXPECT_EQ(CoSetProxyBlanket(m_services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
              S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_WbemRefresher, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemRefresher,
                               reinterpret_cast<void**>(&m_refresher)),
              S_OK);
    IWbemConfigureRefresher* configure = nullptr;
    EXPECT_EQ(m_refresher->QueryInterface(IID_IWbemConfigureRefresher, reinterpret_cast<void**>(&configure)), S_OK);
    LONG id = 0;
    EXPECT_EQ(configure->AddEnum(m_services, u"win32_perfformatteddata_tcpip_networkinterface", 0, nullptr, &m_enum,
                                 &id),
              S_OK);
    configure->Release();
  }
  ~Counters() {
    m_enum->Release();
    m_refresher->Release();
    m_services->Release();
    m_locator->Release();
    CoUninitialize();
  }

  // One refresh: every instance's rates by name.
  std::map<std::string, Rates> Refresh() {
    EXPECT_EQ(m_refresher->Refresh(0), S_OK);
    ULONG count = 0;
    std::vector<IWbemObjectAccess*> objects;
    HRESULT hr = m_enum->GetObjects(0, 0, nullptr, &count);
    if (hr == WBEM_E_BUFFER_TOO_SMALL) {
      objects.resize(count);
      hr = m_enum->GetObjects(0, count, objects.data(), &count);
    }
    EXPECT_EQ(hr, S_OK);
    std::map<std::string, Rates> out;
    for (ULONG i = 0; i < count; ++i) {
      Rates rates;
      const std::string name = Read(objects[i], &rates);
      out[name] = rates;
    }
    for (ULONG i = 0; i < count; ++i) objects[i]->Release();
    return out;
  }

 private:
  std::string Read(IWbemObjectAccess* o, Rates* rates) {
    CIMTYPE type = 0;
    LONG name = 0, received = 0, sent = 0, total = 0;
    EXPECT_EQ(o->GetPropertyHandle(u"Name", &type, &name), S_OK);
    EXPECT_EQ(type, CIM_STRING);
    EXPECT_EQ(o->GetPropertyHandle(u"BytesReceivedPersec", &type, &received), S_OK);
    EXPECT_EQ(type, CIM_UINT32);
    EXPECT_EQ(o->GetPropertyHandle(u"BytesSentPersec", &type, &sent), S_OK);
    EXPECT_EQ(o->GetPropertyHandle(u"BytesTotalPersec", &type, &total), S_OK);
    BYTE text[2048];
    LONG bytes = 0;
    EXPECT_EQ(o->ReadPropertyValue(name, sizeof text, &bytes, text), S_OK);
    EXPECT_EQ(o->ReadDWORD(received, &rates->received), S_OK);
    EXPECT_EQ(o->ReadDWORD(sent, &rates->sent), S_OK);
    EXPECT_EQ(o->ReadDWORD(total, &rates->total), S_OK);
    return WideToUtf8(reinterpret_cast<const WCHAR*>(text));
  }
  IWbemLocator* m_locator = nullptr;
  IWbemServices* m_services = nullptr;
  IWbemRefresher* m_refresher = nullptr;
  IWbemHiPerfEnum* m_enum = nullptr;
};

void SendLoopbackTraffic(int datagrams, std::size_t size) {
  const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  const int sender = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(receiver, 0);
  ASSERT_GE(sender, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  socklen_t length = sizeof at;
  ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&at), &length), 0);
  const std::string payload(size, 'T');
  std::vector<char> sink(size);
  for (int i = 0; i < datagrams; ++i) {
    ASSERT_EQ(sendto(sender, payload.data(), size, 0, reinterpret_cast<sockaddr*>(&at), sizeof at),
              static_cast<ssize_t>(size));
    ASSERT_EQ(recv(receiver, sink.data(), size, 0), static_cast<ssize_t>(size));
  }
  close(sender);
  close(receiver);
}

// A fake interface folder in a temporary directory, used instead of /sys/class/net.
class FakeNet {
 public:
  FakeNet() : m_root(fs::temp_directory_path() / ("aerlume-net-" + std::to_string(getpid()))) {
    fs::remove_all(m_root);
    fs::create_directories(m_root);
    SetPerfNetRoot(m_root.string());
  }
  ~FakeNet() {
    SetPerfNetRoot("");
    fs::remove_all(m_root);
  }
  void Set(const std::string& name, std::uint64_t received, std::uint64_t sent) {
    fs::create_directories(m_root / name / "statistics");
    std::ofstream(m_root / name / "statistics" / "rx_bytes") << received << "\n";
    std::ofstream(m_root / name / "statistics" / "tx_bytes") << sent << "\n";
  }
  void Remove(const std::string& name) { fs::remove_all(m_root / name); }

 private:
  fs::path m_root;
};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

TEST(PerfCounters, LoopbackTrafficGivesRatesAfterTheFirstRefresh) {
  if (!fs::exists("/sys/class/net/lo/statistics/rx_bytes")) GTEST_SKIP() << "no /sys/class/net/lo here";
  Counters counters;
  const auto first = counters.Refresh();
  ASSERT_EQ(first.count("lo"), 1u);
  EXPECT_EQ(first.at("lo").total, 0u) << "no rate before a second refresh";
  SendLoopbackTraffic(200, 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const Rates lo = counters.Refresh().at("lo");
  EXPECT_GT(lo.received, 0u);
  EXPECT_GT(lo.sent, 0u);
  EXPECT_GE(lo.total, lo.received);
  EXPECT_GE(lo.total, lo.sent);
}

TEST(PerfCounters, FakeInterfacesRatesBackwardsCountersAndVanishing) {
  FakeNet net;
  net.Set("eth0", 1000, 500);
  net.Set("wlan9", 7, 7);
  Counters counters;
  const Clock::time_point before1 = Clock::now();
  counters.Refresh();
  const Clock::time_point after1 = Clock::now();
  net.Set("eth0", 1000 + 400000, 500 + 100000);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const Clock::time_point before2 = Clock::now();
  const auto second = counters.Refresh();
  const Clock::time_point after2 = Clock::now();

  // The refresher's own interval lies between the two measured around it.
  const Rates eth0 = second.at("eth0");
  EXPECT_LE(eth0.received, 400000 / Seconds(before2 - after1));
  EXPECT_GE(eth0.received, 400000 / Seconds(after2 - before1));
  EXPECT_LE(eth0.sent, 100000 / Seconds(before2 - after1));
  EXPECT_GE(eth0.sent, 100000 / Seconds(after2 - before1));
  EXPECT_GE(eth0.total + 1, eth0.received + eth0.sent);
  EXPECT_LE(eth0.total, eth0.received + eth0.sent + 1);
  EXPECT_EQ(second.at("wlan9").total, 0u) << "unchanged counters";

  // Counters reset (the interface was made again): no wrapped rate.
  net.Set("eth0", 10, 10);
  net.Remove("wlan9");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto third = counters.Refresh();
  EXPECT_EQ(third.at("eth0").received, 0u);
  EXPECT_EQ(third.at("eth0").sent, 0u);
  EXPECT_EQ(third.at("eth0").total, 0u);
  EXPECT_EQ(third.count("wlan9"), 0u) << "a vanished interface has no instance";

  // Back with larger counters: it starts again at 0, not a rate over its absence.
  net.Set("wlan9", 900000, 900000);
  net.Set("eth0", 20, 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto fourth = counters.Refresh();
  EXPECT_EQ(fourth.at("wlan9").total, 0u);
  EXPECT_GT(fourth.at("eth0").received, 0u);
}

TEST(PerfCounters, EveryInterfaceOfTheFolderIsAnInstance) {
  FakeNet net;
  for (int i = 0; i < 5; ++i) net.Set("if" + std::to_string(i), 1, 1);
  Counters counters;
  const std::size_t instances = counters.Refresh().size();  // the simulated adapters come too
  EXPECT_GE(instances, 5u);
  net.Set("if5", 1, 1);
  EXPECT_EQ(counters.Refresh().size(), instances + 1);
}

TEST(PerfCounters, InjectedFailuresAndRefusedArguments) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IWbemLocator* locator = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(&locator)),
            S_OK);
  IWbemServices* services = nullptr;
  EXPECT_EQ(locator->ConnectServer(u"ROOT\\OTHER", nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
            WBEM_E_INVALID_NAMESPACE);
  EXPECT_EQ(services, nullptr);
  wlansim::InjectFault(wlansim::Op::PerfConnectServer, static_cast<DWORD>(WBEM_E_FAILED), 1);
  EXPECT_EQ(locator->ConnectServer(u"ROOT\\CIMV2", nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
            WBEM_E_FAILED);
  EXPECT_EQ(locator->ConnectServer(u"root\\cimv2", nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services), S_OK);

  IWbemRefresher* refresher = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemRefresher, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemRefresher,
                             reinterpret_cast<void**>(&refresher)),
            S_OK);
  IWbemConfigureRefresher* configure = nullptr;
  ASSERT_EQ(refresher->QueryInterface(IID_IWbemConfigureRefresher, reinterpret_cast<void**>(&configure)), S_OK);
  IWbemHiPerfEnum* enumerator = nullptr;
  EXPECT_EQ(configure->AddEnum(services, u"win32_processor", 0, nullptr, &enumerator, nullptr), WBEM_E_INVALID_CLASS);
  EXPECT_EQ(enumerator, nullptr);
  wlansim::InjectFault(wlansim::Op::PerfRefresh, static_cast<DWORD>(WBEM_E_FAILED), 1);
  EXPECT_EQ(refresher->Refresh(0), WBEM_E_FAILED);
  EXPECT_EQ(refresher->Refresh(0), S_OK);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::PerfRefresh), 1);
  wlansim::ClearFaults();

  configure->Release();
  refresher->Release();
  services->Release();
  locator->Release();
  CoUninitialize();
  void* none = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, &none),
            CO_E_NOTINITIALIZED)
      << "the last CoUninitialize ends the service's use";
}

}  // namespace
