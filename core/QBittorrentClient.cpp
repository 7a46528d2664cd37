// The qBittorrent Web API (v2). A login gives an SID cookie that later calls
// carry; a call refused with 403 logs in once more (the session timed out).
// Every request names the daemon's own origin in Referer and Origin, which its
// protection against cross-site requests compares with the Host header.
// qBittorrent 5 renamed pause and resume to stop and start: the old names
// answer 404 there.
#include <nlohmann/json.hpp>

#include "core/RemoteClient.h"

namespace rm {
namespace {

using nlohmann::json;

class QBittorrentClient : public RemoteClient {
  public:
    QBittorrentClient(const ClientAddress& address, HttpClient& http)
        : address_(address), http_(http) {}

    bool List(std::vector<Transfer>* transfers, std::string* failure) override {
        HttpResponse response;
        if (!Call("GET", "/api/v2/torrents/info", "", &response, failure)) return false;
        const json answer = json::parse(response.body, nullptr, false);
        if (!answer.is_array()) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        try {
            transfers->clear();
            for (const json& t : answer) {
                const std::string state = t.at("state").get<std::string>();
                transfers->push_back({t.at("hash").get<std::string>(),
                                      t.at("name").get<std::string>(),
                                      state.starts_with("paused") || state.starts_with("stopped")});
            }
        } catch (const json::exception&) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        return true;
    }
    bool Pause(const std::vector<std::string>& ids, std::string* failure) override {
        return Act("pause", "stop", ids, failure);
    }
    bool Resume(const std::vector<std::string>& ids, std::string* failure) override {
        return Act("resume", "start", ids, failure);
    }

  private:
    bool Act(const std::string& name, const std::string& newName,
             const std::vector<std::string>& ids, std::string* failure) {
        if (ids.empty()) return true;
        std::string hashes;
        for (const std::string& id : ids) hashes += (hashes.empty() ? "" : "|") + id;
        const std::string body = "hashes=" + remote::FormEncode(hashes);
        HttpResponse response;
        if (Call("POST", "/api/v2/torrents/" + name, body, &response, failure)) return true;
        if (response.failure != HttpFailure::None || response.status != 404) return false;
        return Call("POST", "/api/v2/torrents/" + newName, body, &response, failure);
    }

    HttpRequest Request(const std::string& method, const std::string& path,
                        const std::string& body) {
        HttpRequest request = remote::RequestTo(address_, method, path);
        request.headers.push_back({"Referer", address_.Origin() + "/"});
        request.headers.push_back({"Origin", address_.Origin()});
        if (method == "POST")
            request.headers.push_back({"Content-Type", "application/x-www-form-urlencoded"});
        if (!sid_.empty()) request.headers.push_back({"Cookie", "SID=" + sid_});
        request.body = body;
        return request;
    }

    // Without a user in the address no login is tried: the daemon may let
    // this host in without one (its "bypass authentication" settings).
    bool Call(const std::string& method, const std::string& path, const std::string& body,
              HttpResponse* response, std::string* failure) {
        bool loggedInNow = false;
        if (sid_.empty() && address_.hasUser) {
            if (!Login(failure)) return false;
            loggedInNow = true;
        }
        *response = http_.Send(Request(method, path, body));
        if (response->failure == HttpFailure::None && response->status == 403 && address_.hasUser &&
            !loggedInNow) {
            sid_.clear();
            if (!Login(failure)) return false;
            *response = http_.Send(Request(method, path, body));
        }
        if (response->failure != HttpFailure::None || response->status != 200) {
            *failure = remote::FailureText(*response);
            return false;
        }
        return true;
    }

    bool Login(std::string* failure) {
        const HttpResponse response =
            http_.Send(Request("POST", "/api/v2/auth/login",
                               "username=" + remote::FormEncode(address_.user) +
                                   "&password=" + remote::FormEncode(address_.password)));
        if (response.failure != HttpFailure::None || response.status != 200) {
            *failure = remote::FailureText(response);
            return false;
        }
        // A wrong user or password is a 200 answer whose body says "Fails.".
        if (response.body != "Ok.") {
            *failure = "用户名或密码错误";
            return false;
        }
        for (const HttpHeader& h : response.headers) {
            if (!SameHeaderName(h.name, "Set-Cookie") || !h.value.starts_with("SID=")) continue;
            const std::string sid = h.value.substr(4, h.value.find(';') - 4);
            if (remote::IsHeaderToken(sid)) sid_ = sid;
        }
        if (sid_.empty()) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        return true;
    }

    ClientAddress address_;
    HttpClient& http_;
    std::string sid_;
};

}  // namespace

std::unique_ptr<RemoteClient> MakeQBittorrentClient(const ClientAddress& address,
                                                    HttpClient& http) {
    return std::make_unique<QBittorrentClient>(address, http);
}

}  // namespace rm
