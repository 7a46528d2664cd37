// router-monitor-arp PREFIX: the one program of router-monitor that holds
// CAP_NET_RAW. It serves raw ARP on the /24 PREFIX ("192.168.1.") to the
// process that started it and nothing else.
//
// Start-up. It finds the one interface holding an address in that /24, opens
// an AF_PACKET socket bound to it behind a locked kernel filter that passes
// only replies proving themselves answers to this machine and the requests and
// announcements of devices on the /24 (see ReplyFilterCode), drops every
// capability (and sets no_new_privs), checks that none is left, and prints
//   ready IFNAME MAC IP          e.g. "ready eth0 02-52-4D-00-FE-02 10.77.0.2"
// Otherwise it prints one line and exits:
//   unavailable REASON           exit 0: no capability or no socket; the
//                                client uses the kernel's neighbour table
//   refused REASON               exit 2: the prefix is malformed or no
//                                interface of this machine is on it
// and, when the capability drop fails, a line on stderr and exit 3.
//
// Requests, one per line on stdin (at most 127 bytes; words split by single
// spaces). TAG is a decimal number of at most 9 digits that the client
// chooses; every answer carries it.
//   probe TAG A.B.C.D            -> mac TAG A.B.C.D 02-52-4D-00-00-0A
//                                   or none TAG A.B.C.D (no answer in 1 s);
//                                   before it, conflict TAG A.B.C.D MAC when
//                                   another MAC answered too (the mac line
//                                   keeps the one this helper knew)
//   sweep TAG A.B.C. FIRST LAST [MODE]
//                                -> host TAG N 02-52-4D-00-00-0A, one line per
//                                   answering host number N as it arrives,
//                                   then done TAG (at the 1150 ms deadline or
//                                   once every host answered). FIRST and LAST
//                                   are 0..255, FIRST <= LAST. MODE is how hard
//                                   it asks: none, every silent address seven
//                                   times by broadcast; "gentle", twice;
//                                   "monitor", twice, and the devices that
//                                   answered a sweep of the last few minutes
//                                   are asked by unicast to the MAC they
//                                   answered from; "follow", a later sweep of
//                                   the same scan: the known devices by
//                                   unicast, the silent addresses only as far
//                                   as the scan's frame budget allows (see
//                                   core/SweepSchedule.h). Every mode also asks
//                                   the devices heard asking or announcing, by
//                                   unicast to the MAC they spoke from, and
//                                   prints conflict TAG N MAC for a second MAC
//                                   answering for N (core/ArpSweep.h).
// A request that is not allowed gets "refused TAG REASON" (or "error REASON"
// when not even its tag can be read), and the helper keeps serving: another
// prefix than its own, a probe of an address outside the /24 or of its own,
// numbers out of range, unknown words. A line longer than the bound gets
// "error line too long" and the helper exits (status 2). A request arriving
// while another runs abandons the running one at once, which then prints
// nothing more. End of input ends the helper (status 0).
//
// Only requests it builds itself go out, only for addresses of its /24 other
// than its own, at most kFramesPerSecond on average (bursts of kBurstFrames):
// broadcast, or unicast to the MAC that a proven reply of this helper gave for
// that address in the last few minutes, or that a device heard on the /24
// spoke from for it in the last seconds. The client never names a MAC. One
// helper serves a whole window (its probes and its sweeps): the rate holds per
// helper, and the users allowed to run it are trusted not to start many.
// Between requests it listens, so that a device that joins is known by the
// next sweep.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/ArpFrame.h"
#include "core/ArpSweep.h"
#include "core/SweepSchedule.h"
#include "platform/linux/RawArpSocket.h"

namespace rm {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kMaxLine = 127;
constexpr uint32_t kMask24 = 0x00FFFFFF;  // network byte order
// A whole /24 swept seven times is under 1800 frames; the bucket lets one sweep
// run unhindered and holds a client that asks without end to this rate.
constexpr double kFramesPerSecond = 2000;
constexpr double kBurstFrames = 1024;
constexpr milliseconds kProbeFor{1000};
constexpr milliseconds kProbeResend{250};
// Once another MAC answered, how long a probe waits for the one it knows: the
// answer must reach a client that waits a second in all.
constexpr milliseconds kProbeSettle{600};

// Whole lines to stdout; a client that has gone ends the helper.
void Say(const std::string& line) {
    const std::string text = line + "\n";
    for (size_t off = 0; off < text.size();) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0);
        off += size_t(n);
    }
}

std::string IpText(uint32_t ip) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &ip, buf, sizeof buf);
    return buf;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t at = 0;
    for (;;) {
        const size_t sp = line.find(' ', at);
        out.push_back(line.substr(at, sp == std::string_view::npos ? sp : sp - at));
        if (sp == std::string_view::npos) return out;
        at = sp + 1;
    }
}

// Plain decimal without sign or leading zeros, at most `digits` long.
bool ParseNumber(std::string_view text, size_t digits, uint32_t& out) {
    if (text.empty() || text.size() > digits || (text.size() > 1 && text[0] == '0')) return false;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size();
}

bool ParseIp(std::string_view text, uint32_t& ip) {
    if (text.empty() || text.size() > 15) return false;
    in_addr a{};
    if (inet_pton(AF_INET, std::string(text).c_str(), &a) != 1) return false;
    ip = a.s_addr;
    return true;
}

// "A.B.C." -> the /24's address A.B.C.0 (network byte order).
bool ParsePrefix(std::string_view text, uint32_t& network) {
    if (text.size() < 6 || text.size() > 12 || text.back() != '.') return false;
    std::string quad(text);
    quad += '0';
    if (!ParseIp(quad, network)) return false;
    return IpText(network) == quad;  // no other spelling of the same address
}

class TokenBucket {
  public:
    bool Take() {
        const auto now = Clock::now();
        const double secs = std::chrono::duration<double>(now - last_).count();
        last_ = now;
        tokens_ = std::min(kBurstFrames, tokens_ + secs * kFramesPerSecond);
        if (tokens_ < 1) return false;
        tokens_ -= 1;
        return true;
    }

  private:
    double tokens_ = kBurstFrames;
    Clock::time_point last_ = Clock::now();
};

// Lines from stdin, with a bound on their length.
class LineReader {
  public:
    enum class Result { Line, End, TooLong };
    // Blocks until a whole line, the end of input or an over-long line.
    Result Next(std::string& line) {
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                if (nl > kMaxLine) return Result::TooLong;
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return Result::Line;
            }
            if (buffer_.size() > kMaxLine) return Result::TooLong;
            char buf[256];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Result::End;
            buffer_.append(buf, size_t(n));
        }
    }
    // True when a request (or the end of input) is waiting: the running one gives way.
    bool Pending() const {
        if (buffer_.find('\n') != std::string::npos || buffer_.size() > kMaxLine) return true;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }

  private:
    std::string buffer_;
};

// Reads what is queued (bounded in frames and time, against a flood) and keeps
// the devices heard speaking; replies to earlier requests are dropped.
void Absorb(RawArpSocket& socket, const InterfaceInfo& ifc, SweepMemory& memory) {
    const auto end = Clock::now() + milliseconds(3);
    for (int i = 0; i < 512 && Clock::now() < end; ++i) {
        const auto f = socket.TryReceive();
        if (!f) return;
        if (auto heard = ArpSightingOf(f->bytes, f->pktType, ifc.mac, ifc.ip))
            memory.Sighted(heard->ip, heard->mac, Clock::now());
    }
}

// The sweep loop's link: the bound socket, the rate limit, and stdin watched
// alongside, so that the next request ends the running sweep at once.
class HelperLink : public ArpLink {
  public:
    HelperLink(RawArpSocket& socket, const InterfaceInfo& ifc, TokenBucket& bucket,
               LineReader& input, std::atomic<bool>& abandoned, SweepMemory& memory)
        : socket_(socket),
          ifc_(ifc),
          bucket_(bucket),
          input_(input),
          abandoned_(abandoned),
          memory_(memory) {}

    // Queued replies are stale, but a device heard meanwhile is still news.
    void Drain() override { Absorb(socket_, ifc_, memory_); }

    bool Send(std::span<const uint8_t> frame) override {
        // Requests of our own making only, for an address of the /24 but ours.
        if (frame.size() != kArpFrameSize) return false;
        uint32_t target, sender;
        std::memcpy(&target, frame.data() + 38, 4);
        std::memcpy(&sender, frame.data() + 28, 4);
        if (sender != ifc_.ip || target == ifc_.ip || (target & kMask24) != (ifc_.ip & kMask24))
            return false;
        const auto broadcast = BuildArpRequest(ifc_.mac, ifc_.ip, target);
        if (!std::equal(broadcast.begin(), broadcast.end(), frame.begin())) {
            // A unicast request only to the MAC that last proved itself for
            // that address, here, within the memory's few minutes, or that
            // was just heard speaking for it.
            MacAddress to;
            std::copy(frame.begin(), frame.begin() + 6, to.begin());
            if (!memory_.MayAsk(target, to, Clock::now())) return false;
            const auto unicast = BuildUnicastArpRequest(ifc_.mac, ifc_.ip, target, to);
            if (!std::equal(unicast.begin(), unicast.end(), frame.begin())) return false;
        }
        if (!bucket_.Take()) return false;
        return socket_.Send(frame);
    }

    std::optional<ReceivedFrame> Receive(milliseconds timeout) override {
        const auto end = Clock::now() + timeout;
        for (;;) {
            // The client first: a stream of frames must not delay its next request.
            if (input_.Pending()) {
                abandoned_ = true;
                return std::nullopt;
            }
            if (auto f = socket_.TryReceive()) return f;
            const auto left = std::chrono::ceil<milliseconds>(end - Clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd p[2] = {{socket_.fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            if (poll(p, 2, int(left)) < 0 && errno != EINTR) return std::nullopt;
        }
    }

  private:
    RawArpSocket& socket_;
    const InterfaceInfo& ifc_;
    TokenBucket& bucket_;
    LineReader& input_;
    std::atomic<bool>& abandoned_;
    SweepMemory& memory_;
};

class Service {
  public:
    Service(RawArpSocket& socket, const InterfaceInfo& ifc) : socket_(socket), ifc_(ifc) {}

    int Run() {
        std::string line;
        for (;;) {
            Listen();
            switch (input_.Next(line)) {
                case LineReader::Result::End:
                    return 0;
                case LineReader::Result::TooLong:
                    Say("error line too long");
                    return 2;
                case LineReader::Result::Line:
                    Handle(line);
            }
        }
    }

  private:
    // Until the next request: the devices that ask or announce meanwhile are
    // kept as sightings.
    void Listen() {
        while (!input_.Pending()) {
            pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {socket_.fd(), POLLIN, 0}};
            if (poll(p, 2, -1) < 0 && errno != EINTR) return;
            if (p[1].revents & POLLIN) Absorb(socket_, ifc_, memory_);
        }
    }

    void Handle(std::string_view line) {
        const auto w = Words(line);
        uint32_t tag = 0;
        if (w.size() < 2 || !ParseNumber(w[1], 9, tag)) {
            Say("error malformed request");
            return;
        }
        const std::string t = std::to_string(tag);
        if (w[0] == "probe") {
            uint32_t ip = 0;
            if (w.size() != 3 || !ParseIp(w[2], ip)) return Say("refused " + t + " malformed");
            if ((ip & kMask24) != (ifc_.ip & kMask24))
                return Say("refused " + t + " not on this network");
            if (ip == ifc_.ip) return Say("refused " + t + " own address");
            return Probe(t, ip);
        }
        if (w[0] == "sweep") {
            uint32_t network = 0, first = 0, last = 0;
            if ((w.size() != 5 && w.size() != 6) || !ParsePrefix(w[2], network) ||
                !ParseNumber(w[3], 3, first) || !ParseNumber(w[4], 3, last) || first > 255 ||
                last > 255 || first > last)
                return Say("refused " + t + " malformed");
            SweepMode mode = SweepMode::Thorough;
            if (w.size() == 6) {
                const auto named = ParseSweepModeWord(w[5]);
                if (!named) return Say("refused " + t + " unknown mode");
                mode = *named;
            }
            if (network != (ifc_.ip & kMask24)) return Say("refused " + t + " not on this network");
            return Sweep(t, std::string(w[2]), int(first), int(last), mode);
        }
        Say("refused " + t + " unknown request");
    }

    void Probe(const std::string& tag, uint32_t ip) {
        std::atomic<bool> abandoned{false};
        HelperLink link(socket_, ifc_, bucket_, input_, abandoned, memory_);
        link.Drain();
        const auto start = Clock::now();
        const auto known = memory_.MacOf(ip, start);
        std::optional<MacAddress> stranger;  // another MAC that answered first
        auto answer = [&](const MacAddress& mac, const std::optional<MacAddress>& other) {
            if (other) Say("conflict " + tag + " " + IpText(ip) + " " + MacText(*other));
            else memory_.Heard(ip, mac, Clock::now());
            Say("mac " + tag + " " + IpText(ip) + " " + MacText(mac));
        };
        const auto end = start + kProbeFor;
        auto nextSend = start;
        bool first = true;
        while (!abandoned) {
            const auto now = Clock::now();
            if (stranger && now >= start + kProbeSettle) {
                // The known MAC stayed silent: a device with a new MAC, unless
                // the address flips back to one it had.
                if (memory_.WasBefore(ip, *stranger)) return answer(*known, stranger);
                return answer(*stranger, std::nullopt);
            }
            if (now >= end) return Say("none " + tag + " " + IpText(ip));
            if (now >= nextSend) {
                // The first request to everybody, the resends to the MAC known.
                if (first || !known) link.Send(BuildArpRequest(ifc_.mac, ifc_.ip, ip));
                else link.Send(BuildUnicastArpRequest(ifc_.mac, ifc_.ip, ip, *known));
                first = false;
                nextSend = now + kProbeResend;
            }
            const auto wait = std::chrono::ceil<milliseconds>(std::min(end, nextSend) - now);
            for (auto f = link.Receive(wait); f; f = link.Receive(milliseconds(0))) {
                const auto reply = ProvenArpReply(f->bytes, f->pktType, ifc_.mac, ifc_.ip);
                if (!reply) {
                    if (auto heard = ArpSightingOf(f->bytes, f->pktType, ifc_.mac, ifc_.ip))
                        memory_.Sighted(heard->ip, heard->mac, Clock::now());
                } else if (reply->senderIp == ip) {
                    const MacAddress& mac = reply->senderMac;
                    if (!known || mac == *known) {
                        return answer(mac, stranger);
                    }
                    if (!stranger) stranger = mac;
                }
                if (Clock::now() >= end) break;
            }
        }
    }

    void Sweep(const std::string& tag, const std::string& prefix, int first, int last,
               SweepMode mode) {
        std::atomic<bool> abandoned{false};
        HelperLink link(socket_, ifc_, bucket_, input_, abandoned, memory_);
        const std::vector<SweepHost> hosts = HostsOfRange(prefix.c_str(), first, last);
        // Every sweep teaches the memory (its answers proved themselves); only
        // the monitor's schedule has unicast rounds that ask it.
        RunArpSweep(
            link, ifc_, hosts, Clock::now(), SweepTiming::For(mode),
            [&tag](const SweepHost& h, const MacAddress& mac) {
                Say("host " + tag + " " + std::to_string(h.number) + " " + MacText(mac));
            },
            abandoned, &memory_,
            [&tag](const SweepHost& h, const MacAddress&, const MacAddress& other) {
                Say("conflict " + tag + " " + std::to_string(h.number) + " " + MacText(other));
            });
        if (!abandoned) Say("done " + tag);
    }

    RawArpSocket& socket_;
    const InterfaceInfo& ifc_;
    TokenBucket bucket_;
    LineReader input_;
    // The devices of this /24 that answered recently or were heard, and the
    // running scan's account; the helper lives as long as its client, so this
    // spans that client's probes and sweeps.
    SweepMemory memory_;
};

int Main(int argc, char** argv) {
    if (argc != 2) {
        Say("refused usage: router-monitor-arp A.B.C.");
        return 2;
    }
    uint32_t network = 0;
    if (!ParsePrefix(argv[1], network)) {
        Say("refused malformed prefix");
        return 2;
    }
    const std::optional<InterfaceInfo> ifc = InterfaceOn24(network);
    if (!ifc) {
        Say("refused no interface on this network");
        return 2;
    }
    std::unique_ptr<RawArpSocket> socket = RawArpSocket::OpenBound(*ifc);
    const int openError = errno;
    if (!DropCapabilitiesForGood()) {
        std::fprintf(stderr, "router-monitor-arp: could not drop capabilities; stopping\n");
        return 3;
    }
    if (!socket) {
        Say(std::string("unavailable ") + (openError == EPERM || openError == EACCES
                                               ? "no CAP_NET_RAW"
                                               : std::strerror(openError)));
        return 0;
    }
    Say("ready " + ifc->name + " " + MacText(ifc->mac) + " " + IpText(ifc->ip));
    Service service(*socket, *ifc);
    return service.Run();
}

}  // namespace
}  // namespace rm

int main(int argc, char** argv) {
    return rm::Main(argc, argv);
}
