// A download client under remote control: its transfers, and pausing and
// resuming some of them by id. One implementation per protocol (Transmission
// RPC, the qBittorrent Web API, aria2's JSON-RPC), each over HttpClient. Calls
// block for at most a few bounded requests: they run on a worker thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/ClientAddress.h"
#include "core/HttpApi.h"

namespace rm {

struct Transfer {
    std::string id;  // stable for the daemon's life: an info hash or an aria2 GID
    std::string name;
    bool paused = false;  // stopped by anyone; anything else runs or waits to run
};

// Each call gives false and, in `failure`, the client's answer as the tool tip
// shows it ("401 未授权", "连接被拒绝", …) when it did not succeed. A client keeps
// its session (Transmission's id, qBittorrent's cookie) between calls.
class RemoteClient {
  public:
    virtual ~RemoteClient() = default;
    virtual bool List(std::vector<Transfer>* transfers, std::string* failure) = 0;
    virtual bool Pause(const std::vector<std::string>& ids, std::string* failure) = 0;
    virtual bool Resume(const std::vector<std::string>& ids, std::string* failure) = 0;
};

std::unique_ptr<RemoteClient> MakeRemoteClient(const ClientAddress& address, HttpClient& http);

// The protocols' shared pieces.
namespace remote {

// The tool tip's text for an exchange that gave no usable answer.
std::string FailureText(const HttpResponse& response);
inline constexpr const char* kUnreadableAnswer = "回答无法识别";
// "user:password" for HTTP Basic authentication.
std::string Base64(const std::string& bytes);
// application/x-www-form-urlencoded value.
std::string FormEncode(const std::string& text);
// A value a server handed us (a session id, a cookie) that goes back in a
// header: visible ASCII only, so it cannot end the header early.
bool IsHeaderToken(const std::string& text);
// A request to the address's host and port with the default bound.
HttpRequest RequestTo(const ClientAddress& address, std::string method, std::string path);

}  // namespace remote

std::unique_ptr<RemoteClient> MakeTransmissionClient(const ClientAddress& address,
                                                     HttpClient& http);
std::unique_ptr<RemoteClient> MakeQBittorrentClient(const ClientAddress& address, HttpClient& http);
std::unique_ptr<RemoteClient> MakeAria2Client(const ClientAddress& address, HttpClient& http);

}  // namespace rm
