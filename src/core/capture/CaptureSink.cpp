#include "capture/CaptureSink.h"

#include "engine/devices/PulseSinkControl.h"
#include "shared/Log.h"

#include <QSettings>

namespace quelmo::capture {

const QString CaptureSink::sinkName = QStringLiteral("quelmo_capture");
const QString CaptureSink::description = QStringLiteral("Quelmo Capture");

namespace {
const QString previousDefaultKey = QStringLiteral("SystemAudio/previousDefaultOutput");
}

struct CaptureSink::State {
    std::mutex lock; // one call at a time, including the synchronous release on destruction
    engine::PulseSinkControl control;
    std::optional<std::uint32_t> ownedModule; // the sink's module, when it is Quelmo's to unload

    std::optional<std::string> ensureOpen() {
        if (control.isOpen()) {
            return std::nullopt;
        }
        return control.open();
    }
};

CaptureSink::CaptureSink(QObject* parent) : QObject(parent), state_(std::make_shared<State>()) {
    worker_.setMaxThreadCount(1);
}

CaptureSink::~CaptureSink() { releaseNow(); }

void CaptureSink::releaseNow() {
    worker_.waitForDone();
    releaseOn(*state_);
}

void CaptureSink::run(std::function<void()> job) { worker_.start(std::move(job)); }

void CaptureSink::probe(Done done) {
    run([this, state = state_, done] {
        Result result = probeOn(*state);
        QMetaObject::invokeMethod(this, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

void CaptureSink::create(bool makeDefault, Done done) {
    run([this, state = state_, makeDefault, done] {
        Result result = createOn(*state, makeDefault);
        QMetaObject::invokeMethod(this, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

void CaptureSink::release(std::function<void()> done) {
    run([this, state = state_, done] {
        releaseOn(*state);
        if (done) {
            QMetaObject::invokeMethod(this, done, Qt::QueuedConnection);
        }
    });
}

void CaptureSink::restoreDefaultLeftByEarlierRun() {
    if (QSettings().value(previousDefaultKey).toString().isEmpty()) {
        return; // nothing was routed, or it was given back: no call to the server
    }
    run([state = state_] {
        std::lock_guard guard(state->lock);
        QSettings settings;
        const QString previous = settings.value(previousDefaultKey).toString();
        std::string current;
        if (previous.isEmpty() || state->ensureOpen() || state->control.defaultSinkName(current)) {
            return;
        }
        if (QString::fromStdString(current) != sinkName) {
            settings.remove(previousDefaultKey); // the user has chosen another output since
            return;
        }
        if (auto error = state->control.setDefaultSink(previous.toStdString())) {
            logLine("Quelmo: could not give the default output back to " + previous.toStdString() + ": " + *error);
            return;
        }
        settings.remove(previousDefaultKey);
        logLine("Quelmo: the default output was still Quelmo Capture after an earlier run; gave it back to " +
                previous.toStdString());
    });
}

CaptureSink::Result CaptureSink::probeOn(State& state) {
    std::lock_guard guard(state.lock);
    Result result;
    if (auto error = state.ensureOpen()) {
        result.error = QString::fromStdString(*error);
        return result;
    }
    std::vector<engine::PulseSinkInfo> sinks;
    std::string defaultSink;
    if (auto error = state.control.sinks(sinks)) {
        result.error = QString::fromStdString(*error);
        return result;
    }
    state.control.defaultSinkName(defaultSink); // unknown default: not ours
    for (const auto& sink : sinks) {
        if (QString::fromStdString(sink.name) == sinkName) {
            result.found = true;
            result.monitorSource = QString::fromStdString(sink.monitorSourceName);
            result.isDefault = sink.name == defaultSink;
            // Made by Quelmo, now or by a run that crashed: it goes when capture ends.
            if (sink.ownerModule != engine::PulseSinkInfo::noModule) {
                state.ownedModule = sink.ownerModule;
            }
        }
    }
    return result;
}

CaptureSink::Result CaptureSink::createOn(State& state, bool makeDefault) {
    Result result = probeOn(state);
    if (!result.error.isEmpty()) {
        return result;
    }
    std::lock_guard guard(state.lock);
    if (!result.found) {
        std::uint32_t module = 0;
        if (auto error = state.control.loadNullSink(sinkName.toStdString(), description.toStdString(), module)) {
            result.error = QString::fromStdString(*error);
            return result;
        }
        state.ownedModule = module;
        result.found = true;
        result.monitorSource = sinkName + QStringLiteral(".monitor");
        logLine("Quelmo: created the Quelmo Capture output");
    }
    if (makeDefault && !result.isDefault) {
        std::string previous;
        if (!state.control.defaultSinkName(previous) && !previous.empty()) {
            QSettings().setValue(previousDefaultKey, QString::fromStdString(previous));
        }
        if (auto error = state.control.setDefaultSink(sinkName.toStdString())) {
            result.error = QString::fromStdString(*error);
            return result;
        }
        result.isDefault = true;
    }
    return result;
}

void CaptureSink::releaseOn(State& state) {
    std::lock_guard guard(state.lock);
    QSettings settings;
    const QString previous = settings.value(previousDefaultKey).toString();
    if (!previous.isEmpty() || state.ownedModule) {
        if (auto error = state.ensureOpen()) {
            logLine("Quelmo: could not release the Quelmo Capture output: " + *error);
            return;
        }
    }
    if (!previous.isEmpty()) {
        std::string current;
        state.control.defaultSinkName(current);
        // Only when the capture sink is still the default: a user who chose another output since
        // keeps their choice.
        if (QString::fromStdString(current) == sinkName) {
            if (auto error = state.control.setDefaultSink(previous.toStdString())) {
                logLine("Quelmo: could not restore the default output " + previous.toStdString() + ": " + *error);
            }
        }
        settings.remove(previousDefaultKey);
    }
    if (state.ownedModule) {
        if (auto error = state.control.unloadModule(*state.ownedModule)) {
            logLine("Quelmo: could not remove the Quelmo Capture output: " + *error);
        }
        state.ownedModule.reset();
    }
}

} // namespace quelmo::capture
