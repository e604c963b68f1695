#include "rules/notifier.h"

#include "util/clock.h"

namespace {
const QString H1Prefix = QStringLiteral("H1|");
const QString AlarmePrefix = QStringLiteral("ALARME|");
const QString UnknownState = QStringLiteral("-1");
}  // namespace

TNotifier::TNotifier(QString machineSerial, IAgentPublisher& mqttClient)
    : FMachineSerial(std::move(machineSerial)),
      mqttClient(mqttClient),
      nextSanitizeTimestamp(Clock::now().addMSecs(SanitizeIntervalMs)) {}

void TNotifier::subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL) {
    std::lock_guard lock(lockSubscriptions);
    subscriptionsWithTTL.insert(subscriptionId, subscribeTTL.toUTC());
}

void TNotifier::sanitizeSubscriptions() {
    if (Clock::now() < nextSanitizeTimestamp) return;
    {
        std::lock_guard lock(lockSubscriptions);
        const QDateTime nowUtc = Clock::nowUtc();
        subscriptionsWithTTL.removeIf([&](const auto& entry) { return entry.value() <= nowUtc; });
    }
    nextSanitizeTimestamp = Clock::now().addMSecs(SanitizeIntervalMs);
}

int TNotifier::subscriptionCount() const {
    std::lock_guard lock(lockSubscriptions);
    return static_cast<int>(subscriptionsWithTTL.size());
}

QString TNotifier::payload(const QString& prefix, const QString& value) const {
    return prefix + FMachineSerial + u'|' + value;
}

void TNotifier::publishToSubscribers(const QString& prefix, const QString& value) {
    if (!mqttClient.IsConnected()) return;
    std::lock_guard lock(lockSubscriptions);
    for (auto it = subscriptionsWithTTL.cbegin(); it != subscriptionsWithTTL.cend(); ++it)
        mqttClient.Publish(it.key(), payload(prefix, value), TmqttQoS::AtMostOnce, false);
}

void TNotifier::publishToSubscriber(const QString& topic, const QString& prefix, const QString& value) {
    if (mqttClient.IsConnected()) mqttClient.Publish(topic, payload(prefix, value), TmqttQoS::AtMostOnce, false);
}

// ---- machine state

void TH1Notifier::updateValue(const QString& value) {
    underLock([&] { h1ValueCache = value.isEmpty() ? UnknownState : value; });
}

void TH1Notifier::subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL) {
    TNotifier::subscribe(subscriptionId, subscribeTTL);
    const QString value = underLock([&] {
        if (h1ValueCache.isEmpty()) h1ValueCache = UnknownState;
        return h1ValueCache;
    });
    publishToSubscriber(subscriptionId, H1Prefix, value);
}

void TH1Notifier::publish() {
    publishToSubscribers(H1Prefix, underLock([&] { return h1ValueCache; }));
}

// ---- alarms

void TAlarmeNotifier::updateValue(const QString& value) {
    underLock([&] { alarmeValueCache = value; });
}

void TAlarmeNotifier::subscribe(const QString& subscriptionId, const QDateTime& subscribeTTL) {
    TNotifier::subscribe(subscriptionId, subscribeTTL);
    publishToSubscriber(subscriptionId, AlarmePrefix, underLock([&] { return alarmeValueCache; }));
}

void TAlarmeNotifier::publish() {
    publishToSubscribers(AlarmePrefix, underLock([&] { return alarmeValueCache; }));
}
