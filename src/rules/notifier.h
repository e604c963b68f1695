#pragma once

#include "util/agent_publisher.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <mutex>

// Pushes one value of the machine (its state, its alarm text) to MQTT topics that clients
// subscribed for a limited time: a new subscriber gets the current value at once, each
// publishable value goes to every subscriber, and expired subscriptions are purged every
// 30 minutes. Lock order: the owner's rules mutex, when held, before lockSubscriptions.
class TNotifier {
public:
    static constexpr qint64 SanitizeIntervalMs = 30 * 60 * 1000;

    TNotifier(QString machineSerial, IAgentPublisher& mqttClient);
    virtual ~TNotifier() = default;
    TNotifier(const TNotifier&) = delete;
    TNotifier& operator=(const TNotifier&) = delete;

    // Adds the subscription or moves its expiry (UTC).
    virtual void subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL);
    virtual void updateValue(const QString& value) = 0;
    virtual void publish() = 0;

    void sanitizeSubscriptions();

    int subscriptionCount() const;

protected:
    void publishToSubscribers(const QString& prefix, const QString& value);
    void publishToSubscriber(const QString& topic, const QString& prefix, const QString& value);

    // Runs `action` holding lockSubscriptions, which also guards the cached values.
    template <typename Action>
    auto underLock(Action action) const {
        std::lock_guard lock(lockSubscriptions);
        return action();
    }

private:
    QString payload(const QString& prefix, const QString& value) const;

    mutable std::mutex lockSubscriptions;
    QHash<QString, QDateTime> subscriptionsWithTTL;
    QString FMachineSerial;
    IAgentPublisher& mqttClient;
    QDateTime nextSanitizeTimestamp;
};

// The machine state: "-1" stands for a state not known yet.
class TH1Notifier : public TNotifier {
public:
    using TNotifier::TNotifier;
    void subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL) override;
    void updateValue(const QString& value) override;
    void publish() override;

private:
    QString h1ValueCache;
};

// The alarm text, empty when there is none.
class TAlarmeNotifier : public TNotifier {
public:
    using TNotifier::TNotifier;
    void subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL) override;
    void updateValue(const QString& value) override;
    void publish() override;

private:
    QString alarmeValueCache;
};
