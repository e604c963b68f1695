#include "messaging/mqtt_client.h"

#include "support/event_loop.h"
#include "support/mqtt_client_events.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"
#include "support/scoped_env.h"
#include "support/tcp_relay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using Message = QPair<QString, QString>;

class MqttClientTest : public MqttBrokerTest {};

TEST_F(MqttClientTest, ConnectsWithAFreshIdentifierPerConnectAndReportsOnTheMainThread) {
    TMqttClient first;
    TMqttClient second;
    MqttClientEvents firstEvents(first);
    MqttClientEvents secondEvents(second);

    first.Connect(broker.connectionSettings());
    second.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return firstEvents.connected == 1 && secondEvents.connected == 1; }));

    EXPECT_TRUE(first.IsConnected());
    EXPECT_GE(firstEvents.connecting, 1);
    EXPECT_TRUE(firstEvents.errors.isEmpty()) << firstEvents.errors.join('\n').toStdString();
    EXPECT_TRUE(firstEvents.onMainThread && secondEvents.onMainThread);
    EXPECT_TRUE(first.ClientId().startsWith("meltrix"));
    EXPECT_EQ(first.ClientId().size(), 23);
    EXPECT_NE(first.ClientId(), second.ClientId());

    const QString earlierId = first.ClientId();
    first.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return firstEvents.connected == 2; }));
    EXPECT_EQ(firstEvents.disconnected, 1);
    EXPECT_NE(first.ClientId(), earlierId);
}

TEST_F(MqttClientTest, RoundTripsUtf8TextAndHonoursRetainAndUnsubscribe) {
    TMqttClient client;
    MqttClientEvents events(client);
    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return client.IsConnected(); }));

    ASSERT_TRUE(client.Subscribe("test/kept"));
    ASSERT_TRUE(client.Subscribe("test/dropped"));
    ASSERT_TRUE(client.Unsubscribe("test/dropped"));
    EXPECT_NE(client.Publish("test/dropped", "unheard"), 0);
    EXPECT_NE(client.Publish("test/kept", QString::fromUtf8("Ação ✓"), TmqttQoS::AtMostOnce, true), 0);

    // One connection's packets are handled in order: once the later publication is back,
    // the earlier one would have been too.
    ASSERT_TRUE(SpinUntil([&] { return !events.messages.isEmpty(); }));
    EXPECT_EQ(events.messages, QList<Message>({{"test/kept", QString::fromUtf8("Ação ✓")}}));

    MqttObserver late(broker, "test/#");
    ASSERT_TRUE(late.waitUntilSubscribed());
    ASSERT_TRUE(late.waitForMessageOn("test/kept"));
    const QList<MqttObserver::Message> seen = late.messages();
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].payload, QString::fromUtf8("Ação ✓"));
    EXPECT_TRUE(seen[0].retained);
}

// As the installation controller uses it: "ONLINE" retained while connected, an empty
// retained last will that clears it when the connection dies without DISCONNECT.
TEST_F(MqttClientTest, LastWillIsPublishedOnlyWhenTheConnectionDiesUncleanly) {
    MqttObserver observer(broker, "presence/#");
    ASSERT_TRUE(observer.waitUntilSubscribed());
    TcpRelay relay(broker.port());

    auto presenceSettings = [&](const QString& topic, quint16 port) {
        TMqttConnectionSettings settings = broker.connectionSettings();
        settings.port = port;
        settings.hasWill = true;
        settings.willTopic = topic;
        settings.willRetain = true;
        return settings;
    };

    TMqttClient clean;
    MqttClientEvents cleanEvents(clean);
    clean.Connect(presenceSettings("presence/clean", broker.port()));
    ASSERT_TRUE(SpinUntil([&] { return cleanEvents.connected == 1; }));
    clean.Disconnect();
    EXPECT_FALSE(clean.IsConnected());
    ASSERT_TRUE(SpinUntil([&] { return cleanEvents.disconnected == 1; }));

    TMqttClient cut;
    MqttClientEvents cutEvents(cut);
    cut.Connect(presenceSettings("presence/cut", relay.port()));
    ASSERT_TRUE(SpinUntil([&] { return cutEvents.connected == 1; }));
    cut.Publish("presence/cut", "ONLINE", TmqttQoS::AtMostOnce, true);
    ASSERT_TRUE(observer.waitForMessageOn("presence/cut"));
    relay.dropConnections();
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("presence/cut").size() == 2; }));
    EXPECT_EQ(observer.messagesOn("presence/cut")[1].payload, "");
    EXPECT_TRUE(SpinUntil([&] { return cutEvents.disconnected == 1; }));
    EXPECT_TRUE(observer.messagesOn("presence/clean").isEmpty());

    // The will was retained: it replaced "ONLINE", so a newcomer finds nothing. The
    // newcomer's own marker comes after anything retained it would be given.
    MqttObserver late(broker, "presence/#");
    ASSERT_TRUE(late.waitUntilSubscribed());
    ASSERT_TRUE(late.publish("presence/marker", "m"));
    ASSERT_TRUE(late.waitForMessageOn("presence/marker"));
    EXPECT_TRUE(late.messagesOn("presence/cut").isEmpty());
}

class MqttClientOwnBrokerTest : public MqttTimingTest {};

TEST_F(MqttClientOwnBrokerTest, BrokerAcceptsTheRightPasswordAndRefusesAWrongOne) {
    MosquittoBroker secured({.user = "agent", .password = "s3cret"});
    ASSERT_TRUE(secured.start()) << secured.log().toStdString();

    TMqttClient accepted;
    MqttClientEvents acceptedEvents(accepted);
    accepted.Connect(secured.connectionSettings());

    TMqttClient refused;
    MqttClientEvents refusedEvents(refused);
    TMqttConnectionSettings wrong = secured.connectionSettings();
    wrong.password = "guess";
    refused.Connect(wrong);

    ASSERT_TRUE(SpinUntil([&] { return acceptedEvents.connected == 1 && refusedEvents.errors.size() >= 2; }));
    EXPECT_EQ(refusedEvents.connected, 0);
    EXPECT_FALSE(refused.IsConnected());
    EXPECT_TRUE(refusedEvents.errors[0].contains("not authorised")) << refusedEvents.errors[0].toStdString();
}

// The client trusts the system's CA certificates only; OpenSSL takes SSL_CERT_FILE as
// the system's CA file, which lets the test CA in.
TEST_F(MqttClientOwnBrokerTest, TlsTrustsTheSystemCertificatesAndSurvivesABrokerRestart) {
    MosquittoBroker secure({.tls = true});
    ASSERT_TRUE(secure.start()) << secure.log().toStdString();

    TMqttClient untrusting;
    MqttClientEvents untrustingEvents(untrusting);
    untrusting.Connect(secure.connectionSettings());
    // A failed handshake must not end the retries.
    ASSERT_TRUE(SpinUntil([&] { return untrustingEvents.errors.size() >= 2; }));
    untrusting.Disconnect();
    EXPECT_EQ(untrustingEvents.connected, 0);
    EXPECT_TRUE(untrustingEvents.errors[1].contains("TLS")) << untrustingEvents.errors[1].toStdString();

    ScopedEnv trustTestCa("SSL_CERT_FILE", secure.caCertificateFile().toUtf8());
    TMqttClient client;
    MqttClientEvents events(client);
    client.Connect(secure.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1; }));
    secure.stop();
    ASSERT_TRUE(SpinUntil([&] { return events.disconnected == 1; }));
    ASSERT_TRUE(secure.start());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 2; }))
        << events.errors.join('\n').toStdString();
}

TEST_F(MqttClientTest, ReconnectsAfterTheBrokerRestarts) {
    TMqttClient client;
    MqttClientEvents events(client);
    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1; }));

    broker.stop();
    ASSERT_TRUE(SpinUntil([&] { return events.disconnected == 1 && events.errors.size() >= 2; }));
    EXPECT_TRUE(events.errors[0].contains("lost")) << events.errors[0].toStdString();
    EXPECT_TRUE(events.errors[1].contains("failed")) << events.errors[1].toStdString();

    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 2; }));
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(client.Subscribe("after/restart"));
}

TEST_F(MqttClientTest, KeepsTryingWhenTheFirstAttemptFails) {
    broker.stop();
    TMqttClient client;
    MqttClientEvents events(client);
    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return events.errors.size() >= 2; }));
    EXPECT_EQ(events.connected, 0);
    EXPECT_TRUE(events.errors[0].contains("failed")) << events.errors[0].toStdString();

    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1; }));
}

TEST_F(MqttClientTest, IsConnectedTurnsFalseBeforeTheDisconnectEventIsHandled) {
    TMqttClient client;
    MqttClientEvents events(client);
    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return events.connected == 1; }));

    broker.stop();
    ASSERT_TRUE(PollWithoutEvents([&] { return !client.IsConnected(); }));
    EXPECT_EQ(events.disconnected, 0);
    EXPECT_TRUE(SpinUntil([&] { return events.disconnected == 1; }));
}

TEST_F(MqttClientTest, PublishFromOtherThreadsReachesTheBrokerInOrder) {
    MqttObserver observer(broker, "load/#");
    ASSERT_TRUE(observer.waitUntilSubscribed());
    TMqttClient client;
    client.Connect(broker.connectionSettings());
    ASSERT_TRUE(SpinUntil([&] { return client.IsConnected(); }));

    constexpr int kPerThread = 50;
    std::atomic<int> handedOver{0};
    auto publishSeries = [&](const QString& topic) {
        for (int i = 0; i < kPerThread; ++i)
            if (client.Publish(topic, QString::number(i)) != 0) ++handedOver;
    };
    std::thread one(publishSeries, "load/one");
    std::thread two(publishSeries, "load/two");
    one.join();
    two.join();
    EXPECT_EQ(handedOver, 2 * kPerThread);

    ASSERT_TRUE(SpinUntil([&] { return observer.messages().size() == 2 * kPerThread; }));
    for (const QString topic : {"load/one", "load/two"}) {
        const QList<MqttObserver::Message> series = observer.messagesOn(topic);
        ASSERT_EQ(series.size(), kPerThread);
        for (int i = 0; i < kPerThread; ++i) EXPECT_EQ(series[i].payload, QString::number(i));
    }
}

TEST_F(MqttClientTest, DestroyingTheClientWithEventsStillQueuedIsSafe) {
    MqttObserver observer(broker, "echo");
    ASSERT_TRUE(observer.waitUntilSubscribed());
    auto client = std::make_unique<TMqttClient>();
    MqttClientEvents events(*client);
    client->Connect(broker.connectionSettings());

    // Without running the event loop: the connected event and the echoes stay queued.
    ASSERT_TRUE(PollWithoutEvents([&] { return client->IsConnected(); }));
    ASSERT_TRUE(client->Subscribe("echo"));
    for (int i = 0; i < 20; ++i) client->Publish("echo", QString::number(i));
    ASSERT_TRUE(PollWithoutEvents([&] { return observer.messages().size() == 20; }));

    client.reset();
    SpinFor(100);
    EXPECT_EQ(events.connected, 0);
    EXPECT_TRUE(events.messages.isEmpty());
}

}  // namespace
