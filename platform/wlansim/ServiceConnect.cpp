// Connections: requests run one after another per adapter, each as a plan of
// timed steps; every step changes the interface state and queues the
// notification that goes with it. Also the watch over a live link (signal
// quality, the station leaving) and automatic reconnection.
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/Radio.h"
#include "platform/wlansim/Service.h"

namespace wlansim {
namespace {

constexpr DWORD kAcm = WLAN_NOTIFICATION_SOURCE_ACM;
constexpr DWORD kMsm = WLAN_NOTIFICATION_SOURCE_MSM;

// How a connection attempt ends.
enum class Outcome {
  Connected,
  RefusedEarly,  // never associates: ACM 9, 11, 10
  AuthFailed,  // associates, then the key does not fit
};

struct Attempt {
  ConnectionFacts facts;
  int station = -1;
  Outcome outcome = Outcome::RefusedEarly;
  WLAN_REASON_CODE reason = WLAN_REASON_CODE_SUCCESS;
  bool createsProfile = false;
  std::string createdXml;
};

}  // namespace

void Service::EnqueueLocked(AdapterState& a, Request request, std::int64_t t) {
  if (!m_running) return;
  a.requests.push_back(std::move(request));
  if (a.busy) return;
  a.busy = true;
  const std::size_t index = IndexOf(a);
  At(t, [this, index](std::int64_t when) { StartNextLocked(index, when); });
}

void Service::StartNextLocked(std::size_t index, std::int64_t t) {
  AdapterState& a = m_adapters[index];
  if (a.requests.empty()) {
    a.busy = false;
    return;
  }
  const Request request = std::move(a.requests.front());
  a.requests.pop_front();
  Plan plan;
  switch (request.kind) {
    case RequestKind::Connect:
      plan = PlanConnect(a, request.connect, t);
      break;
    case RequestKind::Disconnect:
      plan = PlanDisconnect(a, WLAN_REASON_CODE_MSM_USER_DISCONNECT, true);
      break;
    case RequestKind::LinkLoss:
      if (a.assoc && !OnAir(a, a.stations[static_cast<std::size_t>(a.assocStation)], t))
        plan = PlanDisconnect(a, WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED, false);
      break;
    case RequestKind::AutoConnect:
      plan = PlanAutoConnect(a, t);
      break;
  }
  RunPlanLocked(index, std::move(plan), t);
}

// Schedules the steps at their offsets; after the last one the next request starts.
void Service::RunPlanLocked(std::size_t index, Plan plan, std::int64_t t) {
  std::int64_t when = t;
  for (auto& [delay, step] : plan) {
    when += delay;
    At(when, [this, index, step = std::move(step)](std::int64_t now) { step(m_adapters[index], now); });
  }
  At(when, [this, index](std::int64_t now) { StartNextLocked(index, now); });
}

std::optional<std::size_t> Service::ChooseStation(const AdapterState& a, const std::string& ssid, DOT11_BSS_TYPE type,
                                                  bool hiddenAllowed, const std::optional<Mac>& desired,
                                                  std::int64_t t) const {
  std::optional<std::size_t> first;
  for (std::size_t s = 0; s < a.stations.size(); ++s) {
    const Station& st = a.stations[s];
    if (!OnAir(a, st, t) || st.ap.ssid != ssid) continue;
    if (type != dot11_BSS_type_any && st.ap.bssType != type) continue;
    if (st.ap.hidden && !hiddenAllowed) continue;
    if (desired && st.ap.bssid == *desired) return s;
    if (!first) first = s;
  }
  return first;
}

// user: ACM 20, MSM 9, MSM 10, ACM 21. Link lost: MSM 10, ACM 21, then
// automatic reconnection when autoconf is on.
Service::Plan Service::PlanDisconnect(AdapterState& a, WLAN_REASON_CODE reason, bool user) {
  Plan plan;
  if (!a.assoc) return plan;
  const ConnectionFacts facts = *a.assoc;
  const ULONG step = m_timing.stepMs;
  if (user) {
    plan.emplace_back(0, [this, facts](AdapterState& ad, std::int64_t) {
      ad.state = wlan_interface_state_disconnecting;
      Emit(ad, kAcm, wlan_notification_acm_disconnecting, ConnectionPayload(facts, WLAN_REASON_CODE_SUCCESS));
    });
    plan.emplace_back(step, [this, facts](AdapterState& ad, std::int64_t) {
      Emit(ad, kMsm, wlan_notification_msm_disassociating, MsmPayload(facts, WLAN_REASON_CODE_SUCCESS));
    });
  }
  plan.emplace_back(user ? step : 0, [this, facts, reason](AdapterState& ad, std::int64_t) {
    DropAssociationLocked(ad);
    Emit(ad, kMsm, wlan_notification_msm_disconnected, MsmPayload(facts, reason));
  });
  plan.emplace_back(step, [this, facts, reason, user](AdapterState& ad, std::int64_t now) {
    Emit(ad, kAcm, wlan_notification_acm_disconnected, ConnectionPayload(facts, reason));
    if (!user && ad.autoconf) {
      ad.autoReconnect = true;
      ScheduleReconnect(IndexOf(ad), now + m_timing.reconnectDelayMs);
    }
  });
  return plan;
}

Service::Plan Service::PlanConnect(AdapterState& a, const ConnectRequest& request, std::int64_t t) {
  Plan plan = PlanDisconnect(a, WLAN_REASON_CODE_MSM_USER_DISCONNECT, true);
  const ULONG step = m_timing.stepMs;

  // Decide the target and the outcome now, from the world as it is.
  Attempt at;
  at.facts.mode = request.mode;
  at.facts.ssid = request.ssid;
  at.facts.bssType = request.bssType == dot11_BSS_type_any ? dot11_BSS_type_infrastructure : request.bssType;
  const bool hiddenFlag = (request.flags & WLAN_CONNECTION_HIDDEN_NETWORK) != 0;
  // The station the attempt goes to, recorded in the attempt; null (and the
  // reason set) when nothing of that SSID is in the air.
  auto aim = [&](const std::string& ssid, DOT11_BSS_TYPE bssType, bool hidden) -> const AccessPoint* {
    const auto s = ChooseStation(a, ssid, bssType, hidden, request.bssid, t);
    if (!s) {
      at.reason = WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE;
      return nullptr;
    }
    at.station = static_cast<int>(*s);
    at.facts.bssid = a.stations[*s].ap.bssid;
    return &a.stations[*s].ap;
  };
  [&] {
    if (request.mode == wlan_connection_mode_discovery_secure ||
        request.mode == wlan_connection_mode_discovery_unsecure) {
      const AccessPoint* target = aim(request.ssid, request.bssType, hiddenFlag);
      if (!target) return;
      const AccessPoint& ap = *target;
      at.facts.bssType = ap.bssType;
      at.facts.security = ap.securityEnabled;
      const bool secure = request.mode == wlan_connection_mode_discovery_secure;
      if (secure != ap.securityEnabled) {
        at.reason = WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE;
      } else if (secure) {
        at.reason = WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE;  // no key to offer without a profile
      } else {
        at.outcome = Outcome::Connected;
        at.createsProfile = true;
        ProfileFields spec;
        spec.name = ap.ssid;
        spec.ssid = ap.ssid;
        spec.nonBroadcast = ap.hidden;
        spec.bssType = ap.bssType;
        spec.autoConnect = ap.bssType == dot11_BSS_type_infrastructure;
        at.createdXml = BuildProfileXml(spec);
      }
      return;
    }

    // A stored profile (profile, auto) or a document (temporary).
    std::string document = request.profile;
    if (request.mode != wlan_connection_mode_temporary_profile) {
      at.facts.profileName = request.profile;
      const int p = FindProfileLocked(a, request.profile);
      if (p < 0) {
        at.reason = WLAN_REASON_CODE_PROFILE_MISSING;
        return;
      }
      document = a.profiles[static_cast<std::size_t>(p)].xml;
    }
    ParsedProfile prof;
    if (const WLAN_REASON_CODE rc = ParseProfileXml(document, &prof); rc != WLAN_REASON_CODE_SUCCESS) {
      at.reason = rc;
      return;
    }
    at.facts.profileName = prof.name;
    at.facts.security = prof.SecurityEnabled();
    if ((!request.ssid.empty() && request.ssid != prof.ssid) ||
        (request.bssType != dot11_BSS_type_any && request.bssType != prof.bssType)) {
      at.reason = WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE;
      return;
    }
    at.facts.ssid = prof.ssid;
    at.facts.bssType = prof.bssType;
    const AccessPoint* target = aim(prof.ssid, prof.bssType, hiddenFlag || prof.nonBroadcast);
    if (!target) return;
    const AccessPoint& ap = *target;
    if (prof.SecurityEnabled() != ap.securityEnabled) {
      at.reason = WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE;
    } else if (ap.securityEnabled && prof.key != ap.key) {
      at.outcome = Outcome::AuthFailed;
      at.reason = WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED;
    } else {
      at.outcome = Outcome::Connected;
    }
  }();

  // ACM 9 carries no profile name for a discovery attempt: none exists yet.
  const ConnectionFacts facts = at.facts;
  const WLAN_REASON_CODE reason = at.reason;
  const bool automatic = request.mode == wlan_connection_mode_auto;
  plan.emplace_back(plan.empty() ? 0 : step, [this, facts](AdapterState& ad, std::int64_t) {
    Emit(ad, kAcm, wlan_notification_acm_connection_start, ConnectionPayload(facts, WLAN_REASON_CODE_SUCCESS));
  });
  auto retryIfAutomatic = [this, automatic](AdapterState& ad, std::int64_t now) {
    if (automatic && ad.autoReconnect) ScheduleReconnect(IndexOf(ad), now + m_timing.reconnectRetryMs);
  };

  // A failed attempt ends with attempt-failed and completion, both with the reason.
  auto endInFailure = [&] {
    plan.emplace_back(step, [this, facts, reason](AdapterState& ad, std::int64_t) {
      Emit(ad, kAcm, wlan_notification_acm_connection_attempt_fail, ConnectionPayload(facts, reason));
    });
    plan.emplace_back(step, [this, facts, reason, retryIfAutomatic](AdapterState& ad, std::int64_t now) {
      Emit(ad, kAcm, wlan_notification_acm_connection_complete, ConnectionPayload(facts, reason));
      retryIfAutomatic(ad, now);
    });
  };

  if (at.outcome == Outcome::RefusedEarly) {
    endInFailure();
    return plan;
  }

  plan.emplace_back(step, [this, facts](AdapterState& ad, std::int64_t) {
    ad.state = wlan_interface_state_associating;
    Emit(ad, kMsm, wlan_notification_msm_associating, MsmPayload(facts, WLAN_REASON_CODE_SUCCESS));
  });
  plan.emplace_back(step, [this, facts](AdapterState& ad, std::int64_t) {
    Emit(ad, kMsm, wlan_notification_msm_associated, MsmPayload(facts, WLAN_REASON_CODE_SUCCESS));
  });
  if (facts.security) {
    plan.emplace_back(step, [this, facts](AdapterState& ad, std::int64_t) {
      ad.state = wlan_interface_state_authenticating;
      Emit(ad, kMsm, wlan_notification_msm_authenticating, MsmPayload(facts, WLAN_REASON_CODE_SUCCESS));
    });
  }

  if (at.outcome == Outcome::AuthFailed) {
    plan.emplace_back(step, [this, facts, reason](AdapterState& ad, std::int64_t) {
      ad.state = wlan_interface_state_disconnected;
      Emit(ad, kMsm, wlan_notification_msm_disconnected, MsmPayload(facts, reason));
    });
    endInFailure();
    return plan;
  }

  // Success. A discovery connection stores the profile it made and reports it.
  ConnectionFacts done = facts;
  if (at.createsProfile) done.profileName = done.ssid;
  const int station = at.station;
  const bool createsProfile = at.createsProfile;
  const std::string xml = at.createdXml;
  plan.emplace_back(step, [this, done, station, createsProfile, xml](AdapterState& ad, std::int64_t now) {
    if (createsProfile) StoreProfileLocked(ad, done.profileName, xml, 0);
    AssociateLocked(ad, done, station, now);
    Emit(ad, kMsm, wlan_notification_msm_connected, MsmPayload(done, WLAN_REASON_CODE_SUCCESS));
  });
  const DWORD flags = done.bssType == dot11_BSS_type_independent ? kConnectionFlagAdhocFormed : 0;
  plan.emplace_back(step, [this, done, flags, createsProfile, xml](AdapterState& ad, std::int64_t) {
    Emit(ad, kAcm, wlan_notification_acm_connection_complete,
         ConnectionPayload(done, WLAN_REASON_CODE_SUCCESS, flags, createsProfile ? &xml : nullptr));
  });
  return plan;
}

// After a lost link: the first automatic profile whose network is in the
// air; when none is, try again later.
Service::Plan Service::PlanAutoConnect(AdapterState& a, std::int64_t t) {
  if (a.assoc || !a.autoconf || !a.autoReconnect) return {};
  for (const StoredProfile& p : a.profiles) {
    ParsedProfile parsed;
    if (ParseProfileXml(p.xml, &parsed) != WLAN_REASON_CODE_SUCCESS || !parsed.autoConnect) continue;
    if (!ChooseStation(a, parsed.ssid, parsed.bssType, parsed.nonBroadcast, std::nullopt, t)) continue;
    ConnectRequest request;
    request.mode = wlan_connection_mode_auto;
    request.profile = p.name;
    request.bssType = dot11_BSS_type_any;
    return PlanConnect(a, request, t);
  }
  ScheduleReconnect(IndexOf(a), t + m_timing.reconnectRetryMs);
  return {};
}

void Service::AssociateLocked(AdapterState& a, const ConnectionFacts& facts, int station, std::int64_t t) {
  a.assoc = facts;
  a.assocStation = station;
  a.state = facts.bssType == dot11_BSS_type_independent ? wlan_interface_state_ad_hoc_network_formed
                                                         : wlan_interface_state_connected;
  ++a.linkGeneration;
  a.reportedQuality = QualityFromRssi(RssiAt(m_seed, a.stations[static_cast<std::size_t>(station)].ap, t));
  a.autoReconnect = false;
  if (m_running) WatchLinkLocked(IndexOf(a), t);
}

void Service::DropAssociationLocked(AdapterState& a) {
  a.assoc.reset();
  a.assocStation = -1;
  ++a.linkGeneration;
  a.state = wlan_interface_state_disconnected;
}

// Signal checks every signalIntervalMs, a check right away, and one when the
// presence schedule next takes the station away.
void Service::WatchLinkLocked(std::size_t index, std::int64_t t) {
  const AdapterState& a = m_adapters[index];
  ScheduleLinkCheck(index, a.linkGeneration, t, true);
  ScheduleLinkTick(index, a.linkGeneration, t + m_timing.signalIntervalMs);
}

void Service::ScheduleLinkTick(std::size_t index, std::uint64_t generation, std::int64_t due) {
  At(due, [this, index, generation](std::int64_t now) {
    AdapterState& a = m_adapters[index];
    if (a.linkGeneration != generation || !a.assoc) return;
    const Station& s = a.stations[static_cast<std::size_t>(a.assocStation)];
    if (!OnAir(a, s, now)) {
      EnqueueLocked(a, Request{RequestKind::LinkLoss, {}}, now);
      return;
    }
    const ULONG quality = QualityFromRssi(RssiAt(m_seed, s.ap, now));
    if (quality != a.reportedQuality) {
      a.reportedQuality = quality;
      Emit(a, kMsm, wlan_notification_msm_signalquality_change, DwordPayload(quality));
    }
    ScheduleLinkTick(index, generation, now + m_timing.signalIntervalMs);
  });
}

void Service::ScheduleLinkCheck(std::size_t index, std::uint64_t generation, std::int64_t due, bool follow) {
  At(due, [this, index, generation, follow](std::int64_t now) {
    AdapterState& a = m_adapters[index];
    if (a.linkGeneration != generation || !a.assoc) return;
    const Station& s = a.stations[static_cast<std::size_t>(a.assocStation)];
    if (!OnAir(a, s, now)) {
      EnqueueLocked(a, Request{RequestKind::LinkLoss, {}}, now);
      return;
    }
    if (!follow) return;
    if (const std::int64_t next = NextDeparture(s.ap, now); next > now) ScheduleLinkCheck(index, generation, next, true);
  });
}

void Service::ScheduleReconnect(std::size_t index, std::int64_t due) {
  At(due, [this, index](std::int64_t now) {
    AdapterState& a = m_adapters[index];
    if (a.autoReconnect && a.autoconf && !a.assoc) EnqueueLocked(a, Request{RequestKind::AutoConnect, {}}, now);
  });
}

}  // namespace wlansim
