#include "engine/file/Ffmpeg.h"

namespace quelmo::engine::ffmpeg {

bool ChannelLayout::assign(const AVChannelLayout& layout) {
    av_channel_layout_uninit(&layout_);
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || !av_channel_layout_check(&layout)) {
        assignDefault(layout.nb_channels);
        return layout_.nb_channels > 0;
    }
    return av_channel_layout_copy(&layout_, &layout) == 0;
}

void ChannelLayout::assignDefault(int channels) {
    av_channel_layout_uninit(&layout_);
    av_channel_layout_default(&layout_, channels);
}

std::string describe(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

} // namespace quelmo::engine::ffmpeg
