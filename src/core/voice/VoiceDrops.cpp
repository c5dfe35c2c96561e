#include "voice/VoiceDrops.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace quelmo::voice {

VoiceDrops::VoiceDrops(std::optional<SpeechTool> tool, QObject* parent) : QObject(parent), tool_(std::move(tool)) {
    workers_.setMaxThreadCount(2);
}

VoiceDrops::~VoiceDrops() {
    workers_.waitForDone();
    for (const QString& path : std::as_const(liveFiles_)) {
        QFile::remove(path);
    }
}

void VoiceDrops::render(const QString& text, int wordsPerMinute, const QString& voiceTag,
                        const engine::AudioFormat& engineFormat, Done done) {
    const QString voice = SpeechRenderer::pickSayVoiceIdentifier(text, voiceTag);
    if (!tool_) {
        done({nullptr, {}, voice, QStringLiteral("No speech tool found: install espeak-ng (sudo apt install espeak-ng)")});
        return;
    }
    const QString path = QDir::temp().filePath(QStringLiteral("quelmo-drop-%1%2")
                                                   .arg(QUuid::createUuid().toString(QUuid::WithoutBraces),
                                                        tool_->outputSuffix()));
    liveFiles_.insert(path);
    ++pending_;
    const std::uint64_t generation = nextGeneration_++;
    const SpeechTool tool = *tool_;
    workers_.start([this, tool, text, wordsPerMinute, voice, path, engineFormat, generation, done] {
        Rendered rendered{nullptr, path, voice, {}};
        const QString toolName = tool.kind == SpeechTool::Kind::say ? QStringLiteral("say") : QStringLiteral("espeak-ng");
        if (!SpeechRenderer::runSayExport(tool, text, path, wordsPerMinute, voice)) {
            rendered.failure = QStringLiteral("Speech render failed (%1, voice %2)").arg(toolName, voice);
        } else {
            auto result = SpeechRenderer::voiceBufferMatchingEngine(path, engineFormat);
            if (result.error) {
                rendered.failure = QStringLiteral("Speech render unreadable: %1").arg(result.error->description);
            } else {
                rendered.buffer = std::move(result.buffer);
            }
        }
        QMetaObject::invokeMethod(this, [this, generation, rendered, done] { deliver(generation, rendered, done); },
                                  Qt::QueuedConnection);
    });
}

void VoiceDrops::deliver(std::uint64_t generation, Rendered rendered, const Done& done) {
    --pending_;
    if (!rendered.buffer || generation < deliveredGeneration_) {
        release(rendered.tempPath);
        if (rendered.buffer) {
            return; // overtaken by a later drop
        }
        rendered.tempPath.clear();
        done(std::move(rendered));
        return;
    }
    deliveredGeneration_ = generation;
    done(std::move(rendered));
}

void VoiceDrops::release(const QString& tempPath) {
    if (tempPath.isEmpty()) {
        return;
    }
    QFile::remove(tempPath);
    liveFiles_.remove(tempPath);
}

} // namespace quelmo::voice
