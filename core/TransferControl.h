// The download client's transfers paused while others use the line and
// resumed once it is free, over the client's remote control. Requests run on a
// worker thread of this object, one job at a time; the client's answer comes
// back to the window's thread through the task poster. The worker alone knows
// which transfers it paused, per daemon, so that it resumes those and never
// one that the user paused.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "core/ClientAddress.h"
#include "core/HttpApi.h"
#include "core/RemoteClient.h"

namespace rm {

class TransferControl {
  public:
    // Whether the client did what was asked, and its answer as the tool tip
    // shows it.
    using Answer = std::function<void(bool succeeded, const std::string& answer)>;

    // `http` and `poster` outlive the control.
    TransferControl(HttpClient& http, TaskPoster& poster);
    // Waits for a request under way (each is bounded); answers not yet
    // delivered are dropped.
    ~TransferControl();
    TransferControl(const TransferControl&) = delete;
    TransferControl& operator=(const TransferControl&) = delete;

    // From the window's thread; both return at once. Pauses every transfer
    // not paused yet whose name contains `fragment` (every one when it is
    // empty), or resumes the ones this control paused. A job not yet started
    // gives way to a newer one: only the latest verdict matters.
    void PauseTransfers(const ClientAddress& address, const std::string& fragment, Answer done);
    void ResumeTransfers(const ClientAddress& address, Answer done);

  private:
    struct Job {
        bool pause = false;
        ClientAddress address;
        std::string fragment;
        Answer done;
    };
    struct Session {
        std::string user, password;
        std::unique_ptr<RemoteClient> client;
        std::set<std::string> pausedByUs;
    };

    void Queue(Job job);
    void WorkerLoop();
    struct Outcome {
        bool succeeded;
        std::string answer;
    };
    Outcome Pause(Session& session, const std::string& fragment);
    Outcome Resume(Session& session);
    Session& SessionFor(const ClientAddress& address);

    HttpClient& http_;
    TaskPoster& poster_;
    // Posted answers run only while this lives.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    bool stopping_ = false;
    std::thread worker_;  // started with the first job

    std::map<std::string, Session> sessions_;  // by daemon; the worker's alone
};

}  // namespace rm
