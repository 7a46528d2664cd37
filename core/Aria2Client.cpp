// aria2's JSON-RPC at /jsonrpc: every call carries "token:SECRET" first. The
// transfers that can be paused are the active and the waiting ones; paused
// ones wait among them with the status "paused". forcePause stops at once,
// without the goodbyes to trackers that a plain pause waits for.
#include <nlohmann/json.hpp>

#include "core/RemoteClient.h"

namespace rm {
namespace {

using nlohmann::json;

constexpr int kMostWaiting = 1000;

// The name a user knows a download by: the torrent's, else its file's.
std::string NameOf(const json& t) {
    if (t.contains("bittorrent") && t["bittorrent"].contains("info"))
        return t["bittorrent"]["info"].at("name").get<std::string>();
    const json& files = t.at("files");
    if (files.empty()) return {};
    std::string path = files[0].at("path").get<std::string>();
    if (path.empty() && !files[0].value("uris", json::array()).empty())
        path = files[0]["uris"][0].at("uri").get<std::string>();
    return path.substr(path.find_last_of('/') + 1);
}

class Aria2Client : public RemoteClient {
  public:
    Aria2Client(const ClientAddress& address, HttpClient& http) : address_(address), http_(http) {}

    bool List(std::vector<Transfer>* transfers, std::string* failure) override {
        const json keys = json::array({"gid", "status", "files", "bittorrent"});
        json active, waiting;
        if (!Call("aria2.tellActive", json::array({keys}), &active, failure) ||
            !Call("aria2.tellWaiting", json::array({0, kMostWaiting, keys}), &waiting, failure))
            return false;
        try {
            transfers->clear();
            for (const json* list : {&active, &waiting}) {
                for (const json& t : *list) {
                    transfers->push_back({t.at("gid").get<std::string>(), NameOf(t),
                                          t.at("status").get<std::string>() == "paused"});
                }
            }
        } catch (const json::exception&) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        return true;
    }
    bool Pause(const std::vector<std::string>& ids, std::string* failure) override {
        return Each("aria2.forcePause", ids, failure);
    }
    bool Resume(const std::vector<std::string>& ids, std::string* failure) override {
        return Each("aria2.unpause", ids, failure);
    }

  private:
    bool Each(const std::string& method, const std::vector<std::string>& ids,
              std::string* failure) {
        json ignored;
        for (const std::string& gid : ids)
            if (!Call(method, json::array({gid}), &ignored, failure)) return false;
        return true;
    }

    bool Call(const std::string& method, json params, json* result, std::string* failure) {
        if (address_.hasUser) params.insert(params.begin(), "token:" + address_.password);
        HttpRequest request = remote::RequestTo(address_, "POST", "/jsonrpc");
        request.headers.push_back({"Content-Type", "application/json"});
        request.body =
            json{{"jsonrpc", "2.0"}, {"id", "rm"}, {"method", method}, {"params", params}}.dump();
        const HttpResponse response = http_.Send(request);
        if (response.failure != HttpFailure::None) {
            *failure = remote::FailureText(response);
            return false;
        }
        // Errors come as 400 with a JSON error object: its message says more.
        const json answer = json::parse(response.body, nullptr, false);
        if (answer.is_object() && answer.contains("error") && answer["error"].is_object()) {
            const json& error = answer["error"];
            const std::string message = error.contains("message") && error["message"].is_string()
                                            ? error["message"].get<std::string>()
                                            : std::string();
            *failure =
                message == "Unauthorized" ? "未授权：密钥错误" : "aria2: " + message.substr(0, 80);
            return false;
        }
        if (response.status != 200) {
            *failure = remote::FailureText(response);
            return false;
        }
        if (!answer.is_object() || !answer.contains("result")) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        *result = answer["result"];
        return true;
    }

    ClientAddress address_;
    HttpClient& http_;
};

}  // namespace

std::unique_ptr<RemoteClient> MakeAria2Client(const ClientAddress& address, HttpClient& http) {
    return std::make_unique<Aria2Client>(address, http);
}

}  // namespace rm
