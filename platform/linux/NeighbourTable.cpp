// The kernel's IPv4 neighbour table over rtnetlink, and resolving one address
// through it without any privilege.
#include "platform/linux/NeighbourTable.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace rm {

namespace {

// Owns one netlink socket.
class NetlinkSocket {
  public:
    explicit NetlinkSocket(uint32_t groups = 0) {
        fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd_ < 0) return;
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        local.nl_groups = groups;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~NetlinkSocket() {
        if (fd_ >= 0) close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

NeighbourState StateOf(uint16_t nud) {
    // PERMANENT and NOARP entries are as good as a fresh answer. DELAY and PROBE
    // are a STALE entry being checked again: still not an answer.
    if (nud & (NUD_REACHABLE | NUD_PERMANENT | NUD_NOARP)) return NeighbourState::Reachable;
    if (nud & (NUD_STALE | NUD_DELAY | NUD_PROBE)) return NeighbourState::Stale;
    if (nud & NUD_INCOMPLETE) return NeighbourState::Incomplete;
    if (nud & NUD_FAILED) return NeighbourState::Failed;
    return NeighbourState::Other;
}

std::optional<Neighbour> ParseNeighbour(const nlmsghdr* h) {
    if (h->nlmsg_type != RTM_NEWNEIGH || h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return std::nullopt;
    const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
    if (nd->ndm_family != AF_INET) return std::nullopt;
    Neighbour n;
    n.ifindex = nd->ndm_ifindex;
    n.state = StateOf(nd->ndm_state);
    bool haveDst = false;
    int len = int(h->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (const rtattr* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(nd) +
                                                           NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(a, len); a = RTA_NEXT(a, len)) {
        const size_t payload = RTA_PAYLOAD(a);
        if (a->rta_type == NDA_DST && payload == 4) {
            std::memcpy(&n.ip, RTA_DATA(a), 4);
            haveDst = true;
        } else if (a->rta_type == NDA_LLADDR && payload == 6) {
            MacAddress mac;
            std::memcpy(mac.data(), RTA_DATA(a), 6);
            n.mac = mac;
        }
    }
    if (!haveDst) return std::nullopt;
    return n;
}

// Each request gets a number of its own; only replies carrying it count.
uint32_t NextSequence() {
    static std::atomic<uint32_t> seq{uint32_t(getpid()) << 12};
    return ++seq;
}

enum class DumpResult { Complete, Interrupted, Failed };

// One dump. Only messages from the kernel (port id 0) answering this request
// are read: anything another local process sends to our port is ignored.
DumpResult DumpOnce(int fd, std::vector<Neighbour>& out) {
    struct {
        nlmsghdr h;
        ndmsg nd;
    } req{};
    const uint32_t seq = NextSequence();
    req.h.nlmsg_len = sizeof req;
    req.h.nlmsg_type = RTM_GETNEIGH;
    req.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.h.nlmsg_seq = seq;
    req.nd.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd, &req, sizeof req, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return DumpResult::Failed;

    alignas(nlmsghdr) char buf[32768];
    bool interrupted = false;
    // A dump of a full /24 is a few dozen datagrams; far more is not our table.
    for (int datagrams = 0; datagrams < 4096; ++datagrams) {
        sockaddr_nl from{};
        iovec iov{buf, sizeof buf};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        const ssize_t n = recvmsg(fd, &msg, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return DumpResult::Failed;
        if (msg.msg_namelen != sizeof from || from.nl_family != AF_NETLINK || from.nl_pid != 0)
            continue;
        if (msg.msg_flags & MSG_TRUNC) return DumpResult::Failed;
        int len = int(n);
        for (const nlmsghdr* h = reinterpret_cast<const nlmsghdr*>(buf); NLMSG_OK(h, len);
             h = NLMSG_NEXT(h, len)) {
            if (h->nlmsg_seq != seq) continue;
            if (h->nlmsg_flags & NLM_F_DUMP_INTR) interrupted = true;
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR)
                return interrupted ? DumpResult::Interrupted : DumpResult::Complete;
            if (auto nb = ParseNeighbour(h)) out.push_back(*nb);
        }
    }
    return DumpResult::Failed;
}

// The table changed while the kernel was dumping it (NLM_F_DUMP_INTR): the
// entries may be inconsistent, so the dump is made once more.
std::vector<Neighbour> Dump(int fd) {
    std::vector<Neighbour> out;
    if (DumpOnce(fd, out) != DumpResult::Interrupted) return out;
    out.clear();
    DumpOnce(fd, out);
    return out;
}

// The entry for `ip`; a usable one wins over others on further interfaces.
std::optional<Neighbour> Find(int fd, uint32_t ip) {
    std::optional<Neighbour> found;
    for (const Neighbour& n : Dump(fd)) {
        if (n.ip != ip) continue;
        if (!found || (n.state == NeighbourState::Reachable && n.mac)) found = n;
    }
    return found;
}

void DrainEvents(int fd) {
    char buf[8192];
    while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

// A UDP socket connected to the discard port of `ip` that reports ICMP errors.
int OpenProbe(uint32_t ip) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = ip;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the error queue holds an ICMP message sent by `ip` itself (its port
// unreachable for our datagram): the host is there.
bool AnsweredFrom(int fd, uint32_t ip) {
    bool answered = false;
    for (;;) {
        char data[64], control[512];
        iovec iov{data, sizeof data};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return answered;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
            const auto* err = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            const auto* from = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(err));
            if (err->ee_origin == SO_EE_ORIGIN_ICMP && from->sin_family == AF_INET &&
                from->sin_addr.s_addr == ip)
                answered = true;
        }
    }
}

}  // namespace

std::vector<Neighbour> DumpNeighbours() {
    NetlinkSocket s;
    if (s.fd() < 0) return {};
    return Dump(s.fd());
}

bool NudgeKernelResolver(const std::vector<uint32_t>& addresses) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    bool any = addresses.empty();
    for (uint32_t ip : addresses) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);  // discard: whatever the host does with it, it costs nothing
        to.sin_addr.s_addr = ip;
        // An unresolved neighbour queues the datagram and answers EAGAIN once its
        // queue is full; the resolution has started all the same.
        const ssize_t r =
            sendto(fd, "", 0, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (r >= 0 || errno == EAGAIN || errno == EWOULDBLOCK) any = true;
    }
    close(fd);
    return any;
}

std::optional<MacAddress> ResolveThroughKernel(uint32_t ip, std::chrono::milliseconds timeout) {
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + timeout;
    NetlinkSocket query;
    if (query.fd() < 0) return std::nullopt;
    // Table changes wake us; without the subscription we look every 20 ms.
    NetlinkSocket events(RTMGRP_NEIGH);

    auto current = Find(query.fd(), ip);
    if (current && current->state == NeighbourState::Reachable && current->mac) return current->mac;
    const int probe = OpenProbe(ip);
    if (probe < 0) return std::nullopt;
    // EAGAIN only delays the nudge: the loop below sends again every 250 ms.
    if (send(probe, "", 0, MSG_DONTWAIT) < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        close(probe);
        return std::nullopt;
    }

    // FAILED counts only once the entry has been seen pending after the nudge:
    // before that it may be the verdict of an earlier attempt.
    bool sawPending = false;
    bool hostAnswered = false;
    // Hosts limit their ICMP errors (about one a second after a burst): ask again.
    auto nextNudge = SteadyClock::now() + std::chrono::milliseconds(250);
    std::optional<MacAddress> result;
    for (;;) {
        current = Find(query.fd(), ip);
        if (current) {
            const NeighbourState st = current->state;
            if (st == NeighbourState::Reachable && current->mac) {
                result = current->mac;
                break;
            }
            // A STALE entry stays unconfirmed for the kernel's first-probe delay
            // (5 s by default). The host answering our datagram, which went to the
            // entry's address, confirms it now.
            if (st == NeighbourState::Stale && hostAnswered && current->mac) {
                result = current->mac;
                break;
            }
            if (st == NeighbourState::Incomplete || st == NeighbourState::Stale) sawPending = true;
            if (st == NeighbourState::Failed && sawPending) break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                .count();
        if (left <= 0) break;
        if (!hostAnswered && SteadyClock::now() >= nextNudge) {
            send(probe, "", 0, MSG_DONTWAIT);
            nextNudge += std::chrono::milliseconds(250);
        }
        pollfd p[2] = {{events.fd(), POLLIN, 0}, {probe, 0, 0}};
        const int wait = int(std::min<int64_t>(left, events.fd() >= 0 ? 50 : 20));
        if (poll(p, 2, wait) > 0) {
            if (p[0].revents & POLLIN) DrainEvents(events.fd());
            if (p[1].revents & POLLERR) hostAnswered = hostAnswered || AnsweredFrom(probe, ip);
        }
    }
    close(probe);
    return result;
}

}  // namespace rm
