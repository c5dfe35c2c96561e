#pragma once

#include "engine/file/AudioFile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quelmo::engine {

// What tests and benchmarks look at inside an AudioFile; not for the application.
struct AudioFileTesting {
    // Packets the file's decoders have given the codec since it was opened (decoding work).
    static std::int64_t packetsDecoded(const AudioFile& file);
    // With false, the file seeks without its index, decoding from the start as files without one do.
    static void useSeekIndex(AudioFile& file, bool use);
    // Bytes the file's seek index holds: 0 without one.
    static std::size_t seekIndexBytes(const AudioFile& file);
    // The frames the seek index has points at, ascending.
    static std::vector<std::int64_t> seekIndexFrames(const AudioFile& file);
};

} // namespace quelmo::engine
