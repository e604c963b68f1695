#include "support/tcp_relay.h"

#include <QTcpSocket>

TcpRelay::TcpRelay(quint16 targetPort) : FTargetPort(targetPort) {
    connect(&FServer, &QTcpServer::newConnection, this, &TcpRelay::acceptPending);
    FServer.listen(QHostAddress::LocalHost, 0);
}

TcpRelay::~TcpRelay() { dropConnections(); }

void TcpRelay::acceptPending() {
    while (QTcpSocket* client = FServer.nextPendingConnection()) {
        auto* target = new QTcpSocket(this);
        client->setParent(this);
        FPairs.append(Pair{client, target});
        // Bytes from the client wait in the socket's buffer until the target is connected.
        connect(target, &QTcpSocket::connected, this, [this, client, target] { relay(client, target); });
        connect(client, &QTcpSocket::readyRead, this, [this, client, target] {
            if (target->state() == QAbstractSocket::ConnectedState) relay(client, target);
        });
        connect(target, &QTcpSocket::readyRead, this, [this, client, target] { relay(target, client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] { closePair(client); });
        connect(target, &QTcpSocket::disconnected, this, [this, target] { closePair(target); });
        target->connectToHost(QHostAddress::LocalHost, FTargetPort);
    }
}

void TcpRelay::relay(QTcpSocket* from, QTcpSocket* to) { to->write(from->readAll()); }

void TcpRelay::closePair(QTcpSocket* either) {
    for (qsizetype i = 0; i < FPairs.size(); ++i) {
        const Pair pair = FPairs[i];
        if (pair.client != either && pair.target != either) continue;
        FPairs.removeAt(i);
        for (QTcpSocket* socket : {pair.client, pair.target}) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
        return;
    }
}

void TcpRelay::dropConnections() {
    while (!FPairs.isEmpty()) closePair(FPairs.first().client);
}
