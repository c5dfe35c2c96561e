#include "tracks/TracksController.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"

#include "timing/TransportMath.h"

#include "tracks/LoopPreparation.h"
#include "shared/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace quelmo {

using namespace tracks;

// ---- Import list -------------------------------------------------------------------------------

void TracksController::pickImportFiles() { emit importFilesRequested(); }

void TracksController::addImportFiles(const QList<QUrl>& urls) {
    for (qsizetype i = 0; i < urls.size(); ++i) {
        auto pending = std::make_shared<PendingImport>();
        pending->track = QuelmoImportedTrack(urls[i]);
        pending->selectLastWhenDone = i == urls.size() - 1;
        pendingImports_.push_back(pending);
        analyzeWaveform(pending->track, [this, pending](std::optional<WaveformAnalysis> result) {
            if (result) {
                pending->track.waveformData = QList<float>(result->levels.begin(), result->levels.end());
                countedLengths_[pending->track.id] = {result->frameCount, result->sampleRate};
            }
            pending->analysed = true;
            appendFinishedImports();
        });
    }
}

void TracksController::appendFinishedImports() {
    while (!pendingImports_.empty() && pendingImports_.front()->analysed) {
        const auto pending = pendingImports_.front();
        pendingImports_.erase(pendingImports_.begin());
        importedTracks_.append(pending->track);
        emit importedTracksChanged();
        if (pending->selectLastWhenDone && !selectedImportId_) {
            setSelectedImportId(importedTracks_.last().id);
        }
    }
}

std::optional<QuelmoImportedTrack> TracksController::selectedTrack() const {
    if (!selectedImportId_) {
        return std::nullopt;
    }
    for (const auto& track : importedTracks_) {
        if (track.id == *selectedImportId_) {
            return track;
        }
    }
    return std::nullopt;
}

void TracksController::removeImport(const QString& id) { removeImport(parseId(id)); }

void TracksController::removeImport(const QUuid& id) {
    const auto entry = std::find_if(importedTracks_.cbegin(), importedTracks_.cend(),
                                    [&](const QuelmoImportedTrack& t) { return t.id == id; });
    if (entry != importedTracks_.cend()) {
        // Only a file that really lies inside the downloads folder, links resolved, is deleted.
        const QString file = QFileInfo(entry->url.toLocalFile()).canonicalFilePath();
        const QString folder = QFileInfo(downloadsDir_.toLocalFile()).canonicalFilePath();
        if (!file.isEmpty() && !folder.isEmpty() && file.startsWith(folder + QDir::separator())) {
            QFile doomed(file);
            if (doomed.remove()) {
                logLine("Deleted downloaded file: " + QFileInfo(file).fileName().toStdString());
            } else {
                logLine("Failed to delete file: " + doomed.errorString().toStdString());
            }
        }
    }
    forgetTrack(id);
    const bool wasSelected = selectedImportId_ && *selectedImportId_ == id;
    if (importedTracks_.removeIf([&](const QuelmoImportedTrack& t) { return t.id == id; }) > 0) {
        emit importedTracksChanged();
    }
    if (wasSelected) {
        stopImport();
        importFile_.reset();
        setSelectedImportId(importedTracks_.isEmpty() ? std::nullopt
                                                      : std::optional<QUuid>(importedTracks_.first().id));
    }
    saveDownloadsManifest();
}

// ---- Import player -----------------------------------------------------------------------------

void TracksController::toggleImportPlay() {
    if (importPlaying_) {
        stopImport();
    } else {
        playImport();
    }
}

void TracksController::stopImport() {
    ++importRun_;
    setImportPlaying(false);
    dependencies_.importPlayer->stop();
    dependencies_.importPlayer->reset();
    setCurrentTrackPosition(0.0);
}

void TracksController::playImport() {
    const auto track = selectedTrack();
    if (!track) {
        return;
    }
    stopImport();
    setCurrentTrackPosition(0.0);
    const std::uint64_t run = importRun_;
    const auto counted = countedLengths_.value(track->id);
    const std::optional<std::int64_t> frames =
        counted.sampleRate > 0 ? std::optional<std::int64_t>(counted.frames) : std::nullopt;
    const std::string path = localPath(track->url);
    offMainThread(
        this, [path, frames] { return prepareLoop(nullptr, path, frames, [](const engine::AudioFile&) { return 0; }, true); },
        [this, run, path](LoopStart loop) {
            if (run != importRun_) {
                return;
            }
            if (!loop.file || loop.streams.empty()) {
                logLine("Quelmo import: " + path + ": " + loop.error);
                return;
            }
            prepareImportPlayback(loop.file);
            dependencies_.importPlayer->stop();
            dependencies_.importPlayer->reset();
            dependencies_.importPlayer->play();
            scheduleImportStreams(run, loop.streams);
            setImportPlaying(true);
            dependencies_.applyMix();
        });
}

void TracksController::prepareImportPlayback(std::shared_ptr<engine::AudioFile> file) {
    dependencies_.prepareAudio();
    importFile_ = std::move(file);
    const double rate = importFile_->processingFormat().sampleRate;
    setCurrentTrackDuration(rate > 0 ? static_cast<double>(importFile_->length()) / rate : 0.0);
}

// Queues on the import player the pass from startFrame and, when ahead, whole passes behind it, all
// prepared by one worker job so they land in order; every pass that plays to its end queues one
// more whole pass from the top. Work for a run that has ended since is thrown away.
void TracksController::queueImportPasses(std::uint64_t run, std::int64_t startFrame, bool ahead,
                                        const std::function<void()>& queued) {
    if (!importFile_ || run != importRun_) {
        return;
    }
    offMainThread(
        this,
        [file = importFile_, startFrame, ahead] {
            return prepareLoop(file, file->path(), std::nullopt,
                               [startFrame](const engine::AudioFile&) { return startFrame; }, ahead);
        },
        [this, run, queued](LoopStart loop) {
            if (run != importRun_) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Quelmo import: " + (importFile_ ? importFile_->path() : std::string()) + ": " + loop.error);
                return;
            }
            scheduleImportStreams(run, loop.streams);
            if (queued) {
                queued();
            }
        });
}

void TracksController::scheduleImportStreams(std::uint64_t run, Streams& streams) {
    for (auto& stream : streams) {
        dependencies_.importPlayer->scheduleSource(std::move(*stream), std::nullopt, [this, run](engine::PlaybackEnd end) {
            if (end == engine::PlaybackEnd::playedToEnd && run == importRun_) {
                setCurrentTrackPosition(0.0);
                queueImportPasses(run, 0, false);
            }
        });
    }
}

void TracksController::seekImport(double fraction) {
    if (!importPlaying_ || !importFile_) {
        return;
    }
    const double rate = importFile_->processingFormat().sampleRate;
    const auto length = importFile_->length();
    setCurrentTrackPosition(fraction * (rate > 0 ? static_cast<double>(length) / rate : 0.0));
    dependencies_.importPlayer->stop();
    dependencies_.importPlayer->reset();
    const std::uint64_t run = ++importRun_;
    const auto startFrame = static_cast<std::int64_t>(fraction * static_cast<double>(length));
    queueImportPasses(run, startFrame, true, [this] { dependencies_.importPlayer->play(); });
}

void TracksController::transportTicked(double tickSeconds) {
    if (importPlaying_ && currentTrackDuration_ > 0.0) {
        setCurrentTrackPosition(transport::advanceTrackPosition(currentTrackPosition_, currentTrackDuration_, tickSeconds));
    }
}

void TracksController::cueJumped(double cue) {
    if (importPlaying_) {
        seekImport(cue);
    }
    // The waveform shows the selected row: its cues move that row's sound when it plays.
    if (const auto track = selectedTrack(); track && playingTrackIds_.contains(track->id)) {
        seekTrack(track->id, cue);
    }
}

} // namespace quelmo
