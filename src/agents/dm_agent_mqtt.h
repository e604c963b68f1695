#pragma once

#include "util/agent_publisher.h"

class TMqttClient;

// The publish handle of one machine agent over the agent's MQTT client, which the agent
// owns and frees after this handle. A publication is handed over only while the
// connection is up; otherwise it is lost, never kept for the next connection. No lock of
// its own: the client accepts publications from any thread.
class TDMAgentMqtt : public IAgentPublisher {
public:
    explicit TDMAgentMqtt(TMqttClient& mqtt);

    quint16 Publish(const QString& ATopic, const QString& APayload,
                    TmqttQoS AQos = TmqttQoS::AtMostOnce, bool ARetain = false) override;
    bool IsConnected() const override;

private:
    TMqttClient& mqtt;
};
