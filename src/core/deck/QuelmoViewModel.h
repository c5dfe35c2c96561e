#pragma once

#include "engine/AudioBuffer.h"
#include "engine/AudioEngine.h"
#include "engine/AudioFormat.h"
#include "engine/AudioNodes.h"
#include "engine/devices/AudioDriver.h"
#include "deck/MixMath.h"
#include "keys/KeyEvent.h"
#include "model/MeterPeakCapture.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "model/QuelmoImportedTrack.h"
#include "model/QuelmoVoiceProfile.h"
#include "tracks/ImportedTrackListModel.h"
#include "tracks/LoopPreparation.h"
#include "tracks/WaveformAnalysis.h"
#include "timing/PulseClock.h"
#include "util/DelayScheduler.h"
#include "util/MediaClock.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace quelmo {

namespace engine {
class AudioFile;
}
class KeyMonitor;
class YtdlpInstaller;
class KeyboardVisualizerManager;
namespace downloads {
class YoutubeDownload;
}
namespace voice {
class VoiceDrops;
}
namespace slap {
class OutputLevelHistory;
}
namespace capture {
class CaptureSink;
}
class LidTapController;
class MidiController;
class RecordingController;

// The deck controller: every piece of deck state the views observe, the audio graph it drives, and
// the operations behind every control and shortcut. One instance, created by the deck screen the
// first time it is built. Every property is read and written on the main thread; the views bind
// to the properties below. Its members are spread over one source file per subsystem.
class QuelmoViewModel : public QObject {
    Q_OBJECT

    // Transport
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double bpm READ bpm WRITE setBpm NOTIFY bpmChanged)
    Q_PROPERTY(double playhead READ playhead WRITE setPlayhead NOTIFY playheadChanged)
    Q_PROPERTY(double deckBBlend READ deckBBlend WRITE setDeckBBlend NOTIFY deckBBlendChanged)
    // Sequencer
    Q_PROPERTY(bool sequencerRunning READ sequencerRunning WRITE setSequencerRunning NOTIFY sequencerRunningChanged)
    Q_PROPERTY(int sequencerStep READ sequencerStep WRITE setSequencerStep NOTIFY sequencerStepChanged)
    // Mix
    Q_PROPERTY(double stereoPads READ stereoPads WRITE setStereoPads NOTIFY stereoPadsChanged)
    Q_PROPERTY(double stereoImport READ stereoImport WRITE setStereoImport NOTIFY stereoImportChanged)
    Q_PROPERTY(double masterVolume READ masterVolume WRITE setMasterVolume NOTIFY masterVolumeChanged)
    Q_PROPERTY(double padsBusLevel READ padsBusLevel WRITE setPadsBusLevel NOTIFY padsBusLevelChanged)
    Q_PROPERTY(double postFXGain READ postFXGain WRITE setPostFXGain NOTIFY postFXGainChanged)
    Q_PROPERTY(double reverbMix READ reverbMix WRITE setReverbMix NOTIFY reverbMixChanged)
    Q_PROPERTY(double delayMix READ delayMix WRITE setDelayMix NOTIFY delayMixChanged)
    Q_PROPERTY(double delayTime READ delayTime WRITE setDelayTime NOTIFY delayTimeChanged)
    Q_PROPERTY(double delayFeedback READ delayFeedback WRITE setDelayFeedback NOTIFY delayFeedbackChanged)
    Q_PROPERTY(double filterCutoff READ filterCutoff WRITE setFilterCutoff NOTIFY filterCutoffChanged)
    Q_PROPERTY(double distortionMix READ distortionMix WRITE setDistortionMix NOTIFY distortionMixChanged)
    Q_PROPERTY(double pitchShift READ pitchShift WRITE setPitchShift NOTIFY pitchShiftChanged)
    Q_PROPERTY(double masterToneLiftDB READ masterToneLiftDB WRITE setMasterToneLiftDB NOTIFY masterToneLiftDBChanged)
    Q_PROPERTY(double lowShelfGain READ lowShelfGain WRITE setLowShelfGain NOTIFY lowShelfGainChanged)
    Q_PROPERTY(double midPresenceDB READ midPresenceDB WRITE setMidPresenceDB NOTIFY midPresenceDBChanged)
    Q_PROPERTY(double highShelfGain READ highShelfGain WRITE setHighShelfGain NOTIFY highShelfGainChanged)
    // Meters
    Q_PROPERTY(double meterPads READ meterPads WRITE setMeterPads NOTIFY meterPadsChanged)
    Q_PROPERTY(double meterImport READ meterImport WRITE setMeterImport NOTIFY meterImportChanged)
    Q_PROPERTY(double meterMaster READ meterMaster WRITE setMeterMaster NOTIFY meterMasterChanged)
    Q_PROPERTY(double meterVoice READ meterVoice WRITE setMeterVoice NOTIFY meterVoiceChanged)
    // Voice
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
    // The profiles' titles in declaration order: index i is the profile of value i.
    Q_PROPERTY(QStringList voiceProfileTitles READ voiceProfileTitles CONSTANT)
    // REC: recording what the main output plays to a file in the Music folder.
    Q_PROPERTY(quelmo::RecordingController* recording READ recording CONSTANT)
    Q_MOC_INCLUDE("recording/RecordingController.h")
    // MIDI: pad controllers through the ALSA sequencer.
    Q_PROPERTY(quelmo::MidiController* midi READ midi CONSTANT)
    Q_MOC_INCLUDE("midi/MidiController.h")
    // Keyboard
    Q_PROPERTY(bool keyboardShortcutsEnabled READ keyboardShortcutsEnabled WRITE setKeyboardShortcutsEnabled NOTIFY keyboardShortcutsEnabledChanged)
    // False while keys pressed in other applications cannot be heard (shortcuts off, or no global
    // monitor on this platform: Wayland without XWayland); the status line says so.
    Q_PROPERTY(bool keysHeardFromOtherApplications READ keysHeardFromOtherApplications NOTIFY keysHeardFromOtherApplicationsChanged)
    Q_PROPERTY(qint64 youtubeFocusTick READ youtubeFocusTick WRITE setYoutubeFocusTick NOTIFY youtubeFocusTickChanged)
    Q_PROPERTY(bool keyboardTrainerRequested READ keyboardTrainerRequested WRITE setKeyboardTrainerRequested NOTIFY keyboardTrainerRequestedChanged)
    Q_PROPERTY(int tuningPulseDirection READ tuningPulseDirection WRITE setTuningPulseDirection NOTIFY tuningPulseDirectionChanged)
    Q_PROPERTY(quint64 tuningPulseGeneration READ tuningPulseGeneration WRITE setTuningPulseGeneration NOTIFY tuningPulseGenerationChanged)
    Q_PROPERTY(bool waveformKeyboardFXOn READ waveformKeyboardFXOn WRITE setWaveformKeyboardFXOn NOTIFY waveformKeyboardFXOnChanged)
    Q_PROPERTY(QString waveformKeyboardFXTitle READ waveformKeyboardFXTitle WRITE setWaveformKeyboardFXTitle NOTIFY waveformKeyboardFXTitleChanged)
    Q_PROPERTY(QString waveformKeyboardFXSubtitle READ waveformKeyboardFXSubtitle WRITE setWaveformKeyboardFXSubtitle NOTIFY waveformKeyboardFXSubtitleChanged)
    Q_PROPERTY(double waveformKeyboardFXMeter READ waveformKeyboardFXMeter WRITE setWaveformKeyboardFXMeter NOTIFY waveformKeyboardFXMeterChanged)
    // Import
    Q_PROPERTY(double importVolume READ importVolume WRITE setImportVolume NOTIFY importVolumeChanged)
    Q_PROPERTY(double importRate READ importRate WRITE setImportRate NOTIFY importRateChanged)
    Q_PROPERTY(bool importPlaying READ importPlaying WRITE setImportPlaying NOTIFY importPlayingChanged)
    // Tracks
    Q_PROPERTY(double currentTrackPosition READ currentTrackPosition WRITE setCurrentTrackPosition NOTIFY currentTrackPositionChanged)
    Q_PROPERTY(double currentTrackDuration READ currentTrackDuration WRITE setCurrentTrackDuration NOTIFY currentTrackDurationChanged)
    // Downloads
    Q_PROPERTY(QString youtubeURL READ youtubeURL WRITE setYoutubeURL NOTIFY youtubeURLChanged)
    Q_PROPERTY(bool isDownloading READ isDownloading WRITE setIsDownloading NOTIFY isDownloadingChanged)
    Q_PROPERTY(double downloadProgress READ downloadProgress WRITE setDownloadProgress NOTIFY downloadProgressChanged)
    Q_PROPERTY(QString downloadStatus READ downloadStatus WRITE setDownloadStatus NOTIFY downloadStatusChanged)
    Q_PROPERTY(bool showYTDLPInstallAlert READ showYTDLPInstallAlert WRITE setShowYTDLPInstallAlert NOTIFY showYTDLPInstallAlertChanged)
    Q_PROPERTY(bool isInstallingYTDLP READ isInstallingYTDLP WRITE setIsInstallingYTDLP NOTIFY isInstallingYTDLPChanged)
    // Whether yt-dlp was found at the last look (refreshYtdlpCheck); the YouTube block switches on it.
    Q_PROPERTY(bool ytdlpInstalled READ ytdlpInstalled NOTIFY ytdlpInstalledChanged)
    // The command the install help shows and copies.
    Q_PROPERTY(QString installCommand READ installCommand CONSTANT)
    // Capture
    Q_PROPERTY(bool isCapturingSystemAudio READ isCapturingSystemAudio WRITE setIsCapturingSystemAudio NOTIFY isCapturingSystemAudioChanged)
    Q_PROPERTY(double systemAudioVolume READ systemAudioVolume WRITE setSystemAudioVolume NOTIFY systemAudioVolumeChanged)
    Q_PROPERTY(bool showBlackHoleInstallAlert READ showBlackHoleInstallAlert WRITE setShowBlackHoleInstallAlert NOTIFY showBlackHoleInstallAlertChanged)
    Q_PROPERTY(QString blackHoleInstallStatus READ blackHoleInstallStatus WRITE setBlackHoleInstallStatus NOTIFY blackHoleInstallStatusChanged)
    // LID TAP → KICK.
    Q_PROPERTY(quelmo::LidTapController* lidTap READ lidTap CONSTANT)
    Q_MOC_INCLUDE("slap/LidTapController.h")
    // Collections and optional values, in the shapes the views read them
    // Read-only to the views: cells change through toggleSequencerCell and clearSequencer.
    Q_PROPERTY(QList<bool> sequencerGrid READ sequencerGrid NOTIFY sequencerGridChanged)
    Q_PROPERTY(QStringList padLabels READ padLabels CONSTANT)
    Q_PROPERTY(QStringList voicePresets READ voicePresets CONSTANT)
    Q_PROPERTY(quelmo::voice::QuelmoVoiceProfile voiceProfile READ voiceProfile WRITE setVoiceProfile NOTIFY voiceProfileChanged)
    Q_PROPERTY(QVariant tuningPulseTarget READ tuningPulseTargetForView NOTIFY tuningPulseTargetChanged)
    Q_PROPERTY(QVariantList importedTracks READ importedTracksForView NOTIFY importedTracksChanged)
    // What the waveform panel draws, each entry only once it has an overview: the playing entries
    // in list order, and the selected entry (null without one). Small whatever the list's length,
    // and notified only when what they hold changes, not on every change of the list.
    Q_PROPERTY(QVariantList playingOverviewTracks READ playingOverviewTracksForView NOTIFY overviewTracksChanged)
    Q_PROPERTY(QVariant selectedOverviewTrack READ selectedOverviewTrackForView NOTIFY overviewTracksChanged)
    // The same list as an item model (roles track, trackId, name), for list views of many rows.
    Q_PROPERTY(QAbstractItemModel* importedTrackModel READ importedTrackModel CONSTANT)
    // The keyboard lesson's tables: {label, action} for every monitored key, {keys, title, detail}
    // for the shortcut map.
    Q_PROPERTY(QVariantList allShortcuts READ allShortcutsForView CONSTANT)
    Q_PROPERTY(QVariantList shortcutTrainerRows READ shortcutTrainerRowsForView CONSTANT)
    Q_PROPERTY(QString selectedImportId READ selectedImportIdForView WRITE setSelectedImportIdFromView NOTIFY selectedImportIdChanged)
    Q_PROPERTY(QStringList playingTrackIds READ playingTrackIdsForView NOTIFY playingTrackIdsChanged)
    Q_PROPERTY(QStringList pausedTrackIds READ pausedTrackIdsForView NOTIFY pausedTrackIdsChanged)
    Q_PROPERTY(QVariantMap trackVolumes READ trackVolumesForView NOTIFY trackVolumesChanged)
    Q_PROPERTY(QVariantMap trackPositions READ trackPositionsForView NOTIFY trackPositionsChanged)
    Q_PROPERTY(QVariantMap trackDurations READ trackDurationsForView NOTIFY trackDurationsChanged)
    // Why a row could not play ("Cannot play: ..."), by track id; a row that plays has none.
    Q_PROPERTY(QVariantMap trackErrors READ trackErrorsForView NOTIFY trackErrorsChanged)
    Q_PROPERTY(QList<double> hotCues READ hotCues WRITE setHotCues NOTIFY hotCuesChanged)
    // The waveform panel's mix chips after its two fixed ones, left to right (see MixTags.h).
    Q_PROPERTY(QStringList mixTags READ mixTags NOTIFY mixTagsChanged)

public:
    // Which control a keyboard nudge pulses.
    enum class TuningPulseTarget { master, bpm, importLevel, postFX };
    Q_ENUM(TuningPulseTarget)

    using UuidSet = QSet<QUuid>;
    template <typename V>
    using UuidMap = QHash<QUuid, V>;

    static constexpr int padCount = 8;
    static constexpr int sequencerSteps = 16;

    // What the controller takes from outside; tests pass their own.
    struct Dependencies {
        std::shared_ptr<MediaClock> clock = systemMediaClock();
        // Runs the transport, metronome and sequencer clocks.
        std::shared_ptr<DelayScheduler> scheduler = mainThreadScheduler();
        // Where the downloads folder lives; empty means the user's Documents folder.
        QString documentsDir;
        // Where the engine's output goes; unset means the sound server's default output.
        std::function<std::unique_ptr<engine::AudioDriver>()> makeAudioDriver;
        // The perform-mode card; unset means the shared one.
        QuelmoOverlayPresenter* overlay = nullptr;
        // The keyboard light show; unset means the shared one.
        KeyboardVisualizerManager* visualizer = nullptr;
        // Where REC saves; empty means the user's Music folder.
        QString musicDir;
        // The date the downloads library gives an entry it lists first; unset means the system's.
        std::function<QDateTime()> wallClock;
    };

    explicit QuelmoViewModel(QObject* parent = nullptr);
    QuelmoViewModel(Dependencies dependencies, QObject* parent = nullptr);
    ~QuelmoViewModel() override;

    // Builds and starts the graph and applies the mix the first time it is called; later calls do
    // nothing. Every operation that makes sound calls it first.
    Q_INVOKABLE void prepareAudioEngineIfNeeded();
    // Stops timers, monitors, players and the engine in a fixed order. Quitting does not call it.
    Q_INVOKABLE void shutdown();

    // Plays pad index's one-shot, queued behind that pad's earlier hits, and (when asked) flashes
    // the perform card with the key that fired it. Bad indices do nothing.
    Q_INVOKABLE void triggerPad(int index, bool showPerformOverlay = true, const QString& keyCaption = {});

    // Keyboard. Removes the key monitors, then, with keyboardShortcutsEnabled, installs a local one
    // (keys pressed in Quelmo's window, consumed when handled) and, where the platform has one, a
    // global one (keys pressed in other applications, observed only). The deck view calls it when
    // it first shows and whenever the switch changes.
    Q_INVOKABLE void installKeyboardMonitorIfNeeded();
    Q_INVOKABLE void removeKeyboardMonitor();
    // Runs the shortcut of one key press; true when it was one (the local monitor then consumes
    // it). Nothing happens while the switch is off or a text field has the focus.
    bool handleKeyEvent(const keys::KeyEvent& event);
    // A window Quelmo opened that is not one of its own Qt windows (the desktop's file chooser, the
    // password prompt of an install) opened or closed. While any is open the keyboard belongs to
    // it: keys typed there, which the global monitor hears as "another application's", play
    // nothing.
    Q_INVOKABLE void setOutsideWindowOpen(const QString& which, bool open);
    bool outsideWindowOpen() const { return !outsideWindows_.isEmpty(); }
    bool keysHeardFromOtherApplications() const { return keyMonitor_ != nullptr; }
    static QVariantList allShortcutsForView();
    static QVariantList shortcutTrainerRowsForView();

    // Import list. The view owns the file dialog: this only asks for it (importFilesRequested).
    Q_INVOKABLE void pickImportFiles();
    // Adds one entry per URL, in the given order, each appended once its own analysis (off the main
    // thread) and every earlier one have ended; a file that cannot be read still enters the list,
    // without overview. Afterwards, with nothing selected, the last entry of the list is selected.
    Q_INVOKABLE void addImportFiles(const QList<QUrl>& urls);
    // Removes the entry, stops its player, and deletes its file only when the file's canonical path
    // lies inside the canonical downloads folder. Removing the selected entry selects the first one
    // left (none when the list is empty) and stops the import player.
    Q_INVOKABLE void removeImport(const QString& id);
    void removeImport(const QUuid& id);
    // YouTube downloads. Validates youtubeURL and runs yt-dlp on it into the downloads folder; the
    // file it writes joins the list, selected. One download at a time.
    Q_INVOKABLE void downloadYouTubeAudio();
    // Ends the running download and removes its files; the status reads "Download cancelled".
    Q_INVOKABLE void cancelDownload();
    // True when yt-dlp is found where the whole application looks for it (locateYtdlp()).
    Q_INVOKABLE bool checkYTDLPIsInstalled() const;
    // Looks again and updates ytdlpInstalled; the view calls it when the window becomes active.
    Q_INVOKABLE void refreshYtdlpCheck();
    // The one-click install behind the install alert's "Auto-Install".
    Q_INVOKABLE void autoInstallYTDLP();
    // "sudo apt install yt-dlp ffmpeg"
    QString installCommand() const;
    bool ytdlpInstalled() const { return ytdlpInstalled_; }

    // The entry selectedImportId names, if it is in the list.
    std::optional<QuelmoImportedTrack> selectedTrack() const;

    // Import player: the selected file looping through importTimePitch into the import mixer.
    Q_INVOKABLE void playImport();
    Q_INVOKABLE void stopImport();
    Q_INVOKABLE void toggleImportPlay();
    // Restarts the running import player at a fraction 0..1 of its file; stopped, does nothing.
    Q_INVOKABLE void seekImport(double fraction);

    // Track players: each entry on a player of its own into the rack, looping sample-exactly. Ids are
    // the upper-case UUID strings of QuelmoImportedTrack::idString(); unknown ids do nothing. The
    // file is opened on a worker; the id enters playingTrackIds once its sound is scheduled.
    Q_INVOKABLE void toggleTrackPlayback(const QString& id);
    void toggleTrackPlayback(const QUuid& id);
    Q_INVOKABLE void playTrack(const QString& id);
    // position: seconds into the file; absent = where the track was last stopped, paused or sought.
    void playTrack(const QUuid& id, std::optional<double> position = std::nullopt);
    Q_INVOKABLE void pauseTrack(const QString& id);
    void pauseTrack(const QUuid& id);
    Q_INVOKABLE void resumeTrack(const QString& id);
    void resumeTrack(const QUuid& id);
    // fraction 0..1 of the track; a track never played does nothing.
    Q_INVOKABLE void seekTrack(const QString& id, double fraction);
    void seekTrack(const QUuid& id, double fraction);
    Q_INVOKABLE void setTrackVolume(const QString& id, double volume);
    void setTrackVolume(const QUuid& id, double volume);
    Q_INVOKABLE void stopTrack(const QString& id);
    void stopTrack(const QUuid& id);
    Q_INVOKABLE void stopAllTracks();

    // Hot cues: playhead fractions, sorted, at most 8.
    Q_INVOKABLE void addOrJumpCue(double position);
    Q_INVOKABLE void jumpToCue(double cue);
    Q_INVOKABLE void removeCue(double position);
    Q_INVOKABLE void clearCues();

    // Starts the transport (a click at once, then one every beat, the playhead moving from where it
    // stopped) or stops it. Clicks sound on their exact samples.
    Q_INVOKABLE void togglePlay();
    // Tempo, kept to 60...190; a running metronome and sequencer take the new interval from now.
    Q_INVOKABLE void setBpm(double value);

    // The 8 x 16 step grid: row = pad, column = sixteenth. Out-of-grid cells read false and toggle
    // nothing.
    Q_INVOKABLE bool sequencerCell(int row, int col) const;
    Q_INVOKABLE void toggleSequencerCell(int row, int col);
    // Empties the grid; a running sequencer keeps running, silently.
    Q_INVOKABLE void clearSequencer();
    // Starts from column 1 (its hits one step after the start) or stops where it is.
    Q_INVOKABLE void toggleSequencer();

    // "BOLD PA": lifts the mix to a loud, present sound without lowering anything already louder.
    Q_INVOKABLE void applyBoldCommandMixPreset();
    // "RESET FX": every effect and tone control back to its start.
    Q_INVOKABLE void resetEffects();
    // Stops the import, sequencer and transport, clears the playhead and cues, resets the effects.
    Q_INVOKABLE void resetAll();
    // A short 440 Hz tone on the master, at half the master level.
    Q_INVOKABLE void playSoundCheckTone();

    // System audio: other applications' sound, sent to the virtual output "Quelmo Capture", plays
    // live through the import chain and the rack. Starting looks for that output (raising the
    // set-up alert when it is missing); installBlackHole makes it (no download, no restart), with
    // makeDefaultOutput also as the default output while Quelmo's own sound stays on its device,
    // and starts capture. Stopping removes the output Quelmo made and restores the default.
    Q_INVOKABLE void toggleSystemAudioCapture();
    Q_INVOKABLE void stopSystemAudioCapture();
    Q_INVOKABLE void scanForInputDevices();
    Q_INVOKABLE void checkForBlackHole();
    Q_INVOKABLE void installBlackHole(bool makeDefaultOutput = true);

    RecordingController* recording() const { return recording_.get(); }

    MidiController* midi() const { return midi_.get(); }
    // A pad hit at gain (0..1) of a key press's level, through the same queue as triggerPad.
    void triggerPad(int index, float gain, bool showPerformOverlay, const QString& keyCaption);

    // Voice drops. speakPreset selects preset index's phrase (bad indices do nothing); it speaks
    // nothing. speakCustomDrop renders the current phrase with the profile's rate and the voice tag
    // and plays it on the voice chain, cutting off a drop still playing.
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
    voice::VoiceDrops& voiceDrops() { return *voiceDrops_; }

    // Runs on every meter tick: drains the bus peaks into the four meters.
    void updateMeters();

    // Debounced path from every level control to the nodes: applies the mix 48 ms after the last
    // call. Returns at once.
    void requestThrottledApplyMixLevels();
    // Writes every level, pan and effect parameter onto the nodes; nothing before the graph exists.
    void applyMixLevels();

    // Transport
    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool value);
    double bpm() const { return bpm_; }
    double playhead() const { return playhead_; }
    void setPlayhead(double value);
    double deckBBlend() const { return deckBBlend_; }
    void setDeckBBlend(double value);
    // Sequencer
    bool sequencerRunning() const { return sequencerRunning_; }
    void setSequencerRunning(bool value);
    int sequencerStep() const { return sequencerStep_; }
    void setSequencerStep(int value);
    // Mix
    double stereoPads() const { return stereoPads_; }
    void setStereoPads(double value);
    double stereoImport() const { return stereoImport_; }
    void setStereoImport(double value);
    double masterVolume() const { return masterVolume_; }
    void setMasterVolume(double value);
    double padsBusLevel() const { return padsBusLevel_; }
    void setPadsBusLevel(double value);
    double postFXGain() const { return postFXGain_; }
    void setPostFXGain(double value);
    double reverbMix() const { return reverbMix_; }
    void setReverbMix(double value);
    double delayMix() const { return delayMix_; }
    void setDelayMix(double value);
    double delayTime() const { return delayTime_; }
    void setDelayTime(double value);
    double delayFeedback() const { return delayFeedback_; }
    void setDelayFeedback(double value);
    double filterCutoff() const { return filterCutoff_; }
    void setFilterCutoff(double value);
    double distortionMix() const { return distortionMix_; }
    void setDistortionMix(double value);
    double pitchShift() const { return pitchShift_; }
    void setPitchShift(double value);
    double masterToneLiftDB() const { return masterToneLiftDB_; }
    void setMasterToneLiftDB(double value);
    double lowShelfGain() const { return lowShelfGain_; }
    void setLowShelfGain(double value);
    double midPresenceDB() const { return midPresenceDB_; }
    void setMidPresenceDB(double value);
    double highShelfGain() const { return highShelfGain_; }
    void setHighShelfGain(double value);
    // Meters
    double meterPads() const { return meterPads_; }
    void setMeterPads(double value);
    double meterImport() const { return meterImport_; }
    void setMeterImport(double value);
    double meterMaster() const { return meterMaster_; }
    void setMeterMaster(double value);
    double meterVoice() const { return meterVoice_; }
    void setMeterVoice(double value);
    // Voice
    QString voicePhrase() const { return voicePhrase_; }
    void setVoicePhrase(const QString& value);
    bool voiceRouteThroughDesk() const { return voiceRouteThroughDesk_; }
    void setVoiceRouteThroughDesk(bool value);
    double voiceBusLevel() const { return voiceBusLevel_; }
    void setVoiceBusLevel(double value);
    double voiceWarmDB() const { return voiceWarmDB_; }
    void setVoiceWarmDB(double value);
    double voiceHornDB() const { return voiceHornDB_; }
    void setVoiceHornDB(double value);
    double voiceDryAirDB() const { return voiceDryAirDB_; }
    void setVoiceDryAirDB(double value);
    double voiceBoldDrive() const { return voiceBoldDrive_; }
    void setVoiceBoldDrive(double value);
    double voiceMorphPitchCents() const { return voiceMorphPitchCents_; }
    void setVoiceMorphPitchCents(double value);
    double voiceMorphRate() const { return voiceMorphRate_; }
    void setVoiceMorphRate(double value);
    QString voiceSayVoiceTag() const { return voiceSayVoiceTag_; }
    void setVoiceSayVoiceTag(const QString& value);
    QString voiceDropStatus() const { return voiceDropStatus_; }
    void setVoiceDropStatus(const QString& value);
    bool voiceDropRendering() const { return voiceDropRendering_; }
    void setVoiceDropRendering(bool value);
    static QStringList voiceProfileTitles();
    // Keyboard
    bool keyboardShortcutsEnabled() const { return keyboardShortcutsEnabled_; }
    void setKeyboardShortcutsEnabled(bool value);
    qint64 youtubeFocusTick() const { return youtubeFocusTick_; }
    void setYoutubeFocusTick(qint64 value);
    bool keyboardTrainerRequested() const { return keyboardTrainerRequested_; }
    void setKeyboardTrainerRequested(bool value);
    int tuningPulseDirection() const { return tuningPulseDirection_; }
    void setTuningPulseDirection(int value);
    quint64 tuningPulseGeneration() const { return tuningPulseGeneration_; }
    void setTuningPulseGeneration(quint64 value);
    bool waveformKeyboardFXOn() const { return waveformKeyboardFXOn_; }
    void setWaveformKeyboardFXOn(bool value);
    QString waveformKeyboardFXTitle() const { return waveformKeyboardFXTitle_; }
    void setWaveformKeyboardFXTitle(const QString& value);
    QString waveformKeyboardFXSubtitle() const { return waveformKeyboardFXSubtitle_; }
    void setWaveformKeyboardFXSubtitle(const QString& value);
    double waveformKeyboardFXMeter() const { return waveformKeyboardFXMeter_; }
    void setWaveformKeyboardFXMeter(double value);
    // Import
    double importVolume() const { return importVolume_; }
    void setImportVolume(double value);
    double importRate() const { return importRate_; }
    void setImportRate(double value);
    bool importPlaying() const { return importPlaying_; }
    void setImportPlaying(bool value);
    // Tracks
    double currentTrackPosition() const { return currentTrackPosition_; }
    void setCurrentTrackPosition(double value);
    double currentTrackDuration() const { return currentTrackDuration_; }
    void setCurrentTrackDuration(double value);
    // Downloads
    QString youtubeURL() const { return youtubeURL_; }
    void setYoutubeURL(const QString& value);
    bool isDownloading() const { return isDownloading_; }
    void setIsDownloading(bool value);
    double downloadProgress() const { return downloadProgress_; }
    void setDownloadProgress(double value);
    QString downloadStatus() const { return downloadStatus_; }
    void setDownloadStatus(const QString& value);
    bool showYTDLPInstallAlert() const { return showYTDLPInstallAlert_; }
    void setShowYTDLPInstallAlert(bool value);
    bool isInstallingYTDLP() const { return isInstallingYTDLP_; }
    void setIsInstallingYTDLP(bool value);
    // Capture
    bool isCapturingSystemAudio() const { return isCapturingSystemAudio_; }
    void setIsCapturingSystemAudio(bool value);
    double systemAudioVolume() const { return systemAudioVolume_; }
    void setSystemAudioVolume(double value);
    bool showBlackHoleInstallAlert() const { return showBlackHoleInstallAlert_; }
    void setShowBlackHoleInstallAlert(bool value);
    QString blackHoleInstallStatus() const { return blackHoleInstallStatus_; }
    void setBlackHoleInstallStatus(const QString& value);
    LidTapController* lidTap() const { return lidTap_.get(); }
    // Collections and optional values
    const QList<bool>& sequencerGrid() const { return sequencerGrid_; }
    void setSequencerGrid(const QList<bool>& value);
    const QStringList& padLabels() const { return padLabels_; }
    const QStringList& voicePresets() const { return voicePresets_; }
    QuelmoVoiceProfile voiceProfile() const { return voiceProfile_; }
    void setVoiceProfile(QuelmoVoiceProfile value);
    std::optional<TuningPulseTarget> tuningPulseTarget() const { return tuningPulseTarget_; }
    QVariant tuningPulseTargetForView() const;
    const QList<QuelmoImportedTrack>& importedTracks() const { return importedTracks_; }
    QVariantList importedTracksForView() const;
    QVariantList playingOverviewTracksForView() const;
    QVariant selectedOverviewTrackForView() const;
    QAbstractItemModel* importedTrackModel() { return &trackListModel_; }
    std::optional<QUuid> selectedImportId() const { return selectedImportId_; }
    void setSelectedImportId(std::optional<QUuid> value);
    QString selectedImportIdForView() const;
    void setSelectedImportIdFromView(const QString& value);
    const UuidSet& playingTrackIds() const { return playingTrackIds_; }
    QStringList playingTrackIdsForView() const;
    const UuidSet& pausedTrackIds() const { return pausedTrackIds_; }
    QStringList pausedTrackIdsForView() const;
    const UuidMap<double>& trackVolumes() const { return trackVolumes_; }
    QVariantMap trackVolumesForView() const;
    const UuidMap<double>& trackPositions() const { return trackPositions_; }
    QVariantMap trackPositionsForView() const;
    const UuidMap<double>& trackDurations() const { return trackDurations_; }
    QVariantMap trackDurationsForView() const;
    const UuidMap<QString>& trackErrors() const { return trackErrors_; }
    QVariantMap trackErrorsForView() const;
    // Players the tracks play on now, one per playing or paused track, and the players kept,
    // attached and silent, for the next tracks to play.
    std::size_t trackPlayerCount() const { return static_cast<std::size_t>(trackPlayers_.size()); }
    std::size_t idleTrackPlayerCount() const { return idleTrackPlayers_.size(); }
    const QList<double>& hotCues() const { return hotCues_; }
    void setHotCues(const QList<double>& value);
    const QStringList& mixTags() const { return mixTags_; }

    // Computes the loudness overview of the track's file (only its url is read) on a worker thread
    // and hands it, with the exact frame count and rate, to `done` on the main thread; absent when
    // the file is empty or cannot be read (logged). `done` is not called once this controller is
    // gone. Several analyses may run at once; they share nothing. Main thread.
    // Background analyses (restored library entries) yield to the ones a user just asked for.
    using WaveformDone = std::function<void(std::optional<WaveformAnalysis>)>;
    enum class AnalysisPriority { background, user };
    void analyzeWaveform(const QuelmoImportedTrack& track, WaveformDone done,
                         AnalysisPriority priority = AnalysisPriority::user);

    // Folders of the downloads library.
    const QUrl& downloadsDir() const { return downloadsDir_; }
    const QUrl& downloadsManifestURL() const { return downloadsManifestURL_; }

    // The graph's one sample format, and whether the graph has been built.
    const engine::AudioFormat& standardFormat() const { return standardFormat_; }
    bool isGraphBuilt() const { return !padPlayers_.empty(); }

    // The audio graph, for diagnostics and tests. Parameters are set through the properties above.
    engine::AudioEngine& audioEngine() { return *engine_; }
    const std::vector<std::shared_ptr<engine::PlayerNode>>& padPlayers() const { return padPlayers_; }
    const std::vector<std::shared_ptr<const engine::AudioBuffer>>& padBuffers() const { return padBuffers_; }
    const std::shared_ptr<const engine::AudioBuffer>& tickBuffer() const { return tickBuffer_; }
    const std::shared_ptr<engine::MixerNode>& mainMixerNode() const { return mainMixer_; }
    const std::shared_ptr<engine::MixerNode>& padsMixerNode() const { return padsMixer_; }
    const std::shared_ptr<engine::MixerNode>& importMixerNode() const { return importMixer_; }
    const std::shared_ptr<engine::MixerNode>& importInputMixerNode() const { return importInputMixer_; }
    const std::shared_ptr<engine::MixerNode>& preEffectsMixerNode() const { return preEffectsMixer_; }
    const std::shared_ptr<engine::MixerNode>& effectsMixerNode() const { return effectsMixer_; }
    const std::shared_ptr<engine::MixerNode>& voiceBusMixerNode() const { return voiceBusMixer_; }
    const std::shared_ptr<engine::PlayerNode>& beatPlayerNode() const { return beatPlayer_; }
    const std::shared_ptr<engine::PlayerNode>& importPlayerNode() const { return importPlayer_; }
    std::shared_ptr<engine::PlayerNode> trackPlayerNode(const QUuid& id) const { return trackPlayers_.value(id); }
    const std::shared_ptr<engine::PlayerNode>& testTonePlayerNode() const { return testTonePlayer_; }
    const std::shared_ptr<engine::PlayerNode>& voiceDropPlayerNode() const { return voiceDropPlayer_; }
    const std::shared_ptr<engine::TimePitchUnit>& importTimePitchNode() const { return importTimePitch_; }
    const std::shared_ptr<engine::TimePitchUnit>& voiceTimePitchNode() const { return voiceTimePitch_; }
    const std::shared_ptr<engine::EQUnit>& filterNode() const { return filter_; }
    const std::shared_ptr<engine::DelayUnit>& delayNode() const { return delay_; }
    const std::shared_ptr<engine::ReverbUnit>& reverbNode() const { return reverb_; }
    const std::shared_ptr<engine::DistortionUnit>& distortionNode() const { return distortion_; }
    const std::shared_ptr<engine::EQUnit>& masterToneEQNode() const { return masterToneEQ_; }
    const std::shared_ptr<engine::EQUnit>& voiceToneEQNode() const { return voiceToneEQ_; }
    const std::shared_ptr<engine::DistortionUnit>& voiceDistortionNode() const { return voiceDistortion_; }

signals:
    void isPlayingChanged();
    void bpmChanged();
    void playheadChanged();
    void deckBBlendChanged();
    void sequencerRunningChanged();
    void sequencerStepChanged();
    void stereoPadsChanged();
    void stereoImportChanged();
    void masterVolumeChanged();
    void padsBusLevelChanged();
    void postFXGainChanged();
    void reverbMixChanged();
    void delayMixChanged();
    void delayTimeChanged();
    void delayFeedbackChanged();
    void filterCutoffChanged();
    void distortionMixChanged();
    void pitchShiftChanged();
    void masterToneLiftDBChanged();
    void lowShelfGainChanged();
    void midPresenceDBChanged();
    void highShelfGainChanged();
    void meterPadsChanged();
    void meterImportChanged();
    void meterMasterChanged();
    void meterVoiceChanged();
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
    void keyboardShortcutsEnabledChanged();
    void keysHeardFromOtherApplicationsChanged();
    void youtubeFocusTickChanged();
    void keyboardTrainerRequestedChanged();
    void tuningPulseDirectionChanged();
    void tuningPulseGenerationChanged();
    void waveformKeyboardFXOnChanged();
    void waveformKeyboardFXTitleChanged();
    void waveformKeyboardFXSubtitleChanged();
    void waveformKeyboardFXMeterChanged();
    void importVolumeChanged();
    void importRateChanged();
    void importPlayingChanged();
    void currentTrackPositionChanged();
    void currentTrackDurationChanged();
    void youtubeURLChanged();
    void isDownloadingChanged();
    void downloadProgressChanged();
    void downloadStatusChanged();
    void showYTDLPInstallAlertChanged();
    void isInstallingYTDLPChanged();
    void ytdlpInstalledChanged();
    void isCapturingSystemAudioChanged();
    void systemAudioVolumeChanged();
    void showBlackHoleInstallAlertChanged();
    void blackHoleInstallStatusChanged();
    void sequencerGridChanged();
    void voiceProfileChanged();
    void tuningPulseTargetChanged();
    void importedTracksChanged();
    void overviewTracksChanged();
    void selectedImportIdChanged();
    void playingTrackIdsChanged();
    void pausedTrackIdsChanged();
    void trackVolumesChanged();
    void trackPositionsChanged();
    void trackDurationsChanged();
    void trackErrorsChanged();
    void hotCuesChanged();
    void mixTagsChanged();
    // pickImportFiles() asks the view to open its file dialog.
    void importFilesRequested();
    // After every applyMixLevels that reached the nodes.
    void mixLevelsApplied();

private:
    // Sets field and notifies when the value differs. Returns whether it changed.
    template <typename T, typename Signal>
    bool assign(T& field, const T& value, Signal signal) {
        if (field == value) {
            return false;
        }
        field = value;
        emit(this->*signal)();
        return true;
    }

    void setupEffects();
    void setupVoiceBusEffects();
    void setupAudio();
    void installMeterTapsIfNeeded();
    void startMeterDecayTimerIfNeeded();
    void removeMeterTaps();
    MixLevels currentMixLevels() const;
    // Downloads library and YouTube download
    void loadSavedDownloads();
    // Keyboard control
    void flashShortcutAck(const QString& title, const QString& subtitle, double meter, const QString& keyCaption);
    void flashTransportOverlayAfterToggle(const QString& keyCaption);
    void registerFineAdjustArm(const QString& key, keys::Modifiers modifiers, const keys::KeyEvent& event);
    bool handleArrowFineAdjust(const keys::KeyEvent& event, keys::Modifiers modifiers);
    void signalTuningPulse(TuningPulseTarget target, int direction, const QString& keyCaption);
    void scanDownloadsDirectory();
    void saveDownloadsManifest();
    // Appends an entry for a file of the library at once, without notifying (callers adding many
    // notify once); its overview follows from a background analysis. Returns the new entry's id.
    QUuid appendLibraryEntry(const QString& path, const QString& name = {},
                             AnalysisPriority priority = AnalysisPriority::background);
    void setWaveformData(const QUuid& id, std::optional<WaveformAnalysis> result);
    void performYouTubeDownload(const QString& address);
    // System audio
    void checkAndStartCapture();
    void setupSystemAudioCaptureSync(const QString& monitorSource, bool isDefaultOutput);
    void abandonRouting();
    void finishDownload(int exitStatus, const QString& errorText);
    void endDownload();
    // Transport
    void stopTransport();
    void startBeatClock();
    void stopBeatClock();
    void fireBeatTick();
    void bookClick(std::int64_t event);
    void startTransportLink();
    void stopTransportLink();
    void tickTransport();
    void restartBeatClockIfPlaying();
    // Sequencer
    void stopSequencer();
    void startSequencerTimer();
    void stopSequencerTimer();
    void fireSequencerStep();
    void restartSequencerTimerIfRunning();
    void bookColumn(int col, std::int64_t sample);
    void bookPadHit(int row, std::int64_t sample);
    void cancelBookedPadHits(int row);
    // Keeps the audio timeline running while a clock books sounds on it.
    void updateKeepAwake();
    // A grid of the given interval whose event 0 is now: on the first sample a booking can make.
    transport::BeatGrid gridFromNow(double intervalSeconds) const;
    // Tracks and import player
    void watchMixTags();
    void updateOverviewTracks();
    void updateMixTags();
    void setPlayingTrackIds(const UuidSet& value);
    void setPausedTrackIds(const UuidSet& value);
    void setTrackValue(UuidMap<double>& table, const QUuid& id, double value, void (QuelmoViewModel::*signal)());
    void setTrackError(const QUuid& id, const QString& error);
    // The track's player, or one for it: an idle one, or a new one joined to the rack. Null, with the
    // row told why, when the rack's mixer takes no more inputs.
    std::shared_ptr<engine::PlayerNode> trackPlayerFor(const QuelmoImportedTrack& track);
    // The track no longer plays: its player stops and waits for the next track, its file closes.
    void releaseTrackPlayer(const QUuid& id);
    // The row is gone: nothing of the track is kept.
    void forgetTrack(const QUuid& id);
    void appendFinishedImports();
    enum class TrackState { stopped, playing, paused };
    void setTrackState(const QUuid& id, TrackState state);
    void queueTrackPasses(const QUuid& id, std::uint64_t run, std::int64_t startFrame, bool ahead);
    struct TrackSeek {
        std::uint64_t run = 0;
        std::int64_t frame = 0;
    };
    void prepareTrackSeek(const QUuid& id, TrackSeek seek);
    void scheduleTrackStreams(const QUuid& id, std::uint64_t run, tracks::Streams& streams);
    void startDisplayLink();
    void stopDisplayLink();
    void updateTrackPositions();
    void prepareImportPlayback(std::shared_ptr<engine::AudioFile> file);
    void queueImportPasses(std::uint64_t run, std::int64_t startFrame, bool ahead,
                           const std::function<void()>& queued = {});
    void scheduleImportStreams(std::uint64_t run, tracks::Streams& streams);

    std::shared_ptr<MediaClock> clock_;
    std::shared_ptr<DelayScheduler> scheduler_;
    QuelmoOverlayPresenter* overlay_;
    KeyboardVisualizerManager* visualizer_;

    // Observable state, in the order of the state list.
    // Transport
    bool isPlaying_ = false;
    double bpm_ = 110.0;
    double playhead_ = 0.0;
    double deckBBlend_ = 0.65;
    // Sequencer
    bool sequencerRunning_ = false;
    int sequencerStep_ = 0;
    // Mix
    double stereoPads_ = 0.5;
    double stereoImport_ = 0.5;
    double masterVolume_ = 0.9;
    double padsBusLevel_ = 1.0;
    double postFXGain_ = 1.0;
    double reverbMix_ = 0.0;
    double delayMix_ = 0.0;
    double delayTime_ = 0.3;
    double delayFeedback_ = 0.4;
    double filterCutoff_ = 1.0;
    double distortionMix_ = 0.0;
    double pitchShift_ = 0.0;
    double masterToneLiftDB_ = 0.0;
    double lowShelfGain_ = 0.0;
    double midPresenceDB_ = 0.0;
    double highShelfGain_ = 0.0;
    // Meters
    double meterPads_ = 0.0;
    double meterImport_ = 0.0;
    double meterMaster_ = 0.0;
    double meterVoice_ = 0.0;
    // Voice
    QString voicePhrase_ = QStringLiteral(u"Back to work — let's go.");
    bool voiceRouteThroughDesk_ = true;
    double voiceBusLevel_ = 1.05;
    double voiceWarmDB_ = 2.5;
    double voiceHornDB_ = 2.0;
    double voiceDryAirDB_ = -1.0;
    double voiceBoldDrive_ = 0.28;
    double voiceMorphPitchCents_ = 0.0;
    double voiceMorphRate_ = 1.0;
    QString voiceSayVoiceTag_ = QStringLiteral("auto");
    QString voiceDropStatus_;
    bool voiceDropRendering_ = false;
    // Keyboard
    bool keyboardShortcutsEnabled_ = true;
    qint64 youtubeFocusTick_ = 0;
    bool keyboardTrainerRequested_ = false;
    int tuningPulseDirection_ = 0;
    quint64 tuningPulseGeneration_ = 0;
    bool waveformKeyboardFXOn_ = false;
    QString waveformKeyboardFXTitle_;
    QString waveformKeyboardFXSubtitle_;
    double waveformKeyboardFXMeter_ = 0.5;
    // Import
    double importVolume_ = 0.85;
    double importRate_ = 1.0;
    bool importPlaying_ = false;
    // Tracks
    double currentTrackPosition_ = 0.0;
    double currentTrackDuration_ = 0.0;
    // Downloads
    QString youtubeURL_;
    bool isDownloading_ = false;
    double downloadProgress_ = 0.0;
    QString downloadStatus_;
    bool showYTDLPInstallAlert_ = false;
    bool isInstallingYTDLP_ = false;
    // Capture
    bool isCapturingSystemAudio_ = false;
    double systemAudioVolume_ = 0.8;
    bool showBlackHoleInstallAlert_ = false;
    QString blackHoleInstallStatus_;
    QList<bool> sequencerGrid_ = QList<bool>(padCount * sequencerSteps, false);
    const QStringList padLabels_;
    const QStringList voicePresets_;
    QuelmoVoiceProfile voiceProfile_ = QuelmoVoiceProfile::commandPost;
    std::optional<TuningPulseTarget> tuningPulseTarget_;
    QList<QuelmoImportedTrack> importedTracks_;
    tracks::ImportedTrackListModel trackListModel_;
    std::optional<QUuid> selectedImportId_;
    UuidSet playingTrackIds_;
    UuidSet pausedTrackIds_;
    UuidMap<double> trackVolumes_;
    UuidMap<double> trackPositions_;
    UuidMap<double> trackDurations_;
    UuidMap<QString> trackErrors_;
    QList<double> hotCues_;
    QStringList mixTags_;
    QList<QuelmoImportedTrack> playingOverviewTracks_;
    std::optional<QuelmoImportedTrack> selectedOverviewTrack_;

    // Transport, metronome and sequencer
    std::shared_ptr<engine::PlayerNode> beatPlayer_;
    std::shared_ptr<const engine::AudioBuffer> tickBuffer_;
    // The clocks fire on the main thread at each event of their grid and book the sound of the next
    // event one interval ahead on the audio timeline, so every click and step lands on its sample.
    std::unique_ptr<PulseClock> beatTimer_;
    std::int64_t beatEvent_ = 0; // the beat the metronome is on; 0 is the start
    std::unique_ptr<PulseClock> transportTimer_;
    double transportStart_ = 0.0; // media-clock seconds
    double playheadAtStart_ = 0.0;
    std::unique_ptr<PulseClock> seqTimer_;

    // Pads
    std::vector<std::shared_ptr<engine::PlayerNode>> padPlayers_; // empty until the graph is built
    std::vector<std::shared_ptr<const engine::AudioBuffer>> padBuffers_;

    // Mix
    std::unique_ptr<QTimer> mixThrottleTask_;
    std::shared_ptr<const engine::AudioBuffer> testToneBuffer_;

    // Meters
    bool meterTapsInstalled_ = false;
    std::unique_ptr<QTimer> meterDecayTimer_;
    std::shared_ptr<MeterPeakCapture> meterPeaks_ = std::make_shared<MeterPeakCapture>();

    // Voice chain
    std::shared_ptr<engine::PlayerNode> voiceDropPlayer_;
    std::shared_ptr<engine::TimePitchUnit> voiceTimePitch_;
    std::shared_ptr<engine::EQUnit> voiceToneEQ_;
    std::shared_ptr<engine::DistortionUnit> voiceDistortion_;
    std::shared_ptr<engine::MixerNode> voiceBusMixer_;
    std::unique_ptr<voice::VoiceDrops> voiceDrops_;

    // Keyboard control
    std::unique_ptr<DelayScheduler::Task> waveformKeyboardFXDismiss_;
    std::shared_ptr<KeyMonitor> keyMonitor_;
    std::shared_ptr<KeyMonitor> localKeyMonitor_;
    QSet<QString> outsideWindows_;
    std::optional<QString> fineAdjustArmKey_;
    std::optional<double> fineAdjustExpiry_; // media-clock seconds

    // Import and track players
    std::shared_ptr<engine::PlayerNode> importPlayer_;
    std::shared_ptr<engine::TimePitchUnit> importTimePitch_;
    std::shared_ptr<engine::AudioFile> importFile_;
    UuidMap<std::shared_ptr<engine::PlayerNode>> trackPlayers_;
    std::vector<std::shared_ptr<engine::PlayerNode>> idleTrackPlayers_;
    UuidMap<std::shared_ptr<engine::AudioFile>> trackFiles_;
    UuidMap<double> trackStartTimes_; // media-clock seconds
    UuidMap<double> trackSeekPositions_;
    std::shared_ptr<engine::MixerNode> preEffectsMixer_; // made by setupAudio
    std::unique_ptr<QTimer> positionUpdateTimer_;
    // The exact length each entry's analysis counted, so playing never counts it again.
    struct CountedLength {
        std::int64_t frames = 0;
        int sampleRate = 0;
    };
    UuidMap<CountedLength> countedLengths_;
    // Picked files whose analysis is under way or done but not yet appended, in pick order.
    struct PendingImport {
        QuelmoImportedTrack track;
        bool analysed = false;
        bool selectLastWhenDone = false; // the last file of its pick
    };
    std::vector<std::shared_ptr<PendingImport>> pendingImports_;
    // Each start, seek and stop of a track begins a new run; work from older runs is dropped.
    UuidMap<std::uint64_t> trackRuns_;
    // Seeks being prepared on a worker, and the latest place asked for meanwhile.
    UuidSet trackSeeksUnderWay_;
    UuidMap<TrackSeek> latestTrackSeeks_;
    std::uint64_t nextRun_ = 1;
    std::uint64_t importRun_ = 0;

    // Downloads and system-audio capture
    QUrl downloadsDir_;
    QUrl downloadsManifestURL_;
    std::function<QDateTime()> wallClock_;
    // When each entry of the library was first listed; the manifest carries it from run to run.
    UuidMap<QDateTime> libraryDates_;
    // A rejected manifest that could not be set aside is not written over.
    bool manifestHeld_ = false;
    std::unique_ptr<downloads::YoutubeDownload> download_;
    std::unique_ptr<YtdlpInstaller> installer_;
    bool ytdlpInstalled_ = false;
    // Captured sound enters the import chain straight from the engine's input node, which holds
    // the delay between the capture sink and the output steady.
    std::shared_ptr<engine::InputNode> inputNode_;
    std::unique_ptr<capture::CaptureSink> captureSink_;
    bool outputPinnedForCapture_ = false;
    std::unique_ptr<QTimer> captureFlowWatch_; // until the capture's first sound arrives

    // Chassis slap
    std::unique_ptr<LidTapController> lidTap_;
    // The main output's recent block levels, recorded by its tap, so the lid-tap detector can tell
    // the deck's own sound in the microphone from a tap.
    std::shared_ptr<slap::OutputLevelHistory> deckOutputLevels_;

    // Audio graph
    std::unique_ptr<engine::AudioEngine> engine_;
    std::vector<std::future<void>> timePitchWarmUps_; // joined before the graph is built
    std::shared_ptr<engine::MixerNode> mainMixer_;
    std::shared_ptr<engine::MixerNode> padsMixer_;
    std::shared_ptr<engine::MixerNode> importMixer_;
    // The head of the import chain: the import player (or captured system audio in its place) and
    // every track row's player, into rate and pitch, the import bus and the rack.
    std::shared_ptr<engine::MixerNode> importInputMixer_ = std::make_shared<engine::MixerNode>();
    // The SPEED the track rows play at now (applied with the mix levels): their readouts run at it.
    double appliedTrackRate_ = 1.0;
    // Where a playing track's sound is now, in seconds of the file (before wrapping at its end).
    double trackPlayheadNow(const QUuid& id) const;
    // Sets each track player's volume: its row's level times the import level.
    void applyTrackVolumes(double importLevel);
    std::shared_ptr<engine::MixerNode> effectsMixer_;
    std::shared_ptr<engine::ReverbUnit> reverb_;
    std::shared_ptr<engine::DelayUnit> delay_;
    std::shared_ptr<engine::EQUnit> filter_;
    std::shared_ptr<engine::DistortionUnit> distortion_;
    std::shared_ptr<engine::EQUnit> masterToneEQ_;
    std::shared_ptr<engine::PlayerNode> testTonePlayer_;
    engine::AudioFormat standardFormat_;
    std::unique_ptr<QTimer> engineEventTimer_; // delivers player completions on the main thread
    std::uint64_t reportedUnderflows_ = 0;
    // After the engine: it completes a recording's file through the engine when it goes.
    std::unique_ptr<RecordingController> recording_;

    // Sound server: "" while the output plays, "Sound server lost — reconnecting…" while the engine
    // keeps its timeline and connects again (QuelmoViewModelSoundServer.cpp).
    Q_PROPERTY(QString soundServerStatus READ soundServerStatus NOTIFY soundServerStatusChanged)
public:
    QString soundServerStatus() const { return soundServerStatus_; }
Q_SIGNALS:
    void soundServerStatusChanged();
private:
    void watchSoundServer();          // before the engine starts
    void soundServerConnectionChanged(); // main thread, after the engine's device says so
    QString soundServerStatus_;
    std::unique_ptr<MidiController> midi_;
};

} // namespace quelmo
