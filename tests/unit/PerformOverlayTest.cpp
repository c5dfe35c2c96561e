#include "overlay/QuelmoOverlayPresenter.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quelmo;
using namespace std::chrono_literals;

namespace {

// Records what the presenter asks of the windows, on a given number of screens.
class RecordingHost final : public OverlayWindowHost {
public:
    explicit RecordingHost(int screens) : screens_(screens) {}
    std::vector<WindowId> open(const PerformCard& card, double fadeIn) override {
        std::vector<WindowId> ids;
        for (int s = 0; s < screens_; ++s) {
            ids.push_back(next_++);
        }
        log.push_back("open " + card.title.toStdString() + " x" + std::to_string(ids.size()) + " fade " +
                      std::to_string(static_cast<int>(fadeIn * 1000)));
        return ids;
    }
    void fadeOutAndClose(const std::vector<WindowId>& windows, double fadeOut) override {
        log.push_back("fade " + std::to_string(windows.size()) + " over " + std::to_string(static_cast<int>(fadeOut * 1000)));
    }
    void closeNow(const std::vector<WindowId>& windows) override {
        log.push_back("close " + std::to_string(windows.size()));
    }
    std::vector<std::string> log;

private:
    int screens_;
    WindowId next_ = 1;
};

} // namespace

TEST(QuelmoOverlayPresenter, AFlashHoldsThenFadesAndANewFlashReplacesAtOnce) {
    auto clock = std::make_shared<test::ManualScheduler>();
    QuelmoOverlayPresenter presenter(clock);
    RecordingHost host(2);
    presenter.setHost(&host);

    presenter.flash("PAD · KICK", "One-shot · slot 1", 0.52, "1");
    EXPECT_EQ(presenter.windows().size(), 2u) << "one card per screen";
    clock->advance(500ms);
    presenter.flash("PAD · HAT", "One-shot · slot 3", 0.61, "e");
    clock->advance(1179ms);
    EXPECT_EQ(host.log, (std::vector<std::string>{"open PAD · KICK x2 fade 140", "close 2", "open PAD · HAT x2 fade 140"}));
    clock->advance(1ms);
    EXPECT_EQ(host.log.back(), "fade 2 over 200");
    EXPECT_TRUE(presenter.windows().empty());
    EXPECT_EQ(clock->pending(), 0u);
}

TEST(QuelmoOverlayPresenter, DismissAllFadesAtOnceAndTheOldHideDoesNothing) {
    auto clock = std::make_shared<test::ManualScheduler>();
    QuelmoOverlayPresenter presenter(clock);
    RecordingHost host(1);
    presenter.setHost(&host);
    presenter.flash("A", "a", 0.5);
    clock->advance(300ms);
    presenter.dismissAll();
    clock->advance(5s);
    EXPECT_EQ(host.log, (std::vector<std::string>{"open A x1 fade 140", "fade 1 over 200"}));

    RecordingHost noScreens(0);
    presenter.setHost(&noScreens);
    presenter.flash("B", "b", 0.5);
    EXPECT_EQ(clock->pending(), 0u) << "nothing shown, nothing to hide";
}

