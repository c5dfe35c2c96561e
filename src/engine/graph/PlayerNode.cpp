#include "graph/PlayerNode.h"

#include "AudioEngine.h"
#include "file/AudioFile.h"
#include "file/FileStream.h"

#include <algorithm>
#include <utility>

namespace quelmo::engine {

PlayerNode::PlayerNode() : AudioNode(0) {}

PlayerNode::~PlayerNode() {
    // The owner is going away, so handlers are not called; items are simply freed.
    Command command;
    while (commands_.pop(command)) {
        if (command.op == Op::schedule) {
            delete command.item;
        }
    }
    for (const auto& pendingCommand : overflow_) {
        if (pendingCommand.op == Op::schedule) {
            delete pendingCommand.item;
        }
    }
    for (Item* item = head_; item;) {
        delete std::exchange(item, item->next);
    }
    delete fading_;
    for (Item* item = ended_.exchange(nullptr, std::memory_order_acquire); item;) {
        delete std::exchange(item, item->next);
    }
}

bool PlayerNode::scheduleBuffer(std::shared_ptr<const AudioBuffer> buffer, std::optional<std::int64_t> at,
                                CompletionHandler completion, Group group, std::optional<std::int64_t> latestStart,
                                float gain) {
    if (!buffer || buffer->format().sampleRate != AudioEngine::sampleRate || buffer->channelCount() == 0 ||
        buffer->channelCount() > 2) {
        return false;
    }
    const std::uint32_t frames = buffer->frameLength();
    scheduleSource(std::make_unique<BufferSource>(std::move(buffer), 0, frames, gain), at, std::move(completion),
                   group, latestStart);
    return true;
}

bool PlayerNode::retrigger(std::shared_ptr<const AudioBuffer> buffer, float gain) {
    if (!buffer || buffer->format().sampleRate != AudioEngine::sampleRate || buffer->channelCount() == 0 ||
        buffer->channelCount() > 2) {
        return false;
    }
    const std::uint32_t frames = buffer->frameLength();
    auto* item = new Item{std::make_unique<BufferSource>(std::move(buffer), 0, frames, gain), std::nullopt, {}};
    item->chokes = true;
    ++pending_;
    send({Op::schedule, item});
    return true;
}

bool PlayerNode::scheduleFile(const AudioFile& file, std::optional<std::int64_t> at, CompletionHandler completion,
                              std::string* error) {
    return scheduleSegment(file, 0, file.length(), at, std::move(completion), error);
}

bool PlayerNode::scheduleSegment(const AudioFile& file, std::int64_t startFrame, std::int64_t frameCount,
                                 std::optional<std::int64_t> at, CompletionHandler completion, std::string* error) {
    std::string reason;
    auto stream = FileStream::create(file, startFrame, frameCount, &reason);
    if (!stream) {
        if (error) {
            *error = reason;
        }
        return false;
    }
    scheduleSource(std::move(stream), at, std::move(completion));
    return true;
}

void PlayerNode::scheduleSource(std::unique_ptr<PlayerSource> source, std::optional<std::int64_t> at,
                                CompletionHandler completion, Group group, std::optional<std::int64_t> latestStart) {
    auto* item = new Item{std::move(source), at, std::move(completion), group, latestStart};
    ++pending_;
    send({Op::schedule, item});
}

void PlayerNode::cancelPending(Group group, std::optional<std::int64_t> at) {
    if (group != 0) {
        send({Op::cancel, nullptr, group, at});
    }
}

void PlayerNode::play() {
    playing_ = true;
    send({Op::play});
}

void PlayerNode::pause() {
    playing_ = false;
    send({Op::pause});
}

void PlayerNode::stop() {
    playing_ = false;
    send({Op::stop});
}

void PlayerNode::reset() {
    playing_ = false;
    send({Op::reset});
}

bool PlayerNode::isRendered() const { return engine() && engine()->isRunning(); }

void PlayerNode::send(Command command) {
    if (engine()) {
        engine()->wake();
    }
    if (!isRendered()) {
        // Nothing renders this player, so the main thread may play the render side itself.
        applyDirectly();
        apply(command, engine() ? engine()->sampleTime() : 0);
        return;
    }
    while (!overflow_.empty() && commands_.push(overflow_.front())) {
        overflow_.pop_front();
    }
    if (!overflow_.empty() || !commands_.push(command)) {
        overflow_.push_back(command);
    }
}

void PlayerNode::drainCommands(std::int64_t now) {
    Command command;
    while (commands_.pop(command)) {
        apply(command, now);
    }
}

void PlayerNode::applyDirectly() {
    const std::int64_t now = engine() ? engine()->sampleTime() : 0;
    drainCommands(now);
    while (!overflow_.empty()) {
        apply(overflow_.front(), now);
        overflow_.pop_front();
    }
}

void PlayerNode::apply(const Command& command, std::int64_t now) {
    switch (command.op) {
    case Op::schedule:
        command.item->due = command.item->at.value_or(now);
        if (command.item->chokes) {
            choke(command.item);
        } else {
            enqueue(command.item);
        }
        break;
    case Op::cancel:
        cancelGroup(command.group, command.at);
        break;
    case Op::play:
        renderPlaying_ = true;
        break;
    case Op::pause:
        renderPlaying_ = false;
        break;
    case Op::stop:
        renderPlaying_ = false;
        dropAll();
        break;
    case Op::reset:
        renderPlaying_ = false;
        dropAll();
        firstBlock_ = true;
        break;
    }
}

void PlayerNode::enqueue(Item* item) {
    // After everything due no later than it (and after whatever has begun): queues are short.
    Item* before = nullptr;
    for (Item* at = head_; at && (at->started || at->due <= item->due); at = at->next) {
        before = at;
    }
    Item*& link = before ? before->next : head_;
    item->next = link;
    link = item;
}

void PlayerNode::choke(Item* item) {
    // An earlier retrigger that has not begun (two in one block) would be cut the moment it began.
    for (Item** link = &head_; *link;) {
        if ((*link)->chokes && !(*link)->started) {
            finish(std::exchange(*link, (*link)->next), PlaybackEnd::dropped);
        } else {
            link = &(*link)->next;
        }
    }
    if (head_ && head_->started) {
        if (fading_) {
            finish(fading_, PlaybackEnd::dropped); // a third hit within the fade: that one stops now
        }
        fading_ = head_;
        head_ = head_->next;
        fadePosition_ = 0;
    }
    item->next = head_;
    head_ = item;
}

// Adds the next frames of the item cut short, on a falling ramp, to what the player renders.
void PlayerNode::renderFade(std::uint32_t frames, StereoBus& out, bool& wrote) {
    const std::uint32_t n = std::min(frames, chokeFadeFrames - fadePosition_);
    const std::uint32_t got = fading_->source->read(fadeLeft_, fadeRight_, n);
    float* l = out.channel(0);
    float* r = out.channel(1);
    for (std::uint32_t i = 0; i < got; ++i) {
        const float g = 1.0f - static_cast<float>(fadePosition_ + i + 1) / static_cast<float>(chokeFadeFrames);
        l[i] += fadeLeft_[i] * g;
        r[i] += fadeRight_[i] * g;
    }
    wrote = wrote || got > 0;
    fadePosition_ += n;
    if (fadePosition_ >= chokeFadeFrames || fading_->source->finished()) {
        finish(std::exchange(fading_, nullptr), PlaybackEnd::dropped);
    }
}

void PlayerNode::cancelGroup(Group group, std::optional<std::int64_t> at) {
    for (Item** link = &head_; *link;) {
        Item* item = *link;
        if (!item->started && item->group == group && (!at || item->at == at)) {
            *link = item->next;
            finish(item, PlaybackEnd::dropped);
        } else {
            link = &item->next;
        }
    }
}

void PlayerNode::finish(Item* item, PlaybackEnd end) {
    item->end = end;
    Item* head = ended_.load(std::memory_order_relaxed);
    do {
        item->next = head;
    } while (!ended_.compare_exchange_weak(head, item, std::memory_order_release, std::memory_order_relaxed));
}

void PlayerNode::dropAll() {
    if (fading_) {
        finish(std::exchange(fading_, nullptr), PlaybackEnd::dropped);
    }
    Item* item = head_;
    head_ = nullptr;
    while (item) {
        Item* next = item->next;
        finish(item, PlaybackEnd::dropped);
        item = next;
    }
}

void PlayerNode::dispatchCompletions() {
    if (isRendered()) {
        while (!overflow_.empty() && commands_.push(overflow_.front())) {
            overflow_.pop_front();
        }
    } else {
        applyDirectly();
    }
    // The stack holds the newest first; deliver in the order the items ended.
    Item* reversed = nullptr;
    for (Item* item = ended_.exchange(nullptr, std::memory_order_acquire); item;) {
        Item* next = item->next;
        item->next = reversed;
        reversed = item;
        item = next;
    }
    while (reversed) {
        std::unique_ptr<Item> item(std::exchange(reversed, reversed->next));
        --pending_;
        if (item->completion) {
            item->completion(item->end);
        }
    }
}

void PlayerNode::didDetach() { applyDirectly(); }

void PlayerNode::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    drainCommands(context.sampleTime);
    // A volume change glides only while something sounds; one made between items applies at once,
    // so a new item starts at the level it was given.
    const bool sounding = renderPlaying_ && ((head_ && head_->started) || fading_);
    out.clear(frames);
    bool wrote = false;
    if (renderPlaying_) {
        std::uint32_t cursor = 0;
        while (cursor < frames && head_) {
            Item* item = head_;
            if (!item->started) {
                const std::int64_t now = context.sampleTime + cursor;
                if (item->at && *item->at > now) {
                    const std::int64_t wait = *item->at - now;
                    if (wait >= static_cast<std::int64_t>(frames - cursor)) {
                        break;
                    }
                    cursor += static_cast<std::uint32_t>(wait);
                }
                if (item->latestStart && context.sampleTime + cursor > *item->latestStart) {
                    head_ = item->next; // too late to be worth hearing
                    finish(item, PlaybackEnd::dropped);
                    continue;
                }
                item->started = true;
            }
            const std::uint32_t n =
                item->source->read(out.channel(0) + cursor, out.channel(1) + cursor, frames - cursor);
            cursor += n;
            wrote = wrote || n > 0;
            if (item->source->finished()) {
                head_ = item->next;
                finish(item, PlaybackEnd::playedToEnd);
            } else if (n == 0) {
                break; // a stream running behind: the rest of this block stays silent
            }
        }
        if (fading_) {
            renderFade(frames, out, wrote);
        }
    }

    const float volume = std::max(0.0f, volume_.get());
    if (firstBlock_ || !sounding) {
        gain_.snapTo(volume);
        firstBlock_ = false;
    }
    if (!wrote) {
        out.silent = true;
        return;
    }
    gain_.setTarget(volume);
    if (!gain_.isSmoothing() && volume == 1.0f) {
        return;
    }
    float* l = out.channel(0);
    float* r = out.channel(1);
    for (std::uint32_t n = 0; n < frames; ++n) {
        const float g = gain_.next();
        l[n] *= g;
        r[n] *= g;
    }
}

} // namespace quelmo::engine
