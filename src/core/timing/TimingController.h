#pragma once

#include "timing/TransportMath.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quelmo {

class DelayScheduler;
class MediaClock;
class PulseClock;
struct PadBank;

namespace engine {
class AudioEngine;
class PlayerNode;
} // namespace engine

// TIME as the views see it (deck.timing): the transport (PLAY, the tempo, the playhead, the
// metronome's level), the 16-step sequencer over the eight pads, and the hot cues. Clicks are booked
// on the engine's sample timeline one beat ahead, sequencer columns a quarter of a second (and at
// least one step) ahead, so each sounds on its exact sample though the main thread runs late.
//
// Main thread only. The three pulse clocks fire here; bookings go into the players' lock-free
// queues, which the render thread reads.
class TimingController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double bpm READ bpm WRITE setBpm NOTIFY bpmChanged)
    Q_PROPERTY(double playhead READ playhead WRITE setPlayhead NOTIFY playheadChanged)
    Q_PROPERTY(double deckBBlend READ deckBBlend WRITE setDeckBBlend NOTIFY deckBBlendChanged)
    Q_PROPERTY(bool sequencerRunning READ sequencerRunning WRITE setSequencerRunning NOTIFY sequencerRunningChanged)
    Q_PROPERTY(int sequencerStep READ sequencerStep WRITE setSequencerStep NOTIFY sequencerStepChanged)
    // Read-only to the views: cells change through toggleSequencerCell and clearSequencer.
    Q_PROPERTY(QList<bool> sequencerGrid READ sequencerGrid NOTIFY sequencerGridChanged)
    Q_PROPERTY(QList<double> hotCues READ hotCues WRITE setHotCues NOTIFY hotCuesChanged)

public:
    static constexpr int sequencerSteps = 16;

    struct Dependencies {
        engine::AudioEngine* engine = nullptr; // its sample timeline; kept awake while time runs
        std::shared_ptr<DelayScheduler> scheduler;
        std::shared_ptr<MediaClock> clock;
        std::shared_ptr<engine::PlayerNode> beatPlayer; // the metronome's player
        const PadBank* pads = nullptr;                  // the sequencer's players and sounds
        std::function<void()> prepareAudio;             // the engine runs before time starts
        // Every transport tick (1/30 s) while PLAY runs: the import player's readout follows.
        std::function<void(double tickSeconds)> transportTicked;
        // A cue was jumped to (a playhead fraction): the import and the selected row follow.
        std::function<void(double cue)> cueJumped;
        // While true (synced tracks play), a tempo change keeps the beat where it is: the next click
        // falls where the beat under way ends at the new tempo, and bars keep their count.
        std::function<bool()> keepBeatPhase;
    };

    explicit TimingController(Dependencies dependencies, QObject* parent = nullptr);
    ~TimingController() override;

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
    // Starts from column 1 (its hits one step after the start) or stops where it is. While synced
    // tracks play under the running transport, the sequencer keeps to the metronome's bar instead:
    // column 1 waits for the next bar's first click, and each column falls on its sixteenth of it.
    Q_INVOKABLE void toggleSequencer();
    // Synced tracks began to play: a running sequencer moves onto the metronome's bar (the column
    // under way there) when the transport runs. Nothing otherwise.
    void keepSequencerOnTheBar();
    // Hot cues: playhead fractions, sorted, at most 8. A position near a cue jumps to it.
    Q_INVOKABLE void addOrJumpCue(double position);
    Q_INVOKABLE void jumpToCue(double cue);
    Q_INVOKABLE void removeCue(double position);
    Q_INVOKABLE void clearCues();

    // The metronome's beats while the transport runs (bars begin on every fourth from 0); none
    // while it is stopped. beatGridChanged says when they jump: the transport starts or stops, or a
    // tempo change restarts them (not when it keeps their phase).
    std::optional<transport::BeatGrid> beatGrid() const;

    void stopTransport();
    void stopSequencer();
    // The deck's shutdown: every clock stops and nothing stays booked.
    void shutdown();

    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool value);
    double bpm() const { return bpm_; }
    double playhead() const { return playhead_; }
    void setPlayhead(double value);
    double deckBBlend() const { return deckBBlend_; }
    void setDeckBBlend(double value);
    bool sequencerRunning() const { return sequencerRunning_; }
    void setSequencerRunning(bool value);
    int sequencerStep() const { return sequencerStep_; }
    void setSequencerStep(int value);
    const QList<bool>& sequencerGrid() const { return sequencerGrid_; }
    // A grid of any other size than 8 x 16 is refused.
    void setSequencerGrid(const QList<bool>& value);
    const QList<double>& hotCues() const { return hotCues_; }
    void setHotCues(const QList<double>& value);

signals:
    void isPlayingChanged();
    void bpmChanged();
    void playheadChanged();
    void deckBBlendChanged();
    void sequencerRunningChanged();
    void sequencerStepChanged();
    void sequencerGridChanged();
    void hotCuesChanged();
    void beatGridChanged();

private:
    void startBeatClock();
    void continueBeatClock(); // the new tempo from the beat under way
    void runBeatClock(const transport::BeatGrid& grid, std::int64_t first);
    void stopBeatClock();
    void fireBeatTick();
    void bookClick(std::int64_t event);
    void startTransportLink();
    void stopTransportLink();
    void tickTransport();
    void restartBeatClockIfPlaying();
    enum class SequencerStart { fromColumnOne, carryingOn };
    void startSequencerTimer(SequencerStart start);
    // The metronome's beats while the sequencer keeps to them: the transport runs and synced
    // tracks play.
    std::optional<transport::BeatGrid> barBeats() const;
    void stopSequencerTimer();
    void fireSequencerStep();
    void restartSequencerTimerIfRunning();
    // Books every column due before a quarter of a second past the engine's scheduling horizon.
    void bookColumnsAhead();
    int columnOf(std::int64_t event) const;
    void bookColumn(int col, std::int64_t sample);
    void bookPadHit(int row, std::int64_t sample);
    void cancelBookedPadHits(int row);
    void updateKeepAwake();
    transport::BeatGrid gridFromNow(double intervalSeconds) const;

    Dependencies dependencies_;
    bool isPlaying_ = false;
    double bpm_ = 110.0;
    double playhead_ = 0.0;
    double deckBBlend_ = 0.65;
    bool sequencerRunning_ = false;
    int sequencerStep_ = 0;
    QList<bool> sequencerGrid_;
    QList<double> hotCues_;
    std::unique_ptr<PulseClock> beatTimer_;
    std::int64_t beatEvent_ = 0; // the beat the metronome is on; 0 is the start
    std::unique_ptr<PulseClock> transportTimer_;
    double transportStart_ = 0.0; // media-clock seconds
    double playheadAtStart_ = 0.0;
    std::unique_ptr<PulseClock> seqTimer_;
    std::int64_t bookedThrough_ = -1; // the last sequencer event booked
};

} // namespace quelmo
