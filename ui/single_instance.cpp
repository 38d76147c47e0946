#include "ui/single_instance.h"

#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstdio>

namespace zk {
namespace {

// How long a second start waits for the running copy to take its request.
constexpr int kRaiseWaitMs = 2000;
constexpr char kRaiseRequest[] = "raise\n";

bool ask_to_raise(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kRaiseWaitMs)) return false;
    socket.write(kRaiseRequest);
    return socket.waitForBytesWritten(kRaiseWaitMs);
}

}  // namespace

SingleInstance::SingleInstance(const std::string& program_dir, QObject* parent)
    : QObject(parent), lock_(program_dir) {
    const QString path = socket_path(program_dir);
    if (lock_.held()) {
        outcome_ = Outcome::first;
        listen(path);
        return;
    }
    if (lock_.error() != EWOULDBLOCK) {
        outcome_ = Outcome::failed;
        return;
    }
    outcome_ = ask_to_raise(path) ? Outcome::raised : Outcome::held_by_other;
}

QString SingleInstance::socket_path(const std::string& program_dir) {
    return QString::fromStdString(program_dir) + ".zelkora.sock";
}

void SingleInstance::listen(const QString& path) {
    // Holding the lock proves a socket file left there belongs to a copy that has ended.
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.setMaxPendingConnections(4);
    if (!server_.listen(path)) {
        // Without it a second start is still refused, it only cannot show this window.
        std::fprintf(stderr, "zelkora: cannot listen on %s: %s\n", path.toLocal8Bit().constData(),
                     server_.errorString().toLocal8Bit().constData());
        return;
    }
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QTimer::singleShot(kRaiseWaitMs, peer, [peer] { peer->abort(); });
            // Any word from a peer of our own user is taken as the request; nothing it says
            // is read further, so a peer cannot make us hold more than its socket.
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                peer->readAll();
                peer->disconnectFromServer();
                emit raise_requested();
            });
        }
    });
}

}  // namespace zk
