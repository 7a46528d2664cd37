// Blocking calls that cannot be interrupted (a silent name server, SendARP)
// with a bound on how long the window's thread waits for them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace rm {

// Runs `work` on a thread of its own and waits at most `limit` for its result;
// a later result counts as none, and the thread finishes on its own. `running`
// counts such threads still going (give each call site a static one): while
// `maxRunning` of them wait, no new one is started, since it would only wait too.
template <class T>
std::optional<T> CallBounded(std::atomic<int>& running, int maxRunning,
                             std::chrono::milliseconds limit, std::function<T()> work) {
    if (running.load() >= maxRunning) return std::nullopt;
    struct Pending {
        std::mutex m;
        std::condition_variable cv;
        std::optional<T> result;
    };
    auto pending = std::make_shared<Pending>();
    ++running;
    try {
        std::thread([pending, &running, work = std::move(work)] {
            T result = work();
            {
                std::lock_guard lock(pending->m);
                pending->result = std::move(result);
            }
            pending->cv.notify_all();
            --running;
        }).detach();
    } catch (const std::system_error&) {
        --running;
        return std::nullopt;
    }
    std::unique_lock lock(pending->m);
    if (!pending->cv.wait_for(lock, limit, [&] { return pending->result.has_value(); }))
        return std::nullopt;
    return pending->result;
}

}  // namespace rm
