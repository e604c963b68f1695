#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <mutex>

struct mosquitto;
struct mosquitto_message;
class MosquittoBroker;

// Sees what reaches a test broker: a plain libmosquitto client, independent of the
// system's own client, subscribed to one topic filter ("#" unless told otherwise). It
// records every message with its retain flag as the broker delivered it.
class MqttObserver {
public:
    struct Message {
        QString topic;
        QString payload;
        bool retained = false;
    };

    explicit MqttObserver(const MosquittoBroker& broker, const QString& topicFilter = QStringLiteral("#"));
    ~MqttObserver();
    MqttObserver(const MqttObserver&) = delete;
    MqttObserver& operator=(const MqttObserver&) = delete;

    // Spins the event loop until the broker confirmed the subscription.
    bool waitUntilSubscribed(int timeoutMs = 10'000) const;
    // Spins the event loop until a message arrived on the topic.
    bool waitForMessageOn(const QString& topic, int timeoutMs = 10'000) const;

    QList<Message> messages() const;
    QList<Message> messagesOn(const QString& topic) const;
    // Publishes through the observer's own connection (for markers and retained seeds).
    bool publish(const QString& topic, const QString& payload, bool retain = false);

private:
    static void onConnect(mosquitto* mosq, void* self, int reasonCode);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int qosCount, const int* grantedQos);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    mosquitto* FMosq = nullptr;
    QByteArray FTopicFilter;
    std::atomic<bool> FSubscribed{false};
    mutable std::mutex FGuard;
    QList<Message> FMessages;
};
