// A pinger: sends ICMP echo requests to one host, one after another, from a
// worker thread of its own, and keeps the round-trip time of the latest cycle
// for the user interface to read at any moment without waiting.
//
// Threads: the owner (the user-interface thread) and one worker per pinger.
// m_lock guards the fields marked (L); the worker holds it only for the short
// updates before and after each echo, never during the echo or the pause.
// See docs/ping-engine.md.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/wintypes.h"

class CHostPinger {
 public:
  CHostPinger() = default;
  CHostPinger(const CHostPinger&) = delete;
  CHostPinger& operator=(const CHostPinger&) = delete;
  // Stops the worker (see Stop) before the fields go away.
  ~CHostPinger();

  // Stores the host text, clears m_bStop and starts the worker. Called once.
  void StartPinging(const std::string& strHost);
  // The log tells once per process when no echo socket can be opened; tests
  // make it tell again.
  static void ResetNoEchoSocketNotice();

  // Replaces the host under the lock; the worker takes it from its next cycle
  // on, and the result of a cycle under way is still stored.
  void SetHost(const std::string& strHost);
  // Milliseconds since the current echo began, 0 while none is in flight.
  DWORD GetPingingTime();
  // Reads the latest result under the lock: the round-trip time (0: no valid
  // reply) and, where asked for, whether the host name did not resolve.
  int GetLastReply(bool* pbLookupFailed = nullptr);
  // Sets m_bStop, then waits for the worker to end, looking every 200 ms
  // (so at least 200 ms once a worker was started), and deletes the thread
  // object. Without a worker it only sets m_bStop.
  void Stop();

  // The worker thread object: the thread and its exit code.
  struct CThread;

  // Readers that want several fields at once take m_lock themselves.
  std::mutex m_lock;
  CThread* m_pThread = nullptr;  // owned; created by StartPinging, deleted by Stop
  std::string m_strHost;         // (L) name or dotted IPv4 address; empty: nothing to ping
  std::int32_t m_nLastReply = 0;  // (L) ms of the latest cycle; 0: no valid reply; 0 ms is stored as 1
  std::atomic<bool> m_bStop{false};  // written by the owner, read by the worker once per cycle
  // The echo's settings, read by the worker without the lock: change them
  // only before StartPinging.
  std::uint8_t m_nTTL = 30;
  std::uint8_t m_nTOS = 0;
  std::uint16_t m_nPacketSize = 32;
  DWORD m_dwTimeout = 1000;         // ms one echo waits for its reply
  DWORD m_dwPingStart = 0;          // (L) tick count at which the current echo began; 0: none in flight
  bool m_bDontFragment = false;
  bool m_bLookupFailed = false;     // (L) the latest cycle failed because the name did not resolve

 private:
  static void WorkerMain(CHostPinger* pPinger, CThread* pThread);
};
