#pragma once

#include "util/agent_publisher.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

// Everything one broker connection needs; read once by Connect and kept for every
// automatic reconnection until the next Connect.
struct TMqttConnectionSettings {
    QString host;
    quint16 port = 1883;
    QString user;  // empty: no user-name authentication
    QString password;
    bool useTls = false;  // TLS trusting the system's CA certificates, host name verified
    std::chrono::seconds keepAlive{60};
    // The broker tells connections apart by the client identifier: each Connect gets
    // this prefix followed by hexadecimal digits of a fresh GUID (23 characters in all,
    // the longest every 3.1.1 broker must accept).
    QString clientIdPrefix = QStringLiteral("meltrix");
    bool hasWill = false;
    QString willTopic;
    QString willPayload;
    bool willRetain = false;
};

// The system's one MQTT 3.1.1 client. It lives on the main thread and delivers every event
// there, queued in the order the network saw them; its own network thread does the I/O,
// keeps the connection alive and reconnects every Timing::mqttReconnect after a failed
// attempt or a lost connection, until Disconnect.
//
// Publish and IsConnected may be called from any thread: libmosquitto guards its packet
// queues with its own mutexes when the client is marked threaded, and FLinkGuard keeps the
// library object alive while a publication is handed over. Everything else belongs to
// the main thread.
class TMqttClient : public QObject {
    Q_OBJECT

public:
    explicit TMqttClient(QObject* parent = nullptr);
    ~TMqttClient() override;

    // Starts connecting (asynchronously) with the given settings, after dropping any
    // earlier connection.
    void Connect(const TMqttConnectionSettings& settings);
    // Sends DISCONNECT when connected (so the broker discards the last will) and stops the
    // network thread; waits at most a few seconds. A connected client emits disconnected.
    void Disconnect();

    // The transport is up and the broker accepted the connection. Turns false on the
    // network thread the moment the connection is lost, before disconnected is handled.
    bool IsConnected() const { return FConnected.load(); }

    // Hands the publication to the network thread when connected; returns its message id,
    // or 0 when nothing was sent. Nothing is kept for a later connection.
    quint16 Publish(const QString& topic, const QString& payload,
                    TmqttQoS qos = TmqttQoS::AtMostOnce, bool retain = false);
    bool Subscribe(const QString& topicFilter, TmqttQoS qos = TmqttQoS::AtMostOnce);
    bool Unsubscribe(const QString& topicFilter);

    // The identifier of the current (or last) Connect.
    QString ClientId() const { return FClientId; }

signals:
    void connecting();  // before every connection attempt
    void connected();
    void disconnected();  // only after connected
    void messageReceived(const QString& topic, const QString& payload);
    void error(const QString& text);

private:
    struct TAttemptResult {
        int rc = 0;
        int savedErrno = 0;
    };

    static void onConnectCallback(mosquitto* mosq, void* self, int reasonCode);
    static void onDisconnectCallback(mosquitto* mosq, void* self, int rc);
    static void onMessageCallback(mosquitto* mosq, void* self, const mosquitto_message* message);

    bool configureLink(const TMqttConnectionSettings& settings);
    void runNetwork(TMqttConnectionSettings settings, std::chrono::milliseconds reconnectInterval);
    TAttemptResult connectAndService(const TMqttConnectionSettings& settings);
    TAttemptResult serviceConnection();
    void waitBeforeRetry(std::chrono::milliseconds interval);
    QString describeFailure(const TMqttConnectionSettings& settings, const TAttemptResult& result) const;
    void markTransportDown();
    void stopNetwork();
    void destroyLink();

    void queueEvent(void (TMqttClient::*signal)());
    void queueMessage(QString topic, QString payload);
    void queueError(QString text);

    mosquitto* FMosq = nullptr;
    mutable std::shared_mutex FLinkGuard;  // exclusive while FMosq is created or destroyed
    std::thread FNetworkThread;
    std::atomic<bool> FConnected{false};
    std::atomic<bool> FStopRequested{false};
    std::mutex FWaitGuard;
    std::condition_variable FWake;
    QString FClientId;
    // Network thread only: how the current attempt went.
    bool FAttemptConnected = false;
    QString FRefusal;  // the broker's reason for refusing it
};
