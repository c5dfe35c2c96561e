#pragma once

#include "engine/AudioBuffer.h"
#include "engine/AudioFormat.h"
#include "voice/SpeechRenderer.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

namespace quelmo::voice {

// The deck's voice-drop renders: each text goes through the speech tool into a temporary file on a
// worker thread, is read into a buffer in the graph's format there, and comes back on the main
// thread. Every temporary file is tracked from the moment it is named until release() (the drop's
// player calls it when the drop ends, played out or cut off); whatever is still on disk when this is
// destroyed is removed then. Main thread, except where said.
class VoiceDrops : public QObject {
    Q_OBJECT
public:
    struct Rendered {
        std::shared_ptr<const engine::AudioBuffer> buffer; // null on failure
        QString tempPath;
        QString voice;   // the system voice name chosen
        QString failure; // what went wrong, for the status line; empty on success
    };
    using Done = std::function<void(Rendered)>;

    explicit VoiceDrops(std::optional<SpeechTool> tool = SpeechTool::find(), QObject* parent = nullptr);
    ~VoiceDrops() override;

    // Renders text with the given rate and voice tag. done runs on the main thread with the buffer
    // (whose file is then the caller's to release()), or with the failure (the file is gone). A
    // render that finishes after a later one has already been delivered is discarded, file and all.
    void render(const QString& text, int wordsPerMinute, const QString& voiceTag,
                const engine::AudioFormat& engineFormat, Done done);

    // Deletes a render's temporary file; a file already gone is fine.
    void release(const QString& tempPath);

    bool isRendering() const { return pending_ > 0; }
    const std::optional<SpeechTool>& tool() const { return tool_; }
    // Temporary files made and not yet removed.
    const QSet<QString>& liveFiles() const { return liveFiles_; }

private:
    void deliver(std::uint64_t generation, Rendered rendered, const Done& done);

    std::optional<SpeechTool> tool_;
    QThreadPool workers_;
    QSet<QString> liveFiles_;
    std::uint64_t nextGeneration_ = 1;
    std::uint64_t deliveredGeneration_ = 0;
    int pending_ = 0;
};

} // namespace quelmo::voice
