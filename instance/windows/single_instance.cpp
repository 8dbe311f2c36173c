// One Brennix per data folder on Windows: the same lock file as on Linux, and a named pipe of
// Qt's (QLocalServer) in place of the Unix socket.
#include "instance/single_instance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace brennix {

namespace {

constexpr char Request[] = "raise\n";
constexpr int ConnectAttempts = 40; // 50 ms apart: two seconds for a program still starting
constexpr int ConnectPauseMs = 50;
constexpr int RequestWaitMs = 200; // a sender writes its line at once; nobody holds the window up

// Sends the request to the program listening on `name`; false when nobody took it.
bool SendRequest(const std::string& name) {
    for (int attempt = 0; attempt < ConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(name));
        if (socket.waitForConnected(ConnectPauseMs)) {
            const bool sent = socket.write(Request, sizeof Request - 1) == sizeof Request - 1 &&
                              socket.waitForBytesWritten(RequestWaitMs);
            socket.disconnectFromServer();
            if (sent) return true;
        }
        QThread::msleep(ConnectPauseMs); // the first program may not listen yet
    }
    return false;
}

} // namespace

TSingleInstance::~TSingleInstance() {
    delete server_; // the lock is still held
}

// Pipes are seen by every user of the computer: the name holds the user's, and the folder's as
// Windows compares names, without regard to case.
std::string TSingleInstance::SocketPath(const std::string& dataFolder) {
    const QString key =
        qEnvironmentVariable("USERNAME") + u'\n' + QString::fromStdString(dataFolder).toLower();
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return "brennix-" + hash.toStdString();
}

std::unique_ptr<TSingleInstance>
TSingleInstance::Claim(const std::string& dataFolder, std::function<void()> raise, TClaim& claim) {
    std::unique_ptr<TSingleInstance> guard(new TSingleInstance);
    guard->lock_ =
        std::make_unique<QLockFile>(QString::fromStdString(dataFolder + InstanceLockName));
    // Only a lock whose program has ended is stale, however old it is.
    guard->lock_->setStaleLockTime(0);
    const std::string name = SocketPath(dataFolder);
    if (!guard->lock_->tryLock(0)) {
        if (guard->lock_->error() != QLockFile::LockFailedError) {
            claim = TClaim::Unguarded;
            return nullptr;
        }
        claim = SendRequest(name) ? TClaim::HandedOver : TClaim::Unreachable;
        return nullptr;
    }

    guard->raise_ = std::move(raise);
    auto* server = new QLocalServer;
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(QString::fromStdString(name))) {
        guard->server_ = server;
        guard->path_ = name;
        connect(server, &QLocalServer::newConnection, guard.get(),
                [raw = guard.get()] { raw->Accept(); });
    } else {
        delete server; // somebody else's pipe of that name: this program cannot be reached
    }
    claim = TClaim::Ours;
    return guard;
}

// A request: only the one line a later start sends.
void TSingleInstance::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        QByteArray line;
        while (line.size() < qsizetype(sizeof Request - 1) &&
               socket->waitForReadyRead(RequestWaitMs))
            line += socket->read(qint64(sizeof Request - 1) - line.size());
        const bool request = line == QByteArray(Request);
        socket->disconnectFromServer();
        delete socket;
        if (request && raise_) raise_();
    }
}

} // namespace brennix
