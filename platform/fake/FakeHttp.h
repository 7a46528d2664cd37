// Fakes of the HTTP client and the task poster: requests are recorded and
// answered by the test's handler (refused when there is none); posted tasks
// wait until the test runs them on its own thread. Both are called from the
// worker thread of TransferControl.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "core/HttpApi.h"

namespace rm {

class FakeHttpClient : public HttpClient {
  public:
    std::function<HttpResponse(const HttpRequest&)> handler;

    HttpResponse Send(const HttpRequest& request) override {
        std::function<HttpResponse(const HttpRequest&)> h;
        {
            std::lock_guard lock(mutex_);
            sent_.push_back(request);
            h = handler;
        }
        if (h) return h(request);
        return HttpResponse{HttpFailure::Refused, 0, {}, {}};
    }
    std::vector<HttpRequest> Sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

  private:
    std::mutex mutex_;
    std::vector<HttpRequest> sent_;
};

class FakeTaskPoster : public TaskPoster {
  public:
    void Post(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_all();
    }
    // Waits up to `limit` for at least one task, then runs every task posted
    // so far on the calling thread; gives how many ran.
    int RunPosted(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::vector<std::function<void()>> tasks;
        {
            std::unique_lock lock(mutex_);
            posted_.wait_for(lock, limit, [this] { return !tasks_.empty(); });
            tasks.swap(tasks_);
        }
        for (auto& t : tasks) t();
        return int(tasks.size());
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<std::function<void()>> tasks_;
};

}  // namespace rm
