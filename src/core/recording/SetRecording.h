#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace quelmo::engine {
class AudioEngine;
class SetRecorder;
} // namespace quelmo::engine

namespace quelmo {

// The deck's REC: records what the main output plays, after the master, to a new file in the
// user's Music folder named after the moment it starts ("Quelmo Set 2026-12-07 16-05-31.flac"), as
// 24-bit FLAC or, on request, 32-bit float WAV. Elapsed time, file size and a status line are
// refreshed four times a second while recording.
//
// Main thread only. Recording keeps the engine's device awake; whatever the engine does not render
// (while it is stopped) is not in the file.
class SetRecording : public QObject {
    Q_OBJECT

public:
    enum class Format { Flac, Wav };

    explicit SetRecording(engine::AudioEngine& engine, QObject* parent = nullptr);
    // Stops a recording in progress, completing its file.
    ~SetRecording() override;

    // The folder new recordings go to; by default the user's Music folder. Made when recording starts.
    void setFolder(const QString& folder) { folder_ = folder; }
    QString folder() const { return folder_; }
    // The format of the next recording; FLAC unless set.
    void setFormat(Format format) { format_ = format; }
    Format format() const { return format_; }
    // Where file names take their date and time from; the local clock unless set.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // Starts recording to a new file. False when it cannot, with the reason in statusText()
    // ("Could not record: cannot create the file: Permission denied"). Does nothing while recording.
    bool start();
    // Completes the file; statusText() then names it ("Saved Quelmo Set … .flac").
    void stop();

    bool isRecording() const { return static_cast<bool>(recorder_); }
    // Of the recording in progress, or of the last one once stopped.
    double elapsedSeconds() const { return elapsed_; }
    qint64 fileSize() const { return bytes_; }
    qint64 droppedFrames() const { return dropped_; }
    QString filePath() const { return path_; }
    // "● REC 00:12 · 1.4 MB" while recording, "Saved Quelmo Set 2026-12-07 16-05-31.flac" after,
    // "Could not record: …" on failure, empty before the first recording.
    QString statusText() const { return status_; }

    // "Quelmo Set 2026-12-07 16-05-31.flac"
    static QString fileNameFor(const QDateTime& when, Format format);
    // "● REC 00:12 · 1.4 MB": sizes in decimal megabytes, or gigabytes from 1000 MB on.
    static QString recordingText(double seconds, qint64 bytes);

signals:
    // Started or stopped.
    void recordingChanged();
    // Elapsed time, size or status text moved.
    void progressChanged();

private:
    void refresh();
    void finish(const QString& failure);
    static QString pathFor(const QString& folder, const QString& name, int n);
    static constexpr int maxNameTries = 100;

    engine::AudioEngine& engine_;
    std::shared_ptr<engine::SetRecorder> recorder_;
    QTimer poll_;
    QString folder_;
    Format format_ = Format::Flac;
    std::function<QDateTime()> clock_;
    QString path_;
    QString status_;
    double elapsed_ = 0.0;
    qint64 bytes_ = 0;
    qint64 dropped_ = 0;
};

} // namespace quelmo
