#pragma once

#include "engine/AudioFormat.h"
#include "model/QuelmoVoiceProfile.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quelmo {

struct MixLevels;
struct MixNodeSettings;

namespace engine {
class AudioBuffer;
class DistortionUnit;
class EQUnit;
class MixerNode;
class PlayerNode;
class TimePitchUnit;
} // namespace engine

namespace voice {
class VoiceDrops;
} // namespace voice

// VOICE DROPS as the views see them (deck.voice): the phrase and its presets, the spoken profile
// and voice, the bus level and the tone and character of the voice chain, and the last render's
// status. The levels are part of the deck's mix: each change asks the mix to apply, and the mix
// asks this controller for its levels and hands it the node settings computed from them.
//
// Main thread only. Renders run on VoiceDrops' own workers and answer here; the drop player's
// end arrives through the engine's event dispatch, also here.
class VoiceController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString voicePhrase READ voicePhrase WRITE setVoicePhrase NOTIFY voicePhraseChanged)
    Q_PROPERTY(bool voiceRouteThroughDesk READ voiceRouteThroughDesk WRITE setVoiceRouteThroughDesk NOTIFY voiceRouteThroughDeskChanged)
    Q_PROPERTY(double voiceBusLevel READ voiceBusLevel WRITE setVoiceBusLevel NOTIFY voiceBusLevelChanged)
    Q_PROPERTY(double voiceWarmDB READ voiceWarmDB WRITE setVoiceWarmDB NOTIFY voiceWarmDBChanged)
    Q_PROPERTY(double voiceHornDB READ voiceHornDB WRITE setVoiceHornDB NOTIFY voiceHornDBChanged)
    Q_PROPERTY(double voiceDryAirDB READ voiceDryAirDB WRITE setVoiceDryAirDB NOTIFY voiceDryAirDBChanged)
    Q_PROPERTY(double voiceBoldDrive READ voiceBoldDrive WRITE setVoiceBoldDrive NOTIFY voiceBoldDriveChanged)
    Q_PROPERTY(double voiceMorphPitchCents READ voiceMorphPitchCents WRITE setVoiceMorphPitchCents NOTIFY voiceMorphPitchCentsChanged)
    Q_PROPERTY(double voiceMorphRate READ voiceMorphRate WRITE setVoiceMorphRate NOTIFY voiceMorphRateChanged)
    Q_PROPERTY(QString voiceSayVoiceTag READ voiceSayVoiceTag WRITE setVoiceSayVoiceTag NOTIFY voiceSayVoiceTagChanged)
    // The last drop's render: "Rendering…", the voice and length spoken, or what failed.
    Q_PROPERTY(QString voiceDropStatus READ voiceDropStatus NOTIFY voiceDropStatusChanged)
    Q_PROPERTY(bool voiceDropRendering READ voiceDropRendering NOTIFY voiceDropRenderingChanged)
    Q_PROPERTY(QStringList voiceProfileTitles READ voiceProfileTitles CONSTANT)
    Q_PROPERTY(QStringList voicePresets READ voicePresets CONSTANT)
    Q_PROPERTY(quelmo::voice::QuelmoVoiceProfile voiceProfile READ voiceProfile WRITE setVoiceProfile NOTIFY voiceProfileChanged)

public:
    // The voice chain, in playing order: player → time-pitch → tone EQ (3 bands) → drive → bus.
    struct Nodes {
        std::shared_ptr<engine::PlayerNode> player;
        std::shared_ptr<engine::TimePitchUnit> timePitch;
        std::shared_ptr<engine::EQUnit> toneEQ;
        std::shared_ptr<engine::DistortionUnit> distortion;
        std::shared_ptr<engine::MixerNode> bus;
    };
    struct Dependencies {
        Nodes nodes;
        engine::AudioFormat format;          // the graph's format; renders are read into it
        std::function<void()> levelsChanged; // a level moved: the mix applies soon (throttled)
        std::function<void()> applyLevels;   // a preset landed: the mix applies now
        std::function<void()> prepareAudio;  // the engine runs before a drop plays
    };

    // The time-pitch unit may still be warming up on a worker: its fixed settings are written
    // here, which the unit accepts while it warms.
    VoiceController(Dependencies dependencies, QObject* parent = nullptr);
    ~VoiceController() override;

    // The mix's side: the seven voice levels into the deck's levels; the computed settings onto
    // the chain; the resting levels and voice back (without applying: the mix does that).
    void fillMixLevels(MixLevels& levels) const;
    void applyMixSettings(const MixNodeSettings& settings);
    void resetMixDefaults();

    // speakPreset selects preset index's phrase (bad indices do nothing); it speaks nothing.
    // speakCustomDrop renders the current phrase with the profile's rate and the voice tag and
    // plays it on the voice chain, cutting off a drop still playing.
    Q_INVOKABLE void speakPreset(int index);
    Q_INVOKABLE void speakCustomDrop();
    // Tone and character presets: raise, lower or clamp the voice settings, then apply the mix.
    Q_INVOKABLE void applySaharaVoiceTonePreset();
    Q_INVOKABLE void applyMilitaryVoiceCharacterPreset();
    Q_INVOKABLE void applyMorphSmurfVoiceCharacterPreset();
    Q_INVOKABLE void resetVoiceCharacterMorph();
    // Cuts off whatever the voice player holds and plays buffer at once; tempPath is removed when
    // the drop ends, played out or cut off.
    void scheduleVoiceBuffer(std::shared_ptr<const engine::AudioBuffer> buffer, const QString& tempPath);
    voice::VoiceDrops& voiceDrops() { return *drops_; }

    QString voicePhrase() const { return phrase_; }
    void setVoicePhrase(const QString& value);
    bool voiceRouteThroughDesk() const { return routeThroughDesk_; }
    void setVoiceRouteThroughDesk(bool value);
    // Each level setter asks the mix to apply, even when the value is unchanged.
    double voiceBusLevel() const { return busLevel_; }
    void setVoiceBusLevel(double value);
    double voiceWarmDB() const { return warmDB_; }
    void setVoiceWarmDB(double value);
    double voiceHornDB() const { return hornDB_; }
    void setVoiceHornDB(double value);
    double voiceDryAirDB() const { return dryAirDB_; }
    void setVoiceDryAirDB(double value);
    double voiceBoldDrive() const { return boldDrive_; }
    void setVoiceBoldDrive(double value);
    double voiceMorphPitchCents() const { return morphPitchCents_; }
    void setVoiceMorphPitchCents(double value);
    double voiceMorphRate() const { return morphRate_; }
    void setVoiceMorphRate(double value);
    QString voiceSayVoiceTag() const { return sayVoiceTag_; }
    void setVoiceSayVoiceTag(const QString& value);
    QString voiceDropStatus() const { return dropStatus_; }
    bool voiceDropRendering() const { return dropRendering_; }
    static QStringList voiceProfileTitles();
    const QStringList& voicePresets() const { return presets_; }
    QuelmoVoiceProfile voiceProfile() const { return profile_; }
    void setVoiceProfile(QuelmoVoiceProfile value);

    // The voice the drops are spoken in until the user picks one.
    static constexpr const char* restingVoiceTag = "auto";

signals:
    void voicePhraseChanged();
    void voiceRouteThroughDeskChanged();
    void voiceBusLevelChanged();
    void voiceWarmDBChanged();
    void voiceHornDBChanged();
    void voiceDryAirDBChanged();
    void voiceBoldDriveChanged();
    void voiceMorphPitchCentsChanged();
    void voiceMorphRateChanged();
    void voiceSayVoiceTagChanged();
    void voiceDropStatusChanged();
    void voiceDropRenderingChanged();
    void voiceProfileChanged();

private:
    void setLevel(double& field, double value, void (VoiceController::*signal)());
    void setVoiceDropStatus(const QString& value);
    void setVoiceDropRendering(bool value);

    Dependencies dependencies_;
    const QStringList presets_;
    QString phrase_;
    bool routeThroughDesk_ = true;
    double busLevel_;
    double warmDB_;
    double hornDB_;
    double dryAirDB_;
    double boldDrive_;
    double morphPitchCents_;
    double morphRate_;
    QString sayVoiceTag_ = QString::fromLatin1(restingVoiceTag);
    QString dropStatus_;
    bool dropRendering_ = false;
    QuelmoVoiceProfile profile_ = QuelmoVoiceProfile::commandPost;
    std::unique_ptr<voice::VoiceDrops> drops_;
};

} // namespace quelmo
