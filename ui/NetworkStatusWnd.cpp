#include "ui/NetworkStatusWnd.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "connectivity/HostPinger.h"
#include "settings/Settings.h"
#include "ui/MemDC.h"
#include "ui/OnScreen.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"

namespace {

constexpr int kTimerPeriodMs = 200;
constexpr const char* kDefaultInternetHost = "debian.org";
constexpr const char* kDefaultInternetLabel = "Internet";

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

std::atomic<CNetworkStatusWnd::TickSource> g_tickSource{nullptr};

DWORD CurrentTick() {
  if (const CNetworkStatusWnd::TickSource source = g_tickSource) return source();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<DWORD>(ms.count());
}

// Timer events of every panel of the program, for the once-a-second
// throughput sample.
unsigned g_nTicks = 0;

QString Text(const std::string& text) { return QString::fromStdString(text); }

std::string Environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

}  // namespace

CNetworkStatusWnd::CNetworkStatusWnd(QWidget* parent) : QWidget(parent) {
  // Every paint covers every pixel: nothing is erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  // Helvetica, 11 pixels high; where the desktop has no such face, the
  // style hint picks its sans-serif one.
  m_font.setFamily(QStringLiteral("Helvetica"));
  m_font.setStyleHint(QFont::SansSerif);
  m_font.setPixelSize(11);
  m_nTimer = startTimer(kTimerPeriodMs);
}

CNetworkStatusWnd::~CNetworkStatusWnd() {
  if (m_nTimer) killTimer(m_nTimer);
  m_nTimer = 0;
  // Every worker is told to end before the first wait, so the three waits
  // overlap and the panel goes in about the time of the slowest echo.
  for (CHostPinger* pinger : {m_pInternetPinger.get(), m_pGatewayPinger.get(), m_pDnsPinger.get()})
    if (pinger) pinger->m_bStop = true;
  m_pInternetPinger.reset();
  m_pGatewayPinger.reset();
  m_pDnsPinger.reset();
}

CNativeWIFIDevice* CNetworkStatusWnd::FindMonitoredDevice() {
  if (!g_pWifiInterface) return nullptr;
  if (CNativeWIFIDevice* device = g_pWifiInterface->FindDevice(CSettings::m_guidMonitorDevice)) return device;
  return g_pWifiInterface->GetDeviceCount() > 0 ? g_pWifiInterface->GetDevice(0) : nullptr;
}

std::string CNetworkStatusWnd::InternetHost() { return Environment("AERLUME_INTERNET_HOST", kDefaultInternetHost); }

QString CNetworkStatusWnd::InternetLabel() {
  return Text(Environment("AERLUME_INTERNET_LABEL", kDefaultInternetLabel));
}

void CNetworkStatusWnd::SetTickSource(TickSource source) { g_tickSource = source; }

void CNetworkStatusWnd::timerEvent(QTimerEvent* event) {
  UpdatePingers();
  // Pinging and sampling go on while the window is away; painting waits
  // until it can be seen again.
  if (IsOnScreen(this)) update();
  if (++g_nTicks % 5 == 0)
    if (CNativeWIFIDevice* device = FindMonitoredDevice()) device->SampleThroughput();
  QWidget::timerEvent(event);
}

void CNetworkStatusWnd::UpdatePingers() {
  if (!m_bPingersStarted) {
    if (CNativeWIFIDevice* device = FindMonitoredDevice()) {
      m_bPingersStarted = true;
      m_pInternetPinger = std::make_unique<CHostPinger>();
      m_pGatewayPinger = std::make_unique<CHostPinger>();
      m_pDnsPinger = std::make_unique<CHostPinger>();
      m_pInternetPinger->StartPinging(InternetHost());
      m_pGatewayPinger->StartPinging(device->GetGatewayAddress());
      m_pDnsPinger->StartPinging(device->GetDnsServerAddress());
    }
  }
  // Elapsed time in unsigned arithmetic, so the tick counter's wrap does not
  // stop the refreshes.
  const DWORD now = CurrentTick();
  if (static_cast<DWORD>(now - m_dwLastHostRefresh) > 1000) {
    m_dwLastHostRefresh = now;
    CNativeWIFIDevice* device = FindMonitoredDevice();
    if (device && m_bPingersStarted) {
      m_pGatewayPinger->SetHost(device->GetGatewayAddress());
      m_pDnsPinger->SetHost(device->GetDnsServerAddress());
    }
  }
}

void CNetworkStatusWnd::DrawLine(QPainter& painter, QRect& area, const QColor& colour, const QString& text) const {
  painter.setPen(colour);
  QRect drawn;
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, text, &drawn);
  area.setTop(area.top() + drawn.height());
}

void CNetworkStatusWnd::DrawPingLine(QPainter& painter, QRect& area, CHostPinger* pinger, const QString& prefix,
                                     bool reportLookup) const {
  int reply = 0;
  bool lookupFailed = false;
  DWORD pinging = 0;
  if (pinger) {
    reply = pinger->GetLastReply(&lookupFailed);
    if (reply != 0) pinging = pinger->GetPingingTime();
  }
  if (reply != 0) {
    // An echo still out for longer than the last reply took shows its
    // growing time instead of the last good value.
    const auto shown = std::max<std::int64_t>(reply, std::min<std::int64_t>(pinging, INT32_MAX));
    DrawLine(painter, area, kGreen, prefix + QStringLiteral(" Ping reply: %1").arg(shown));
  } else if (reportLookup && lookupFailed) {
    DrawLine(painter, area, kRed, prefix + QStringLiteral(" Ping Reply: DNS Lookup Failure"));
  } else {
    DrawLine(painter, area, kRed, prefix + QStringLiteral(" Ping reply: None"));
  }
}

void CNetworkStatusWnd::paintEvent(QPaintEvent* event) {
  QPainter screen(this);
  CMemDC dc(screen, event->rect());
  QPainter& painter = dc.Painter();
  painter.setFont(m_font);
  painter.setBackground(m_crBackground);

  QRect area = rect();
  painter.fillRect(area, m_crBackground);
  area.setLeft(area.left() + 3);
  area.setTop(area.top() + 3);

  CNativeWIFIDevice* device = FindMonitoredDevice();
  if (!device) {
    DrawLine(painter, area, kRed, QStringLiteral("Use the options dialog to select a device to monitor"));
    return;
  }
  DrawLine(painter, area, kGreen, Text(device->GetDescription()));
  const CStation* station = device->FindStation(device->GetCurrentBssid());
  if (!station) {
    DrawLine(painter, area, kRed, QStringLiteral("Not connected to any station"));
    return;
  }
  DrawLine(painter, area, kGreen, QStringLiteral("Connected to: %1").arg(Text(station->GetSSID())));
  DrawLine(painter, area, kGreen, QStringLiteral("IP Address: %1").arg(Text(device->GetIPAddress())));
  DrawLine(painter, area, kGreen, QStringLiteral("Default Gateway: %1").arg(Text(device->GetGatewayAddress())));
  DrawLine(painter, area, kGreen, QStringLiteral("DNS Server: %1").arg(Text(device->GetDnsServerAddress())));
  DrawPingLine(painter, area, m_pGatewayPinger.get(), QStringLiteral("Default Gateway"), false);
  DrawPingLine(painter, area, m_pDnsPinger.get(), QStringLiteral("DNS"), false);
  DrawPingLine(painter, area, m_pInternetPinger.get(), InternetLabel(), true);
  const auto kilo = [](DWORD bytes) { return QString::number(bytes >> 10) + QLatin1Char('k'); };
  DrawLine(painter, area, kGreen, QStringLiteral("Bytes Sent per Second: %1").arg(kilo(device->m_dwBytesSentPerSec)));
  DrawLine(painter, area, kGreen,
           QStringLiteral("Bytes Read per Second: %1").arg(kilo(device->m_dwBytesReceivedPerSec)));
  DrawLine(painter, area, kGreen,
           QStringLiteral("Bytes Total per Second: %1").arg(kilo(device->m_dwBytesTotalPerSec)));
}
