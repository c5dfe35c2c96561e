#include "util/DelayScheduler.h"

#include <QTimer>

namespace quelmo {
namespace {

class TimerTask final : public DelayScheduler::Task {
public:
    TimerTask(std::chrono::nanoseconds delay, std::function<void()> work) : timer_(new QTimer), work_(std::move(work)) {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, [this] {
            if (work_) {
                std::exchange(work_, nullptr)();
            }
        });
        timer_->start(std::chrono::duration_cast<std::chrono::milliseconds>(delay));
    }
    // The work may drop its own task; the timer, still inside its timeout, goes on the next turn.
    ~TimerTask() override {
        timer_->stop();
        timer_->disconnect();
        timer_->deleteLater();
    }
    void cancel() override {
        timer_->stop();
        work_ = nullptr;
    }

private:
    QTimer* timer_;
    std::function<void()> work_;
};

class TimerScheduler final : public DelayScheduler {
public:
    std::unique_ptr<Task> schedule(std::chrono::nanoseconds delay, std::function<void()> work) override {
        return std::make_unique<TimerTask>(delay, std::move(work));
    }
};

} // namespace

std::shared_ptr<DelayScheduler> mainThreadScheduler() {
    static const auto* scheduler = new std::shared_ptr<DelayScheduler>(std::make_shared<TimerScheduler>());
    return *scheduler; // never destroyed
}

} // namespace quelmo
