#include "deck/QuelmoViewModel.h"
#include "engine/devices/OfflineDriver.h"
#include "support/EventLoop.h"

#include <QMetaProperty>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

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

// Every property the views can observe, with the value a new deck starts from.
std::map<std::string, QVariant> expectedInitialState() {
    return {
        {"isPlaying", false},
        {"bpm", 110.0},
        {"playhead", 0.0},
        {"deckBBlend", 0.65},
        {"sequencerRunning", false},
        {"sequencerStep", 0},
        {"sequencerGrid", QVariant::fromValue(QList<bool>(128, false))},
        {"padLabels", QStringList{"Kick", "Snare", "Hat", "Clap", "Bass", "Riser", "Chop", "Horn"}},
        {"stereoPads", 0.5},
        {"stereoImport", 0.5},
        {"masterVolume", 0.9},
        {"padsBusLevel", 1.0},
        {"postFXGain", 1.0},
        {"reverbMix", 0.0},
        {"delayMix", 0.0},
        {"delayTime", 0.3},
        {"delayFeedback", 0.4},
        {"filterCutoff", 1.0},
        {"distortionMix", 0.0},
        {"pitchShift", 0.0},
        {"masterToneLiftDB", 0.0},
        {"lowShelfGain", 0.0},
        {"midPresenceDB", 0.0},
        {"highShelfGain", 0.0},
        {"meterPads", 0.0},
        {"meterImport", 0.0},
        {"meterMaster", 0.0},
        {"meterVoice", 0.0},
        {"voicePhrase", QString::fromUtf8("Back to work — let's go.")},
        {"voiceProfile", QVariant::fromValue(QuelmoVoiceProfile::commandPost)},
        {"voiceRouteThroughDesk", true},
        {"voiceBusLevel", 1.05},
        {"voiceWarmDB", 2.5},
        {"voiceHornDB", 2.0},
        {"voiceDryAirDB", -1.0},
        {"voiceBoldDrive", 0.28},
        {"voiceMorphPitchCents", 0.0},
        {"voiceMorphRate", 1.0},
        {"voiceSayVoiceTag", QStringLiteral("auto")},
        {"voiceDropStatus", QString()},
        {"voiceDropRendering", false},
        {"voiceProfileTitles", QStringList{"Studio", "Command / PA", "Drill", "Broadcast"}},
        {"recording.isRecordingSet", false},
        {"recording.recordingStatus", QString()},
        {"recording.recordAsWav", false},
        {"voicePresets",
         QStringList{QString::fromUtf8("Back to work — let's go."), "Coffee break is over, legend.",
                     "Focus mode: engaged.", QString::fromUtf8("That email can wait — vibe first."),
                     "One more track, then we ship.", "Desk DJ takeover.",
                     QString::fromUtf8("Listen up — this channel is for the mission only."),
                     "Sound check: you are loud, you are clear, you are go.",
                     "No whispering on this net. Push the message.", "Maximum volume. Minimum excuses.",
                     QString::fromUtf8("If you’re not on comms, you’re off the air.")}},
        {"keyboardShortcutsEnabled", true},
        {"youtubeFocusTick", QVariant::fromValue<qint64>(0)},
        {"keyboardTrainerRequested", false},
        {"tuningPulseTarget", QVariant()},
        {"tuningPulseDirection", 0},
        {"tuningPulseGeneration", QVariant::fromValue<quint64>(0)},
        {"waveformKeyboardFXOn", false},
        {"waveformKeyboardFXTitle", QString()},
        {"waveformKeyboardFXSubtitle", QString()},
        {"waveformKeyboardFXMeter", 0.5},
        {"importedTracks", QVariantList()},
        {"playingOverviewTracks", QVariantList()},
        {"selectedOverviewTrack", QVariant()},
        {"selectedImportId", QString()},
        {"importVolume", 0.85},
        {"importRate", 1.0},
        {"importPlaying", false},
        {"currentTrackPosition", 0.0},
        {"currentTrackDuration", 0.0},
        {"playingTrackIds", QStringList()},
        {"pausedTrackIds", QStringList()},
        {"trackVolumes", QVariantMap()},
        {"trackPositions", QVariantMap()},
        {"trackDurations", QVariantMap()},
        {"trackErrors", QVariantMap()},
        {"hotCues", QVariant::fromValue(QList<double>())},
        // The resting mix already shows the delay feedback chip.
        {"mixTags", QStringList{"DLY+"}},
        {"youtubeURL", QString()},
        {"isDownloading", false},
        {"downloadProgress", 0.0},
        {"downloadStatus", QString()},
        {"showYTDLPInstallAlert", false},
        {"isInstallingYTDLP", false},
        {"keysHeardFromOtherApplications", false},
        {"ytdlpInstalled", false},
        {"installCommand", QString("sudo apt install yt-dlp ffmpeg")},
        {"importedTrackModel", QVariant()}, // an object of its own, checked below
        {"allShortcuts", QVariant()},        // the lesson's tables, checked by their length
        {"shortcutTrainerRows", QVariant()},
        {"isCapturingSystemAudio", false},
        {"systemAudioVolume", 0.8},
        {"showBlackHoleInstallAlert", false},
        {"blackHoleInstallStatus", QString()},
        {"lidTap.chassisSlapEnabled", false},
        {"lidTap.chassisSlapStatus", QString()},
        {"soundServerStatus", QString()},
        {"midi.midiDevices", QStringList()},
        {"midi.midiLastNote", QString()},
        {"midi.midiLearnPad", -1},
        {"midi.midiPadNotes", QStringList{"C2 (36)", "C#2 (37)", "D2 (38)", "D#2 (39)", "E2 (40)", "F2 (41)", "F#2 (42)",
                                     "G2 (43)"}},
        {"midi.midiStatus", QString()}, // until the MIDI panel opens the sequencer
    };
}

} // namespace

TEST(QuelmoViewModelState, EveryObservablePropertyStartsAtItsInitialValue) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));
    auto expected = expectedInitialState();

    // The deck's own properties, and those of the subsystems it holds ("recording.recordAsWav").
    std::vector<std::pair<std::string, QVariant>> observable;
    const QMetaObject* meta = model.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QVariant value = property.read(&model);
        QObject* subsystem = (property.metaType().flags() & QMetaType::PointerToQObject) ? value.value<QObject*>() : nullptr;
        if (property.isConstant() && subsystem && !qobject_cast<QAbstractItemModel*>(subsystem)) {
            const QMetaObject* inner = subsystem->metaObject();
            for (int j = inner->propertyOffset(); j < inner->propertyCount(); ++j) {
                observable.emplace_back(std::string(property.name()) + "." + inner->property(j).name(),
                                        inner->property(j).read(subsystem));
            }
            continue;
        }
        observable.emplace_back(property.name(), value);
    }
    for (const auto& [name, actual] : observable) {
        SCOPED_TRACE(name);
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "observable property without an initial value in this table";
        if (name == "allShortcuts" || name == "shortcutTrainerRows") {
            EXPECT_EQ(actual.toList().size(), name == "allShortcuts" ? 29 : 16);
            expected.erase(it);
            continue;
        }
        if (name == "importedTrackModel") {
            EXPECT_EQ(actual.value<QAbstractItemModel*>()->rowCount(), 0);
            expected.erase(it);
            continue;
        }
        if (it->second.isValid()) {
            EXPECT_EQ(actual.metaType(), it->second.metaType());
        }
        EXPECT_EQ(actual, it->second);
        expected.erase(it);
    }
    for (const auto& [name, value] : expected) {
        ADD_FAILURE() << name << " is not an observable property";
    }
}

TEST(QuelmoViewModelState, ConstructionSetsFoldersAndFormatWithoutBuildingTheGraph) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));

    EXPECT_EQ(model.downloadsDir(), QUrl::fromLocalFile(documents.path() + "/Quelmo Downloads/"));
    EXPECT_EQ(model.downloadsManifestURL(),
              QUrl::fromLocalFile(documents.path() + "/Quelmo Downloads/downloads.json"));
    EXPECT_EQ(model.standardFormat().sampleRate, 44100.0);
    EXPECT_EQ(model.standardFormat().channelCount, 2u);
    EXPECT_FALSE(model.isGraphBuilt());
    EXPECT_FALSE(model.tuningPulseTarget().has_value());
    EXPECT_FALSE(model.selectedImportId().has_value());

    // The downloads restore is deferred to the event loop; running it leaves the state as it was.
    test::spinFor(20);
    EXPECT_TRUE(model.importedTracks().isEmpty());
}

TEST(QuelmoViewModelState, PropertiesNotifyOnlyWhenTheirValueChanges) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));
    int bpmChanges = 0;
    int phraseChanges = 0;
    QObject::connect(&model, &QuelmoViewModel::bpmChanged, [&] { ++bpmChanges; });
    QObject::connect(&model, &QuelmoViewModel::voicePhraseChanged, [&] { ++phraseChanges; });

    model.setBpm(110.0);
    EXPECT_EQ(bpmChanges, 0);
    model.setBpm(128.0);
    model.setBpm(128.0);
    EXPECT_EQ(bpmChanges, 1);
    EXPECT_EQ(model.bpm(), 128.0);
    // Levels are stored as given; clamping happens only on the way to the nodes.
    model.setMasterVolume(3.5);
    EXPECT_EQ(model.masterVolume(), 3.5);

    EXPECT_TRUE(model.setProperty("voicePhrase", QStringLiteral("Desk DJ takeover.")));
    EXPECT_EQ(phraseChanges, 1);
    model.setSelectedImportIdFromView(QStringLiteral("not a uuid"));
    EXPECT_FALSE(model.selectedImportId().has_value());
}

TEST(QuelmoViewModelState, LifecycleCallsAreSafeInAnyOrder) {
    QTemporaryDir documents;
    QuelmoViewModel model(testDependencies(documents.path()));
    model.shutdown();
    model.prepareAudioEngineIfNeeded();
    model.prepareAudioEngineIfNeeded();
    const float appliedWet = model.delayNode()->wetDryMix();
    int applied = 0;
    QObject::connect(&model, &QuelmoViewModel::mixLevelsApplied, [&] { ++applied; });
    model.setDelayMix(0.5); // leaves a debounced apply pending
    model.shutdown();
    model.shutdown();
    test::spinFor(80);
    EXPECT_EQ(model.delayMix(), 0.5);
    EXPECT_EQ(applied, 0) << "shutdown cancels the pending apply";
    EXPECT_EQ(model.delayNode()->wetDryMix(), appliedWet);
    EXPECT_FALSE(model.sequencerRunning());
}
