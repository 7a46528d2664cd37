// A device of the lab that lies: from a host namespace, with a raw socket of
// its own (test code only), it sends ARP replies built to order, over and over
// for a while, so that they are on the wire whenever the prober asks.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/ArpFrame.h"

namespace rm::lab {

// An ARP frame with every field chosen by the test (addresses in network byte order).
struct ForgedFrame {
    MacAddress ethDst{}, ethSrc{}, senderMac{};
    uint32_t senderIp = 0, targetIp = 0;
    uint16_t op = 2;
    MacAddress targetMac{};

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> f(60, 0);
        std::copy(ethDst.begin(), ethDst.end(), f.begin());
        std::copy(ethSrc.begin(), ethSrc.end(), f.begin() + 6);
        const uint8_t head[] = {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4};
        std::copy(std::begin(head), std::end(head), f.begin() + 12);
        f[20] = uint8_t(op >> 8), f[21] = uint8_t(op);
        std::copy(senderMac.begin(), senderMac.end(), f.begin() + 22);
        std::memcpy(&f[28], &senderIp, 4);
        std::copy(targetMac.begin(), targetMac.end(), f.begin() + 32);
        std::memcpy(&f[38], &targetIp, 4);
        return f;
    }
};

inline std::optional<MacAddress> MacOfText(const std::string& text) {
    return ParseMacText(text);
}

// Sends `frames` round-robin every 10 ms for `ms` milliseconds from namespace
// `ns` (e.g. "nl123-h2") in a child process; returns its pid for Reap.
inline pid_t SendFrom(const std::string& ns, std::vector<std::vector<uint8_t>> frames, int ms) {
    const std::string path = "/run/netns/" + ns;
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int nsfd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsfd < 0 || setns(nsfd, CLONE_NEWNET) != 0) _exit(2);
    const int fd = socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ARP));
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = int(if_nametoindex("eth0"));
    to.sll_halen = 6;
    if (fd < 0 || to.sll_ifindex == 0) _exit(3);
    for (int elapsed = 0; elapsed < ms; elapsed += 10) {
        for (const auto& f : frames) {
            std::memcpy(to.sll_addr, f.data(), 6);
            sendto(fd, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        usleep(10 * 1000);
    }
    _exit(0);
}

inline int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace rm::lab
