#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <atomic>
#include <functional>

// The non-blocking TCP link to one machine: connect, send text, read what arrives, and the
// growing wait between reconnection attempts (10 s after a success, then 20, 30 ... 120 s).
// Events reach the owner on the main thread. isConnected and Send may be called from any
// thread; a Send from another thread is carried out on the main thread.
class TAgentSocket : public QObject {
    Q_OBJECT
public:
    using TSocketNotifyEvent = std::function<void(TAgentSocket& sender)>;
    using TSocketErrorEvent = std::function<void(TAgentSocket& sender, int& errorCode)>;

    static constexpr char KeepAliveText[] = "Hello world!";

    // Throws MeltrixError "The agent needs to known where to connect." for an empty host or a
    // port outside 1..65535.
    TAgentSocket(const QString& Hostname, int Port, TSocketNotifyEvent OnConnect,
                 TSocketNotifyEvent OnDisconnect, TSocketNotifyEvent OnReceivedData,
                 TSocketErrorEvent OnError);
    ~TAgentSocket() override;

    void Connect();
    void Disconnect();
    void Send(const QString& Value);
    void CheckIfConnectionIsAlive();

    // Everything received so far, decoded (the owner's read handler calls it).
    QString ReadAvailableText();

    bool isConnected() const { return FConnected; }
    int getSocketPort() const { return FPort; }
    quint16 GetReconnectionTryInterval() const;

private:
    void onConnected();
    void onDisconnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void advanceBackOff();
    void writeNow(const QByteArray& bytes);

    QTcpSocket FSocket;
    QString FHost;
    int FPort;
    std::atomic<bool> FConnected{false};
    qint8 FProgressiveReconnectionTryFactor = -1;
    bool FReconnectionFactorAlreadyIncremented = false;
    TSocketErrorEvent FOnError;
    TSocketNotifyEvent FOnConnected;
    TSocketNotifyEvent FOnDisconnected;
    TSocketNotifyEvent FOnReceivedData;
};
