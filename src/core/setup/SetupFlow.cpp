#include "setup/SetupFlow.h"

#include "setup/SetupGate.h"
#include "setup/YtdlpInstaller.h"
#include "setup/YtdlpLocator.h"
#include "shared/BackgroundWorkers.h"
#include "shared/storage/StorageManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaEnum>
#include <QPointer>

namespace quelmo {

SetupFlow::Dependencies SetupFlow::defaultDependencies() {
    Dependencies deps;
    deps.scheduler = mainThreadScheduler();
    deps.isInstalled = [] { return locateYtdlp().has_value(); };
    deps.runInstall = [] {
        // The deck's installer, driven by an event loop of this worker thread's own until it ends.
        QEventLoop loop;
        YtdlpInstaller installer;
        ShellResult result;
        result.launched = true;
        installer.install([&](bool ok) {
            result.exitCode = ok ? 0 : 1;
            loop.quit();
        });
        if (installer.isRunning()) {
            loop.exec();
        }
        result.output = installer.failureReport();
        return result;
    };
    return deps;
}

SetupFlow::SetupFlow(Dependencies dependencies, QObject* parent) : QObject(parent), deps_(std::move(dependencies)) {}

SetupFlow::~SetupFlow() {
    // A manual scheduler keeps tasks after their handles go; none may reach this object later.
    for (auto* task : {pendingCheck_.get(), pendingLaunch_.get()}) {
        if (task) {
            task->cancel();
        }
    }
    for (auto& task : copiedResets_) {
        task->cancel();
    }
}

QString SetupFlow::stateName() const {
    return QString::fromLatin1(QMetaEnum::fromType<SetupState>().valueToKey(state_));
}

QString SetupFlow::command() const { return manualYtdlpInstallCommand(); }

template <typename Result>
void SetupFlow::runInBackground(std::function<Result()> work, std::function<void(Result)> done) {
    QPointer<SetupFlow> self(this);
    shared::BackgroundWorkers::pool().start([self, work = std::move(work), done = std::move(done)]() mutable {
        Result result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, result = std::move(result), done = std::move(done)] {
                if (self) {
                    done(result);
                }
            },
            Qt::QueuedConnection);
    });
}

void SetupFlow::checkInstallation() {
    const unsigned generation = ++generation_;
    if (pendingLaunch_) {
        pendingLaunch_->cancel();
    }
    setState(checking);
    if (pendingCheck_) {
        pendingCheck_->cancel();
    }
    pendingCheck_ = deps_.scheduler->schedule(checkDelay, [this, generation] {
        runInBackground<bool>(deps_.isInstalled, [this, generation](bool found) {
            if (generation == generation_) {
                setState(found ? installed : notInstalled);
            }
        });
    });
}

void SetupFlow::autoInstall() {
    const unsigned generation = ++generation_;
    if (pendingCheck_) {
        pendingCheck_->cancel();
    }
    setState(installing);
    installLog_ = QStringLiteral("Starting installation…");
    emit installLogChanged();
    auto isInstalled = deps_.isInstalled;
    auto runInstall = deps_.runInstall;
    using Outcome = std::pair<ShellResult, bool>;
    runInBackground<Outcome>(
        [runInstall, isInstalled] {
            ShellResult result = runInstall();
            // The tool is looked for only after a clean exit.
            const bool found = result.succeeded() && isInstalled();
            return Outcome{std::move(result), found};
        },
        [this, generation](Outcome outcome) {
            if (generation == generation_) {
                finishInstall(outcome.first, outcome.second);
            }
        });
}

void SetupFlow::finishInstall(const ShellResult& result, bool found) {
    if (!result.succeeded()) {
        QString message = result.description();
        if (message.isEmpty()) {
            message = result.launched ? QStringLiteral("The installer stopped with status %1.").arg(result.exitCode)
                                      : QStringLiteral("The installer could not start.");
        }
        setState(installFailed, message);
    } else if (found) {
        setState(success);
    } else {
        const QString output = result.output.trimmed();
        setState(installFailed, output.isEmpty() ? QStringLiteral("yt-dlp not found after install.") : output);
    }
}

void SetupFlow::copyCommand() {
    if (deps_.copyText) {
        deps_.copyText(command());
    }
    setCopied(true);
    auto slot = copiedResets_.emplace(copiedResets_.end());
    *slot = deps_.scheduler->schedule(copiedFor, [this, slot] {
        setCopied(false);
        copiedResets_.erase(slot);
    });
}

void SetupFlow::launch() {
    if (pendingLaunch_) {
        pendingLaunch_->cancel();
    }
    if (deps_.settingsFile.isEmpty()) {
        SetupGate::markSetupSeen(shared::StorageManager::shared());
    } else {
        shared::StorageManager settings(deps_.settingsFile);
        SetupGate::markSetupSeen(settings);
    }
    emit launched();
}

void SetupFlow::setState(SetupState state, const QString& failureMessage) {
    if (state == state_ && failureMessage == failureMessage_) {
        return;
    }
    state_ = state;
    failureMessage_ = failureMessage;
    emit stateChanged();
    if (state == installed || state == success) {
        // The success card shows for a moment, then the deck takes over on its own.
        pendingLaunch_ = deps_.scheduler->schedule(launchDelay, [this] { launch(); });
    }
}

void SetupFlow::setCopied(bool copied) {
    if (copied != copied_) {
        copied_ = copied;
        emit copiedChanged();
    }
}

} // namespace quelmo
