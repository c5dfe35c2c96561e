#include "util/OrderlyExit.h"

#include "shared/Log.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace quelmo {
namespace {

struct Entry {
    const void* owner;
    std::function<void()> stop;
};

// Never destroyed: read while the process ends.
std::vector<Entry>& entries() {
    static auto* registered = new std::vector<Entry>();
    return *registered;
}

std::atomic<bool> armed{false};
std::atomic<bool> running{false};
std::atomic<QThread*> mainThread{nullptr};

} // namespace

void OrderlyExit::add(const void* owner, std::function<void()> stop) {
    remove(owner);
    entries().push_back({owner, std::move(stop)});
}

void OrderlyExit::remove(const void* owner) {
    std::erase_if(entries(), [owner](const Entry& entry) { return entry.owner == owner; });
}

void OrderlyExit::runAll() {
    if (running.exchange(true)) {
        return; // a stop function that ends the process again
    }
    auto list = std::exchange(entries(), {});
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        it->stop();
    }
    running.store(false);
}

void OrderlyExit::guardProcess() {
    mainThread.store(QThread::currentThread());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &OrderlyExit::runAll);
    armed.store(true);
}

void OrderlyExit::disarm() { armed.store(false); }

void OrderlyExit::processIsExiting(int status) {
    if (!armed.exchange(false)) {
        return; // main returned: the ordinary end
    }
    if (QThread::currentThread() != mainThread.load()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    logLine("Quelmo: ending without the event loop (status " + std::to_string(status) +
            "); stopping sound, keys and devices first");
    runAll();
}

} // namespace quelmo
