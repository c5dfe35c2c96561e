#include "overlay/QuelmoOverlayPresenter.h"

namespace quelmo {

QuelmoOverlayPresenter& QuelmoOverlayPresenter::shared() {
    static auto* presenter = new QuelmoOverlayPresenter; // never destroyed, as the other singletons
    return *presenter;
}

QuelmoOverlayPresenter::QuelmoOverlayPresenter(std::shared_ptr<DelayScheduler> scheduler, QObject* parent)
    : QObject(parent), scheduler_(std::move(scheduler)) {}

QuelmoOverlayPresenter::~QuelmoOverlayPresenter() {
    if (hideTask_) {
        hideTask_->cancel();
    }
}

void QuelmoOverlayPresenter::flash(const QString& title, const QString& subtitle, double meter,
                                   const QString& keyCaption, std::uint64_t holdNanoseconds) {
    if (hideTask_) {
        hideTask_->cancel();
        hideTask_.reset();
    }
    hideAllImmediate();
    lastCard_ = {title, subtitle, meter, keyCaption};
    emit flashed(title, subtitle, meter, keyCaption);
    if (!host_) {
        return;
    }
    windows_ = host_->open(lastCard_, fadeInSeconds);
    if (windows_.empty()) {
        return; // no screens: nothing shown, nothing to hide later
    }
    hideTask_ = scheduler_->schedule(std::chrono::nanoseconds(holdNanoseconds), [this] {
        hideTask_.reset();
        fadeOutAndRemove();
    });
}

void QuelmoOverlayPresenter::dismissAll() {
    if (hideTask_) {
        hideTask_->cancel();
        hideTask_.reset();
    }
    fadeOutAndRemove();
}

void QuelmoOverlayPresenter::fadeOutAndRemove() {
    // Detach the windows first, so a flash during the fade leaves them to finish on their own.
    const auto fading = std::exchange(windows_, {});
    if (host_ && !fading.empty()) {
        host_->fadeOutAndClose(fading, fadeOutSeconds);
    }
}

void QuelmoOverlayPresenter::hideAllImmediate() {
    const auto showing = std::exchange(windows_, {});
    if (host_ && !showing.empty()) {
        host_->closeNow(showing);
    }
}

} // namespace quelmo
