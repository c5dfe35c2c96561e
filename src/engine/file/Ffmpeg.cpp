#include "engine/file/Ffmpeg.h"

extern "C" {
#include <libavutil/macros.h>
}

#include <dlfcn.h>

#include <array>

namespace quelmo::engine::ffmpeg {

namespace {

struct Loaded {
    Api api;
    bool ok = false;
    std::string error;
};

// The libraries by the major versions of the headers the engine was built against; each one's
// dependencies come along with it.
constexpr std::array<const char*, 4> libraries{
    "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
    "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};

Loaded load() {
    Loaded loaded;
    std::array<void*, libraries.size()> handles{};
    for (std::size_t i = 0; i < libraries.size(); ++i) {
        // Kept for the life of the process: decoders may be running in any thread.
        handles[i] = dlopen(libraries[i], RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr) {
            const char* reason = dlerror();
            loaded.error =
                std::string("FFmpeg could not be loaded: ") + (reason != nullptr ? reason : libraries[i]);
            return loaded;
        }
    }
    const auto find = [&](const char* name) -> void* {
        for (void* handle : handles) {
            if (void* symbol = dlsym(handle, name)) {
                return symbol;
            }
        }
        loaded.error = std::string("FFmpeg's libraries lack ") + name;
        return nullptr;
    };
#define QUELMO_FFMPEG_RESOLVE(name)                                                                          \
    loaded.api.name = reinterpret_cast<decltype(&::name)>(find(#name));                                      \
    if (loaded.api.name == nullptr) {                                                                        \
        return loaded;                                                                                       \
    }
    QUELMO_FFMPEG_FUNCTIONS(QUELMO_FFMPEG_RESOLVE)
#undef QUELMO_FFMPEG_RESOLVE
    loaded.ok = true;
    return loaded;
}

const Loaded& loaded() {
    static const Loaded instance = load();
    return instance;
}

} // namespace

bool available(std::string* error) {
    const Loaded& state = loaded();
    if (!state.ok && error != nullptr) {
        *error = state.error;
    }
    return state.ok;
}

const Api& api() {
    return loaded().api;
}

bool ChannelLayout::assign(const AVChannelLayout& layout) {
    api().av_channel_layout_uninit(&layout_);
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || !api().av_channel_layout_check(&layout)) {
        assignDefault(layout.nb_channels);
        return layout_.nb_channels > 0;
    }
    return api().av_channel_layout_copy(&layout_, &layout) == 0;
}

void ChannelLayout::assignDefault(int channels) {
    api().av_channel_layout_uninit(&layout_);
    api().av_channel_layout_default(&layout_, channels);
}

std::string describe(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    api().av_strerror(error, text, sizeof text);
    return text;
}

} // namespace quelmo::engine::ffmpeg
