#include "mix/MixMath.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "mix/MixController.h"
#include "engine/AudioNodes.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "support/OfflineDeck.h"
#include "voice/SpeechRenderer.h"
#include "voice/VoiceController.h"
#include "voice/VoiceDrops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace quelmo;
using voice::SpeechRenderer;
using voice::SpeechTool;

namespace {

struct Deck : test::OfflineDeck {
    // Speaks the current phrase and waits until it is on the voice player.
    void speak() {
        auto& voice = *model->voice();
        voice.speakCustomDrop();
        ASSERT_TRUE(test::spinUntil([&] { return !voice.voiceDropRendering(); }, 10000));
        ASSERT_TRUE(voice.voiceDropStatus().startsWith(QStringLiteral("🎙"))) << voice.voiceDropStatus().toStdString();
    }
};

double rms(std::span<const float> samples) {
    double sum = 0.0;
    for (float s : samples) {
        sum += double(s) * s;
    }
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

QString writeWav(const QString& path, int rate, int channels, double seconds) {
    // A 440 Hz tone at ffmpeg's sine level (1/8), so the file is a real WAV whatever its layout.
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds), "-ac",
                  QString::number(channels), "-c:a", "pcm_f32le", path});
    ffmpeg.waitForFinished(20000);
    return path;
}

} // namespace

// The voice controller on its own chain, with the mix reduced to what the deck's does for it.
struct LoneVoice {
    VoiceController::Nodes nodes{std::make_shared<engine::PlayerNode>(),
                                 std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later),
                                 std::make_shared<engine::EQUnit>(3), std::make_shared<engine::DistortionUnit>(),
                                 std::make_shared<engine::MixerNode>()};
    int throttledRequests = 0;
    std::unique_ptr<VoiceController> controller;

    LoneVoice() {
        VoiceController::Dependencies d;
        d.nodes = nodes;
        d.format = *engine::AudioFormat::standard(44100.0, 2);
        d.levelsChanged = [this] { ++throttledRequests; };
        d.applyLevels = [this] {
            MixLevels levels;
            controller->fillMixLevels(levels);
            controller->applyMixSettings(computeMixNodeSettings(levels));
        };
        d.prepareAudio = [] {};
        controller = std::make_unique<VoiceController>(std::move(d));
    }
};

TEST(VoiceSettings, PresetsRaiseLowerAndClampWithoutUndoingThemselves) {
    LoneVoice voice;
    auto& m = *voice.controller;
    const QString first = m.voicePhrase();
    m.speakPreset(-1);
    m.speakPreset(11);
    EXPECT_EQ(m.voicePhrase(), first);
    m.speakPreset(10);
    EXPECT_NE(m.voicePhrase(), first) << "the last preset";

    m.applySaharaVoiceTonePreset();
    const auto sahara = std::tuple(m.voiceWarmDB(), m.voiceHornDB(), m.voiceDryAirDB(), m.voiceBoldDrive(), m.voiceBusLevel());
    EXPECT_EQ(sahara, std::tuple(4.0, 3.2, -2.0, 0.48, 1.08));
    m.applySaharaVoiceTonePreset();
    EXPECT_EQ(std::tuple(m.voiceWarmDB(), m.voiceHornDB(), m.voiceDryAirDB(), m.voiceBoldDrive(), m.voiceBusLevel()), sahara);

    m.setVoiceBoldDrive(0.9);
    m.applyMilitaryVoiceCharacterPreset();
    EXPECT_EQ(m.voiceBoldDrive(), 0.9);
    EXPECT_EQ(m.voiceSayVoiceTag(), "Tom");
    EXPECT_EQ(m.voiceMorphPitchCents(), -560.0);
    m.applyMorphSmurfVoiceCharacterPreset();
    EXPECT_EQ(m.voiceBoldDrive(), 0.45);
    EXPECT_EQ(m.voiceSayVoiceTag(), "Victoria");
    m.setVoiceHornDB(1.0);
    m.applyMilitaryVoiceCharacterPreset();
    EXPECT_EQ(m.voiceHornDB(), 3.0);

    // The character reset leaves tone, drive and level alone, and the nodes follow at once.
    const auto tone = std::tuple(m.voiceWarmDB(), m.voiceHornDB(), m.voiceDryAirDB(), m.voiceBoldDrive(), m.voiceBusLevel());
    m.resetVoiceCharacterMorph();
    EXPECT_EQ(std::tuple(m.voiceWarmDB(), m.voiceHornDB(), m.voiceDryAirDB(), m.voiceBoldDrive(), m.voiceBusLevel()), tone);
    EXPECT_EQ(m.voiceSayVoiceTag(), "auto");
    EXPECT_EQ(voice.nodes.timePitch->pitch(), 0.0f);
    EXPECT_FLOAT_EQ(voice.nodes.toneEQ->band(1).gain(), 3.0f);

    // A knob asks the mix to apply even where it lands on the value it had (the throttle
    // coalesces), and the mix's reset brings back the resting voice.
    const int before = voice.throttledRequests;
    m.setVoiceBusLevel(m.voiceBusLevel());
    EXPECT_EQ(voice.throttledRequests, before + 1);
    m.resetMixDefaults();
    MixLevels levels;
    m.fillMixLevels(levels);
    EXPECT_EQ(levels.voiceHornDB, MixLevels{}.voiceHornDB);
    EXPECT_EQ(levels.voiceMorphRate, MixLevels{}.voiceMorphRate);
    EXPECT_EQ(m.voiceSayVoiceTag(), "auto");
}

TEST(SpeechRenderer, ChoosesTheVoiceAndSpellsOutTheCommand) {
    EXPECT_EQ(SpeechRenderer::pickSayVoiceIdentifier(QStringLiteral(u"مرحبا"), "Tom"), "Majed");
    for (const char* tag : {"auto", "AUTO", " Auto ", ""}) {
        EXPECT_EQ(SpeechRenderer::pickSayVoiceIdentifier("Go", tag), "Alex") << tag;
    }
    EXPECT_EQ(SpeechRenderer::pickSayVoiceIdentifier("Go", " Victoria "), "Victoria");
    EXPECT_FALSE(SpeechRenderer::containsArabicScript(u""));
    EXPECT_TRUE(SpeechRenderer::containsArabicScript(QString(QChar(0x06FF))));
    EXPECT_FALSE(SpeechRenderer::containsArabicScript(QString(QChar(0x0700))));

    QProcessEnvironment withLocale;
    withLocale.insert("LC_ALL", "C");
    const SpeechTool say{SpeechTool::Kind::say, "/usr/bin/say"};
    const auto sayCommand = SpeechRenderer::command(say, "-o /etc/passwd", "/tmp/x.caf", 158, "Alex", withLocale);
    EXPECT_EQ(sayCommand.arguments, QStringList({"-v", "Alex", "-o", "/tmp/x.caf", "--data-format=LEF32@44100", "-r",
                                                 "158", "--", "-o /etc/passwd"}));
    EXPECT_EQ(sayCommand.environment.value("LC_ALL"), "C");

    const SpeechTool espeak{SpeechTool::Kind::espeak, "espeak-ng"};
    const auto espeakCommand = SpeechRenderer::command(espeak, "-w /etc/passwd", "/tmp/x.wav", 208, "Victoria", {});
    EXPECT_EQ(espeakCommand.arguments,
              QStringList({"-v", "en-us+f3", "-s", "208", "-b", "1", "-w", "/tmp/x.wav", "--", "-w /etc/passwd"}));
    EXPECT_EQ(espeakCommand.environment.value("LC_ALL"), "en_US.UTF-8");
    EXPECT_EQ(SpeechRenderer::espeakVoiceFor("de"), "de");
}

TEST(SpeechTool, EspeakNgSpeaksWhereverItIsAndSayOnlyWithoutIt) {
    QTemporaryDir dir;
    auto folderWith = [&](const QString& name, const QStringList& programs) {
        const QString folder = dir.filePath(name);
        QDir().mkpath(folder);
        for (const QString& program : programs) {
            test::writeProgram(folder + "/" + program);
        }
        return folder;
    };
    const QString both = folderWith("both", {"say", "espeak-ng"});
    const QString sayOnly = folderWith("say", {"say"});
    const QString none = folderWith("none", {});

    const auto chosen = SpeechTool::find({both});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->kind, SpeechTool::Kind::espeak);
    EXPECT_EQ(chosen->program.toStdString(), (both + "/espeak-ng").toStdString());
    // A say earlier on the search path does not win either.
    const auto later = SpeechTool::find({sayOnly, both});
    ASSERT_TRUE(later);
    EXPECT_EQ(later->program.toStdString(), (both + "/espeak-ng").toStdString());

    const auto fallback = SpeechTool::find({sayOnly});
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->kind, SpeechTool::Kind::say);
    EXPECT_EQ(fallback->program.toStdString(), (sayOnly + "/say").toStdString());
    EXPECT_FALSE(SpeechTool::find({none}));
}

TEST(SpeechRenderer, ConvertsEveryRenderToTheGraphFormat) {
    QTemporaryDir dir;
    const auto format = *engine::AudioFormat::standard(44100.0, 2);

    // Mono at the graph's rate: both channels equal to the source, sample for sample.
    const auto mono = SpeechRenderer::voiceBufferMatchingEngine(writeWav(dir.filePath("m.wav"), 44100, 1, 0.5), format);
    ASSERT_TRUE(mono.buffer) << mono.error->description.toStdString();
    EXPECT_EQ(mono.buffer->frameLength(), 22050u);
    EXPECT_TRUE(std::equal(mono.buffer->channel(0).begin(), mono.buffer->channel(0).end(), mono.buffer->channel(1).begin()));
    EXPECT_NEAR(mono.buffer->channel(0)[100], 0.125 * std::sin(2 * M_PI * 440 * 100 / 44100.0), 1e-4);

    // Mono at 48 kHz: resampled to the same length in time.
    const auto other = SpeechRenderer::voiceBufferMatchingEngine(writeWav(dir.filePath("r.wav"), 48000, 1, 0.5), format);
    ASSERT_TRUE(other.buffer);
    EXPECT_NEAR(other.buffer->frameLength(), 22050.0, 64.0);
    EXPECT_NEAR(rms(other.buffer->channel(1).subspan(1000, 20000)), 0.125 * std::sqrt(0.5), 0.002);

    // An empty render is a short silence; a missing file is the reader's own error.
    QFile empty(dir.filePath("e.wav"));
    ASSERT_TRUE(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=22050:cl=mono",
                                             "-t", "0", "-c:a", "pcm_s16le", empty.fileName()}) == 0);
    const auto silent = SpeechRenderer::voiceBufferMatchingEngine(empty.fileName(), format);
    ASSERT_TRUE(silent.buffer);
    EXPECT_EQ(silent.buffer->frameLength(), 2048u);
    EXPECT_EQ(rms(silent.buffer->channel(0)), 0.0);
    const auto missing = SpeechRenderer::voiceBufferMatchingEngine(dir.filePath("none.wav"), format);
    EXPECT_FALSE(missing.buffer);
    EXPECT_EQ(missing.error->domain, "AudioFile");
}

TEST(VoiceDrops, AnEspeakRenderPlaysThroughTheVoiceChainAndLeavesNoFileBehind) {
    ASSERT_TRUE(SpeechTool::find()) << "espeak-ng is installed by scripts/install-deps.sh";
    Deck deck;
    auto& m = *deck.model->voice();
    m.speakPreset(5); // "Desk DJ takeover."
    deck.speak();
    ASSERT_EQ(m.voiceDrops().liveFiles().size(), 1u);
    const QString firstFile = m.voiceDrops().liveFiles().values().value(0);
    EXPECT_TRUE(QFileInfo::exists(firstFile));

    // The drop sounds at once on the voice bus, equal on both channels.
    auto heard = deck.render(44100);
    EXPECT_GT(rms(heard->channel(0)), 0.01);
    EXPECT_TRUE(std::equal(heard->channel(0).begin(), heard->channel(0).end(), heard->channel(1).begin()));

    // A second drop cuts the first off: the first one's file goes with it.
    m.applyMilitaryVoiceCharacterPreset();
    deck.speak();
    deck.render(512);
    EXPECT_FALSE(QFileInfo::exists(firstFile));
    ASSERT_EQ(m.voiceDrops().liveFiles().size(), 1u);
    const QString secondFile = m.voiceDrops().liveFiles().values().value(0);

    // Played to its end, the second one's file goes too.
    for (int i = 0; i < 20 && !m.voiceDrops().liveFiles().isEmpty(); ++i) {
        deck.render(44100);
    }
    EXPECT_TRUE(m.voiceDrops().liveFiles().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(secondFile));
}

TEST(VoiceDrops, TheToneSettingsShapeTheVoice) {
    // The same phrase with the drive and EQ pushed comes out different from the plain chain.
    auto speakAndHear = [](bool shaped) {
        Deck deck;
        auto& m = *deck.model->voice();
        m.setVoiceBoldDrive(shaped ? 1.0 : 0.0);
        m.setVoiceHornDB(shaped ? 12.0 : 0.0);
        m.setVoiceWarmDB(0.0);
        m.setVoiceDryAirDB(0.0);
        deck.model->mix()->applyMixLevels();
        deck.speak();
        return deck.render(44100);
    };
    const auto plain = speakAndHear(false);
    const auto shaped = speakAndHear(true);
    EXPECT_GT(rms(plain->channel(0)), 0.01);
    EXPECT_GT(rms(shaped->channel(0)), 1.3 * rms(plain->channel(0)));
}

TEST(VoiceDrops, AFailedRenderSaysSoAndKeepsNoFile) {
    voice::VoiceDrops drops(SpeechTool{SpeechTool::Kind::espeak, "/nonexistent/espeak-ng"});
    std::optional<voice::VoiceDrops::Rendered> result;
    drops.render("Go", 158, "auto", *engine::AudioFormat::standard(44100.0, 2),
                 [&](voice::VoiceDrops::Rendered r) { result = r; });
    ASSERT_TRUE(test::spinUntil([&] { return result.has_value(); }, 5000));
    EXPECT_FALSE(result->buffer);
    EXPECT_EQ(result->failure, "Speech render failed (espeak-ng, voice Alex)");
    EXPECT_TRUE(drops.liveFiles().isEmpty());

    voice::VoiceDrops none(std::nullopt);
    none.render("Go", 158, "auto", *engine::AudioFormat::standard(44100.0, 2), [&](voice::VoiceDrops::Rendered r) { result = r; });
    EXPECT_EQ(result->failure, "No speech tool found: install espeak-ng (sudo apt install espeak-ng)");
}
