// Transmission's RPC: JSON over POST to /transmission/rpc. The daemon answers
// 409 with a fresh X-Transmission-Session-Id until a request carries it (its
// guard against cross-site requests); the id is kept for later calls.
#include <nlohmann/json.hpp>

#include "core/RemoteClient.h"

namespace rm {
namespace {

using nlohmann::json;

constexpr int kStopped = 0;  // TR_STATUS_STOPPED: paused, by the user or by us

class TransmissionClient : public RemoteClient {
  public:
    TransmissionClient(const ClientAddress& address, HttpClient& http)
        : address_(address), http_(http) {}

    bool List(std::vector<Transfer>* transfers, std::string* failure) override {
        json arguments;
        if (!Call("torrent-get", {{"fields", {"hashString", "name", "status"}}}, &arguments,
                  failure))
            return false;
        try {
            transfers->clear();
            for (const json& t : arguments.at("torrents")) {
                transfers->push_back({t.at("hashString").get<std::string>(),
                                      t.at("name").get<std::string>(),
                                      t.at("status").get<int>() == kStopped});
            }
        } catch (const json::exception&) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        return true;
    }
    bool Pause(const std::vector<std::string>& ids, std::string* failure) override {
        json ignored;
        return ids.empty() || Call("torrent-stop", {{"ids", ids}}, &ignored, failure);
    }
    bool Resume(const std::vector<std::string>& ids, std::string* failure) override {
        json ignored;
        return ids.empty() || Call("torrent-start", {{"ids", ids}}, &ignored, failure);
    }

  private:
    bool Call(const std::string& method, const json& arguments, json* result,
              std::string* failure) {
        HttpRequest request = remote::RequestTo(address_, "POST", "/transmission/rpc");
        request.headers.push_back({"Content-Type", "application/json"});
        if (address_.hasUser) {
            request.headers.push_back(
                {"Authorization",
                 "Basic " + remote::Base64(address_.user + ":" + address_.password)});
        }
        request.body = json{{"method", method}, {"arguments", arguments}}.dump();
        HttpResponse response = Send(request);
        if (response.failure == HttpFailure::None && response.status == 409) {
            // The session id changed (or was never known): once more with the new one.
            const auto id = response.Header("X-Transmission-Session-Id");
            if (id && remote::IsHeaderToken(*id)) {
                sessionId_ = *id;
                response = Send(request);
            }
        }
        if (response.failure != HttpFailure::None || response.status != 200) {
            *failure = remote::FailureText(response);
            return false;
        }
        const json answer = json::parse(response.body, nullptr, false);
        if (!answer.is_object() || !answer.contains("result") || !answer["result"].is_string() ||
            !answer.contains("arguments")) {
            *failure = remote::kUnreadableAnswer;
            return false;
        }
        if (answer["result"] != "success") {
            *failure = "Transmission: " + answer["result"].get<std::string>().substr(0, 80);
            return false;
        }
        *result = answer["arguments"];
        return true;
    }

    HttpResponse Send(HttpRequest request) {
        if (!sessionId_.empty())
            request.headers.push_back({"X-Transmission-Session-Id", sessionId_});
        return http_.Send(request);
    }

    ClientAddress address_;
    HttpClient& http_;
    std::string sessionId_;
};

}  // namespace

std::unique_ptr<RemoteClient> MakeTransmissionClient(const ClientAddress& address,
                                                     HttpClient& http) {
    return std::make_unique<TransmissionClient>(address, http);
}

}  // namespace rm
