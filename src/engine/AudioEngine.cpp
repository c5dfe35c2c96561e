#include "engine/AudioEngine.h"

namespace quelmo::engine {

AudioEngine::AudioEngine() : mainMixer_(std::make_shared<MixerNode>()) {}

AudioEngine::~AudioEngine() { stop(); }

void AudioEngine::stop() { running_ = false; }

} // namespace quelmo::engine
