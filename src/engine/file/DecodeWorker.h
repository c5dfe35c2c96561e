#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quelmo::engine {

// Work a decode worker does repeatedly until it says it is finished.
class DecodeJob {
public:
    virtual ~DecodeJob() = default;
    // Worker thread. Decodes as much as there is room for; returns false once the job is over
    // (finished or cancelled), after which the worker drops it.
    virtual bool service() = 0;
};

// One background thread that keeps file streams decoded ahead of the render thread. It looks at
// its jobs every 20 ms, or at once when a job is added. Only the main thread and the
// worker take its lock; the render thread never does.
class DecodeWorker {
public:
    static DecodeWorker& shared();

    DecodeWorker();
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    void add(std::shared_ptr<DecodeJob> job);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wakeUp_;
    std::vector<std::shared_ptr<DecodeJob>> jobs_;
    bool stopping_ = false;
    bool woken_ = false;
    std::thread thread_;
};

} // namespace quelmo::engine
