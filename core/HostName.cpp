// Host-name lookup: WSAStartup's checks, the reverse lookup, WSACleanup.
#include "core/HostName.h"

#include <cstring>

#include "core/AddressText.h"

namespace rm {

namespace {

constexpr uint16_t kRequestedVersion = 0x0101;  // 1.1
constexpr int kMinSockets = 1;
constexpr size_t kNameBufferSize = 255;
constexpr int kStyleOk = 0;
constexpr int kStyleExclamation = 48;

// Only spaces count as blanks here, not tabs or line breaks.
std::string TrimSpaces(const std::string& s) {
    size_t first = 0, last = s.size();
    while (first < last && s[first] == ' ') ++first;
    while (last > first && s[last - 1] == ' ') --last;
    return s.substr(first, last - first);
}

}  // namespace

bool StartSockets(SocketLibrary& sockets, MessageBoxes& messages) {
    WsaData data{};
    if (sockets.WsaStartup(kRequestedVersion, &data) != 0) {
        messages.Show(
            "Windows Sockets for 32 bit Windows environments is not successfully responding.",
            kStyleOk);
        return false;
    }
    const int major = data.wVersion & 0xFF;
    const int minor = data.wVersion >> 8;
    if (major < 1 || (major == 1 && minor < 1)) {
        messages.Show("Windows Sockets Version " + std::to_string(major) + '.' +
                          std::to_string(minor) +
                          " is not supported by Windows Sockets for 32 bit Windows environments.",
                      kStyleExclamation);
        return false;
    }
    if (data.iMaxSockets >= kMinSockets) return true;
    messages.Show("This application requires a minimum of " + std::to_string(kMinSockets) +
                      " supported sockets.",
                  kStyleExclamation);
    return false;
}

bool StopSockets(SocketLibrary& sockets, MessageBoxes& messages) {
    const int result = sockets.WsaCleanup();
    if (result == 0) return true;
    messages.Show("Windows Sockets error " + std::to_string(result) + " occurred in Cleanup.",
                  kStyleExclamation);
    return false;
}

std::string LookupHostName(SocketLibrary& sockets, MessageBoxes& messages,
                           std::string_view ipText) {
    if (!StartSockets(sockets, messages)) return {};

    // Not tested: text that is no address is looked up as 255.255.255.255.
    const uint32_t value = InetAddr(ipText);
    uint8_t addr[4];
    std::memcpy(addr, &value, 4);
    const std::optional<std::string> name = sockets.GetHostByAddr(addr);
    if (!name) {
        StopSockets(sockets, messages);
        return {};
    }

    // The name buffer takes 255 bytes and the name ends at its first NUL; a
    // character that would not fit whole is left out, not cut in two.
    std::string bytes = name->substr(0, std::strlen(name->c_str()));
    if (bytes.size() > kNameBufferSize) {
        size_t end = kNameBufferSize;
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
        bytes.resize(end);
    }
    const std::string host = TrimSpaces(bytes);

    StopSockets(sockets, messages);
    return host;
}

}  // namespace rm
