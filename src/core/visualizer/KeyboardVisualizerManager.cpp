#include "visualizer/KeyboardVisualizerManager.h"

#include "keys/KeyMonitor.h"

#include <QPointer>

#include <algorithm>
#include <array>
#include <cmath>

namespace quelmo {

QString hueColour(double hue) {
    const double h = (hue - std::floor(hue)) * 6.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    switch (sector) {
    case 0: r = 1; g = f; break;
    case 1: r = 1 - f; g = 1; break;
    case 2: g = 1; b = f; break;
    case 3: g = 1 - f; b = 1; break;
    case 4: r = f; b = 1; break;
    default: r = 1; b = 1 - f; break;
    }
    const auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    return QStringLiteral("#%1%2%3")
        .arg(byte(r), 2, 16, QChar(u'0'))
        .arg(byte(g), 2, 16, QChar(u'0'))
        .arg(byte(b), 2, 16, QChar(u'0'));
}

KeyboardVisualizerManager& KeyboardVisualizerManager::shared() {
    static KeyboardVisualizerManager* manager = new KeyboardVisualizerManager;
    return *manager;
}

KeyboardVisualizerManager::KeyboardVisualizerManager(std::shared_ptr<DelayScheduler> scheduler, QObject* parent)
    : QObject(parent), scheduler_(std::move(scheduler)), bubbles_(this) {}

KeyboardVisualizerManager::~KeyboardVisualizerManager() = default;

void KeyboardVisualizerManager::startMonitoring() {
    stopMonitoring();
    monitoring_ = true;
    if (auto& make = keys::keyboardHost().makeMonitor) {
        QPointer<KeyboardVisualizerManager> self(this);
        const auto watch = [self](KeySource source) -> keys::KeyHandler {
            return [self, source](const keys::KeyEvent& event) {
                if (self) {
                    self->handleKeyEvent(event, source);
                }
                return false; // watched, never swallowed
            };
        };
        globalMonitor_ = make(keys::MonitorKind::global, watch(KeySource::otherApplication));
        localMonitor_ = make(keys::MonitorKind::local, watch(KeySource::quelmo));
    }
    scheduleColourTick();
}

void KeyboardVisualizerManager::stopMonitoring() {
    monitoring_ = false;
    localMonitor_.reset();
    globalMonitor_.reset();
    if (colourTimer_) {
        colourTimer_->cancel();
        colourTimer_.reset();
    }
}

// The cycle only ticks while disco is on: off, a tick would change nothing, and an idle deck
// should not wake twenty times a second for it.
void KeyboardVisualizerManager::scheduleColourTick() {
    if (colourTimer_) {
        colourTimer_->cancel();
        colourTimer_.reset();
    }
    if (!monitoring_ || !isDiscoMode_) {
        return;
    }
    colourTimer_ = scheduler_->schedule(colourTick, [this] {
        updateDiscoColors();
        scheduleColourTick();
    });
}

void KeyboardVisualizerManager::toggleDiscoMode() {
    isDiscoMode_ = !isDiscoMode_;
    emit isDiscoModeChanged();
    scheduleColourTick();
}

void KeyboardVisualizerManager::toggleFullScreenDisco() { setIsFullScreenDisco(!isFullScreenDisco_); }

void KeyboardVisualizerManager::setIsFullScreenDisco(bool value) {
    if (value != isFullScreenDisco_) {
        isFullScreenDisco_ = value;
        emit isFullScreenDiscoChanged();
    }
}

void KeyboardVisualizerManager::showFullScreenDisco() {
    if (discoWindowShown_) {
        return;
    }
    discoWindowShown_ = true;
    if (discoHost_) {
        discoHost_->showDiscoWindow();
    }
    discoAutoHide_ = scheduler_->schedule(discoWindowLife, [this] { hideFullScreenDisco(); });
}

void KeyboardVisualizerManager::hideFullScreenDisco() {
    // The close that was pending belongs to the window going now; a window opened later gets its own.
    if (discoAutoHide_) {
        discoAutoHide_->cancel();
        discoAutoHide_.reset();
    }
    if (discoWindowShown_) {
        discoWindowShown_ = false;
        if (discoHost_) {
            discoHost_->hideDiscoWindow();
        }
    }
    setIsFullScreenDisco(false);
}

void KeyboardVisualizerManager::setDiscoIntensity(double value) {
    if (value != discoIntensity_) {
        discoIntensity_ = value;
        emit discoIntensityChanged();
    }
}

// In tenths, so that 0.1 steps land exactly on the bounds.
void KeyboardVisualizerManager::increaseIntensity() {
    setDiscoIntensity(std::min(1.0, std::round(discoIntensity_ * 10.0 + 1.0) / 10.0));
}

void KeyboardVisualizerManager::decreaseIntensity() {
    setDiscoIntensity(std::max(0.1, std::round(discoIntensity_ * 10.0 - 1.0) / 10.0));
}

void KeyboardVisualizerManager::handleKeyEvent(const keys::KeyEvent& event, KeySource source) {
    // What the key types; a chord (Ctrl+A) types nothing and shows its key ("A"). A modifier on its
    // own shows nothing.
    QString shown = event.characters;
    if (shown.isEmpty() && (event.modifiers & (keys::command | keys::control | keys::option)) != 0) {
        shown = event.charactersIgnoringModifiers;
    }
    if (shown.isEmpty()) {
        return;
    }
    // A key typed in another application may be part of a password: its bubble shows that a key
    // went down, never which.
    if (source == KeySource::otherApplication) {
        shown = QString(otherApplicationMark);
    }
    static const std::array<const char*, 6> palette{"#64d2ff", "#ff375f", "#30d158", "#ff9f0a", "#bf5af2", "#ffd60a"};
    std::uniform_real_distribution<double> xs(100.0, 800.0);
    std::uniform_real_distribution<double> ys(200.0, 600.0);
    std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
    KeyEvent bubble{QUuid::createUuid(), shown.toUpper(), xs(random_), ys(random_),
                    isDiscoMode_ ? hueColour(hue_) : QString::fromLatin1(palette[pick(random_)])};
    const QUuid id = bubble.id;
    bubbles_.append(std::move(bubble));
    emit keyEventsChanged();
    removals_.push_back(scheduler_->schedule(bubbleLife, [this, id] {
        if (bubbles_.remove(id)) {
            emit keyEventsChanged();
        }
        // The oldest removal is the one running: drop its handle.
        if (!removals_.empty()) {
            removals_.erase(removals_.begin());
        }
    }));
}

void KeyboardVisualizerManager::updateDiscoColors() {
    if (!isDiscoMode_) {
        return;
    }
    hue_ += discoIntensity_ * 0.01;
    if (hue_ > 1.0) {
        hue_ = 0.0;
    }
    currentHue_ = hue_;
    emit currentHueChanged();
    lightBarColor_ = hueColour(hue_);
    emit lightBarColorChanged();
}

QVariantList KeyboardVisualizerManager::keyEventsForView() const {
    QVariantList out;
    out.reserve(static_cast<qsizetype>(keyEvents().size()));
    for (const auto& e : keyEvents()) {
        out.append(QVariantMap{{"id", e.id.toString(QUuid::WithoutBraces)}, {"key", e.key}, {"x", e.x}, {"y", e.y},
                               {"color", e.color}});
    }
    return out;
}

} // namespace quelmo
