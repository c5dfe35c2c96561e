#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace quelmo {

// One deck per user: the first launch listens on a socket in the user's runtime folder; a later
// launch finds it there, asks the running deck to come forward and leaves. A socket left by a deck
// that crashed answers nobody and is taken over. A lock file around the check makes two launches
// at the same moment agree on which of them runs.
//
// Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Running,       // this process is the deck; activationRequested() reports later launches
        AlreadyRunning, // another deck runs and was asked to come forward: this process should exit
        Unguarded,     // the socket could not be set up: run, but a second deck is not kept out
    };

    // `socketPath`: where the deck listens (see defaultSocketPath()).
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // `activationToken`: the launcher's startup id or XDG activation token, handed to the running
    // deck so that the desktop lets it take the focus.
    Claim claim(const QByteArray& activationToken = {});
    QString errorText() const { return errorText_; }

    // $XDG_RUNTIME_DIR/<app id>.socket, or Qt's private runtime folder when that is unset.
    static QString defaultSocketPath();

signals:
    void activationRequested(const QByteArray& activationToken);

private:
    void serveConnection();
    bool askRunningDeck(const QByteArray& activationToken);

    QString socketPath_;
    QString errorText_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace quelmo
