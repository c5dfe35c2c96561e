#include "tracks/TrackSync.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TrackAnalysisTable.h"

#include <algorithm>

namespace quelmo {
namespace {
// Warm stretchers kept for the next synced tracks: warming one takes a worker half a second.
constexpr std::size_t idleChainsKept = 4;
} // namespace

TrackSync::TrackSync(Dependencies dependencies, QObject* parent)
    : QObject(parent), dependencies_(std::move(dependencies)) {}

TrackSync::~TrackSync() = default;

void TrackSync::toggle(const QString& id) {
    const QUuid uuid = QUuid::fromString(id);
    setSynced(uuid, !isSynced(uuid));
}

void TrackSync::setSynced(const QUuid& id, bool on) {
    if (id.isNull() || isSynced(id) == on) {
        return;
    }
    if (on) {
        synced_.insert(id);
    } else {
        synced_.remove(id);
    }
    emit syncedIdsChanged();
    emit switched(id);
}

bool TrackSync::locks(const QUuid& id) const {
    return isSynced(id) && dependencies_.analysis && dependencies_.analysis->grid(id).has_value();
}

double TrackSync::rate(const QUuid& id) const {
    const auto grid = dependencies_.analysis ? dependencies_.analysis->grid(id) : std::nullopt;
    if (!grid || !dependencies_.deckBpm) {
        return 1.0;
    }
    return std::clamp(transport::effectiveBpm(dependencies_.deckBpm()) / grid->bpm(), engine::TimePitchUnit::minRate,
                      engine::TimePitchUnit::maxRate);
}

std::shared_ptr<engine::PlayerNode> TrackSync::playerFor(const QUuid& id) {
    if (const auto found = chains_.constFind(id); found != chains_.cend()) {
        return found->player;
    }
    Chain chain;
    if (!idle_.empty()) {
        chain = std::move(idle_.back());
        idle_.pop_back();
    } else {
        auto& engine = *dependencies_.engine;
        chain.player = std::make_shared<engine::PlayerNode>();
        chain.stretcher = std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later,
                                                                   engine::TimePitchUnit::Use::timeOnly);
        engine.attach(chain.player);
        engine.attach(chain.stretcher);
        if (!dependencies_.graphBuilt() || !engine.connect(chain.player, chain.stretcher) ||
            !engine.connect(chain.stretcher, dependencies_.mixer)) {
            engine.detach(chain.player);
            engine.detach(chain.stretcher);
            return nullptr;
        }
    }
    chain.stretcher->setRate(static_cast<float>(rate(id)));
    const bool first = chains_.isEmpty();
    chains_.insert(id, chain);
    if (first) {
        emit beganHoldingPlayers();
    }
    return chain.player;
}

std::shared_ptr<engine::TimePitchUnit> TrackSync::stretcherOf(const QUuid& id) const {
    const auto found = chains_.constFind(id);
    return found == chains_.cend() ? nullptr : found->stretcher;
}

bool TrackSync::release(const QUuid& id) {
    const auto chain = chains_.take(id);
    if (!chain.player) {
        return false;
    }
    chain.player->stop();
    chain.player->reset();
    chain.stretcher->rest(); // its next sound is booked on the engine's clock
    if (idle_.size() < idleChainsKept) {
        idle_.push_back(chain);
    } else {
        dependencies_.engine->detach(chain.player);
        dependencies_.engine->detach(chain.stretcher);
    }
    return true;
}

void TrackSync::forget(const QUuid& id) {
    release(id);
    if (synced_.remove(id)) {
        emit syncedIdsChanged();
    }
}

std::optional<std::int64_t> TrackSync::startSample() const {
    const auto beats = dependencies_.deckBeats ? dependencies_.deckBeats() : std::nullopt;
    if (!beats) {
        return std::nullopt;
    }
    return beats->sampleOf(beats->nextBarAt(dependencies_.engine->schedulingHorizon()));
}

void TrackSync::followTempo() {
    for (auto it = chains_.cbegin(); it != chains_.cend(); ++it) {
        it->stretcher->setRate(static_cast<float>(rate(it.key())));
    }
}

QStringList TrackSync::syncedIdsForView() const {
    QStringList ids;
    for (const auto& id : synced_) {
        ids.append(id.toString(QUuid::WithoutBraces).toUpper());
    }
    ids.sort();
    return ids;
}

} // namespace quelmo
