// The network status panel, read back from its painted pixels: each line's
// text and colour is compared with the same text drawn plainly, in the
// panel's face, on black. Pings are real echoes to loopback addresses.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTimerEvent>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/icmpapi.h"
#include "settings/Settings.h"
#include "tests/common/test_support.h"
#include "tests/wlan/WlanTestSupport.h"
#include "ui/NetworkStatusWnd.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
// Stands in a line's text for any round-trip time of 1 to 300 ms.
const QString kAnyTime = QStringLiteral("#");

const GUID kLeasedGuid = wlantest::TestGuid(1);
const GUID kStaticGuid = wlantest::TestGuid(2);

struct Line {
  QColor colour;
  QString text;
};

// The static adapter of LeasedAndStatic, connected: no gateway to ping, the
// DNS server answering, and the internet line as given.
std::vector<Line> StaticAdapterLines(const char* internet, const QColor& internetColour);

QFont PanelFont() {
  QFont font(QStringLiteral("Helvetica"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

// Lines drawn one under the other from (3, 3) on black; `bands` gets the
// top and height of each.
QImage Render(const std::vector<Line>& lines, std::vector<QRect>* bands = nullptr) {
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setFont(PanelFont());
  QRect area(3, 3, 197, 197);
  for (const Line& line : lines) {
    painter.setPen(line.colour);
    QRect drawn;
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, line.text, &drawn);
    if (bands) bands->push_back(QRect(0, area.top(), 200, drawn.height()));
    area.setTop(area.top() + drawn.height());
  }
  return image;
}

bool SameBand(const QImage& a, const QImage& b, const QRect& band) {
  for (int y = band.top(); y <= band.bottom() && y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
  return true;
}

// Empty when the panel's image shows exactly `lines` and black below them;
// otherwise what differs. A "#" in a text matches any time of 1 to 300 ms.
std::string Mismatch(const QImage& panel, std::vector<Line> lines) {
  std::vector<QRect> bands;
  Render(lines, &bands);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QString pattern = lines[i].text;
    bool matched = false;
    for (int ms = 1; ms <= (pattern.contains(kAnyTime) ? 300 : 1) && !matched; ++ms) {
      lines[i].text = QString(pattern).replace(kAnyTime, QString::number(ms));
      matched = SameBand(panel, Render(lines), bands[i]);
    }
    if (!matched) return "line " + std::to_string(i + 1) + " is not \"" + pattern.toStdString() + "\"";
  }
  const int below = bands.empty() ? 0 : bands.back().bottom() + 1;
  if (!SameBand(panel, Render({}), QRect(0, below, 200, 200 - below))) return "something is drawn below the lines";
  return {};
}

QImage Picture(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

DWORD g_tick = 100000;
DWORD TestTick() { return g_tick; }

class StatusPanelTest : public testing::Test {
 protected:
  void SetUp() override {
    CNetworkStatusWnd::SetTickSource(&TestTick);
    CSettings::m_guidMonitorDevice = GUID{};
  }
  void TearDown() override {
    m_panel.reset();
    m_client.reset();
    CNetworkStatusWnd::SetTickSource(nullptr);
    CSettings::m_guidMonitorDevice = GUID{};
    IcmpTestReset();
    setenv("AERLUME_INTERNET_HOST", "127.0.0.1", 1);
    wlansim::ResetToDefault();
  }

  // A client on `world` (stations read in) and a 200 x 200 panel; with no
  // world, no client.
  void Start(const std::optional<wlansim::World>& world) {
    if (world) {
      wlantest::UseWorld(*world);
      m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
      m_client->Initialize();
      for (int i = 0; i < m_client->GetDeviceCount(); ++i) {
        m_client->GetDevice(i)->RefreshNetworks();
        m_client->GetDevice(i)->RefreshStations();
      }
    }
    m_panel = std::make_unique<CNetworkStatusWnd>();
    m_panel->resize(200, 200);
  }
  // One refresh-timer event, a second of the host-refresh clock later.
  void Tick() {
    g_tick += 1001;
    QTimerEvent event(0);
    QCoreApplication::sendEvent(m_panel.get(), &event);
  }
  // Sets known rates on `device` (1023 bytes a second or fewer are 0k; the
  // division truncates) and returns their lines.
  static std::vector<Line> Throughput(CNativeWIFIDevice* device) {
    device->m_dwBytesSentPerSec = 1023;
    device->m_dwBytesReceivedPerSec = 1024;
    device->m_dwBytesTotalPerSec = 5 * 1024 + 1023;
    return {{kGreen, "Bytes Sent per Second: 0k"},
            {kGreen, "Bytes Read per Second: 1k"},
            {kGreen, "Bytes Total per Second: 5k"}};
  }
  // What differs from `lines` followed by the throughput lines of `device`.
  std::string Shows(CNativeWIFIDevice* device, std::vector<Line> lines) {
    const std::vector<Line> rates = Throughput(device);
    lines.insert(lines.end(), rates.begin(), rates.end());
    return Mismatch(Picture(*m_panel), lines);
  }
  // Waits until the panel shows them; the last mismatch if it never does.
  std::string WaitFor(CNativeWIFIDevice* device, const std::vector<Line>& lines) {
    std::string mismatch;
    testsupport::SpinUntil([&] { return (mismatch = Shows(device, lines)).empty(); });
    return mismatch;
  }
  bool IcmpAvailable() {
    const HANDLE handle = IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE) return false;
    IcmpCloseHandle(handle);
    return true;
  }

  wlantest::RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
  std::unique_ptr<CNetworkStatusWnd> m_panel;
};

wlansim::World LeasedAndStatic() {
  wlansim::World world;
  world.adapters = {
      wlantest::OneNetworkAdapter(kLeasedGuid, "Leased Adapter", 1, true, {"127.0.10.2", "127.0.10.1", "127.0.10.53"}),
      wlantest::OneNetworkAdapter(kStaticGuid, "Static Adapter", 2, true, {"127.0.11.2", "", "127.0.11.53"})};
  return world;
}

TEST_F(StatusPanelTest, WithoutAnAdapterAsksForOneAndStopsThere) {
  const struct {
    const char* name;
    std::optional<wlansim::World> world;
  } cases[] = {{"no WLAN client", std::nullopt}, {"no adapter", wlantest::AdaptersWorld(0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.world);
    Tick();
    EXPECT_EQ(Mismatch(Picture(*m_panel), {{kRed, "Use the options dialog to select a device to monitor"}}), "");
    m_panel.reset();
    m_client.reset();
  }
}

TEST_F(StatusPanelTest, DisconnectedAdapterShowsItsDescriptionAndNothingMore) {
  wlansim::World world;
  world.adapters = {
      wlantest::OneNetworkAdapter(kLeasedGuid, "Idle Adapter", 3, false, {"127.0.12.2", "127.0.12.1", "127.0.12.53"})};
  Start(world);
  Tick();
  EXPECT_EQ(Mismatch(Picture(*m_panel), {{kGreen, "Idle Adapter"}, {kRed, "Not connected to any station"}}), "");
}

TEST_F(StatusPanelTest, ConnectedAdapterShowsAddressesPingsAndThroughputThenFollowsTheChosenAdapter) {
  if (!IcmpAvailable()) GTEST_SKIP() << "no ICMP socket may be opened on this machine; pings cannot be shown";
  Start(LeasedAndStatic());
  CNativeWIFIDevice* leased = m_client->FindDevice(kLeasedGuid);
  const std::vector<Line> addresses = {{kGreen, "Leased Adapter"},
                                       {kGreen, "Connected to: Net 1"},
                                       {kGreen, "IP Address: 127.0.10.2"},
                                       {kGreen, "Default Gateway: 127.0.10.1"},
                                       {kGreen, "DNS Server: 127.0.10.53"}};
  auto with = [](std::vector<Line> lines, const std::vector<Line>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
  };

  // Before the first timer event there are no pingers: no replies.
  EXPECT_EQ(Shows(leased, with(addresses, {{kRed, "Default Gateway Ping reply: None"},
                                           {kRed, "DNS Ping reply: None"},
                                           {kRed, "Loopback Ping reply: None"}})),
            "");

  Tick();
  EXPECT_EQ(WaitFor(leased, with(addresses, {{kGreen, "Default Gateway Ping reply: #"},
                                             {kGreen, "DNS Ping reply: #"},
                                             {kGreen, "Loopback Ping reply: #"}})),
            "");

  // Another adapter chosen: within a refresh the gateway pinger has nothing
  // to ping (a static address has no DHCP server) and the DNS pinger pings
  // the new server.
  CSettings::m_guidMonitorDevice = kStaticGuid;
  Tick();
  EXPECT_EQ(WaitFor(m_client->FindDevice(kStaticGuid), StaticAdapterLines("Loopback Ping reply: #", kGreen)), "");
}

std::vector<Line> StaticAdapterLines(const char* internet, const QColor& internetColour) {
  return {{kGreen, "Static Adapter"},
          {kGreen, "Connected to: Net 2"},
          {kGreen, "IP Address: 127.0.11.2"},
          {kGreen, "Default Gateway: "},
          {kGreen, "DNS Server: 127.0.11.53"},
          {kRed, "Default Gateway Ping reply: None"},
          {kGreen, "DNS Ping reply: #"},
          {internetColour, internet}};
}

bool NeverResolves(const char*, IPAddr*) { return false; }

TEST_F(StatusPanelTest, InternetHostThatDoesNotResolveIsALookupFailure) {
  if (!IcmpAvailable()) GTEST_SKIP() << "no ICMP socket may be opened on this machine; pings cannot be shown";
  IcmpTestSetNameResolver(&NeverResolves);
  setenv("AERLUME_INTERNET_HOST", "nowhere.invalid", 1);
  CSettings::m_guidMonitorDevice = kStaticGuid;
  Start(LeasedAndStatic());
  Tick();
  EXPECT_EQ(WaitFor(m_client->FindDevice(kStaticGuid),
                    StaticAdapterLines("Loopback Ping Reply: DNS Lookup Failure", kRed)),
            "");
}

}  // namespace
