#include "recording/RecordingController.h"

#include "recording/SetRecording.h"

namespace quelmo {

RecordingController::RecordingController(engine::AudioEngine& engine, std::function<void()> prepareOutput,
                                         const QString& folder, QObject* parent)
    : QObject(parent)
    , prepareOutput_(std::move(prepareOutput))
    , recording_(std::make_unique<SetRecording>(engine)) {
    if (!folder.isEmpty()) {
        recording_->setFolder(folder);
    }
    connect(recording_.get(), &SetRecording::recordingChanged, this, &RecordingController::isRecordingSetChanged);
    connect(recording_.get(), &SetRecording::progressChanged, this, &RecordingController::recordingStatusChanged);
    connect(recording_.get(), &SetRecording::recordingChanged, this, &RecordingController::recordingStatusChanged);
}

RecordingController::~RecordingController() = default;

void RecordingController::toggleRecording() {
    if (recording_->isRecording()) {
        recording_->stop();
        return;
    }
    if (prepareOutput_) {
        prepareOutput_();
    }
    recording_->setFormat(recordAsWav_ ? SetRecording::Format::Wav : SetRecording::Format::Flac);
    recording_->start();
}

void RecordingController::stopIfRecording() {
    if (recording_->isRecording()) {
        recording_->stop();
    }
}

bool RecordingController::isRecordingSet() const { return recording_->isRecording(); }

QString RecordingController::recordingStatus() const { return recording_->statusText(); }

void RecordingController::setRecordAsWav(bool value) {
    if (recordAsWav_ != value) {
        recordAsWav_ = value;
        emit recordAsWavChanged();
    }
}

} // namespace quelmo
