#include "recording/SetRecording.h"

#include "engine/AudioEngine.h"
#include "engine/record/SetRecorder.h"
#include "shared/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quelmo {

namespace {
constexpr int pollMs = 250;
} // namespace

SetRecording::SetRecording(engine::AudioEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine), clock_([] { return QDateTime::currentDateTime(); }) {
    folder_ = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (folder_.isEmpty()) {
        folder_ = QDir::home().filePath(QStringLiteral("Music"));
    }
    poll_.setInterval(pollMs);
    connect(&poll_, &QTimer::timeout, this, &SetRecording::refresh);
}

SetRecording::~SetRecording() {
    stop();
}

QString SetRecording::fileNameFor(const QDateTime& when, Format format) {
    return QStringLiteral("Quelmo Set ") + when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) +
           (format == Format::Flac ? QStringLiteral(".flac") : QStringLiteral(".wav"));
}

QString SetRecording::recordingText(double seconds, qint64 bytes) {
    const double megabytes = static_cast<double>(bytes) / 1e6;
    const QString size = megabytes < 999.95
                             ? QString::number(megabytes, 'f', 1) + QStringLiteral(" MB")
                             : QString::number(megabytes / 1000.0, 'f', 1) + QStringLiteral(" GB");
    return QStringLiteral("● REC ") + QString::fromStdString(engine::SetRecorder::clockText(seconds)) +
           QStringLiteral(" · ") + size;
}

// The name for now, or for the nth try (a file or link of that name there already: two recordings
// within a second), the same name with " (n)" before the extension.
QString SetRecording::pathFor(const QString& folder, const QString& name, int n) {
    const QFileInfo info(name);
    return QDir(folder).filePath(n < 2 ? name
                                       : info.completeBaseName() + QStringLiteral(" (%1).").arg(n) + info.suffix());
}

bool SetRecording::start() {
    if (recorder_) {
        return true;
    }
    if (!QDir().mkpath(folder_)) {
        finish(QStringLiteral("cannot create the folder ") + folder_);
        return false;
    }
    auto recorder = std::make_shared<engine::SetRecorder>([](const std::string& line) { logLine(line); });
    const auto format =
        format_ == Format::Flac ? engine::RecordingFormat::flac : engine::RecordingFormat::wav;
    // The recorder creates the file only where nothing is: a name taken (by a file, or a link that
    // would have us overwrite what it points to) moves on to the next.
    const QString name = fileNameFor(clock_(), format_);
    std::optional<std::string> error;
    for (int n = 1; n <= maxNameTries; ++n) {
        path_ = pathFor(folder_, name, n);
        error = recorder->start(QFile::encodeName(path_).toStdString(), format);
        if (!error || *error != engine::RecordingEncoder::fileExists) {
            break;
        }
    }
    if (error) {
        finish(QString::fromStdString(*error));
        return false;
    }
    recorder_ = std::move(recorder);
    engine_.setOutputRecorder(recorder_);
    logLine("Quelmo: recording the set to " + path_.toStdString());
    elapsed_ = 0.0;
    bytes_ = recorder_->savedBytes();
    dropped_ = 0;
    status_ = recordingText(elapsed_, bytes_);
    poll_.start();
    emit recordingChanged();
    emit progressChanged();
    return true;
}

void SetRecording::stop() {
    if (!recorder_) {
        return;
    }
    engine_.setOutputRecorder(nullptr);
    const auto error = recorder_->stop();
    finish(error ? QString::fromStdString(*error) : QString());
}

void SetRecording::refresh() {
    if (!recorder_) {
        return;
    }
    if (recorder_->failure()) {
        stop();
        return;
    }
    elapsed_ = recorder_->elapsedSeconds();
    bytes_ = recorder_->savedBytes();
    dropped_ = recorder_->droppedFrames();
    status_ = recordingText(elapsed_, bytes_);
    emit progressChanged();
}

// Ends the recording in progress, if any, and sets the status: the saved file, or the failure.
void SetRecording::finish(const QString& failure) {
    const bool wasRecording = static_cast<bool>(recorder_);
    std::string frames;
    if (recorder_) {
        // What the file holds against what the output played meanwhile: equal unless frames were
        // dropped (the disk fell behind), which the recorder has logged where they were.
        frames = ": " + std::to_string(recorder_->savedFrames()) + " frames of " +
                 std::to_string(recorder_->capturedFrames() + recorder_->droppedFrames()) + " played";
        elapsed_ = recorder_->elapsedSeconds();
        bytes_ = recorder_->savedBytes();
        dropped_ = recorder_->droppedFrames();
        recorder_.reset(); // the engine keeps it until the render thread is done with it
    }
    poll_.stop();
    if (failure.isEmpty()) {
        status_ = QStringLiteral("Saved ") + QFileInfo(path_).fileName();
        logLine("Quelmo: recording saved to " + path_.toStdString() + frames);
    } else {
        status_ = QStringLiteral("Could not record: ") + failure;
        logLine("Quelmo: could not record: " + failure.toStdString());
    }
    if (wasRecording) {
        emit recordingChanged();
    }
    emit progressChanged();
}

} // namespace quelmo
