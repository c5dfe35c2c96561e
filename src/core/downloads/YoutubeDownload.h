#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace quelmo::downloads {

// The newest audio file (mp3, m4a, webm, opus, ogg, wav, flac, aac, any case) of folder whose name
// contains token, by creation time; hidden files are skipped. Only a file carrying the token counts.
std::optional<QString> findMostRecentAudio(const QString& folder, const QString& token);

// One run of yt-dlp fetching the audio of one address as MP3 into a folder under a file-name token.
// The child gets a fixed environment and a process group of its own, so cancelling ends it and the
// ffmpeg it started. Its output is read on the calling thread's event loop as it arrives, line by
// line. Destroying a running download cancels it and waits (briefly) for it to end.
class YoutubeDownload : public QObject {
    Q_OBJECT
public:
    // program is yt-dlp's absolute path, as locateYtdlp() gives it.
    YoutubeDownload(QString program, QString address, QString folder, QObject* parent = nullptr);
    ~YoutubeDownload() override;

    // "ytdl_" and the first 8 characters of a new random UUID, upper case.
    const QString& token() const { return token_; }
    // folder + "/" + token + ".%(ext)s"
    QString outputTemplate() const;
    // The 12 arguments: extract MP3 at best quality under the template, no playlist, newline
    // progress, no part files, then "--" and the address, so an address is never read as an option.
    QStringList arguments() const;
    // PATH, HOME and TMPDIR only. PATH is the folders yt-dlp is looked for in (YtdlpLocator), then
    // the system's own, so the ffmpeg installed beside it is found too.
    static QProcessEnvironment childEnvironment();

    void start();
    // Ends the child and its children, then removes every file of the folder carrying the token and
    // reports cancelled(). Nothing happens once the run has ended.
    void cancel();
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    // The part of standard output after its last line end, waiting for the rest of its line: at
    // most the latest 64 KiB of it, starting on a whole character.
    const QByteArray& unfinishedOutputLine() const { return pendingOutput_; }

signals:
    // One complete line of standard output, as it arrives.
    void outputLine(const QString& line);
    void failedToStart(const QString& reason);
    // The child exited on its own; errorText is its standard error, or its last 64 KiB when longer:
    // from the first line that starts in them (else the first whole character), so the last lines,
    // where yt-dlp says what went wrong, are always there. Bytes that are not UTF-8 read as U+FFFD.
    void finished(int exitStatus, const QString& errorText);
    void cancelled();

private:
    void readOutput(bool flushRest);
    void readErrors();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void signalGroup(int signal);
    void removeTokenFiles();

    QString program_;
    QString address_;
    QString folder_;
    QString token_;
    QProcess process_;
    QByteArray pendingOutput_;
    QByteArray errors_;
    qint64 groupId_ = 0;
    bool cancelling_ = false;
};

} // namespace quelmo::downloads
