// The synced rows: each plays whole bars of its track from its first beat, stretched to the deck's
// tempo, the first pass booked on a bar of the transport and every later one right behind it.

#include "tracks/TracksController.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "shared/Log.h"
#include "tracks/LoopPreparation.h"
#include "util/MediaClock.h"

#include <algorithm>

namespace quelmo {
using namespace tracks;

namespace {
// What a worker prepares for a synced row: the file, its loop and the passes from the bar asked for.
struct LockedStart {
    LoopStart loop;
    std::optional<SyncedLoop> bars;
    std::int64_t fromBeat = 0;
};

std::optional<SyncedLoop> loopOf(const engine::AudioFile& file, const BeatGrid& grid) {
    return syncedLoop(grid, file.processingFormat().sampleRate, file.length());
}
} // namespace

void TracksController::playLocked(const QUuid& id, double position) {
    const auto entry = std::find_if(importedTracks_.cbegin(), importedTracks_.cend(),
                                    [&](const QuelmoImportedTrack& t) { return t.id == id; });
    if (entry == importedTracks_.cend()) {
        return;
    }
    if (!sync_.stretcherOf(id)) {
        // The row played unsynced until now: it takes a player with a stretcher of its own.
        releaseTrackPlayer(id);
        if (!trackPlayerFor(*entry)) {
            return;
        }
    }
    const auto grid = analysis_.grid(id);
    const auto warming = sync_.stretcherOf(id);
    if (!grid || !warming) {
        return;
    }
    const std::uint64_t run = nextRun_++;
    trackRuns_.insert(id, run);
    const auto counted = countedLengths_.value(id);
    const std::optional<std::int64_t> frames =
        counted.sampleRate > 0 ? std::optional<std::int64_t>(counted.frames) : std::nullopt;
    const std::string path = localPath(entry->url);
    offMainThread(
        this,
        [file = trackFiles_.value(id), path, frames, grid = *grid, position, warming] {
            LockedStart out;
            if (!warming->isWarm()) {
                warming->warmUp(); // it passes its input through meanwhile; nothing is queued yet
            }
            const auto opened = openForLoop(file, path, frames, out.loop);
            if (!opened) {
                return out;
            }
            out.bars = loopOf(*opened, grid);
            if (!out.bars) {
                out.loop.error = "the track holds no whole beat to loop";
                return out;
            }
            const SyncedLoop& bars = *out.bars;
            out.fromBeat = bars.barBeatAt(position, opened->processingFormat().sampleRate);
            const std::int64_t from = bars.frameOfBeat(out.fromBeat);
            const std::int64_t end = bars.frameOfBeat(bars.beats);
            if (addSegment(*opened, from, end - from, out.loop)) {
                addSegment(*opened, bars.frameOfBeat(0), end - bars.frameOfBeat(0), out.loop);
            }
            return out;
        },
        [this, id, run, path](LockedStart start) {
            if (trackRuns_.value(id) != run) {
                return;
            }
            if (start.loop.file) {
                trackFiles_.insert(id, start.loop.file);
                const auto& file = *start.loop.file;
                setTrackValue(trackDurations_, id, static_cast<double>(file.length()) / file.processingFormat().sampleRate,
                              &TracksController::trackDurationsChanged);
            }
            const auto player = trackPlayers_.value(id);
            const auto stretcher = sync_.stretcherOf(id);
            const auto file = trackFiles_.value(id);
            if (start.loop.streams.size() < 2 || !player || !stretcher || !file) {
                logLine("Failed to load track: " + path + ": " + start.loop.error);
                setTrackError(id, QStringLiteral("Cannot play: ") + QString::fromStdString(start.loop.error));
                releaseTrackPlayer(id);
                setTrackState(id, TrackState::stopped);
                return;
            }
            setTrackError(id, QString());
            player->setVolume(trackPlayerVolume(id, dependencies_.importLevel()));
            player->stop();
            player->reset();
            stretcher->setRate(static_cast<float>(sync_.rate(id)));
            stretcher->rest();
            // On the transport's next bar; at once while it is stopped.
            const std::optional<std::int64_t> at = sync_.startSample();
            stretcher->startAt(at.value_or(-1));
            player->play();
            // Both passes booked on the bar: items due together play in the order given, while an
            // untimed one would be due at once and play before the first, unheard by the resting
            // stretcher, which would then start in the middle of it.
            for (auto& stream : start.loop.streams) {
                player->scheduleSource(std::move(*stream), at, [this, id, run](engine::PlaybackEnd end) {
                    if (end == engine::PlaybackEnd::playedToEnd) {
                        queueLockedPass(id, run);
                    }
                });
            }
            const double from = static_cast<double>(start.bars->frameOfBeat(start.fromBeat)) / file->processingFormat().sampleRate;
            const auto& engine = *dependencies_.engine;
            const double wait = at ? static_cast<double>(*at - engine.sampleTime()) / engine::AudioEngine::sampleRate : 0.0;
            setTrackValue(trackPositions_, id, from, &TracksController::trackPositionsChanged);
            trackSeekPositions_.insert(id, from);
            trackStartTimes_.insert(id, dependencies_.clock->now() + std::max(0.0, wait));
            setTrackState(id, TrackState::playing);
            startDisplayLink();
        });
}

// Every pass that plays to its end queues one more whole loop behind the one sounding.
void TracksController::queueLockedPass(const QUuid& id, std::uint64_t run) {
    const auto file = trackFiles_.value(id);
    const auto grid = analysis_.grid(id);
    if (!file || !grid || trackRuns_.value(id) != run) {
        return;
    }
    const auto bars = loopOf(*file, *grid);
    if (!bars) {
        return;
    }
    offMainThread(
        this,
        [file, bars = *bars] {
            LoopStart out;
            addSegment(*file, bars.frameOfBeat(0), bars.frameOfBeat(bars.beats) - bars.frameOfBeat(0), out);
            return out;
        },
        [this, id, run](LoopStart loop) {
            const auto player = trackPlayers_.value(id);
            if (trackRuns_.value(id) != run || !player || loop.streams.empty()) {
                return;
            }
            player->scheduleSource(std::move(*loop.streams.front()), std::nullopt, [this, id, run](engine::PlaybackEnd end) {
                if (end == engine::PlaybackEnd::playedToEnd) {
                    queueLockedPass(id, run);
                }
            });
        });
}

// The transport started or took a new tempo: every synced row begins again on its next bar, from
// the bar it is in.
void TracksController::relockTracks() {
    if (!dependencies_.deckBeats || !dependencies_.deckBeats()) {
        return; // stopped: the rows keep playing at the deck's tempo
    }
    for (const auto& id : playingTrackIds_) {
        if (sync_.locks(id)) {
            playLocked(id, trackPlayheadNow(id));
        }
    }
}

} // namespace quelmo
