// The performance-counter service over the kernel's interface statistics and
// the simulated adapters' traffic (platform/wlansim/Traffic.h). A refresher
// keeps the counters it read at its previous refresh; each refresh reads them
// again and turns the differences into per-second rates.
#include "platform/perfcounters.h"

#include <fcntl.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/widetext.h"
#include "platform/wlanbackend.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/Traffic.h"

const CLSID CLSID_WbemLocator = {0x5A4C0001, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const CLSID CLSID_WbemRefresher = {0x5A4C0002, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}};
const IID IID_IUnknown = {0x5A4C0100, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}};
const IID IID_IWbemLocator = {0x5A4C0101, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01}};
const IID IID_IWbemServices = {0x5A4C0102, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02}};
const IID IID_IWbemRefresher = {0x5A4C0103, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x03}};
const IID IID_IWbemConfigureRefresher = {0x5A4C0104, 0x6E41, 0x4F52, {0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x04}};

namespace {

constexpr char kNamespace[] = "root\\cimv2";
constexpr char kClass[] = "win32_perfformatteddata_tcpip_networkinterface";
constexpr char kDefaultNetRoot[] = "/sys/class/net";

enum PropertyHandle : LONG { kName = 1, kReceived, kSent, kTotal };

struct Process {
  std::mutex lock;
  int initialised = 0;  // CoInitializeEx calls not yet balanced
  bool security = false;
  std::string netRoot = kDefaultNetRoot;
};

Process& TheProcess() {
  static Process* process = new Process;  // outlives static destruction
  return *process;
}

bool Initialised() {
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.initialised > 0;
}

std::string NetRoot() {
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.netRoot;
}

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The simulated adapters' counters join the kernel's while the simulated back end is chosen.
bool SimulatedAdapters() { return wlanbackend::Select().kind == wlanbackend::Kind::Simulated; }

// Reference counting shared by every object here.
template <typename... Bases>
class Counted : public Bases... {
 public:
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Counted() = default;

 private:
  std::atomic<ULONG> m_refs{1};
};

template <typename T>
HRESULT Hand(T* object, void** ppv) {
  object->AddRef();
  *ppv = object;
  return S_OK;
}

class Services final : public Counted<IWbemServices> {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWbemServices) return Hand(this, ppv);
    return E_NOINTERFACE;
  }
};

class Locator final : public Counted<IWbemLocator> {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWbemLocator) return Hand(this, ppv);
    return E_NOINTERFACE;
  }
  HRESULT ConnectServer(LPCWSTR strNetworkResource, LPCWSTR strUser, LPCWSTR strPassword, LPCWSTR strLocale,
                        LONG /*lSecurityFlags*/, LPCWSTR strAuthority, IWbemContext* pCtx,
                        IWbemServices** ppNamespace) override {
    if (!ppNamespace || !strNetworkResource) return WBEM_E_INVALID_PARAMETER;
    *ppNamespace = nullptr;
    if (strUser || strPassword || strLocale || strAuthority || pCtx) return WBEM_E_INVALID_PARAMETER;
    if (DWORD error = 0; wlansim::FaultFires(wlansim::Op::PerfConnectServer, &error))
      return static_cast<HRESULT>(error);
    if (Lower(WideToUtf8(strNetworkResource)) != kNamespace) return WBEM_E_INVALID_NAMESPACE;
    *ppNamespace = new Services;
    return S_OK;
  }
};

// One instance's values at one refresh.
class ObjectAccess final : public Counted<IWbemObjectAccess> {
 public:
  ObjectAccess(const std::string& name, DWORD received, DWORD sent, DWORD total)
      : m_name(Utf8ToWide(name)), m_received(received), m_sent(sent), m_total(total) {}

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) return Hand(this, ppv);
    return E_NOINTERFACE;
  }
  HRESULT GetPropertyHandle(LPCWSTR wszPropertyName, CIMTYPE* pType, LONG* plHandle) override {
    if (!wszPropertyName || !pType || !plHandle) return WBEM_E_INVALID_PARAMETER;
    const std::string name = WideToUtf8(wszPropertyName);
    static const struct {
      const char* name;
      LONG handle;
      CIMTYPE type;
    } kProperties[] = {{"Name", kName, CIM_STRING},
                       {"BytesReceivedPersec", kReceived, CIM_UINT32},
                       {"BytesSentPersec", kSent, CIM_UINT32},
                       {"BytesTotalPersec", kTotal, CIM_UINT32}};
    for (const auto& p : kProperties) {
      if (name != p.name) continue;
      *pType = p.type;
      *plHandle = p.handle;
      return S_OK;
    }
    return WBEM_E_NOT_FOUND;
  }
  HRESULT ReadPropertyValue(LONG lHandle, LONG lNumBytes, LONG* plNumBytes, BYTE* pData) override {
    if (!plNumBytes || lNumBytes < 0) return WBEM_E_INVALID_PARAMETER;
    if (lHandle != kName) return lHandle >= kReceived && lHandle <= kTotal ? WBEM_E_TYPE_MISMATCH : WBEM_E_NOT_FOUND;
    const LONG needed = static_cast<LONG>((m_name.size() + 1) * sizeof(WCHAR));
    *plNumBytes = needed;
    if (lNumBytes < needed) return WBEM_E_BUFFER_TOO_SMALL;
    if (!pData) return WBEM_E_INVALID_PARAMETER;
    std::memcpy(pData, m_name.c_str(), static_cast<std::size_t>(needed));
    return S_OK;
  }
  HRESULT ReadDWORD(LONG lHandle, DWORD* pdw) override {
    if (!pdw) return WBEM_E_INVALID_PARAMETER;
    switch (lHandle) {
      case kReceived: *pdw = m_received; return S_OK;
      case kSent: *pdw = m_sent; return S_OK;
      case kTotal: *pdw = m_total; return S_OK;
      case kName: return WBEM_E_TYPE_MISMATCH;
      default: return WBEM_E_NOT_FOUND;
    }
  }

 private:
  const std::u16string m_name;
  const DWORD m_received;
  const DWORD m_sent;
  const DWORD m_total;
};

class HiPerfEnum final : public Counted<IWbemHiPerfEnum> {
 public:
  ~HiPerfEnum() override { Clear(); }

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) return Hand(this, ppv);
    return E_NOINTERFACE;
  }
  HRESULT GetObjects(LONG /*lFlags*/, ULONG uNumObjects, IWbemObjectAccess** apObj, ULONG* puReturned) override {
    if (!puReturned) return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(m_lock);
    *puReturned = static_cast<ULONG>(m_objects.size());
    if (m_objects.size() > uNumObjects) return WBEM_E_BUFFER_TOO_SMALL;
    if (!apObj && !m_objects.empty()) return WBEM_E_INVALID_PARAMETER;
    for (std::size_t i = 0; i < m_objects.size(); ++i) {
      m_objects[i]->AddRef();
      apObj[i] = m_objects[i];
    }
    return S_OK;
  }

  // The refresher's new instances replace the old ones.
  void Replace(std::vector<ObjectAccess*> objects) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (ObjectAccess* o : m_objects) o->Release();
    m_objects = std::move(objects);
  }

 private:
  void Clear() { Replace({}); }

  std::mutex m_lock;
  std::vector<ObjectAccess*> m_objects;
};

// One interface's counters at one reading.
struct Reading {
  std::string key;  // distinguishes the kernel's interfaces from simulated adapters
  std::string name;
  std::uint64_t received = 0;
  std::uint64_t sent = 0;
  std::int64_t at = 0;  // in ticks of `perSecond`
  std::int64_t perSecond = 1;
};

// The value of a decimal counter file, or false.
bool ReadCounter(const std::string& path, std::uint64_t* value) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[32];
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return false;
  text[got] = '\0';
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  if (end == text || errno != 0 || (*end != '\0' && *end != '\n')) return false;
  *value = parsed;
  return true;
}

// The kernel's interfaces in name order; one that vanishes while it is read is left out.
void ReadKernelInterfaces(std::vector<Reading>* out) {
  const std::string root = NetRoot();
  DIR* dir = ::opendir(root.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  const std::int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  for (const std::string& name : names) {
    Reading r;
    const std::string statistics = root + "/" + name + "/statistics/";
    if (!ReadCounter(statistics + "rx_bytes", &r.received) || !ReadCounter(statistics + "tx_bytes", &r.sent))
      continue;
    r.key = "if:" + name;
    r.name = name;
    r.at = now;
    r.perSecond = 1000000;
    out->push_back(std::move(r));
  }
}

void ReadSimulatedAdapters(std::vector<Reading>* out) {
  const std::vector<wlansim::TrafficRecord> adapters = wlansim::ReadAdapterTraffic();
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    Reading r;
    r.key = "sim:" + std::to_string(i) + ":" + adapters[i].description;
    r.name = adapters[i].description;
    r.received = adapters[i].received;
    r.sent = adapters[i].sent;
    r.at = adapters[i].at;
    r.perSecond = 1000;
    out->push_back(std::move(r));
  }
}

// Bytes per second over `ticks`, capped at the 32-bit maximum.
DWORD Rate(std::uint64_t bytes, std::int64_t ticks, std::int64_t perSecond) {
  const long double rate = static_cast<long double>(bytes) * perSecond / ticks;
  constexpr DWORD kMax = std::numeric_limits<DWORD>::max();
  return rate >= kMax ? kMax : static_cast<DWORD>(rate);
}

class Refresher final : public Counted<IWbemRefresher, IWbemConfigureRefresher> {
 public:
  ~Refresher() override {
    if (m_enum) m_enum->Release();
  }

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWbemRefresher) return Hand(static_cast<IWbemRefresher*>(this), ppv);
    if (riid == IID_IWbemConfigureRefresher) return Hand(static_cast<IWbemConfigureRefresher*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return Counted::AddRef(); }
  ULONG Release() override { return Counted::Release(); }

  HRESULT AddEnum(IWbemServices* pNamespace, LPCWSTR wszClassName, LONG /*lFlags*/, IWbemContext* /*pContext*/,
                  IWbemHiPerfEnum** ppEnum, LONG* plId) override {
    if (!pNamespace || !wszClassName || !ppEnum) return WBEM_E_INVALID_PARAMETER;
    *ppEnum = nullptr;
    if (!dynamic_cast<Services*>(pNamespace)) return WBEM_E_INVALID_PARAMETER;
    if (Lower(WideToUtf8(wszClassName)) != kClass) return WBEM_E_INVALID_CLASS;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_enum) return WBEM_E_FAILED;  // one enumerator per refresher
    m_enum = new HiPerfEnum;
    m_enum->AddRef();
    *ppEnum = m_enum;
    if (plId) *plId = 1;
    return S_OK;
  }

  HRESULT Refresh(LONG /*lFlags*/) override {
    if (DWORD error = 0; wlansim::FaultFires(wlansim::Op::PerfRefresh, &error)) return static_cast<HRESULT>(error);
    std::vector<Reading> readings;
    ReadKernelInterfaces(&readings);
    if (SimulatedAdapters()) ReadSimulatedAdapters(&readings);

    std::lock_guard<std::mutex> guard(m_lock);
    std::unordered_map<std::string, Reading> current;
    std::vector<ObjectAccess*> objects;
    objects.reserve(readings.size());
    for (Reading& r : readings) {
      DWORD received = 0, sent = 0, total = 0;
      const auto before = m_previous.find(r.key);
      // A counter that went backwards (interface made again, counters reset)
      // or a clock that did not move gives 0 rather than a wrapped difference.
      if (before != m_previous.end() && r.at > before->second.at && r.received >= before->second.received &&
          r.sent >= before->second.sent) {
        const std::uint64_t in = r.received - before->second.received;
        const std::uint64_t out = r.sent - before->second.sent;
        const std::int64_t ticks = r.at - before->second.at;
        received = Rate(in, ticks, r.perSecond);
        sent = Rate(out, ticks, r.perSecond);
        total = Rate(in + out, ticks, r.perSecond);
      }
      objects.push_back(new ObjectAccess(r.name, received, sent, total));
      std::string key = r.key;
      current.insert_or_assign(std::move(key), std::move(r));
    }
    // Instances missing from this refresh are forgotten: one that comes back starts at 0.
    m_previous = std::move(current);
    if (m_enum) m_enum->Replace(std::move(objects));
    else
      for (ObjectAccess* o : objects) o->Release();
    return S_OK;
  }

 private:
  std::mutex m_lock;
  HiPerfEnum* m_enum = nullptr;  // holds a reference
  std::unordered_map<std::string, Reading> m_previous;
};

}  // namespace

HRESULT CoInitializeEx(void* pvReserved, DWORD /*dwCoInit*/) {
  if (pvReserved) return E_INVALIDARG;
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.initialised++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  if (p.initialised > 0 && --p.initialised == 0) p.security = false;
}

HRESULT CoInitializeSecurity(void* /*pSecDesc*/, LONG /*cAuthSvc*/, void* /*asAuthSvc*/, void* /*pReserved1*/,
                             DWORD /*dwAuthnLevel*/, DWORD /*dwImpLevel*/, void* /*pAuthList*/,
                             DWORD /*dwCapabilities*/, void* /*pReserved3*/) {
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  if (p.initialised == 0) return CO_E_NOTINITIALIZED;
  if (p.security) return RPC_E_TOO_LATE;
  p.security = true;
  return S_OK;
}

HRESULT CoCreateInstance(const CLSID& rclsid, IUnknown* pUnkOuter, DWORD /*dwClsContext*/, const IID& riid,
                         void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return E_INVALIDARG;
  if (!Initialised()) return CO_E_NOTINITIALIZED;
  IUnknown* made = nullptr;
  if (rclsid == CLSID_WbemLocator) made = new Locator;
  else if (rclsid == CLSID_WbemRefresher) made = static_cast<IWbemRefresher*>(new Refresher);
  else return REGDB_E_CLASSNOTREG;
  const HRESULT hr = made->QueryInterface(riid, ppv);
  made->Release();
  return hr;
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD /*dwAuthnSvc*/, DWORD /*dwAuthzSvc*/, WCHAR* /*pServerPrincName*/,
                          DWORD /*dwAuthnLevel*/, DWORD /*dwImpLevel*/, void* /*pAuthInfo*/, DWORD /*dwCapabilities*/) {
  return dynamic_cast<Services*>(pProxy) ? S_OK : E_INVALIDARG;
}

void SetPerfNetRoot(const std::string& root) {
  Process& p = TheProcess();
  std::lock_guard<std::mutex> guard(p.lock);
  p.netRoot = root.empty() ? kDefaultNetRoot : root;
}
