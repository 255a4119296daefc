// The thin socket part of the scan-dump reader: a generic netlink socket,
// the nl80211 family, one dump request; each reply message goes to
// DecodeScanMessage as raw bytes.
#include "platform/nl80211/Nl80211Scan.h"

#ifdef AERLUME_HAVE_LIBNL

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>
#include <memory>

namespace {

struct DumpState {
  std::vector<Nl80211Bss> found;
  bool finished = false;
  int error = 0;
};

int OnValid(nl_msg* msg, void* arg) {
  const nlmsghdr* header = nlmsg_hdr(msg);
  if (auto bss = DecodeScanMessage(reinterpret_cast<const std::uint8_t*>(header), header->nlmsg_len))
    static_cast<DumpState*>(arg)->found.push_back(std::move(*bss));
  return NL_OK;
}

int OnFinish(nl_msg*, void* arg) {
  static_cast<DumpState*>(arg)->finished = true;
  return NL_STOP;
}

int OnError(sockaddr_nl*, nlmsgerr* e, void* arg) {
  auto* state = static_cast<DumpState*>(arg);
  state->error = e->error;
  state->finished = true;
  return NL_STOP;
}

}  // namespace

std::optional<std::vector<Nl80211Bss>> ReadScanDump(int ifindex, std::string* err) {
  auto fail = [err](const std::string& why) -> std::optional<std::vector<Nl80211Bss>> {
    if (err) *err = why;
    return std::nullopt;
  };
  std::unique_ptr<nl_sock, void (*)(nl_sock*)> sock(nl_socket_alloc(), nl_socket_free);
  if (!sock) return fail("no memory for a netlink socket");
  if (int rc = genl_connect(sock.get()); rc < 0) return fail(std::string("generic netlink: ") + nl_geterror(rc));
  const int family = genl_ctrl_resolve(sock.get(), "nl80211");
  if (family < 0) return fail("no nl80211 in this kernel or network namespace");
  // A dump that never ends must not hang the caller.
  timeval timeout{2, 0};
  setsockopt(nl_socket_get_fd(sock.get()), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

  std::unique_ptr<nl_msg, void (*)(nl_msg*)> msg(nlmsg_alloc(), nlmsg_free);
  if (!msg || !genlmsg_put(msg.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_DUMP, NL80211_CMD_GET_SCAN, 0) ||
      nla_put_u32(msg.get(), NL80211_ATTR_IFINDEX, static_cast<std::uint32_t>(ifindex)) < 0)
    return fail("cannot build the scan dump request");

  DumpState state;
  std::unique_ptr<nl_cb, void (*)(nl_cb*)> cb(nl_cb_alloc(NL_CB_DEFAULT), nl_cb_put);
  if (!cb) return fail("no memory for netlink callbacks");
  nl_cb_set(cb.get(), NL_CB_VALID, NL_CB_CUSTOM, OnValid, &state);
  nl_cb_set(cb.get(), NL_CB_FINISH, NL_CB_CUSTOM, OnFinish, &state);
  nl_cb_err(cb.get(), NL_CB_CUSTOM, OnError, &state);
  if (int rc = nl_send_auto(sock.get(), msg.get()); rc < 0) return fail(std::string("send: ") + nl_geterror(rc));
  while (!state.finished) {
    if (int rc = nl_recvmsgs(sock.get(), cb.get()); rc < 0 && !state.finished)
      return fail(std::string("receive: ") + nl_geterror(rc));
  }
  if (state.error < 0) return fail(std::string("scan dump: ") + std::strerror(-state.error));
  return std::move(state.found);
}

#else

std::optional<std::vector<Nl80211Bss>> ReadScanDump(int, std::string* err) {
  if (err) *err = "built without libnl-genl-3";
  return std::nullopt;
}

#endif
