#include "shell/SingleInstance.h"

#include "shell/DesktopIdentity.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace quelmo {
namespace {

// One line each way: "activate <token>\n", answered with "ok\n".
constexpr char activateWord[] = "activate";
constexpr char answer[] = "ok\n";
constexpr int connectTimeoutMs = 1000;
constexpr int answerTimeoutMs = 3000;
constexpr qsizetype longestRequest = 4096;

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    return QDir(folder).filePath(DesktopIdentity::appId + QStringLiteral(".socket"));
}

SingleInstance::Claim SingleInstance::claim(const QByteArray& activationToken) {
    // Two launches at once: the second waits for the first to be listening (or to have found a
    // running deck) before it looks. A lock left by a crashed launch is stale once its process is
    // gone; QLockFile checks that.
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(5000)) {
        errorText_ = QStringLiteral("cannot lock %1.lock").arg(socketPath_);
        return Claim::Unguarded;
    }
    if (askRunningDeck(activationToken)) {
        return Claim::AlreadyRunning;
    }
    // Nobody answered: whatever is left at the path belongs to a deck that has gone.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        errorText_ = QStringLiteral("cannot listen on %1: %2").arg(socketPath_, server_->errorString());
        server_.reset();
        return Claim::Unguarded;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::serveConnection);
    return Claim::Running;
}

bool SingleInstance::askRunningDeck(const QByteArray& activationToken) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    QByteArray request = activateWord;
    if (!activationToken.isEmpty()) {
        request += ' ' + activationToken.left(longestRequest / 2).simplified().replace(' ', "");
    }
    socket.write(request + '\n');
    socket.waitForBytesWritten(answerTimeoutMs);
    // A deck that accepted the connection runs, even if it is too busy to answer in time.
    if (!socket.canReadLine() && !socket.waitForReadyRead(answerTimeoutMs)) {
        errorText_ = QStringLiteral("the running deck did not answer");
    }
    return true;
}

void SingleInstance::serveConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readRequest = [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestRequest) {
                    socket->abort(); // not one of ours
                }
                return;
            }
            const QByteArray line = socket->readLine(longestRequest).trimmed();
            const QList<QByteArray> words = line.split(' ');
            if (words.value(0) != activateWord) {
                socket->abort();
                return;
            }
            socket->write(answer);
            socket->flush();
            socket->disconnectFromServer();
            emit activationRequested(words.value(1));
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        if (socket->bytesAvailable() > 0) {
            readRequest(); // the request came with the connection
        }
    }
}

} // namespace quelmo
