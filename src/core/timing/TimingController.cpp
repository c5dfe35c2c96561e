#include "timing/TimingController.h"

#include "deck/PadBank.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "shared/Log.h"
#include "timing/PulseClock.h"
#include "util/AssignProperty.h"
#include "util/DelayScheduler.h"
#include "util/MediaClock.h"

#include <algorithm>
#include <cmath>

namespace quelmo {
namespace {
// The metronome's booked clicks, cancelled together when the beat clock restarts or stops.
constexpr engine::PlayerNode::Group metronomeClicks = 1;
// The sequencer's booked pad hits, told apart from hits played by hand on the same pads.
constexpr engine::PlayerNode::Group sequencerHits = 2;
constexpr int padCount = PadBank::padCount;
// Sequencer columns are booked at least this far past the engine's scheduling horizon (and at least
// the next one): a main thread held up for less than this loses no hit. Cell edits reach every
// column already booked.
constexpr double sequencerLookaheadSeconds = 0.25;
constexpr double transportTickSeconds = 1.0 / 30.0;
constexpr int maxCues = 8;
// A press this close to a cue (as a playhead fraction) jumps to it; a removal takes cues this close.
constexpr double cueCatch = 0.028;
constexpr double cueRemoveCatch = 0.035;

bool inGrid(int row, int col) {
    return row >= 0 && row < padCount && col >= 0 && col < TimingController::sequencerSteps;
}
} // namespace

TimingController::TimingController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies))
    , sequencerGrid_(padCount * sequencerSteps, false) {
    const auto& d = dependencies_;
    transportStart_ = d.clock->now();
    beatTimer_ = std::make_unique<PulseClock>(d.scheduler, d.clock, d.engine);
    transportTimer_ = std::make_unique<PulseClock>(d.scheduler, d.clock);
    seqTimer_ = std::make_unique<PulseClock>(d.scheduler, d.clock, d.engine);
}

TimingController::~TimingController() = default;

// ---- Transport and metronome -------------------------------------------------------------------

void TimingController::setIsPlaying(bool value) {
    assignProperty(this, isPlaying_, value, &TimingController::isPlayingChanged);
}

void TimingController::setBpm(double value) {
    assignProperty(this, bpm_, transport::effectiveBpm(value), &TimingController::bpmChanged);
    restartBeatClockIfPlaying();
    restartSequencerTimerIfRunning();
}

void TimingController::setPlayhead(double value) {
    assignProperty(this, playhead_, value, &TimingController::playheadChanged);
}

void TimingController::setDeckBBlend(double value) {
    if (assignProperty(this, deckBBlend_, value, &TimingController::deckBBlendChanged)) {
        // Clicks are booked a beat ahead: each sounds at the level set when it sounds.
        dependencies_.beatPlayer->setVolume(static_cast<float>(deckBBlend_));
    }
}

void TimingController::togglePlay() {
    dependencies_.prepareAudio();
    setIsPlaying(!isPlaying_);
    if (isPlaying_) {
        playheadAtStart_ = playhead_; // resume where it stopped
        transportStart_ = dependencies_.clock->now();
        startBeatClock();
        fireBeatTick(); // the first click on the press, not one beat later
        startTransportLink();
        keepSequencerOnTheBar();
    } else {
        stopBeatClock();
        stopTransportLink();
        emit beatGridChanged();
    }
    updateKeepAwake();
}

void TimingController::stopTransport() {
    setIsPlaying(false);
    stopBeatClock();
    stopTransportLink();
    updateKeepAwake();
    emit beatGridChanged();
}

std::optional<transport::BeatGrid> TimingController::beatGrid() const {
    if (!isPlaying_) {
        return std::nullopt;
    }
    return beatTimer_->grid();
}

void TimingController::startBeatClock() {
    stopBeatClock();
    beatEvent_ = 0;
    // Beat 1 is booked now, a whole beat ahead; each beat then books the one after it.
    runBeatClock(gridFromNow(transport::beatSeconds(bpm_)), 1);
    emit beatGridChanged();
}

void TimingController::runBeatClock(const transport::BeatGrid& grid, std::int64_t first) {
    beatTimer_->start(grid, first, [this](std::int64_t event) {
        beatEvent_ = event;
        fireBeatTick();
        bookClick(event + 1);
    });
    bookClick(first);
}

void TimingController::stopBeatClock() {
    beatTimer_->stop();
    // A click already sounding plays out; the booked ones never sound.
    dependencies_.beatPlayer->cancelPending(metronomeClicks);
}

void TimingController::fireBeatTick() {
    if (!dependencies_.pads->tick) {
        return;
    }
    auto& player = *dependencies_.beatPlayer;
    player.setVolume(static_cast<float>(deckBBlend_));
    if (!player.isPlaying()) {
        player.play();
    }
    if (beatEvent_ == 0) {
        bookClick(0); // every later beat was booked one beat ahead
    }
}

void TimingController::bookClick(std::int64_t event) {
    const auto& engine = *dependencies_.engine;
    if (!dependencies_.pads->tick || !engine.isRunning()) {
        return; // nothing would ever play it
    }
    const std::int64_t at = beatTimer_->grid().sampleOf(event);
    if (at < engine.sampleTime()) {
        // Its moment has been rendered already: better a missing click than a late one.
        logLine(QStringLiteral("Quelmo: a metronome click was booked %1 ms after its moment had been played and is "
                               "dropped")
                    .arg(static_cast<double>(engine.sampleTime() - at) * 1000.0 / engine::AudioEngine::sampleRate, 0, 'f', 1));
        return;
    }
    dependencies_.beatPlayer->scheduleBuffer(dependencies_.pads->tick, at, {}, metronomeClicks);
}

void TimingController::startTransportLink() {
    stopTransportLink();
    transport::BeatGrid ticks;
    ticks.anchorSeconds = dependencies_.clock->now();
    ticks.intervalSeconds = transportTickSeconds;
    transportTimer_->start(ticks, 1, [this](std::int64_t) { tickTransport(); });
}

void TimingController::stopTransportLink() { transportTimer_->stop(); }

void TimingController::tickTransport() {
    if (!isPlaying_) {
        return;
    }
    setPlayhead(transport::playheadAt(playheadAtStart_, dependencies_.clock->now() - transportStart_, bpm_));
    dependencies_.transportTicked(transportTickSeconds);
}

void TimingController::restartBeatClockIfPlaying() {
    if (!isPlaying_) {
        return;
    }
    if (dependencies_.keepBeatPhase && dependencies_.keepBeatPhase()) {
        continueBeatClock();
        return;
    }
    startBeatClock(); // the next click one new beat from now; none at once
}

void TimingController::continueBeatClock() {
    const transport::BeatGrid old = beatTimer_->grid();
    const std::int64_t horizon = dependencies_.engine->schedulingHorizon();
    const double now = dependencies_.clock->now();
    // Beats since the old anchor, counted on: the new grid is anchored where that count would
    // have begun at the new tempo, so beat k of both falls where the beat under way ends.
    const double beats = static_cast<double>(horizon - old.anchorSample) / (old.intervalSeconds * old.sampleRate);
    transport::BeatGrid grid = old;
    grid.intervalSeconds = transport::beatSeconds(bpm_);
    grid.anchorSample = horizon - static_cast<std::int64_t>(std::llround(beats * grid.intervalSeconds * grid.sampleRate));
    grid.anchorSeconds = now - beats * grid.intervalSeconds;
    auto next = static_cast<std::int64_t>(std::ceil(beats));
    if (grid.sampleOf(next) < horizon) {
        ++next;
    }
    stopBeatClock();
    beatEvent_ = std::max<std::int64_t>(1, next - 1);
    runBeatClock(grid, next);
    // The playhead runs on from where it is, at the new tempo.
    playheadAtStart_ = transport::playheadAt(playheadAtStart_, now - transportStart_, 60.0 / old.intervalSeconds);
    transportStart_ = now;
}

transport::BeatGrid TimingController::gridFromNow(double intervalSeconds) const {
    transport::BeatGrid grid;
    grid.anchorSample = dependencies_.engine->schedulingHorizon();
    grid.anchorSeconds = dependencies_.clock->now();
    grid.intervalSeconds = intervalSeconds;
    return grid;
}

void TimingController::updateKeepAwake() { dependencies_.engine->setKeepAwake(isPlaying_ || sequencerRunning_); }

// ---- Sequencer ---------------------------------------------------------------------------------

void TimingController::setSequencerRunning(bool value) {
    assignProperty(this, sequencerRunning_, value, &TimingController::sequencerRunningChanged);
}

void TimingController::setSequencerStep(int value) {
    assignProperty(this, sequencerStep_, value, &TimingController::sequencerStepChanged);
}

void TimingController::setSequencerGrid(const QList<bool>& value) {
    if (value.size() != padCount * sequencerSteps) {
        return; // every reader counts on 8 rows of 16
    }
    assignProperty(this, sequencerGrid_, value, &TimingController::sequencerGridChanged);
}

bool TimingController::sequencerCell(int row, int col) const {
    return inGrid(row, col) && sequencerGrid_[row * sequencerSteps + col];
}

void TimingController::toggleSequencerCell(int row, int col) {
    if (!inGrid(row, col)) {
        return;
    }
    QList<bool> grid = sequencerGrid_;
    const bool lit = !grid[row * sequencerSteps + col];
    grid[row * sequencerSteps + col] = lit;
    setSequencerGrid(grid);
    // The columns due next are booked already: bring the bookings of this one in line with the cell.
    if (!seqTimer_->isRunning()) {
        return;
    }
    const auto& players = dependencies_.pads->players;
    for (std::int64_t event = seqTimer_->nextEvent(); event <= bookedThrough_; ++event) {
        if (columnOf(event) != col) {
            continue;
        }
        const std::int64_t sample = seqTimer_->grid().sampleOf(event);
        if (lit) {
            bookPadHit(row, sample);
        } else if (static_cast<std::size_t>(row) < players.size()) {
            // Only this step's hit: an earlier one still waiting behind a long pad keeps its place.
            players[static_cast<std::size_t>(row)]->cancelPending(sequencerHits, sample);
        }
    }
}

void TimingController::clearSequencer() {
    setSequencerGrid(QList<bool>(padCount * sequencerSteps, false));
    for (int row = 0; row < padCount; ++row) {
        cancelBookedPadHits(row);
    }
}

void TimingController::toggleSequencer() {
    setSequencerRunning(!sequencerRunning_);
    if (sequencerRunning_) {
        dependencies_.prepareAudio(); // the step grid is laid on the running audio timeline
        setSequencerStep(0);
        startSequencerTimer(SequencerStart::fromColumnOne);
    } else {
        stopSequencerTimer(); // the step stays where it is; a new start begins at column 1
    }
    updateKeepAwake();
}

void TimingController::stopSequencer() {
    setSequencerRunning(false);
    stopSequencerTimer();
    updateKeepAwake();
}

std::optional<transport::BeatGrid> TimingController::barBeats() const {
    if (!isPlaying_ || !dependencies_.keepBeatPhase || !dependencies_.keepBeatPhase()) {
        return std::nullopt;
    }
    return beatTimer_->grid();
}

void TimingController::keepSequencerOnTheBar() {
    if (sequencerRunning_ && barBeats()) {
        startSequencerTimer(SequencerStart::carryingOn);
    }
}

void TimingController::startSequencerTimer(SequencerStart start) {
    stopSequencerTimer();
    if (const auto beats = barBeats()) {
        // Four steps to the metronome's beat from its own anchor, so every fourth is a click's
        // sample and sixteen make its bar: column c sounds on step c of a bar.
        transport::BeatGrid steps = *beats;
        steps.intervalSeconds = beats->intervalSeconds / transport::stepsPerBeat;
        const std::int64_t horizon = dependencies_.engine->schedulingHorizon();
        const std::int64_t first =
            steps.nextEventAt(horizon, start == SequencerStart::fromColumnOne ? sequencerSteps : 1);
        setSequencerStep(static_cast<int>(first % sequencerSteps));
        seqTimer_->start(steps, first, [this](std::int64_t) { fireSequencerStep(); });
        bookColumnsAhead();
        return;
    }
    const transport::BeatGrid grid = gridFromNow(transport::stepSeconds(bpm_));
    // The first step plays one step from now; it is booked at once, with those due soon after it.
    seqTimer_->start(grid, 1, [this](std::int64_t) { fireSequencerStep(); });
    bookColumnsAhead();
}

void TimingController::stopSequencerTimer() {
    seqTimer_->stop();
    bookedThrough_ = -1;
    for (int row = 0; row < padCount; ++row) {
        cancelBookedPadHits(row);
    }
}

void TimingController::fireSequencerStep() {
    // This step's column sounds now, on its sample: it was booked ahead. The step shown is the next.
    setSequencerStep((sequencerStep_ + 1) % sequencerSteps);
    bookColumnsAhead();
}

int TimingController::columnOf(std::int64_t event) const {
    // The step shown is the column of the clock's next event; later events follow it round the bar.
    const auto ahead = static_cast<int>((event - seqTimer_->nextEvent()) % sequencerSteps);
    return (sequencerStep_ + ahead + sequencerSteps) % sequencerSteps;
}

void TimingController::bookColumnsAhead() {
    const transport::BeatGrid& grid = seqTimer_->grid();
    const std::int64_t next = seqTimer_->nextEvent();
    const std::int64_t until = dependencies_.engine->schedulingHorizon() +
                               std::llround(sequencerLookaheadSeconds * engine::AudioEngine::sampleRate);
    bookedThrough_ = std::max(bookedThrough_, next - 1);
    // Never a whole bar ahead: each column has at most one booking waiting, which its cell reaches.
    while (bookedThrough_ + 1 < next + sequencerSteps &&
           (bookedThrough_ < next || grid.sampleOf(bookedThrough_ + 1) < until)) {
        ++bookedThrough_;
        bookColumn(columnOf(bookedThrough_), grid.sampleOf(bookedThrough_));
    }
}

void TimingController::restartSequencerTimerIfRunning() {
    if (sequencerRunning_) {
        // Same step, new interval from now; on the metronome's bar, the column under way there.
        startSequencerTimer(SequencerStart::carryingOn);
    }
}

void TimingController::bookColumn(int col, std::int64_t sample) {
    for (int row = 0; row < padCount; ++row) { // in row order, lowest first
        if (sequencerCell(row, col)) {
            bookPadHit(row, sample);
        }
    }
}

void TimingController::bookPadHit(int row, std::int64_t sample) {
    dependencies_.prepareAudio();
    const auto& engine = *dependencies_.engine;
    const auto& pads = *dependencies_.pads;
    const auto index = static_cast<std::size_t>(row);
    if (!engine.isRunning() || index >= pads.players.size() || index >= pads.buffers.size()) {
        return;
    }
    if (sample < engine.sampleTime()) {
        // Its moment has been rendered already: better a missing hit than a late one. Said in the
        // log, so a lost hit can be told from one never booked.
        logLine(QStringLiteral("Quelmo: a sequencer hit on pad %1 was booked %2 ms after its moment had been played "
                               "and is dropped")
                    .arg(row + 1)
                    .arg(static_cast<double>(engine.sampleTime() - sample) * 1000.0 / engine::AudioEngine::sampleRate, 0, 'f', 1));
        return;
    }
    auto& player = *pads.players[index];
    if (!player.isPlaying()) {
        player.play();
    }
    // Like a hit by hand, it waits for the pad's own sound to end rather than cut or layer it; a hit
    // that would sound more than a step late is dropped, so a pad stepped faster than it lasts
    // keeps a short queue instead of falling ever further behind.
    const auto step = static_cast<std::int64_t>(std::llround(seqTimer_->grid().intervalSeconds * engine::AudioEngine::sampleRate));
    player.scheduleBuffer(pads.buffers[index], sample, {}, sequencerHits, sample + step);
}

void TimingController::cancelBookedPadHits(int row) {
    const auto index = static_cast<std::size_t>(row);
    const auto& players = dependencies_.pads->players;
    if (index < players.size()) {
        players[index]->cancelPending(sequencerHits);
    }
}

// ---- Hot cues ----------------------------------------------------------------------------------

void TimingController::setHotCues(const QList<double>& value) {
    assignProperty(this, hotCues_, value, &TimingController::hotCuesChanged);
}

void TimingController::addOrJumpCue(double position) {
    const double p = std::clamp(position, 0.0, 1.0);
    for (const double cue : hotCues_) {
        if (std::abs(cue - p) < cueCatch) {
            jumpToCue(cue);
            return;
        }
    }
    if (hotCues_.size() < maxCues) {
        auto cues = hotCues_;
        cues.append(p);
        std::sort(cues.begin(), cues.end());
        setHotCues(cues);
    }
}

void TimingController::jumpToCue(double cue) {
    setPlayhead(std::clamp(cue, 0.0, 1.0));
    playheadAtStart_ = playhead_;
    transportStart_ = dependencies_.clock->now();
    dependencies_.cueJumped(cue);
}

void TimingController::removeCue(double position) {
    auto cues = hotCues_;
    cues.removeIf([position](double c) { return std::abs(c - position) < cueRemoveCatch; });
    setHotCues(cues);
}

void TimingController::clearCues() { setHotCues({}); }

void TimingController::shutdown() {
    stopSequencer();
    stopBeatClock();
    stopTransportLink();
}

} // namespace quelmo
