#pragma once

#include <QString>
#include <QtGlobal>

// MQTT quality-of-service levels (3.1.1). The system publishes everything at most once.
enum class TmqttQoS { AtMostOnce = 0, AtLeastOnce = 1, ExactlyOnce = 2 };

// The one handle through which everything inside a machine agent publishes: the data
// process, the script error report, the spokesman and the notifiers. It hides the agent's
// MQTT connection. Publish may be called from any thread; while the connection is down a
// publication is dropped, never queued. The returned value carries no information.
class IAgentPublisher {
public:
    virtual ~IAgentPublisher() = default;
    virtual quint16 Publish(const QString& ATopic, const QString& APayload,
                            TmqttQoS AQos = TmqttQoS::AtMostOnce, bool ARetain = false) = 0;
    virtual bool IsConnected() const = 0;
};
