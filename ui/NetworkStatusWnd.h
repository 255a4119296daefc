// The network status panel: green-on-black text, repainted five times a
// second, saying which adapter is monitored, which station it is connected
// to, its IP address, gateway and DNS server, whether the gateway, the DNS
// server and a public internet host answer pings and how fast, and how many
// bytes per second pass through the adapter.
//
// It owns three pingers (internet, gateway, DNS), started at the first timer
// event at which a monitored adapter exists and run until the panel goes;
// the gateway and DNS pingers follow the adapter's addresses about once a
// second. Every fifth timer event (once a second) it has the monitored
// adapter sample its throughput. Everything here runs on the user-interface
// thread; the pingers' results are read under each pinger's own lock.
//
// The internet host is "debian.org" under the label "Internet"; the
// environment variables AERLUME_INTERNET_HOST and AERLUME_INTERNET_LABEL
// replace them (tests and the screenshot script point them at loopback).
// See docs/status-panel.md.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/wintypes.h"

class CHostPinger;
class CNativeWIFIDevice;
class QPainter;

class CNetworkStatusWnd : public QWidget {
  Q_OBJECT

 public:
  // Starts the 200 ms refresh timer.
  explicit CNetworkStatusWnd(QWidget* parent = nullptr);
  // Stops the pingers (internet, gateway, DNS), all three at once.
  ~CNetworkStatusWnd() override;

  // The adapter shown: the settings' monitored adapter, else the client's
  // first, else none (also without a WLAN client).
  static CNativeWIFIDevice* FindMonitoredDevice();
  // The public host the internet pinger pings, and the label its lines
  // begin with (the environment's override, else the defaults).
  static std::string InternetHost();
  static QString InternetLabel();

  // Where the host refresh takes its tick count from (milliseconds,
  // wrapping at 32 bits; the monotonic clock by default, null restores it).
  // For tests.
  using TickSource = DWORD (*)();
  static void SetTickSource(TickSource source);

 protected:
  void timerEvent(QTimerEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdatePingers();
  // Draws `text` at the top of the remaining area and moves its top below it.
  void DrawLine(QPainter& painter, QRect& area, const QColor& colour, const QString& text) const;
  // The ping line of `pinger` (null before the pingers start: no reply).
  void DrawPingLine(QPainter& painter, QRect& area, CHostPinger* pinger, const QString& prefix,
                    bool reportLookup) const;

  int m_nTimer = 0;
  QColor m_crBackground{0, 0, 0};
  std::unique_ptr<CHostPinger> m_pInternetPinger;
  std::unique_ptr<CHostPinger> m_pGatewayPinger;
  std::unique_ptr<CHostPinger> m_pDnsPinger;
  bool m_bPingersStarted = false;
  DWORD m_dwLastHostRefresh = 0;
  QFont m_font;
};
