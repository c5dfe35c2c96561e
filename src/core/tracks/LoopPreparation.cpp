#include "tracks/LoopPreparation.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace quelmo::tracks {

std::string localPath(const QUrl& url) { return QFile::encodeName(url.toLocalFile()).toStdString(); }

QThreadPool& playbackWorkers() {
    static QThreadPool pool;
    return pool;
}

QThreadPool& libraryWorkers() {
    static QThreadPool* const pool = [] {
        static QThreadPool workers;
        workers.setThreadPriority(QThread::IdlePriority);
        return &workers;
    }();
    return *pool;
}

int passesAhead(const engine::AudioFile& file) {
    const std::int64_t length = std::max<std::int64_t>(1, file.length());
    const double rate = file.processingFormat().sampleRate;
    return std::clamp(static_cast<int>(std::ceil(rate / static_cast<double>(length))), 1, 16);
}

bool addStream(const engine::AudioFile& file, std::int64_t startFrame, LoopStart& out) {
    const std::int64_t length = file.length();
    return addSegment(file, startFrame > 0 && startFrame < length ? startFrame : 0, std::nullopt, out);
}

bool addSegment(const engine::AudioFile& file, std::int64_t startFrame, std::optional<std::int64_t> frames,
                LoopStart& out) {
    auto stream = engine::FileStream::create(file, startFrame, frames, &out.error);
    if (!stream) {
        return false;
    }
    out.streams.push_back(std::make_shared<std::unique_ptr<engine::FileStream>>(std::move(stream)));
    return true;
}

std::shared_ptr<engine::AudioFile> openForLoop(std::shared_ptr<engine::AudioFile> file, const std::string& path,
                                               std::optional<std::int64_t> countedFrames, LoopStart& out) {
    if (!file) {
        auto opened = countedFrames ? engine::AudioFile::openWithLength(path, *countedFrames, &out.error)
                                    : engine::AudioFile::open(path, &out.error);
        if (!opened) {
            return nullptr;
        }
        file = std::move(opened);
        out.file = file;
    }
    if (file->length() <= 0) {
        out.error = "the file holds no audio";
        return nullptr;
    }
    return file;
}

LoopStart prepareLoop(std::shared_ptr<engine::AudioFile> file, const std::string& path,
                      std::optional<std::int64_t> countedFrames,
                      const std::function<std::int64_t(const engine::AudioFile&)>& startFrameOf, bool ahead) {
    LoopStart out;
    file = openForLoop(std::move(file), path, countedFrames, out);
    if (!file) {
        return out;
    }
    if (!addStream(*file, startFrameOf(*file), out)) {
        return out;
    }
    for (int i = ahead ? passesAhead(*file) : 0; i > 0; --i) {
        if (!addStream(*file, 0, out)) {
            return out;
        }
    }
    return out;
}

} // namespace quelmo::tracks
