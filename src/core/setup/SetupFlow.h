#pragma once

#include "setup/ShellResult.h"
#include "util/DelayScheduler.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <list>

namespace quelmo {

// The first-run setup screen's state: is yt-dlp here, install it, copy the Terminal command, and
// leave for the deck. Lives on the main thread; the presence test and the install run on a worker
// thread and report back to the main thread, the only place the state changes.
class SetupFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(SetupState state READ state NOTIFY stateChanged)
    // The state's name ("checking", "notInstalled", ...), for QML, which reads only capitalised
    // enumeration keys.
    Q_PROPERTY(QString stateName READ stateName NOTIFY stateChanged)
    Q_PROPERTY(QString failureMessage READ failureMessage NOTIFY stateChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QString installLog READ installLog NOTIFY installLogChanged)
    Q_PROPERTY(QString command READ command CONSTANT)

public:
    // installFailed carries failureMessage.
    enum SetupState { installFailed, checking, installed, notInstalled, installing, success };
    Q_ENUM(SetupState)

    static constexpr std::chrono::milliseconds checkDelay{600};
    static constexpr std::chrono::milliseconds launchDelay{1500};
    static constexpr std::chrono::milliseconds copiedFor{2500};

    struct Dependencies {
        std::shared_ptr<DelayScheduler> scheduler;
        // Blocking; called on a worker thread.
        std::function<bool()> isInstalled;
        // Runs the installer and waits for it; blocking, called on a worker thread. Its output is
        // what the screen shows when the install fails.
        std::function<ShellResult()> runInstall;
        // Puts text on the clipboard; main thread.
        std::function<void(const QString&)> copyText;
        // The settings file that receives the "setup seen" flag; empty means the application's
        // own user settings.
        QString settingsFile;
    };
    // The real thing: main-thread timers, locateYtdlp(), the deck's YtdlpInstaller (its failure
    // report as the output), the user settings. The clipboard is the application's to give
    // (copyText).
    static Dependencies defaultDependencies();

    explicit SetupFlow(Dependencies dependencies, QObject* parent = nullptr);
    ~SetupFlow() override;

    SetupState state() const { return state_; }
    QString stateName() const;
    QString failureMessage() const { return failureMessage_; }
    bool copied() const { return copied_; }
    QString installLog() const { return installLog_; }
    QString command() const;

    // checking; 0.6 s later the presence test runs, then installed or notInstalled.
    Q_INVOKABLE void checkInstallation();
    // installing; runs the installer; success when it ends well and yt-dlp is then found,
    // installFailed otherwise.
    Q_INVOKABLE void autoInstall();
    // Puts command on the clipboard; copied is true until 2.5 s after the latest press.
    Q_INVOKABLE void copyCommand();
    // Stores that setup was seen and announces the way to the deck. The only way out.
    Q_INVOKABLE void launch();

signals:
    void stateChanged();
    void copiedChanged();
    void installLogChanged();
    void launched();

private:
    void setState(SetupState state, const QString& failureMessage = {});
    void setCopied(bool copied);
    void finishInstall(const ShellResult& result, bool found);
    // Runs work on a worker thread and then done(result) on this object's thread, unless this
    // object has gone by then.
    template <typename Result>
    void runInBackground(std::function<Result()> work, std::function<void(Result)> done);

    Dependencies deps_;
    SetupState state_ = checking;
    QString failureMessage_;
    bool copied_ = false;
    QString installLog_;
    // Answers of older tests or installs are dropped when a newer one has started.
    unsigned generation_ = 0;
    std::unique_ptr<DelayScheduler::Task> pendingCheck_;
    std::unique_ptr<DelayScheduler::Task> pendingLaunch_;
    // One per press of Copy; each goes when it has fired.
    std::list<std::unique_ptr<DelayScheduler::Task>> copiedResets_;
};

} // namespace quelmo
