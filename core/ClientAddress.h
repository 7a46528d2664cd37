// The remote-control address of a download client, as typed into Text15 in
// place of a program path:
//   transmission://[user:password@]host[:port]   (port 9091)
//   qbittorrent://[user:password@]host[:port]    (port 8080)
//   aria2://[secret@]host[:port]                 (port 6800)
// The host is a name, an IPv4 address or an IPv6 address in brackets; user,
// password and secret may be percent-encoded. Nothing else is accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rm {

enum class ClientKind { Transmission, QBittorrent, Aria2 };

struct ClientAddress {
    ClientKind kind = ClientKind::Transmission;
    bool hasUser = false;  // a user (or aria2's secret) was given
    std::string user;
    std::string password;  // aria2: the RPC secret
    std::string host;      // IPv6 without its brackets
    uint16_t port = 0;

    // The host as a URL writes it: an IPv6 address in brackets.
    std::string UrlHost() const;
    // "http://host:port", the origin the Web UIs check against.
    std::string Origin() const;
    // The same daemon whatever the credentials: kind, host and port.
    std::string DaemonKey() const;
};

// True when the text begins with one of the three schemes (any letter case),
// valid or not: such a text is never taken for a program path.
bool IsClientAddress(std::string_view text);

// The address, or nothing when the text is not one of the three forms exactly.
std::optional<ClientAddress> ParseClientAddress(std::string_view text);

}  // namespace rm
