#pragma once

#include "dsp/SmoothedValue.h"
#include "engine/AudioBuffer.h"
#include "graph/AudioNode.h"
#include "graph/PlayerSource.h"
#include "util/AtomicParameter.h"
#include "util/SpscQueue.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quelmo::engine {

class AudioFile;

// How a scheduled item ended. Loops that reschedule themselves react only to playedToEnd;
// clean-up (a temporary file, say) reacts to both.
enum class PlaybackEnd { playedToEnd, dropped };
using CompletionHandler = std::function<void(PlaybackEnd)>;

// Plays a queue of scheduled items: buffers, buffer ranges, and file streams.
//
// Items play one after another, never overlapping, in the order they are due: an item scheduled
// at a sample time (the engine's timeline, see AudioEngine::sampleTime) is due then, one without a
// time is due the moment the render thread receives it; items due together keep the order they were
// scheduled in. A timed item starts on exactly its frame; if that time has already passed when the
// item before it ends, it starts right then. So a hit played now goes ahead of one booked for later,
// and a booked hit that falls while the player still sounds waits for it to end. stop() and reset()
// drop every queued item; cancelPending() drops the booked items of one group that have not begun.
// Each item ends exactly once, with its reason, and its handler runs on the main thread (from
// AudioEngine::dispatchEvents). A booked item may carry the latest sample it may begin on; one that
// cannot begin by then (the player still busy with earlier items) is dropped rather than played
// late, so a player asked for more than it can play keeps a short queue. An instrument's hit is
// different: retrigger() sounds at once, cutting short whatever the player is sounding with a fade
// of chokeFadeFrames (the cut item ends dropped); items booked for later keep their places.
//
// Main thread: everything public. The render thread picks commands up at the start of each block
// through a bounded lock-free queue; finished items come back through a lock-free stack.
class PlayerNode : public AudioNode {
public:
    PlayerNode();
    ~PlayerNode() override;

    // Tags items so they can be cancelled together; 0 is no group.
    using Group = std::uint32_t;

    // Queues a whole buffer. It must be in the graph's rate (mono or stereo). False if not. An item
    // that cannot begin by latestStart ends, dropped, instead of sounding. gain scales this item
    // alone (the player's volume applies on top).
    bool scheduleBuffer(std::shared_ptr<const AudioBuffer> buffer, std::optional<std::int64_t> at = std::nullopt,
                        CompletionHandler completion = {}, Group group = 0,
                        std::optional<std::int64_t> latestStart = std::nullopt, float gain = 1.0f);
    // Plays buffer now, ahead of anything queued that has not begun, fading out over
    // chokeFadeFrames whatever the player sounds: a hit by hand, on time however long the last one
    // rings. Same buffer rules as scheduleBuffer.
    bool retrigger(std::shared_ptr<const AudioBuffer> buffer, float gain = 1.0f);
    // About 3 ms: short enough to keep a hit on time, long enough not to click.
    static constexpr std::uint32_t chokeFadeFrames = 128;

    // Queues a whole file, or file frames [startFrame, startFrame + frameCount) (file frames, at the
    // file's own rate). The file is read by a stream of its own, decoded ahead off the render thread
    // and converted to the graph format. False, with *error, when the file cannot be read.
    bool scheduleFile(const AudioFile& file, std::optional<std::int64_t> at = std::nullopt,
                      CompletionHandler completion = {}, std::string* error = nullptr);
    bool scheduleSegment(const AudioFile& file, std::int64_t startFrame, std::int64_t frameCount,
                         std::optional<std::int64_t> at = std::nullopt, CompletionHandler completion = {},
                         std::string* error = nullptr);
    // Queues any source (file streams, buffer ranges).
    void scheduleSource(std::unique_ptr<PlayerSource> source, std::optional<std::int64_t> at = std::nullopt,
                        CompletionHandler completion = {}, Group group = 0,
                        std::optional<std::int64_t> latestStart = std::nullopt);
    // Drops the items of group (not 0) that have not begun to sound, each reporting dropped; with
    // at, only those booked for that sample. An item already sounding plays out; commands sent after
    // this one are not affected.
    void cancelPending(Group group, std::optional<std::int64_t> at = std::nullopt);

    void play();
    // Holds the position: the current item resumes where it stopped.
    void pause();
    // Drops every queued item (each reports dropped) and stops.
    void stop();
    // Same as stop, and also forgets the volume glide.
    void reset();
    bool isPlaying() const { return playing_; }

    void setVolume(float volume) { volume_.set(volume); }
    float volume() const { return volume_.get(); }

    // Items scheduled whose end has not been delivered yet.
    std::size_t pendingItemCount() const { return pending_; }

    // Delivers finished items' handlers. Called by the engine's dispatch; safe to call any time.
    void dispatchCompletions();

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;
    void didDetach() override;

private:
    struct Item {
        std::unique_ptr<PlayerSource> source;
        std::optional<std::int64_t> at;
        CompletionHandler completion;
        Group group = 0;
        std::optional<std::int64_t> latestStart = std::nullopt;
        std::int64_t due = 0; // set when the render side receives it
        bool started = false;
        bool chokes = false; // a retrigger: cuts the sounding item short and goes first
        PlaybackEnd end = PlaybackEnd::playedToEnd;
        Item* next = nullptr;
    };
    enum class Op : std::uint8_t { schedule, play, pause, stop, reset, cancel };
    struct Command {
        Op op = Op::play;
        Item* item = nullptr;
        Group group = 0;
        std::optional<std::int64_t> at = std::nullopt; // cancel: only the items booked for this sample
    };

    void send(Command command);
    bool isRendered() const;
    void drainCommands(std::int64_t now); // the render side's share of the queue
    void applyDirectly(); // main thread, while nothing renders this player
    void apply(const Command& command, std::int64_t now);
    void enqueue(Item* item);
    void choke(Item* item);
    void renderFade(std::uint32_t frames, StereoBus& out, bool& wrote);
    void cancelGroup(Group group, std::optional<std::int64_t> at);
    void finish(Item* item, PlaybackEnd end);
    void dropAll();

    // Main-thread side.
    bool playing_ = false;
    std::size_t pending_ = 0;
    std::deque<Command> overflow_;
    AtomicParameter volume_{1.0f};

    // Crossing threads.
    SpscQueue<Command> commands_{1024};
    std::atomic<Item*> ended_{nullptr};

    // Render side (or the main thread while nothing renders this player).
    Item* head_ = nullptr;
    bool renderPlaying_ = false;
    SmoothedValue gain_{1.0f};
    bool firstBlock_ = true;
    Item* fading_ = nullptr; // cut short by a retrigger, fading out
    std::uint32_t fadePosition_ = 0;
    float fadeLeft_[chokeFadeFrames] = {};
    float fadeRight_[chokeFadeFrames] = {};
};

} // namespace quelmo::engine
