#include "agents/agent_socket.h"

#include "util/code_page.h"
#include "util/error.h"
#include "util/text.h"

#include <QThread>

#include <cerrno>

namespace {

constexpr qint8 HighestBackOffStep = 11;

// The operating system's error number for a socket failure, as people know it from other tools.
int ErrorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
        case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
        case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
        case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
        case QAbstractSocket::NetworkError: return ENETUNREACH;
        case QAbstractSocket::SocketAccessError: return EACCES;
        case QAbstractSocket::SocketResourceError: return ENOBUFS;
        default: return EIO;
    }
}

}  // namespace

TAgentSocket::TAgentSocket(const QString& Hostname, int Port, TSocketNotifyEvent OnConnect,
                           TSocketNotifyEvent OnDisconnect, TSocketNotifyEvent OnReceivedData,
                           TSocketErrorEvent OnError)
    : FHost(text::Trim(Hostname)),
      FPort(Port),
      FOnError(std::move(OnError)),
      FOnConnected(std::move(OnConnect)),
      FOnDisconnected(std::move(OnDisconnect)),
      FOnReceivedData(std::move(OnReceivedData)) {
    if (FHost.isEmpty() || Port < 1 || Port > 65535)
        throw MeltrixError(QStringLiteral("The agent needs to known where to connect."));
    connect(&FSocket, &QTcpSocket::connected, this, &TAgentSocket::onConnected);
    connect(&FSocket, &QTcpSocket::disconnected, this, &TAgentSocket::onDisconnected);
    connect(&FSocket, &QTcpSocket::readyRead, this, &TAgentSocket::onReadyRead);
    connect(&FSocket, &QTcpSocket::errorOccurred, this, &TAgentSocket::onError);
}

TAgentSocket::~TAgentSocket() {
    FSocket.disconnect(this);
    FSocket.abort();
}

void TAgentSocket::Connect() {
    FReconnectionFactorAlreadyIncremented = false;
    FSocket.abort();
    FSocket.connectToHost(FHost, static_cast<quint16>(FPort));
}

void TAgentSocket::Disconnect() {
    FSocket.abort();
    FConnected = false;
}

void TAgentSocket::Send(const QString& Value) {
    const QByteArray bytes = code_page::Encode(Value);
    if (QThread::currentThread() == thread()) {
        writeNow(bytes);
        return;
    }
    // The socket belongs to the main thread; the call is dropped if this object is gone.
    QMetaObject::invokeMethod(this, [this, bytes] { writeNow(bytes); }, Qt::QueuedConnection);
}

void TAgentSocket::writeNow(const QByteArray& bytes) {
    if (FSocket.state() == QAbstractSocket::ConnectedState) FSocket.write(bytes);
}

void TAgentSocket::CheckIfConnectionIsAlive() { Send(QString::fromLatin1(KeepAliveText)); }

QString TAgentSocket::ReadAvailableText() { return code_page::Decode(FSocket.readAll()); }

quint16 TAgentSocket::GetReconnectionTryInterval() const {
    const int seconds = (FProgressiveReconnectionTryFactor + 1) * 10;
    return static_cast<quint16>(seconds > 0 ? seconds : 10);
}

void TAgentSocket::onConnected() {
    FProgressiveReconnectionTryFactor = -1;
    FConnected = true;
    if (FOnConnected) FOnConnected(*this);
}

void TAgentSocket::onDisconnected() {
    FConnected = false;
    if (FOnDisconnected) FOnDisconnected(*this);
}

void TAgentSocket::onReadyRead() {
    if (FOnReceivedData)
        FOnReceivedData(*this);
    else
        FSocket.readAll();
}

void TAgentSocket::onError(QAbstractSocket::SocketError error) {
    advanceBackOff();
    int errorCode = ErrorNumber(error);
    if (FOnError) FOnError(*this, errorCode);
    FConnected = false;
    FSocket.abort();
}

void TAgentSocket::advanceBackOff() {
    if (FReconnectionFactorAlreadyIncremented) return;
    if (FProgressiveReconnectionTryFactor < HighestBackOffStep) {
        FReconnectionFactorAlreadyIncremented = true;
        ++FProgressiveReconnectionTryFactor;
    }
}
