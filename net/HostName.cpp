// Host-name lookup: WSAStartup's checks, the reverse lookup, WSACleanup.
#include "net/HostName.h"

#include <cstring>

#include "net/AddressText.h"

namespace rm {

namespace {

constexpr uint16_t kRequestedVersion = 0x0101;  // 1.1
constexpr int kMinSockets = 1;
constexpr int kNameBufferSize = 255;
constexpr int kStyleOk = 0;
constexpr int kStyleExclamation = 48;

// Only spaces count as blanks here, not tabs or line breaks.
QString TrimSpaces(const QString& s) {
    qsizetype first = 0, last = s.size();
    while (first < last && s[first] == QLatin1Char(' ')) ++first;
    while (last > first && s[last - 1] == QLatin1Char(' ')) --last;
    return s.mid(first, last - first);
}

}  // namespace

bool StartSockets(SocketLibrary& sockets, MessageBoxes& messages) {
    WsaData data{};
    if (sockets.WsaStartup(kRequestedVersion, &data) != 0) {
        messages.Show(QStringLiteral("Windows Sockets for 32 bit Windows ") +
                          QStringLiteral("environments is not successfully responding."),
                      kStyleOk);
        return false;
    }
    const int major = data.wVersion & 0xFF;
    const int minor = data.wVersion >> 8;
    if (major < 1 || (major == 1 && minor < 1)) {
        messages.Show(QStringLiteral("Windows Sockets Version ") + QString::number(major) +
                          QLatin1Char('.') + QString::number(minor) +
                          QStringLiteral(" is not supported by Windows ") +
                          QStringLiteral("Sockets for 32 bit Windows environments."),
                      kStyleExclamation);
        return false;
    }
    if (data.iMaxSockets >= kMinSockets) return true;
    messages.Show(QStringLiteral("This application requires a minimum of ") +
                      QString::number(kMinSockets) + QStringLiteral(" supported sockets."),
                  kStyleExclamation);
    return false;
}

bool StopSockets(SocketLibrary& sockets, MessageBoxes& messages) {
    const int result = sockets.WsaCleanup();
    if (result == 0) return true;
    messages.Show(QStringLiteral("Windows Sockets error ") + QString::number(result) +
                      QStringLiteral(" occurred in Cleanup."),
                  kStyleExclamation);
    return false;
}

QString LookupHostName(SocketLibrary& sockets, MessageBoxes& messages, const QString& ipText) {
    if (!StartSockets(sockets, messages)) return QString();

    // Not tested: text that is no address is looked up as 255.255.255.255.
    const uint32_t value = InetAddr(ipText);
    uint8_t addr[4];
    std::memcpy(addr, &value, 4);
    const std::optional<std::string> name = sockets.GetHostByAddr(addr);
    if (!name) {
        StopSockets(sockets, messages);
        return QString();
    }

    // The name buffer takes 255 bytes and the name ends at its first NUL.
    std::string bytes = name->substr(0, kNameBufferSize);
    bytes.resize(std::strlen(bytes.c_str()));
    const QString host = TrimSpaces(QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())));

    StopSockets(sockets, messages);
    return host;
}

}  // namespace rm
