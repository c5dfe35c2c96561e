#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "mix/MixController.h"
#include "support/EventLoop.h"
#include "timing/TimingController.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quelmo;

namespace {

class FixedClock final : public MediaClock {
public:
    double now() const override { return 1234.5; }
};

QuelmoViewModel::Dependencies testDependencies(const QString& documents) {
    QuelmoViewModel::Dependencies deps;
    deps.clock = std::make_shared<FixedClock>();
    deps.documentsDir = documents;
    deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
    return deps;
}

} // namespace

TEST(QuelmoViewModelState, LifecycleCallsAreSafeInAnyOrder) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));
    model.shutdown();
    model.prepareAudioEngineIfNeeded();
    model.prepareAudioEngineIfNeeded();
    const float appliedWet = model.delayNode()->wetDryMix();
    int applied = 0;
    QObject::connect(model.mix(), &quelmo::MixController::mixLevelsApplied, [&] { ++applied; });
    model.mix()->setDelayMix(0.5); // leaves a debounced apply pending
    model.shutdown();
    model.shutdown();
    test::spinFor(80);
    EXPECT_EQ(model.mix()->delayMix(), 0.5);
    EXPECT_EQ(applied, 0) << "shutdown cancels the pending apply";
    EXPECT_EQ(model.delayNode()->wetDryMix(), appliedWet);
    EXPECT_FALSE(model.timing()->sequencerRunning());
}
