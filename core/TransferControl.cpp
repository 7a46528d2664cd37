// The worker behind TransferControl and the rule of which transfers it pauses
// and resumes.
#include "core/TransferControl.h"

#include <system_error>
#include <vector>

namespace rm {

TransferControl::TransferControl(HttpClient& http, TaskPoster& poster)
    : http_(http), poster_(poster) {}

TransferControl::~TransferControl() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void TransferControl::PauseTransfers(const ClientAddress& address, const std::string& fragment,
                                     Answer done) {
    Queue({true, address, fragment, std::move(done)});
}

void TransferControl::ResumeTransfers(const ClientAddress& address, Answer done) {
    Queue({false, address, {}, std::move(done)});
}

void TransferControl::Queue(Job job) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(job);
        try {
            if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
        } catch (const std::system_error&) {
            pending_.reset();  // no thread to be had: this verdict goes unanswered
        }
    }
    wake_.notify_all();
}

void TransferControl::WorkerLoop() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (stopping_) return;
            job = std::move(*pending_);
            pending_.reset();
        }
        Session& session = SessionFor(job.address);
        Outcome outcome = job.pause ? Pause(session, job.fragment) : Resume(session);
        poster_.Post([alive = std::weak_ptr<int>(alive_), done = std::move(job.done),
                      outcome = std::move(outcome)] {
            if (alive.lock() && done) done(outcome.succeeded, outcome.answer);
        });
    }
}

TransferControl::Session& TransferControl::SessionFor(const ClientAddress& address) {
    Session& session = sessions_[address.DaemonKey()];
    // New credentials start a new session; what was paused stays remembered.
    if (!session.client || session.user != address.user || session.password != address.password) {
        session.user = address.user;
        session.password = address.password;
        session.client = MakeRemoteClient(address, http_);
    }
    return session;
}

TransferControl::Outcome TransferControl::Pause(Session& session, const std::string& fragment) {
    std::vector<Transfer> transfers;
    std::string failure;
    if (!session.client->List(&transfers, &failure)) return {false, failure};
    std::vector<std::string> ids;
    for (const Transfer& t : transfers)
        if (!t.paused && t.name.find(fragment) != std::string::npos) ids.push_back(t.id);
    if (!session.client->Pause(ids, &failure)) return {false, failure};
    session.pausedByUs.insert(ids.begin(), ids.end());
    // The count is of every transfer held back now, not only of this scan's.
    int held = 0;
    for (const Transfer& t : transfers) held += session.pausedByUs.count(t.id) ? 1 : 0;
    return {true, "已暂停 " + std::to_string(held) + " 个任务"};
}

TransferControl::Outcome TransferControl::Resume(Session& session) {
    std::vector<Transfer> transfers;
    std::string failure;
    if (!session.client->List(&transfers, &failure)) return {false, failure};
    // One the user started meanwhile is left alone; one that is gone is forgotten.
    std::vector<std::string> ids;
    for (const Transfer& t : transfers)
        if (t.paused && session.pausedByUs.count(t.id)) ids.push_back(t.id);
    if (!session.client->Resume(ids, &failure)) return {false, failure};
    session.pausedByUs.clear();
    return {true, "已恢复 " + std::to_string(ids.size()) + " 个任务"};
}

}  // namespace rm
