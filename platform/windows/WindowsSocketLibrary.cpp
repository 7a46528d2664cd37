// Winsock itself, with the reverse lookup bounded as on Linux: the lookup
// blocks for as long as the name servers take (seconds each when they do not
// answer), so it runs on a thread of its own and an answer later than 1 s
// counts as no name. The name comes in UTF-16 and leaves in UTF-8, so that a
// name such as 客厅电视 reaches the window as it is (the ANSI gethostbyaddr
// gives it in the code page of the machine, which no caller could tell).
// The Windows headers need this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>

#include "core/BoundedCall.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

class WindowsSocketLibrary : public SocketLibrary {
  public:
    int WsaStartup(uint16_t requested, WsaData* data) override {
        if (!data) return WSAEFAULT;
        WSADATA wsa{};
        const int err = ::WSAStartup(requested, &wsa);
        if (err != 0) return err;
        data->wVersion = wsa.wVersion;
        data->iMaxSockets = wsa.iMaxSockets;
        return 0;
    }

    int WsaCleanup() override { return ::WSACleanup() == 0 ? 0 : SOCKET_ERROR; }

    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
        static std::atomic<int> stragglers{0};
        if (!addr) return std::nullopt;
        std::array<char, 4> address;
        std::memcpy(address.data(), addr, 4);
        return CallBounded<std::optional<std::string>>(stragglers, kMaxStragglers, kLimit,
                                                       [address] { return Resolve(address); })
            .value_or(std::nullopt);
    }

  private:
    // The lookup holds a Winsock start of its own, so that a caller's
    // WSACleanup while it waits does not pull the library from under it.
    // NI_NAMEREQD: no name is no name, never the address as text.
    static std::optional<std::string> Resolve(std::array<char, 4> address) {
        WSADATA wsa{};
        if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return std::nullopt;
        sockaddr_in in{};
        in.sin_family = AF_INET;
        std::memcpy(&in.sin_addr, address.data(), 4);
        wchar_t host[NI_MAXHOST] = {};
        std::optional<std::string> name;
        if (::GetNameInfoW(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, NI_MAXHOST,
                           nullptr, 0, NI_NAMEREQD) == 0)
            name.emplace(Utf8FromWide(host));
        ::WSACleanup();
        return name;
    }

    static constexpr std::chrono::milliseconds kLimit{1000};
    static constexpr int kMaxStragglers = 4;
};

}  // namespace

std::unique_ptr<SocketLibrary> MakeWindowsSocketLibrary() {
    return std::make_unique<WindowsSocketLibrary>();
}

}  // namespace rm
