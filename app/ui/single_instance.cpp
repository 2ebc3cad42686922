#include "app/ui/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <cstdio>

namespace murmura::ui {

SingleInstance::SingleInstance(const QString& runtimeDir, std::function<void()> onRaise) {
    QDir().mkpath(runtimeDir);
    const QString socketPath = runtimeDir + "/murmura.socket";
    lock_ = std::make_unique<QLockFile>(runtimeDir + "/murmura.lock");
    lock_->setStaleLockTime(0);  // a lock whose process is gone is taken over, however recent
    if (!lock_->tryLock(0)) {
        if (lock_->error() == QLockFile::LockFailedError) {
            QLocalSocket socket;
            socket.connectToServer(socketPath);
            if (socket.waitForConnected(2000)) {
                socket.write("raise\n");
                socket.waitForBytesWritten(2000);
                socket.disconnectFromServer();
            }
            outcome_ = Outcome::raisedOther;
            return;
        }
        // The runtime directory is unusable: run without the one-instance guarantee rather than
        // not at all.
        std::printf("Could not take the instance lock in %s\n", qPrintable(runtimeDir));
        lock_.reset();
        return;
    }
    QLocalServer::removeServer(socketPath);  // left behind by a crashed instance
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath)) return;
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this, onRaise] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            onRaise();
        }
    });
}

}  // namespace murmura::ui
