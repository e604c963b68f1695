#include "agents/dm_agent_mqtt.h"

#include "messaging/mqtt_client.h"

TDMAgentMqtt::TDMAgentMqtt(TMqttClient& mqtt) : mqtt(mqtt) {}

quint16 TDMAgentMqtt::Publish(const QString& ATopic, const QString& APayload, TmqttQoS AQos,
                              bool ARetain) {
    if (!mqtt.IsConnected()) return 0;
    return mqtt.Publish(ATopic, APayload, AQos, ARetain);
}

bool TDMAgentMqtt::IsConnected() const { return mqtt.IsConnected(); }
