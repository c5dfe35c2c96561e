#pragma once

#include "engine/file/AudioFile.h"
#include "engine/file/FileStream.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The file work behind the deck's track and import players, done off the main thread: opening a
// file and preparing the streams of a loop's passes.
namespace quelmo::tracks {

// A track id as the views write it (upper-case UUID text).
inline QUuid parseId(const QString& text) { return QUuid::fromString(text); }

// The local path of a file URL, in the encoding the file system uses.
std::string localPath(const QUrl& url);

// Playback's own workers, so a click on play never waits behind the analyses of a large pick,
// which run on the global pool.
QThreadPool& playbackWorkers();
// The workers that analyse restored library entries, on idle CPU time only.
QThreadPool& libraryWorkers();

// Runs work() on a worker and then(result) back on the main thread, unless owner is gone by then.
// Both must be copyable; results travel in a shared holder.
template <typename Work, typename Then>
void offMainThread(QObject* owner, Work work, Then then) {
    QPointer<QObject> self(owner);
    playbackWorkers().start([self, work = std::move(work), then = std::move(then)]() mutable {
        auto result = std::make_shared<decltype(work())>(work());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, then, result]() mutable {
                if (self) {
                    then(std::move(*result));
                }
            },
            Qt::QueuedConnection);
    });
}

using Streams = std::vector<std::shared_ptr<std::unique_ptr<engine::FileStream>>>;

// What a worker prepares for a loop: the opened file (when it was not open yet) and the passes to
// queue, the first from startFrame, then whole ones.
struct LoopStart {
    std::shared_ptr<engine::AudioFile> file;
    Streams streams;
    std::string error;
};

// Whole passes kept queued behind the one sounding, so the next always follows on the frame after
// the last: enough to cover a second of audio, so that very short files do not drain the queue
// while the main thread asks a worker for the next pass.
int passesAhead(const engine::AudioFile& file);

// Adds a stream of file from startFrame (0 when out of range) to out; false with out.error set.
bool addStream(const engine::AudioFile& file, std::int64_t startFrame, LoopStart& out);

// Adds a stream of file frames [startFrame, startFrame + frames) (to the end without frames) to out;
// false with out.error set.
bool addSegment(const engine::AudioFile& file, std::int64_t startFrame, std::optional<std::int64_t> frames,
                LoopStart& out);

// Worker: the file, opened from `path` (with the counted length when there is one; noted in out.file)
// unless it is open already. Null, with out.error, when it cannot be read or holds no audio.
std::shared_ptr<engine::AudioFile> openForLoop(std::shared_ptr<engine::AudioFile> file, const std::string& path,
                                               std::optional<std::int64_t> countedFrames, LoopStart& out);

// Worker: opens `path` unless `file` is already open (with the counted length when there is one),
// then prepares the first pass from startFrameOf(file) and the whole passes behind it (when
// `ahead`).
LoopStart prepareLoop(std::shared_ptr<engine::AudioFile> file, const std::string& path,
                      std::optional<std::int64_t> countedFrames,
                      const std::function<std::int64_t(const engine::AudioFile&)>& startFrameOf, bool ahead);

} // namespace quelmo::tracks
