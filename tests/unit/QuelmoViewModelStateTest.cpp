#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "keys/KeyboardController.h"
#include "mix/MixController.h"
#include "support/EventLoop.h"
#include "timing/TimingController.h"
#include "tracks/TracksController.h"
#include "voice/VoiceController.h"

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

TEST(QuelmoViewModelState, ConstructionSetsFoldersAndFormatWithoutBuildingTheGraph) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));

    EXPECT_EQ(model.tracks()->downloadsDir(), QUrl::fromLocalFile(documents.path() + "/Quelmo Downloads/"));
    EXPECT_EQ(model.tracks()->downloadsManifestURL(),
              QUrl::fromLocalFile(documents.path() + "/Quelmo Downloads/downloads.json"));
    EXPECT_EQ(model.standardFormat().sampleRate, 44100.0);
    EXPECT_EQ(model.standardFormat().channelCount, 2u);
    EXPECT_FALSE(model.isGraphBuilt());
    EXPECT_FALSE(model.keyboard()->tuningPulseTarget().has_value());
    EXPECT_FALSE(model.tracks()->selectedImportId().has_value());

    // The downloads restore is deferred to the event loop; running it leaves the state as it was.
    test::spinFor(20);
    EXPECT_TRUE(model.tracks()->importedTracks().isEmpty());
}

TEST(QuelmoViewModelState, PropertiesNotifyOnlyWhenTheirValueChanges) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));
    int bpmChanges = 0;
    int phraseChanges = 0;
    QObject::connect(model.timing(), &quelmo::TimingController::bpmChanged, [&] { ++bpmChanges; });
    QObject::connect(model.voice(), &VoiceController::voicePhraseChanged, [&] { ++phraseChanges; });

    model.timing()->setBpm(110.0);
    EXPECT_EQ(bpmChanges, 0);
    model.timing()->setBpm(128.0);
    model.timing()->setBpm(128.0);
    EXPECT_EQ(bpmChanges, 1);
    EXPECT_EQ(model.timing()->bpm(), 128.0);
    // Levels are stored as given; clamping happens only on the way to the nodes.
    model.mix()->setMasterVolume(3.5);
    EXPECT_EQ(model.mix()->masterVolume(), 3.5);

    EXPECT_TRUE(model.voice()->setProperty("voicePhrase", QStringLiteral("Desk DJ takeover.")));
    EXPECT_EQ(phraseChanges, 1);
    model.tracks()->setSelectedImportIdFromView(QStringLiteral("not a uuid"));
    EXPECT_FALSE(model.tracks()->selectedImportId().has_value());
}

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
