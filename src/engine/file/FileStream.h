#pragma once

#include "graph/PlayerSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quelmo::engine {

class AudioFile;

// A file, or a segment of it, played by a player: decoded and converted to the graph format ahead of
// time by the decode worker into a ring of about two seconds, which the render thread reads. The
// first half second is decoded before the stream is handed over, so playback starts at once.
// A stream that falls behind (a very slow disk) plays silence until data arrives, and catches up.
class FileStream final : public PlayerSource {
public:
    // Main thread. Opens a reader of its own on file's path, at startFrame (file frames), for
    // frameCount frames or to the end. nullptr and *error on failure.
    static std::unique_ptr<FileStream> create(const AudioFile& file, std::int64_t startFrame,
                                              std::optional<std::int64_t> frameCount, std::string* error);
    ~FileStream() override;

    std::uint32_t read(float* left, float* right, std::uint32_t frames) override;
    bool finished() const override;

    class Job;

private:
    explicit FileStream(std::shared_ptr<Job> job);
    std::shared_ptr<Job> job_;
};

} // namespace quelmo::engine
