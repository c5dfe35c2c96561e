#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace quelmo::engine {
class AudioEngine;
} // namespace quelmo::engine

namespace quelmo {

class SetRecording;

// The deck's REC, as the views see it (deck.recording): one button that starts recording the main
// output or stops and saves, the format of the next file, and a status line.
//
// Main thread only. It records through the engine it is given, which must outlive it.
class RecordingController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecordingSet READ isRecordingSet NOTIFY isRecordingSetChanged)
    // "● REC 00:12 · 1.4 MB" while recording, then the saved file's name, or why it failed.
    Q_PROPERTY(QString recordingStatus READ recordingStatus NOTIFY recordingStatusChanged)
    Q_PROPERTY(bool recordAsWav READ recordAsWav WRITE setRecordAsWav NOTIFY recordAsWavChanged)

public:
    // `prepareOutput` makes sure the output runs, so that there is something to record. `folder`
    // is where files go; empty for the user's Music folder.
    RecordingController(engine::AudioEngine& engine, std::function<void()> prepareOutput, const QString& folder,
                        QObject* parent = nullptr);
    // A recording in progress is stopped and its file completed.
    ~RecordingController() override;

    // Starts recording the main output (FLAC, or WAV with recordAsWav) or stops and saves.
    Q_INVOKABLE void toggleRecording();
    // Stops and saves a recording in progress; nothing otherwise.
    void stopIfRecording();

    bool isRecordingSet() const;
    QString recordingStatus() const;
    bool recordAsWav() const { return recordAsWav_; }
    void setRecordAsWav(bool value);

    SetRecording& recording() { return *recording_; }

signals:
    void isRecordingSetChanged();
    void recordingStatusChanged();
    void recordAsWavChanged();

private:
    std::function<void()> prepareOutput_;
    std::unique_ptr<SetRecording> recording_;
    bool recordAsWav_ = false;
};

} // namespace quelmo
