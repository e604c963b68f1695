#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A loopback TCP relay between clients and one target (a test broker), run by the main
// thread's event loop. dropConnections cuts every relayed connection on both sides, which
// the target sees as a client that vanished without saying goodbye.
class TcpRelay : public QObject {
    Q_OBJECT

public:
    explicit TcpRelay(quint16 targetPort);
    ~TcpRelay() override;

    quint16 port() const { return FServer.serverPort(); }
    int connectionCount() const { return static_cast<int>(FPairs.size()); }
    void dropConnections();

private:
    struct Pair {
        QTcpSocket* client;
        QTcpSocket* target;
    };

    void acceptPending();
    void relay(QTcpSocket* from, QTcpSocket* to);
    void closePair(QTcpSocket* either);

    quint16 FTargetPort;
    QTcpServer FServer;
    QList<Pair> FPairs;
};
