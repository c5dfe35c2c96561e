#include "voice/SpeechRenderer.h"

#include "engine/file/AudioFile.h"
#include "engine/file/FormatConverter.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace quelmo::voice {
namespace {

constexpr std::uint32_t emptyRenderFrames = 2048;
const QString errorDomain = QStringLiteral("QuelmoVoice");

VoiceBufferResult failure(int code, const QString& description) {
    return {nullptr, VoiceError{errorDomain, code, description}};
}

VoiceBufferResult readFailure(const std::string& error) {
    return {nullptr, VoiceError{QStringLiteral("AudioFile"), 0, QString::fromStdString(error)}};
}

// Reads the whole file, converting as it goes, into a buffer of the graph's format.
VoiceBufferResult convertWhole(engine::AudioFile& file, const engine::AudioFormat& engineFormat) {
    std::string error;
    auto converter = engine::FormatConverter::create(file.processingFormat(), &error);
    if (!converter) {
        return failure(5, QStringLiteral("Unsupported speech format from the speech tool."));
    }
    constexpr std::uint32_t chunk = 4096;
    auto input = engine::AudioBuffer::create(file.processingFormat(), chunk);
    const double ratio = engineFormat.sampleRate / file.processingFormat().sampleRate;
    const auto expected = static_cast<std::uint32_t>(std::ceil(static_cast<double>(file.length()) * ratio)) + chunk;
    auto output = engine::AudioBuffer::create(engineFormat, expected + converter->maxOutputFrames(chunk));
    std::uint32_t written = 0;
    auto outputAt = [&](std::uint32_t at) {
        return std::array<float*, 2>{output->channel(0).data() + at, output->channel(1).data() + at};
    };
    for (;;) {
        const auto got = file.read(*input, chunk, &error);
        if (got < 0) {
            return readFailure(error);
        }
        if (got == 0) {
            break;
        }
        std::array<const float*, engine::AudioFormat::maxChannels> in{};
        for (std::uint32_t c = 0; c < input->channelCount(); ++c) {
            in[c] = input->channel(c).data();
        }
        auto out = outputAt(written);
        written += converter->convert(in.data(), static_cast<std::uint32_t>(got), out.data(),
                                      output->frameCapacity() - written);
    }
    for (;;) {
        auto out = outputAt(written);
        const auto tail = converter->flush(out.data(), output->frameCapacity() - written);
        if (tail == 0) {
            break;
        }
        written += tail;
    }
    output->setFrameLength(written);
    return {output, std::nullopt};
}

} // namespace

std::optional<SpeechTool> SpeechTool::find(const QStringList& folders) {
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"), folders);
    if (!espeak.isEmpty()) {
        return SpeechTool{Kind::espeak, espeak};
    }
    const QString say = QStandardPaths::findExecutable(QStringLiteral("say"), folders);
    if (!say.isEmpty()) {
        return SpeechTool{Kind::say, say};
    }
    return std::nullopt;
}

QString SpeechTool::outputSuffix() const {
    return kind == Kind::say ? QStringLiteral(".caf") : QStringLiteral(".wav");
}

bool SpeechRenderer::containsArabicScript(QStringView text) {
    for (const char32_t scalar : text.toUcs4()) {
        if (scalar >= 0x0600 && scalar <= 0x06FF) {
            return true;
        }
    }
    return false;
}

QString SpeechRenderer::pickSayVoiceIdentifier(const QString& text, const QString& tag) {
    if (containsArabicScript(text)) {
        return QStringLiteral("Majed");
    }
    const QString trimmed = tag.trimmed();
    if (trimmed.isEmpty() || trimmed.toLower() == QStringLiteral("auto")) {
        return QStringLiteral("Alex");
    }
    return trimmed;
}

QString SpeechRenderer::espeakVoiceFor(const QString& identifier) {
    struct Mapping {
        const char* system;
        const char* espeak;
    };
    static constexpr Mapping voices[] = {
        {"Alex", "en-us"},
        {"Tom", "en-us+m7"},
        {"Victoria", "en-us+f3"},
        {"Majed", "ar"},
    };
    for (const auto& voice : voices) {
        if (identifier == QLatin1String(voice.system)) {
            return QString::fromLatin1(voice.espeak);
        }
    }
    return identifier;
}

SpeechCommand SpeechRenderer::command(const SpeechTool& tool, const QString& text, const QString& outputPath,
                                      int wordsPerMinute, const QString& voiceIdentifier,
                                      const QProcessEnvironment& base) {
    SpeechCommand command{tool.program, {}, base};
    if (!command.environment.contains(QStringLiteral("LC_ALL"))) {
        command.environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    }
    const QString rate = QString::number(wordsPerMinute);
    if (tool.kind == SpeechTool::Kind::say) {
        command.arguments = {QStringLiteral("-v"), voiceIdentifier, QStringLiteral("-o"), outputPath,
                             QStringLiteral("--data-format=LEF32@44100"), QStringLiteral("-r"), rate, QStringLiteral("--"),
                             text};
    } else {
        command.arguments = {QStringLiteral("-v"), espeakVoiceFor(voiceIdentifier), QStringLiteral("-s"), rate,
                             QStringLiteral("-b"), QStringLiteral("1"), QStringLiteral("-w"), outputPath,
                             QStringLiteral("--"), text};
    }
    return command;
}

bool SpeechRenderer::runSayExport(const SpeechTool& tool, const QString& text, const QString& outputPath,
                                  int wordsPerMinute, const QString& voiceIdentifier, int timeoutMs) {
    const auto spelt = command(tool, text, outputPath, wordsPerMinute, voiceIdentifier);
    QProcess process;
    process.setProgram(spelt.program);
    process.setArguments(spelt.arguments);
    process.setProcessEnvironment(spelt.environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted()) {
        return false;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           QFileInfo::exists(outputPath);
}

VoiceBufferResult SpeechRenderer::voiceBufferMatchingEngine(const QString& path, const engine::AudioFormat& engineFormat) {
    std::string error;
    auto file = engine::AudioFile::open(path.toStdString(), &error);
    if (!file) {
        return readFailure(error);
    }
    const auto length = static_cast<std::uint32_t>(std::clamp<std::int64_t>(file->length(), 0, UINT32_MAX));
    if (length == 0) {
        auto silence = engine::AudioBuffer::create(engineFormat, emptyRenderFrames);
        if (!silence) {
            return failure(1, QStringLiteral("Empty speech render."));
        }
        silence->setFrameLength(emptyRenderFrames);
        return {silence, std::nullopt};
    }
    return convertWhole(*file, engineFormat);
}

} // namespace quelmo::voice
