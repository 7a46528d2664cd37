// The socket library on Linux: always available (it reports version 1.1 and
// plenty of sockets, as Winsock 1.1 does), with the reverse lookup done by the
// system resolver (nsswitch: /etc/hosts, DNS, ...), bounded in time.
#include <netdb.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "core/BoundedCall.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

class LinuxSocketLibrary : public SocketLibrary {
  public:
    int WsaStartup(uint16_t, WsaData* data) override {
        if (!data) return kFault;
        data->wVersion = 0x0101;
        data->iMaxSockets = 32767;
        ++started_;
        return 0;
    }

    int WsaCleanup() override {
        // Like Winsock: a cleanup without a matching start is an error.
        if (started_ == 0) return kSocketError;
        --started_;
        return 0;
    }

    // The lookup runs on the window's thread at every scan. With a name server
    // that does not answer, the resolver waits 5 s per try and server, which
    // would freeze the window each time; an answer that late counts as no name.
    // The resolver cannot be interrupted, so it finishes on a thread of its own;
    // while a few such stragglers are still waiting, no new one is started.
    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
        static std::atomic<int> stragglers{0};
        std::array<uint8_t, 4> address;
        std::memcpy(address.data(), addr, 4);
        return CallBounded<std::optional<std::string>>(
                   stragglers, kMaxStragglers, kLimit,
                   [address] { return Resolve(address.data()); })
            .value_or(std::nullopt);
    }

  private:
    static std::optional<std::string> Resolve(const uint8_t addr[4]) {
        hostent host{};
        hostent* result = nullptr;
        int herr = 0;
        std::vector<char> work(1024);
        for (;;) {
            const int rc =
                gethostbyaddr_r(addr, 4, AF_INET, &host, work.data(), work.size(), &result, &herr);
            if (rc == ERANGE && work.size() < (1u << 20)) {
                work.resize(work.size() * 2);
                continue;
            }
            if (rc != 0 || !result || !result->h_name) return std::nullopt;
            return std::string(result->h_name);
        }
    }

    static constexpr std::chrono::milliseconds kLimit{1000};
    static constexpr int kMaxStragglers = 4;
    static constexpr int kFault = 10014;     // WSAEFAULT
    static constexpr int kSocketError = -1;  // SOCKET_ERROR
    int started_ = 0;
};

}  // namespace

std::unique_ptr<SocketLibrary> MakeLinuxSocketLibrary() {
    return std::make_unique<LinuxSocketLibrary>();
}

}  // namespace rm
