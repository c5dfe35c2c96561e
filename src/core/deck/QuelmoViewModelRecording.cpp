#include "deck/QuelmoViewModel.h"

#include "recording/SetRecording.h"

namespace quelmo {

void QuelmoViewModel::toggleRecording() {
    if (setRecording_->isRecording()) {
        setRecording_->stop();
        return;
    }
    // The output must be running for there to be anything to record.
    prepareAudioEngineIfNeeded();
    setRecording_->setFormat(recordAsWav_ ? SetRecording::Format::Wav : SetRecording::Format::Flac);
    setRecording_->start();
}

bool QuelmoViewModel::isRecordingSet() const { return setRecording_->isRecording(); }

QString QuelmoViewModel::recordingStatus() const { return setRecording_->statusText(); }

void QuelmoViewModel::setRecordAsWav(bool value) { assign(recordAsWav_, value, &QuelmoViewModel::recordAsWavChanged); }

void QuelmoViewModel::setupSetRecording(const QString& folder) {
    setRecording_ = std::make_unique<SetRecording>(*engine_);
    if (!folder.isEmpty()) {
        setRecording_->setFolder(folder);
    }
    connect(setRecording_.get(), &SetRecording::recordingChanged, this, &QuelmoViewModel::isRecordingSetChanged);
    connect(setRecording_.get(), &SetRecording::progressChanged, this, &QuelmoViewModel::recordingStatusChanged);
    connect(setRecording_.get(), &SetRecording::recordingChanged, this, &QuelmoViewModel::recordingStatusChanged);
}

} // namespace quelmo
