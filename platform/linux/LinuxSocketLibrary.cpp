// The socket library on Linux: always available (it reports version 1.1 and
// plenty of sockets, as Winsock 1.1 does), with the reverse lookup done by the
// system resolver (nsswitch: /etc/hosts, DNS, ...).
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

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

    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
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

  private:
    static constexpr int kFault = 10014;     // WSAEFAULT
    static constexpr int kSocketError = -1;  // SOCKET_ERROR
    int started_ = 0;
};

}  // namespace

std::unique_ptr<SocketLibrary> MakeLinuxSocketLibrary() {
    return std::make_unique<LinuxSocketLibrary>();
}

}  // namespace rm
