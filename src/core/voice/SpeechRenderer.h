#pragma once

#include "engine/AudioBuffer.h"
#include "engine/AudioFormat.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quelmo::voice {

// The program that speaks a drop: espeak-ng, the speech engine every Debian desktop can install;
// a `say` only where espeak-ng is missing.
struct SpeechTool {
    enum class Kind { say, espeak };
    Kind kind = Kind::espeak;
    QString program;

    // espeak-ng found in folders (PATH's when empty), else a `say` found there; nothing when neither
    // is. espeak-ng wins whenever both are there: on Debian `say` belongs to an unrelated package
    // (GNUstep's) with another command line.
    static std::optional<SpeechTool> find(const QStringList& folders = {});
    // The file name extension the tool's output gets (the tool picks its container from it).
    QString outputSuffix() const;
};

// One run of the speech tool, fully spelt out.
struct SpeechCommand {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
};

// Why a render could not become a buffer. Domain "QuelmoVoice" with its codes, or the file reader's
// own failure passed on (domain "AudioFile", code 0).
struct VoiceError {
    QString domain;
    int code = 0;
    QString description;
};

struct VoiceBufferResult {
    std::shared_ptr<engine::AudioBuffer> buffer;
    std::optional<VoiceError> error;
};

// Turns a drop text into a buffer in the graph's format: the voice choice, the speech tool's run and
// the conversion of its file. Nothing here touches a controller; every function may run on any
// thread but the render thread.
class SpeechRenderer {
public:
    // True when a character of text lies in the Arabic block, U+0600 to U+06FF.
    static bool containsArabicScript(QStringView text);

    // "Majed" for Arabic text whatever the tag; "Alex" for the tag "auto" (any letter case, spaces
    // around) or an empty one; otherwise the tag, trimmed, in its own letter case.
    static QString pickSayVoiceIdentifier(const QString& text, const QString& tag);

    // The espeak-ng voice standing in for a system voice name: "Alex" and "Tom" male English,
    // "Victoria" female English, "Majed" Arabic; any other name is passed on as an espeak-ng voice.
    static QString espeakVoiceFor(const QString& identifier);

    // The command that renders text into outputPath: espeak-ng with the voice, rate and UTF-8 input,
    // or `say` with its voice, file, format and rate. For both the text comes last, after "--", so
    // that a text starting with a dash is spoken, not read as an option. The environment is base
    // plus LC_ALL=en_US.UTF-8 when base has no LC_ALL.
    static SpeechCommand command(const SpeechTool& tool, const QString& text, const QString& outputPath,
                                 int wordsPerMinute, const QString& voiceIdentifier,
                                 const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment());

    // Runs the command and waits for it (worker thread; gives up and kills it after timeoutMs). True
    // only when it exits with status 0 and outputPath exists afterwards; a tool that cannot be
    // started is false, nothing logged.
    static bool runSayExport(const SpeechTool& tool, const QString& text, const QString& outputPath,
                             int wordsPerMinute, const QString& voiceIdentifier, int timeoutMs = 20000);

    // The whole file as one buffer in engineFormat (the graph's 44.1 kHz stereo float). An empty
    // render gives 2048 frames of silence. A file at the engine's rate comes back sample for sample,
    // mono copied to both channels; any other rate is resampled with libswresample (espeak-ng writes
    // 22.05 kHz mono).
    static VoiceBufferResult voiceBufferMatchingEngine(const QString& path, const engine::AudioFormat& engineFormat);
};

} // namespace quelmo::voice
