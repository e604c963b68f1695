#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A machine on loopback: a real TCP server that accepts one connection at a time, records
// what it receives and sends what the test asks it to.
class FakeMachine {
public:
    explicit FakeMachine(quint16 port = 0) {
        FServer.listen(QHostAddress::LocalHost, port);
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* peer = FServer.nextPendingConnection()) {
                FPeer = peer;
                ++FConnections;
                QObject::connect(peer, &QTcpSocket::readyRead, [this, peer] { FReceived += peer->readAll(); });
            }
        });
    }

    quint16 port() const { return FServer.serverPort(); }
    int connections() const { return FConnections; }
    const QByteArray& received() const { return FReceived; }
    void clearReceived() { FReceived.clear(); }
    bool connected() const { return FPeer && FPeer->state() == QAbstractSocket::ConnectedState; }

    void send(const QByteArray& bytes) {
        if (FPeer) {
            FPeer->write(bytes);
            FPeer->flush();
        }
    }
    void dropConnection() {
        if (FPeer) FPeer->disconnectFromHost();
    }
    void close() { FServer.close(); }

private:
    QTcpServer FServer;
    QPointer<QTcpSocket> FPeer;
    int FConnections = 0;
    QByteArray FReceived;
};

// A loopback port on which nothing listens.
inline quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
