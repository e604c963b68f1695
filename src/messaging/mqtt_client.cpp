#include "messaging/mqtt_client.h"

#include "util/timing.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QUuid>

#include <mosquitto.h>
#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

// How long one pass of the network loop may block; bounds how fast a stop is noticed.
constexpr int kLoopTimeoutMs = 100;
// How long a clean disconnect may take to flush DISCONNECT before the link is dropped.
constexpr int kDisconnectGraceMs = 2000;

constexpr int kPortableClientIdLength = 23;
constexpr int kMinimumIdDigits = 8;

constexpr const char* kSystemCertificateFolder = "/etc/ssl/certs";

void ensureLibraryInitialised() {
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised);
}

QString makeClientId(const QString& prefix) {
    const QString digits = QUuid::createUuid().toString(QUuid::Id128);
    const int digitCount =
        std::max(kMinimumIdDigits, kPortableClientIdLength - static_cast<int>(prefix.size()));
    return prefix + digits.left(digitCount);
}

// The system's CA certificates. Naming the folder as well is not redundant: libmosquitto
// 2.0 refuses every reconnection of a client that trusts only "the OS certificates"
// (invalid arguments), because it then finds a TLS context without a CA file or folder.
int enableTls(mosquitto* mosq) {
    const int rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    if (rc != MOSQ_ERR_SUCCESS) return rc;
    return mosquitto_tls_set(mosq, nullptr, kSystemCertificateFolder, nullptr, nullptr, nullptr);
}

QString libraryText(int rc) { return QString::fromUtf8(mosquitto_strerror(rc)); }

}  // namespace

TMqttClient::TMqttClient(QObject* parent) : QObject(parent) { ensureLibraryInitialised(); }

// Stopping the network thread first guarantees that no callback runs any more; calls it
// queued before are dropped by Qt together with this object (it is their context object).
TMqttClient::~TMqttClient() { Disconnect(); }

void TMqttClient::Connect(const TMqttConnectionSettings& settings) {
    Disconnect();
    FClientId = makeClientId(settings.clientIdPrefix);
    {
        std::unique_lock lock(FLinkGuard);
        FMosq = mosquitto_new(FClientId.toUtf8().constData(), true, this);
    }
    if (!FMosq) {
        queueError(QStringLiteral("MQTT client could not be created: ") + libraryText(MOSQ_ERR_NOMEM));
        return;
    }
    if (!configureLink(settings)) {
        destroyLink();
        return;
    }
    FStopRequested = false;
    FNetworkThread = std::thread(&TMqttClient::runNetwork, this, settings, Timing::get().mqttReconnect);
}

bool TMqttClient::configureLink(const TMqttConnectionSettings& settings) {
    mosquitto_threaded_set(FMosq, true);
    mosquitto_connect_callback_set(FMosq, &TMqttClient::onConnectCallback);
    mosquitto_disconnect_callback_set(FMosq, &TMqttClient::onDisconnectCallback);
    mosquitto_message_callback_set(FMosq, &TMqttClient::onMessageCallback);

    int rc = mosquitto_int_option(FMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (rc == MOSQ_ERR_SUCCESS && !settings.user.isEmpty()) {
        rc = mosquitto_username_pw_set(FMosq, settings.user.toUtf8().constData(),
                                       settings.password.toUtf8().constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && settings.hasWill) {
        const QByteArray payload = settings.willPayload.toUtf8();
        rc = mosquitto_will_set(FMosq, settings.willTopic.toUtf8().constData(),
                                static_cast<int>(payload.size()), payload.constData(), 0,
                                settings.willRetain);
    }
    if (rc == MOSQ_ERR_SUCCESS && settings.useTls) rc = enableTls(FMosq);
    if (rc != MOSQ_ERR_SUCCESS) queueError(QStringLiteral("MQTT settings rejected: ") + libraryText(rc));
    return rc == MOSQ_ERR_SUCCESS;
}

void TMqttClient::Disconnect() {
    stopNetwork();
    destroyLink();
}

void TMqttClient::stopNetwork() {
    {
        std::lock_guard lock(FWaitGuard);
        FStopRequested = true;
    }
    FWake.notify_all();
    if (FNetworkThread.joinable()) FNetworkThread.join();
}

void TMqttClient::destroyLink() {
    std::unique_lock lock(FLinkGuard);
    if (FMosq) mosquitto_destroy(FMosq);
    FMosq = nullptr;
}

// Network thread. libmosquitto's own loop thread is not used: it gives up for good, without
// any callback, after a failed TLS handshake, and it waits in whole seconds.
void TMqttClient::runNetwork(TMqttConnectionSettings settings,
                             std::chrono::milliseconds reconnectInterval) {
    while (!FStopRequested) {
        queueEvent(&TMqttClient::connecting);
        FAttemptConnected = false;
        const TAttemptResult result = connectAndService(settings);
        markTransportDown();
        if (FStopRequested) break;
        queueError(describeFailure(settings, result));
        waitBeforeRetry(reconnectInterval);
    }
}

TMqttClient::TAttemptResult TMqttClient::connectAndService(const TMqttConnectionSettings& settings) {
    FRefusal.clear();
    const int rc = mosquitto_connect_async(FMosq, settings.host.toUtf8().constData(), settings.port,
                                           static_cast<int>(settings.keepAlive.count()));
    if (rc != MOSQ_ERR_SUCCESS) return {rc, errno};
    return serviceConnection();
}

// Runs the connection until it fails, or until a stop is requested. A stop sends
// DISCONNECT, also while the broker has not answered CONNECT yet (else the broker could
// accept the connection, see it vanish and publish the last will), and keeps looping
// until it is written or the grace time is over.
TMqttClient::TAttemptResult TMqttClient::serviceConnection() {
    bool disconnectSent = false;
    QDeadlineTimer grace;
    for (;;) {
        const int rc = mosquitto_loop(FMosq, kLoopTimeoutMs, 1);
        if (rc != MOSQ_ERR_SUCCESS) return {rc, errno};
        if (!FStopRequested) continue;
        if (!disconnectSent) {
            if (mosquitto_disconnect(FMosq) != MOSQ_ERR_SUCCESS) return {};
            disconnectSent = true;
            grace.setRemainingTime(kDisconnectGraceMs);
        } else if (grace.hasExpired()) {
            return {};
        }
    }
}

void TMqttClient::waitBeforeRetry(std::chrono::milliseconds interval) {
    std::unique_lock lock(FWaitGuard);
    FWake.wait_for(lock, interval, [this] { return FStopRequested.load(); });
}

QString TMqttClient::describeFailure(const TMqttConnectionSettings& settings,
                                     const TAttemptResult& result) const {
    QString reason;
    if (!FRefusal.isEmpty())
        reason = FRefusal;
    else if (result.rc == MOSQ_ERR_ERRNO)
        reason = QString::fromStdString(std::generic_category().message(result.savedErrno));
    else if (result.rc == MOSQ_ERR_EAI)
        reason = QString::fromUtf8(gai_strerror(result.savedErrno));
    else
        reason = libraryText(result.rc);
    const QString what = FAttemptConnected ? QStringLiteral("lost") : QStringLiteral("failed");
    return QStringLiteral("Connection to %1:%2 %3: %4").arg(settings.host).arg(settings.port).arg(what, reason);
}

void TMqttClient::markTransportDown() {
    if (FConnected.exchange(false)) queueEvent(&TMqttClient::disconnected);
}

void TMqttClient::onConnectCallback(mosquitto*, void* self, int reasonCode) {
    auto* client = static_cast<TMqttClient*>(self);
    if (reasonCode != 0) {
        client->FRefusal = QString::fromUtf8(mosquitto_connack_string(reasonCode));
        return;
    }
    client->FAttemptConnected = true;
    client->FConnected = true;
    client->queueEvent(&TMqttClient::connected);
}

void TMqttClient::onDisconnectCallback(mosquitto*, void* self, int) {
    static_cast<TMqttClient*>(self)->markTransportDown();
}

void TMqttClient::onMessageCallback(mosquitto*, void* self, const mosquitto_message* message) {
    static_cast<TMqttClient*>(self)->queueMessage(
        QString::fromUtf8(message->topic),
        QString::fromUtf8(static_cast<const char*>(message->payload), message->payloadlen));
}

quint16 TMqttClient::Publish(const QString& topic, const QString& payload, TmqttQoS qos, bool retain) {
    std::shared_lock lock(FLinkGuard);
    if (!FMosq || !FConnected) return 0;
    const QByteArray payloadUtf8 = payload.toUtf8();
    int messageId = 0;
    const int rc = mosquitto_publish(FMosq, &messageId, topic.toUtf8().constData(),
                                     static_cast<int>(payloadUtf8.size()), payloadUtf8.constData(),
                                     static_cast<int>(qos), retain);
    if (rc == MOSQ_ERR_SUCCESS) return static_cast<quint16>(messageId);
    if (rc != MOSQ_ERR_NO_CONN)
        queueError(QStringLiteral("Publish on \"%1\" failed: %2").arg(topic, libraryText(rc)));
    return 0;
}

bool TMqttClient::Subscribe(const QString& topicFilter, TmqttQoS qos) {
    if (!FMosq || !FConnected) return false;
    const int rc = mosquitto_subscribe(FMosq, nullptr, topicFilter.toUtf8().constData(), static_cast<int>(qos));
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        queueError(QStringLiteral("Subscribe to \"%1\" failed: %2").arg(topicFilter, libraryText(rc)));
    return rc == MOSQ_ERR_SUCCESS;
}

bool TMqttClient::Unsubscribe(const QString& topicFilter) {
    if (!FMosq || !FConnected) return false;
    const int rc = mosquitto_unsubscribe(FMosq, nullptr, topicFilter.toUtf8().constData());
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        queueError(QStringLiteral("Unsubscribe from \"%1\" failed: %2").arg(topicFilter, libraryText(rc)));
    return rc == MOSQ_ERR_SUCCESS;
}

// Queued calls carry this object as their context: Qt drops those still pending when it
// is destroyed, so none of them runs on a freed client.
void TMqttClient::queueEvent(void (TMqttClient::*signal)()) {
    QMetaObject::invokeMethod(this, [this, signal] { emit (this->*signal)(); }, Qt::QueuedConnection);
}

void TMqttClient::queueMessage(QString topic, QString payload) {
    QMetaObject::invokeMethod(
        this, [this, topic = std::move(topic), payload = std::move(payload)] { emit messageReceived(topic, payload); },
        Qt::QueuedConnection);
}

void TMqttClient::queueError(QString text) {
    QMetaObject::invokeMethod(this, [this, text = std::move(text)] { emit error(text); }, Qt::QueuedConnection);
}
