#include "agents/dm_agent_mqtt.h"

#include "messaging/mqtt_client.h"
#include "support/event_loop.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"
#include "support/tcp_relay.h"

#include <gtest/gtest.h>

namespace {

class DMAgentMqttTest : public MqttBrokerTest {};

TEST_F(DMAgentMqttTest, PublishesThroughTheClientWithItsRetainFlag) {
    MqttObserver early(broker, "/IoT/SN1/#");
    ASSERT_TRUE(early.waitUntilSubscribed());
    TMqttClient client;
    TDMAgentMqtt agentMqtt(client);
    EXPECT_FALSE(agentMqtt.IsConnected());

    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return agentMqtt.IsConnected(); }));
    EXPECT_NE(agentMqtt.Publish("/IoT/SN1/VERSAO", "1.0.0", TmqttQoS::AtMostOnce, true), 0);
    EXPECT_NE(agentMqtt.Publish("/IoT/SN1/DADOS", "EXECUTION|ACTIVE"), 0);

    ASSERT_TRUE(SpinUntil([&] { return early.messages().size() == 2; }));

    // A subscriber that arrives later is given only what was retained.
    MqttObserver late(broker, "/IoT/SN1/#");
    ASSERT_TRUE(late.waitUntilSubscribed());
    ASSERT_TRUE(late.waitForMessageOn("/IoT/SN1/VERSAO"));
    EXPECT_EQ(late.messagesOn("/IoT/SN1/VERSAO")[0].payload, "1.0.0");
    EXPECT_TRUE(late.messagesOn("/IoT/SN1/DADOS").isEmpty());
}

TEST_F(DMAgentMqttTest, DropsPublicationsWhileDisconnectedAndNeverSendsThemLater) {
    MqttObserver observer(broker, "/IoT/#");
    ASSERT_TRUE(observer.waitUntilSubscribed());
    TcpRelay relay(broker.port());
    TMqttClient client;
    TDMAgentMqtt agentMqtt(client);
    TMqttConnectionSettings settings = broker.connectionSettings();
    settings.port = relay.port();
    client.Connect(settings);
    ASSERT_TRUE(SpinUntil([&] { return agentMqtt.IsConnected(); }));

    relay.dropConnections();
    ASSERT_TRUE(PollWithoutEvents([&] { return !agentMqtt.IsConnected(); }));
    EXPECT_EQ(agentMqtt.Publish("/IoT/SN1/DADOS", "lost"), 0);

    ASSERT_TRUE(SpinUntil([&] { return agentMqtt.IsConnected(); }));
    EXPECT_NE(agentMqtt.Publish("/IoT/SN1/DADOS", "after"), 0);
    // Anything kept for the new connection would have gone out before "after".
    ASSERT_TRUE(observer.waitForMessageOn("/IoT/SN1/DADOS"));
    const QList<MqttObserver::Message> seen = observer.messagesOn("/IoT/SN1/DADOS");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].payload, "after");
}

}  // namespace
