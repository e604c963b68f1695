#include "support/mqtt_observer.h"

#include "support/event_loop.h"
#include "support/mosquitto_broker.h"

#include <mosquitto.h>

MqttObserver::MqttObserver(const MosquittoBroker& broker, const QString& topicFilter)
    : FTopicFilter(topicFilter.toUtf8()) {
    mosquitto_lib_init();
    FMosq = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(FMosq, &MqttObserver::onConnect);
    mosquitto_subscribe_callback_set(FMosq, &MqttObserver::onSubscribe);
    mosquitto_message_callback_set(FMosq, &MqttObserver::onMessage);
    const TMqttConnectionSettings settings = broker.connectionSettings();
    if (!settings.user.isEmpty())
        mosquitto_username_pw_set(FMosq, settings.user.toUtf8().constData(), settings.password.toUtf8().constData());
    if (settings.useTls)
        mosquitto_tls_set(FMosq, broker.caCertificateFile().toUtf8().constData(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_async(FMosq, settings.host.toUtf8().constData(), settings.port, 60);
    mosquitto_loop_start(FMosq);
}

MqttObserver::~MqttObserver() {
    mosquitto_disconnect(FMosq);
    mosquitto_loop_stop(FMosq, false);
    mosquitto_destroy(FMosq);
}

bool MqttObserver::waitUntilSubscribed(int timeoutMs) const {
    return SpinUntil([this] { return FSubscribed.load(); }, timeoutMs);
}

bool MqttObserver::waitForMessageOn(const QString& topic, int timeoutMs) const {
    return SpinUntil([&] { return !messagesOn(topic).isEmpty(); }, timeoutMs);
}

QList<MqttObserver::Message> MqttObserver::messages() const {
    std::lock_guard lock(FGuard);
    return FMessages;
}

QList<MqttObserver::Message> MqttObserver::messagesOn(const QString& topic) const {
    QList<Message> found;
    for (const Message& message : messages())
        if (message.topic == topic) found.append(message);
    return found;
}

bool MqttObserver::publish(const QString& topic, const QString& payload, bool retain) {
    const QByteArray bytes = payload.toUtf8();
    return mosquitto_publish(FMosq, nullptr, topic.toUtf8().constData(), static_cast<int>(bytes.size()),
                             bytes.constData(), 0, retain) == MOSQ_ERR_SUCCESS;
}

void MqttObserver::onConnect(mosquitto* mosq, void* self, int reasonCode) {
    if (reasonCode == 0)
        mosquitto_subscribe(mosq, nullptr, static_cast<MqttObserver*>(self)->FTopicFilter.constData(), 0);
}

void MqttObserver::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    static_cast<MqttObserver*>(self)->FSubscribed = true;
}

void MqttObserver::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* observer = static_cast<MqttObserver*>(self);
    std::lock_guard lock(observer->FGuard);
    observer->FMessages.append({QString::fromUtf8(message->topic),
                                QString::fromUtf8(static_cast<const char*>(message->payload), message->payloadlen),
                                message->retain});
}
