// The client side of router-monitor-arp, the small program that alone holds
// CAP_NET_RAW. The helper is started beside the running executable with an
// empty environment and no other open file, serves one /24 and is spoken to
// over its stdin/stdout (the protocol is described in helper/ArpHelperMain.cpp).
// Everything it prints is checked: it is another process. Free of Qt. One
// client, and so one helper, serves a whole window: the probe on the UI thread
// and the range scanner on its worker share it, one request at a time (a
// caller waits for the other's request to end, within its own deadline).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/ArpFrame.h"

namespace rm {

class ArpHelperClient {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr const char* kHelperName = "router-monitor-arp";

    // `helperPath` empty: router-monitor-arp in the folder of /proc/self/exe.
    explicit ArpHelperClient(std::string helperPath = {});
    ~ArpHelperClient();
    ArpHelperClient(const ArpHelperClient&) = delete;
    ArpHelperClient& operator=(const ArpHelperClient&) = delete;

    static std::string BesideThisProgram();

    // A helper serving the /24 of `ip` (network byte order): the running one,
    // else a fresh one (the old one stopped). False when none can: no helper
    // file, no capability, no interface on that /24, no `ready` in time. A /24
    // that failed is not tried again until another one has been asked for, so
    // that a monitor without the capability does not start a process per sweep.
    bool ServeNetworkOf(uint32_t ip);

    // The MAC of `ip` by raw ARP; nothing when no answer came by `deadline` or
    // the helper failed (then it is stopped).
    std::optional<MacAddress> Probe(uint32_t ip, Clock::time_point deadline);

    // Sweeps host numbers first..last (0..255) of the served /24, calling
    // `host` once per answering number as answers arrive. Returns at `done`, at
    // `deadline`, or soon after `cancelled` turns true (the helper abandons that
    // sweep when the next request comes). `modeWord` empty: the helper's
    // default schedule; else one of its mode words ("gentle", "monitor").
    // False when the helper failed.
    // `conflict`, when given, is told of each "conflict" line: the host number
    // and the MAC that contradicted the one listed.
    using HostFn = std::function<void(int, const MacAddress&)>;
    bool Sweep(int first, int last, Clock::time_point deadline, const HostFn& host,
               const std::atomic<bool>& cancelled, std::string_view modeWord = {},
               const HostFn& conflict = {});

    // The helper's process while one runs, else 0.
    pid_t pid() const;
    // What the last start said when it did not serve ("unavailable ...", ...).
    std::string lastRefusal() const;

  private:
    enum class Read { Line, Timeout, Dead };
    bool Start(uint32_t network);
    void Stop();
    bool WriteLine(const std::string& line);
    Read ReadLine(std::string& line, Clock::time_point deadline);

    std::string path_;
    mutable std::timed_mutex mutex_;  // one request at a time, whichever thread asks
    pid_t pid_ = 0;
    int toHelper_ = -1, fromHelper_ = -1;
    std::string buffer_;
    uint32_t network_ = 0;  // the served /24 (network byte order, last byte zero)
    std::optional<uint32_t> failedNetwork_;
    uint32_t ownIp_ = 0;
    uint32_t nextTag_ = 0;
    std::string refusal_;
};

}  // namespace rm
